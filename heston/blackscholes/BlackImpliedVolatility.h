// BlackImpliedVolatility: the Black-Scholes implied volatility of a price, with a continuous
// dividend yield, to near machine precision (the method and its references are at the top of
// BlackImpliedVolatility.cpp).
//
// Errors: an option type other than 1 or 2, a non-finite or negative input, or a price outside
// the no-arbitrage bounds throws an exception derived from std::exception whose message names
// the argument.
//
// Tested in tests/numerics/black_implied_volatility_test.cpp.
#pragma once

namespace heston {

// optionType 1 = call, 2 = put; the price strictly inside the no-arbitrage bounds.
double BlackImpliedVolatility(int optionType, double price, double spot, double strike,
                              double maturity, double rate, double dividendYield);

}  // namespace heston
