// ContourPricer: European prices, Greeks and implied volatilities under the Heston model and
// under the Bates model (Heston with lognormal jumps in the spot, BatesParameters.h), accurate
// to near machine precision at every maturity and strike, with dividends.
//
// This is the library's second pricer, beside the fixed-grid closed form of Heston.h (which
// stays as it is). It takes a continuously compounded rate and dividend yield separately, and
// its error control does not depend on a fixed upper integration limit.
//
// Errors: invalid input throws an exception derived from std::exception whose message names
// the argument (negative or non-finite spot, strike, maturity or v0; |rho| > 1; sigma, kappa
// or theta < 0; an option type other than 1 or 2; for an implied volatility, a price outside
// the no-arbitrage bounds).
//
// Method: the out-of-the-money option as one Fourier integral along a vertical line through
// the saddle point of the integrand (Lewis 2001; Lee 2004; Andersen & Lake 2018), with the
// characteristic function in the form that stays on its principal branch (Albrecher, Mayer,
// Schoutens & Tistaert, "The little Heston trap", 2007), integrated by a trapezoidal rule
// after a sinh substitution whose step is halved until two successive sums agree (Takahasi &
// Mori 1974); the in-the-money option by put-call parity. Greeks are the integrals of the
// exact derivatives of the integrand. Details and full references in ContourPricing.h,
// LogMoment.h and SinhTrapezoid.h.
//
// Use this pricer wherever the price itself matters (short maturities, wings, Greeks, implied
// volatilities, calibration to accurate quotes); the fixed-grid closed form of Heston.h keeps
// the worksheet functions' numbers as they have always been.
#pragma once

#include <cstddef>

#include "blackscholes/BlackImpliedVolatility.h"
#include "execution/ParallelFor.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "model/PricingTypes.h"

namespace heston {

// optionType 1 = call, 2 = put; rate and dividendYield continuously compounded, per year.
double EuropeanPrice(int optionType, double spot, double strike, double maturity, double rate,
                     double dividendYield, const ModelParameters& model);

Greeks EuropeanGreeks(int optionType, double spot, double strike, double maturity, double rate,
                      double dividendYield, const ModelParameters& model);

// Black-Scholes implied volatility of the model's price: the model's smile.
double ModelImpliedVolatility(int optionType, double spot, double strike, double maturity,
                              double rate, double dividendYield, const ModelParameters& model);

// Prices of count options on one spot under one parameter set, with the work that depends
// only on the maturity and the parameters shared by all options of that maturity. An option
// whose own inputs are invalid gets NaN in its slot (and in its derivatives) and the others
// are still priced; an invalid spot or parameter set throws as EuropeanPrice does.
// When parameterDerivatives is not null it receives, for option i, the five derivatives
// d price / d (v0, theta, kappa, sigma, rho) at parameterDerivatives[5 * i .. 5 * i + 4].
// The groups of options sharing a maturity and an integration line are independent tasks
// handed to runner; the results are the same bit for bit whatever the runner.
void EuropeanPrices(double spot, const ModelParameters& model, const BatchOption* options,
                    std::size_t count, double* prices, double* parameterDerivatives = nullptr,
                    ParallelFor& runner = Serial());

// The same under the Bates model (BatesParameters.h): Heston's variance with lognormal jumps
// in the spot. With lambda = 0 every number is the Heston one bit for bit (and d/dlambda, not
// 0 there, is integrated as well). Invalid jump parameters (lambda or deltaJ negative, any not
// finite, or exp(muJ + deltaJ^2 / 2) beyond the doubles) throw with a text naming them.
// Tested in tests/numerics/bates_pricing_test.cpp.
double EuropeanPrice(int optionType, double spot, double strike, double maturity, double rate,
                     double dividendYield, const BatesParameters& model);

BatesGreeks EuropeanGreeks(int optionType, double spot, double strike, double maturity, double rate,
                           double dividendYield, const BatesParameters& model);

double ModelImpliedVolatility(int optionType, double spot, double strike, double maturity,
                              double rate, double dividendYield, const BatesParameters& model);

// When parameterDerivatives is not null it receives, for option i, the eight derivatives
// d price / d (v0, theta, kappa, sigma, rho, lambda, muJ, deltaJ) at
// parameterDerivatives[8 * i .. 8 * i + 7].
void EuropeanPrices(double spot, const BatesParameters& model, const BatchOption* options,
                    std::size_t count, double* prices, double* parameterDerivatives = nullptr,
                    ParallelFor& runner = Serial());

}  // namespace heston
