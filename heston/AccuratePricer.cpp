// The accurate pricer's functions: one contour integral per option, with its derivatives
// integrated on the same nodes when they are wanted.
#include "AccuratePricer.h"

#include <limits>
#include <stdexcept>
#include <vector>

#include "AccurateBatch.h"
#include "AccurateFourierPricing.h"
#include "AccurateIntegrands.h"
#include "DoubleExponentialQuadrature.h"

namespace heston {

namespace {

constexpr double kInversePi = 0.318309886183790671537767526745;

accurate::Market CheckedMarket(int optionType, double spot, double strike, double maturity,
                               double rate, double dividendYield, const ModelParameters& model) {
    accurate::CheckModel(model);
    accurate::CheckSpot(spot);
    const std::string error =
        accurate::OptionInputError(optionType, strike, maturity, rate, dividendYield);
    if (!error.empty()) throw std::invalid_argument(error);
    return accurate::MakeMarket(spot, strike, maturity, rate, dividendYield);
}

// Prices below 1e-18 of the spot need only absolute accuracy: the tolerance of the integral
// (in units of the price divided by pi K exp(-r T)).
double AbsoluteTolerance(const accurate::Market& market) {
    return 1e-18 * market.spot / (market.strike * market.rateDiscount * kInversePi);
}

// Price of a checked option.
double Price(int optionType, const accurate::Market& market, const ModelParameters& model) {
    double price;
    if (accurate::PriceWithoutIntegral(optionType, market, model, &price)) return price;
    const accurate::Contour contour =
        accurate::ChooseContour(market.logMoneyness, market.maturity, model);
    accurate::PriceIntegrand integrand(model, market.maturity, contour, market.logMoneyness);
    double sum, values[kQuadratureBatch], work[kQuadratureWork];
    accurate::IntegrateAlongContour(integrand, model, market.maturity, contour, market.logMoneyness,
                                    AbsoluteTolerance(market), 1, &sum, values, work);
    return accurate::PriceFromIntegral(optionType, market, contour, sum * kInversePi);
}

// Price and Greeks of a checked option.
Greeks PriceAndGreeks(int optionType, const accurate::Market& market,
                      const ModelParameters& model) {
    Greeks greeks;
    if (accurate::GreeksWithoutIntegral(optionType, market, model, &greeks)) return greeks;
    const accurate::Contour contour =
        accurate::ChooseContour(market.logMoneyness, market.maturity, model);
    accurate::GreeksIntegrand integrand(model, market.maturity, contour, market.logMoneyness);
    double sums[accurate::kIntegralCount], values[kQuadratureBatch * accurate::kIntegralCount],
        work[kQuadratureWork * accurate::kIntegralCount];
    accurate::IntegrateAlongContour(integrand, model, market.maturity, contour, market.logMoneyness,
                                    AbsoluteTolerance(market), accurate::kIntegralCount, sums,
                                    values, work);
    for (double& s : sums) s *= kInversePi;
    return accurate::GreeksFromIntegrals(optionType, market, contour, sums);
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
    accurate::CheckModel(model);
    accurate::CheckSpot(spot);
    const bool withDerivatives = parameterDerivatives != nullptr;
    std::vector<accurate::BatchMember> pending;
    for (std::size_t i = 0; i < count; ++i) {
        const BatchOption& o = options[i];
        double* derivatives = withDerivatives ? parameterDerivatives + 5 * i : nullptr;
        if (!accurate::OptionInputError(o.optionType, o.strike, o.maturity, o.rate, o.dividendYield)
                 .empty()) {
            prices[i] = std::numeric_limits<double>::quiet_NaN();
            if (derivatives != nullptr) {
                for (int j = 0; j < 5; ++j) derivatives[j] = prices[i];
            }
            continue;
        }
        const accurate::Market market =
            accurate::MakeMarket(spot, o.strike, o.maturity, o.rate, o.dividendYield);
        Greeks g;
        if (accurate::GreeksWithoutIntegral(o.optionType, market, model, &g)) {
            prices[i] = g.price;
            if (derivatives != nullptr) {
                const double d[5] = {g.dV0, g.dTheta, g.dKappa, g.dSigma, g.dRho};
                for (int j = 0; j < 5; ++j) derivatives[j] = d[j];
            }
            continue;
        }
        pending.push_back({i, o.optionType, market,
                           accurate::ChooseContour(market.logMoneyness, o.maturity, model)});
    }
    accurate::PriceBatch(model, pending, AbsoluteTolerance, prices, parameterDerivatives, runner);
}

}  // namespace heston
