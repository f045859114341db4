// The model's smile: the Black-Scholes volatility of the contour price.
#include <stdexcept>
#include <string>

#include "contour/ContourPricer.h"

namespace heston {

namespace {

// The Black-Scholes volatility of a model price; the model's own checks have passed.
double ImpliedVolatilityOfModelPrice(int optionType, double price, double spot, double strike,
                                     double maturity, double rate, double dividendYield) {
    try {
        return BlackImpliedVolatility(optionType, price, spot, strike, maturity, rate,
                                      dividendYield);
    } catch (const std::exception& e) {
        throw std::domain_error(
            std::string("the model price has no Black-Scholes implied volatility: ") + e.what());
    }
}

}  // namespace

double ModelImpliedVolatility(int optionType, double spot, double strike, double maturity,
                              double rate, double dividendYield, const ModelParameters& model) {
    // The inversion of the very price EuropeanPrice gives for this option, so that the smile
    // and the price a user sees agree to the last bit; EuropeanPrice checks the arguments.
    // (An option in the money inverts with the rounding of its intrinsic value: the call and
    // the put of one strike agree to the conditioning of the larger price.)
    const double price =
        EuropeanPrice(optionType, spot, strike, maturity, rate, dividendYield, model);
    return ImpliedVolatilityOfModelPrice(optionType, price, spot, strike, maturity, rate,
                                         dividendYield);
}

double ModelImpliedVolatility(int optionType, double spot, double strike, double maturity,
                              double rate, double dividendYield, const BatesParameters& model) {
    const double price =
        EuropeanPrice(optionType, spot, strike, maturity, rate, dividendYield, model);
    return ImpliedVolatilityOfModelPrice(optionType, price, spot, strike, maturity, rate,
                                         dividendYield);
}

}  // namespace heston
