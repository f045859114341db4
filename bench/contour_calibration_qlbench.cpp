// The contour calibration beside QuantLib's on the 104-option DAX surface, in one error
// measure (price: root-mean-square of model - observed price). Ours starts from no guess;
// QuantLib's Levenberg-Marquardt from its usual start v0 0.1, kappa 1, theta 0.1, sigma 0.5,
// rho -0.5, with an AnalyticHestonEngine in its accurate configuration (adaptive
// Gauss-Lobatto integration to a relative tolerance of 1e-10). Both fits are priced again by
// the contour pricer, so that the two RMSE figures come from one pricer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ql/exercise.hpp>
#include <ql/instruments/payoffs.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/math/optimization/endcriteria.hpp>
#include <ql/math/optimization/levenbergmarquardt.hpp>
#include <ql/models/calibrationhelper.hpp>
#include <ql/models/equity/hestonmodel.hpp>
#include <ql/pricingengines/vanilla/analytichestonengine.hpp>
#include <ql/processes/hestonprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/termstructures/yield/zerocurve.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <string>
#include <vector>

#include "calibration/ContourCalibration.h"
#include "contour/ContourPricer.h"
#include "observation_csv.h"

namespace ql = QuantLib;
namespace ext = QuantLib::ext;

namespace {

using test_support::kDaxSpot;

struct Quote {
    double strike, maturity, price, rate;
    int type, days;
};

// examples/dax-surface.csv: maturities in years of whole days.
std::vector<Quote> DaxQuotes() {
    const test_support::QuoteTable table =
        test_support::ReadObservationCsv(HESTON_SOURCE_DIR "/examples/dax-surface.csv", kDaxSpot);
    std::vector<Quote> quotes;
    for (std::size_t i = 0; i < table.Size(); ++i) {
        quotes.push_back({table.strike[i], table.maturity[i], table.observed[i], table.rate[i],
                          static_cast<int>(table.type[i]),
                          static_cast<int>(std::lround(table.maturity[i] * 365.0))});
    }
    return quotes;
}

// RMSE of prices by the contour pricer at p (v0, theta, kappa, sigma, rho).
double ContourRmse(const std::vector<Quote>& quotes, const heston::ModelParameters& p) {
    double squares = 0.0;
    for (const Quote& q : quotes) {
        const double price =
            heston::EuropeanPrice(q.type, kDaxSpot, q.strike, q.maturity, q.rate, 0.0, p);
        squares += (price - q.price) * (price - q.price);
    }
    return std::sqrt(squares / quotes.size());
}

class PriceError : public ql::CalibrationHelper {
  public:
    PriceError(ext::shared_ptr<ql::VanillaOption> option, double observed, int* evaluations)
        : option_(std::move(option)), observed_(observed), evaluations_(evaluations) {}
    ql::Real calibrationError() override {
        if (evaluations_ != nullptr) ++*evaluations_;
        return option_->NPV() - observed_;
    }

  private:
    ext::shared_ptr<ql::VanillaOption> option_;
    double observed_;
    int* evaluations_;
};

void BM_ContourCalibrationDax_Ours(benchmark::State& state) {
    const std::vector<Quote> quotes = DaxQuotes();
    std::vector<heston::CalibrationQuote> table;
    for (const Quote& q : quotes)
        table.push_back({{q.type, q.strike, q.maturity, q.rate, 0.0}, q.price, 1.0});
    heston::ContourCalibrationResult fit{};
    for (auto _ : state) {
        fit = heston::CalibrateAccurately(kDaxSpot, table, {});
        benchmark::DoNotOptimize(fit);
    }
    state.counters["evaluations"] = fit.evaluations;
    state.counters["rmse"] = ContourRmse(quotes, fit.parameters);
}
BENCHMARK(BM_ContourCalibrationDax_Ours)->Unit(benchmark::kMillisecond);

void BM_ContourCalibrationDax_QuantLib(benchmark::State& state) {
    const std::vector<Quote> quotes = DaxQuotes();
    const ql::Date today(1, ql::January, 2024);
    ql::Settings::instance().evaluationDate() = today;
    const ql::DayCounter dayCounter = ql::Actual365Fixed();
    // One zero rate per maturity, continuously compounded, as in the table.
    std::vector<ql::Date> dates{today};
    std::vector<ql::Rate> rates{quotes.front().rate};
    for (const Quote& q : quotes) {
        const ql::Date d = today + q.days;
        if (d > dates.back()) {
            dates.push_back(d);
            rates.push_back(q.rate);
        }
    }
    ql::Handle<ql::YieldTermStructure> riskFree(
        ext::make_shared<ql::ZeroCurve>(dates, rates, dayCounter));
    ql::Handle<ql::YieldTermStructure> dividend(
        ext::make_shared<ql::FlatForward>(today, 0.0, dayCounter));
    ql::Handle<ql::Quote> spot(ext::make_shared<ql::SimpleQuote>(kDaxSpot));

    heston::ModelParameters fit{};
    int evaluations = 0;
    for (auto _ : state) {
        auto process =
            ext::make_shared<ql::HestonProcess>(riskFree, dividend, spot, 0.1, 1.0, 0.1, 0.5, -0.5);
        auto model = ext::make_shared<ql::HestonModel>(process);
        auto engine = ext::make_shared<ql::AnalyticHestonEngine>(model, 1e-10, 100000);
        int count = 0;
        std::vector<ext::shared_ptr<ql::CalibrationHelper>> helpers;
        for (std::size_t i = 0; i < quotes.size(); ++i) {
            const Quote& q = quotes[i];
            auto payoff = ext::make_shared<ql::PlainVanillaPayoff>(
                q.type == 1 ? ql::Option::Call : ql::Option::Put, q.strike);
            auto option = ext::make_shared<ql::VanillaOption>(
                payoff, ext::make_shared<ql::EuropeanExercise>(today + q.days));
            option->setPricingEngine(engine);
            helpers.push_back(
                ext::make_shared<PriceError>(option, q.price, i == 0 ? &count : nullptr));
        }
        ql::LevenbergMarquardt lm;
        model->calibrate(helpers, lm, ql::EndCriteria(400, 40, 1e-8, 1e-8, 1e-8));
        evaluations = count;
        fit = {model->v0(), model->theta(), model->kappa(), model->sigma(), model->rho()};
    }
    state.counters["evaluations"] = evaluations;
    state.counters["rmse"] = ContourRmse(quotes, fit);
}
BENCHMARK(BM_ContourCalibrationDax_QuantLib)->Unit(benchmark::kMillisecond);

}  // namespace
