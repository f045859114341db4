// The model's smile: the Black-Scholes volatility of the contour price.
#include <cmath>
#include <stdexcept>
#include <string>

#include "contour/ContourPricer.h"

namespace heston {

double ModelImpliedVolatility(int optionType, double spot, double strike, double maturity,
                              double rate, double dividendYield, const ModelParameters& model) {
    // Call and put have the same implied volatility; the out-of-the-money one carries no
    // intrinsic value, so its price inverts with the least loss of digits. EuropeanPrice
    // checks the other arguments.
    if (optionType != kCall && optionType != kPut) {
        throw std::invalid_argument("optionType must be 1 (call) or 2 (put) (got " +
                                    std::to_string(optionType) + ")");
    }
    const double forward = spot * std::exp((rate - dividendYield) * maturity);
    const int outOfTheMoney = strike > forward ? kCall : kPut;
    const double price =
        EuropeanPrice(outOfTheMoney, spot, strike, maturity, rate, dividendYield, model);
    try {
        return BlackImpliedVolatility(outOfTheMoney, price, spot, strike, maturity, rate,
                                      dividendYield);
    } catch (const std::exception& e) {
        throw std::domain_error(
            std::string("the model price has no Black-Scholes implied volatility: ") + e.what());
    }
}

}  // namespace heston
