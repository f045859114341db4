// GeometricAsianPrice: the fixed-strike option on the discretely sampled geometric average of
// the spot under the Heston model, and under the Bates model (Heston with lognormal jumps in the
// spot), in closed form,
//     call: exp(-r T) E[(G - K)^+],   put: exp(-r T) E[(K - G)^+],
//     G = (S(t_1) S(t_2) ... S(t_n))^(1/n),   paid at the last fixing T = t_n.
//
// Reference:
//   B. Kim and I.-S. Wee, "Pricing of geometric Asian options under Heston's stochastic
//     volatility model", Quantitative Finance 14 (2014) 1795-1809.
//   D. S. Bates, Rev. Financial Studies 9 (1996) 69-107 (the jumps; see FixingMoments.h).
//
// ln(G / S(0)) has the log moment of FixingMoments.h with every coefficient s / n; the price
// is one Fourier integral of it (FourierInversion.h). With one fixing it is the European price.
// Jumps add one factor per fixing interval to the moment; with lambda = 0 the price is the
// Heston price bit for bit.
// It is the control variate of the simulated arithmetic average (AsianOption.h).
//
// Errors: std::invalid_argument naming the argument for a spot or strike that is not
// positive, no fixing, fixing times that are not ascending or are negative (a fixing at 0 is
// the spot itself), the last fixing not after 0, an option type other than 1 or 2, or a
// parameter set outside the model (v0, theta, kappa or sigma negative, |rho| > 1; jumps: see
// InputChecks.h).
//
// Tested in tests/numerics/geometric_asian_test.cpp.
#pragma once

#include <vector>

#include "model/BatesParameters.h"
#include "model/ModelParameters.h"

namespace heston {

double GeometricAsianPrice(int optionType, double spot, double strike,
                           const std::vector<double>& fixingTimes, double rate,
                           double dividendYield, const ModelParameters& model);
double GeometricAsianPrice(int optionType, double spot, double strike,
                           const std::vector<double>& fixingTimes, double rate,
                           double dividendYield, const BatesParameters& model);

}  // namespace heston
