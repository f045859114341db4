// BlackVega: the Black-Scholes vega with a continuous dividend yield, the derivative of a call's
// or a put's price with respect to the volatility,
//     vega = S exp(-q T) phi(d1) sqrt(T),   d1 = (ln(S/K) + (r - q + sigma^2/2) T) / (sigma sqrt
//     T),
// with phi the standard normal density. It turns a price error into a volatility error (the
// contour calibration's vol measure).
//
// Tested in tests/numerics/model_implied_volatility_test.cpp.
#pragma once

namespace heston {

// For positive spot, strike, maturity and volatility; rate and dividendYield per year,
// continuously compounded.
double BlackVega(double spot, double strike, double maturity, double rate, double dividendYield,
                 double volatility);

}  // namespace heston
