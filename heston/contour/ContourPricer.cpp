// The contour pricer's functions: each option's integrals along its own line (a single option
// is a group of one), with its derivatives integrated on the same nodes when they are wanted.
#include "contour/ContourPricer.h"

#include <stdexcept>
#include <string>

#include "contour/ContourBatch.h"
#include "contour/ContourIntegration.h"
#include "contour/ContourPricing.h"

namespace heston {

namespace {

contour::Market CheckedMarket(int optionType, double spot, double strike, double maturity,
                              double rate, double dividendYield, const ModelParameters& model) {
    contour::CheckModel(model);
    contour::CheckSpot(spot);
    const std::string error =
        contour::OptionInputError(optionType, strike, maturity, rate, dividendYield);
    if (!error.empty()) throw std::invalid_argument(error);
    return contour::MakeMarket(spot, strike, maturity, rate, dividendYield);
}

contour::Market CheckedMarket(int optionType, double spot, double strike, double maturity,
                              double rate, double dividendYield, const BatesParameters& model) {
    contour::CheckJumps(model.jumps);
    return CheckedMarket(optionType, spot, strike, maturity, rate, dividendYield, model.heston);
}

}  // namespace

double EuropeanPrice(int optionType, double spot, double strike, double maturity, double rate,
                     double dividendYield, const ModelParameters& model) {
    return contour::OptionPrice(
        optionType, CheckedMarket(optionType, spot, strike, maturity, rate, dividendYield, model),
        model, VectorWidth::kWidest);
}

Greeks EuropeanGreeks(int optionType, double spot, double strike, double maturity, double rate,
                      double dividendYield, const ModelParameters& model) {
    return contour::OptionGreeks(
        optionType, CheckedMarket(optionType, spot, strike, maturity, rate, dividendYield, model),
        model, VectorWidth::kWidest);
}

void EuropeanPrices(double spot, const ModelParameters& model, const BatchOption* options,
                    std::size_t count, double* prices, double* parameterDerivatives,
                    ParallelFor& runner) {
    contour::PriceOptions(spot, model, options, count, prices, parameterDerivatives, runner,
                          VectorWidth::kWidest);
}

double EuropeanPrice(int optionType, double spot, double strike, double maturity, double rate,
                     double dividendYield, const BatesParameters& model) {
    return contour::OptionPrice(
        optionType, CheckedMarket(optionType, spot, strike, maturity, rate, dividendYield, model),
        model, VectorWidth::kWidest);
}

BatesGreeks EuropeanGreeks(int optionType, double spot, double strike, double maturity, double rate,
                           double dividendYield, const BatesParameters& model) {
    return contour::OptionGreeks(
        optionType, CheckedMarket(optionType, spot, strike, maturity, rate, dividendYield, model),
        model, VectorWidth::kWidest);
}

void EuropeanPrices(double spot, const BatesParameters& model, const BatchOption* options,
                    std::size_t count, double* prices, double* parameterDerivatives,
                    ParallelFor& runner) {
    contour::PriceOptions(spot, model, options, count, prices, parameterDerivatives, runner,
                          VectorWidth::kWidest);
}

}  // namespace heston
