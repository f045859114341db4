// The Black-Scholes vega.
#include "blackscholes/BlackVega.h"

#include <cmath>

#include "vectormath/MathConstants.h"

namespace heston {

double BlackVega(double spot, double strike, double maturity, double rate, double dividendYield,
                 double volatility) {
    const double root = std::sqrt(maturity);
    const double d1 = (std::log(spot / strike) +
                       (rate - dividendYield + 0.5 * volatility * volatility) * maturity) /
                      (volatility * root);
    return spot * std::exp(-dividendYield * maturity) *
           (kInverseSqrtTwoPi * std::exp(-0.5 * d1 * d1)) * root;
}

}  // namespace heston
