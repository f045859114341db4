// The contour pricer's functions: one contour integral per option, with its derivatives
// integrated on the same nodes when they are wanted.
#include "contour/ContourPricer.h"

#include <limits>
#include <stdexcept>
#include <vector>

#include "contour/ContourBatch.h"
#include "contour/ContourIntegrands.h"
#include "contour/ContourPricing.h"
#include "quadrature/SinhTrapezoid.h"

namespace heston {

namespace {

constexpr double kInversePi = 0.318309886183790671537767526745;

contour::Market CheckedMarket(int optionType, double spot, double strike, double maturity,
                              double rate, double dividendYield, const ModelParameters& model) {
    contour::CheckModel(model);
    contour::CheckSpot(spot);
    const std::string error =
        contour::OptionInputError(optionType, strike, maturity, rate, dividendYield);
    if (!error.empty()) throw std::invalid_argument(error);
    return contour::MakeMarket(spot, strike, maturity, rate, dividendYield);
}

// Prices below 1e-18 of the spot need only absolute accuracy: the tolerance of the integral
// (in units of the price divided by pi K exp(-r T)).
double AbsoluteTolerance(const contour::Market& market) {
    return 1e-18 * market.spot / (market.strike * market.rateDiscount * kInversePi);
}

// Price of a checked option.
double Price(int optionType, const contour::Market& market, const ModelParameters& model) {
    double price;
    if (contour::PriceWithoutIntegral(optionType, market, model, &price)) return price;
    const contour::Contour contour =
        contour::ChooseContour(market.logMoneyness, market.maturity, model);
    contour::PriceIntegrand integrand(model, market.maturity, contour, market.logMoneyness);
    double sum, values[kQuadratureBatch], work[kQuadratureWork];
    contour::IntegrateAlongContour(integrand, model, market.maturity, contour, market.logMoneyness,
                                   AbsoluteTolerance(market), 1, &sum, values, work);
    return contour::PriceFromIntegral(optionType, market, contour, sum * kInversePi);
}

// Price and Greeks of a checked option.
Greeks PriceAndGreeks(int optionType, const contour::Market& market, const ModelParameters& model) {
    Greeks greeks;
    if (contour::GreeksWithoutIntegral(optionType, market, model, &greeks)) return greeks;
    const contour::Contour contour =
        contour::ChooseContour(market.logMoneyness, market.maturity, model);
    contour::GreeksIntegrand integrand(model, market.maturity, contour, market.logMoneyness);
    double sums[contour::kIntegralCount], values[kQuadratureBatch * contour::kIntegralCount],
        work[kQuadratureWork * contour::kIntegralCount];
    contour::IntegrateAlongContour(integrand, model, market.maturity, contour, market.logMoneyness,
                                   AbsoluteTolerance(market), contour::kIntegralCount, sums, values,
                                   work);
    for (double& s : sums) s *= kInversePi;
    return contour::GreeksFromIntegrals(optionType, market, contour, sums);
}

}  // namespace

double EuropeanPrice(int optionType, double spot, double strike, double maturity, double rate,
                     double dividendYield, const ModelParameters& model) {
    return Price(optionType,
                 CheckedMarket(optionType, spot, strike, maturity, rate, dividendYield, model),
                 model);
}

Greeks EuropeanGreeks(int optionType, double spot, double strike, double maturity, double rate,
                      double dividendYield, const ModelParameters& model) {
    return PriceAndGreeks(
        optionType, CheckedMarket(optionType, spot, strike, maturity, rate, dividendYield, model),
        model);
}

void EuropeanPrices(double spot, const ModelParameters& model, const BatchOption* options,
                    std::size_t count, double* prices, double* parameterDerivatives,
                    ParallelFor& runner) {
    contour::CheckModel(model);
    contour::CheckSpot(spot);
    const bool withDerivatives = parameterDerivatives != nullptr;
    std::vector<contour::BatchMember> pending;
    for (std::size_t i = 0; i < count; ++i) {
        const BatchOption& o = options[i];
        double* derivatives = withDerivatives ? parameterDerivatives + 5 * i : nullptr;
        if (!contour::OptionInputError(o.optionType, o.strike, o.maturity, o.rate, o.dividendYield)
                 .empty()) {
            prices[i] = std::numeric_limits<double>::quiet_NaN();
            if (derivatives != nullptr) {
                for (int j = 0; j < 5; ++j) derivatives[j] = prices[i];
            }
            continue;
        }
        const contour::Market market =
            contour::MakeMarket(spot, o.strike, o.maturity, o.rate, o.dividendYield);
        Greeks g;
        if (contour::GreeksWithoutIntegral(o.optionType, market, model, &g)) {
            prices[i] = g.price;
            if (derivatives != nullptr) {
                const double d[5] = {g.dV0, g.dTheta, g.dKappa, g.dSigma, g.dRho};
                for (int j = 0; j < 5; ++j) derivatives[j] = d[j];
            }
            continue;
        }
        pending.push_back({i, o.optionType, market,
                           contour::ChooseContour(market.logMoneyness, o.maturity, model)});
    }
    contour::PriceBatch(model, pending, AbsoluteTolerance, prices, parameterDerivatives, runner);
}

}  // namespace heston
