// ForwardStartPrice: the forward-start option under the Heston model, and under the Bates
// model (Heston with lognormal jumps in the spot), in closed form: a call
// pays max(S(T) - k S(t0), 0) at T, a put max(k S(t0) - S(T), 0), where t0 is the reset time
// and k the moneyness.
//
// Reference:
//   S. Kruse and U. Noegel, "On the pricing of forward starting options in Heston's model on
//     stochastic volatility", Finance and Stochastics 9 (2005) 233-250.
//   D. S. Bates, Rev. Financial Studies 9 (1996) 69-107 (the jumps).
//
// At the reset the option is worth S(t0) times a European option of strike k and maturity
// T - t0 started from the variance v(t0); the price is that value's expectation over v(t0).
// Kruse and Noegel write it as an integral over the transition density of v(t0); here the
// expectation is taken inside the characteristic function instead: the joint moment of
// ln S(t0) and ln S(T) (FixingMoments.h, coefficients 1 - s at the reset and s at maturity)
// weights each path by S(t0), and one Fourier integral (FourierInversion.h) gives the price.
// A reset at 0 is the European option with strike k S(0).
//
// Jumps are independent of the variance and have independent increments: their factor of the
// joint moment (FixingMoments.h) multiplies in. Those before the reset scale S(t0) by a factor
// of mean 1 and leave the price as it is (the payoff is proportional to S(t0)); those after it
// widen the distribution of S(T) / S(t0). With lambda = 0 the price is the Heston price bit
// for bit.
//
// Errors: std::invalid_argument naming the argument for a spot or moneyness that is not
// positive, a negative reset, a reset after the maturity, a maturity not after 0, an option
// type other than 1 or 2, or a parameter set outside the model (jumps: see InputChecks.h).
//
// Tested in tests/numerics/forward_start_test.cpp.
#pragma once

#include "model/BatesParameters.h"
#include "model/ModelParameters.h"

namespace heston {

double ForwardStartPrice(int optionType, double spot, double moneyness, double resetTime,
                         double maturity, double rate, double dividendYield,
                         const ModelParameters& model);
double ForwardStartPrice(int optionType, double spot, double moneyness, double resetTime,
                         double maturity, double rate, double dividendYield,
                         const BatesParameters& model);

}  // namespace heston
