// The Bates calibration beside QuantLib's BatesModel with its BatesEngine on the 104-option DAX
// surface, in the vol measure (implied volatility of the model price - that of the observed
// price) and in the price measure. Ours starts from no guess; QuantLib's Levenberg-Marquardt
// from one good start per measure (one that reaches the jump fit, where most starts stay at
// the Heston-like fit with lambda -> 0). Both fits are priced again by the contour pricer, so
// that the error figures of the two come from one pricer:
//   sse       sum of squared implied-volatility errors, in vol-points^2;
//   rmse14d   root-mean-square implied-volatility error of the 14-day options, in vol-points;
//   rmse      root-mean-square price error.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ql/exercise.hpp>
#include <ql/instruments/payoffs.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/math/optimization/endcriteria.hpp>
#include <ql/math/optimization/levenbergmarquardt.hpp>
#include <ql/models/calibrationhelper.hpp>
#include <ql/models/equity/batesmodel.hpp>
#include <ql/pricingengines/vanilla/batesengine.hpp>
#include <ql/processes/batesprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/termstructures/yield/zerocurve.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <string>
#include <vector>

#include "blackscholes/BlackImpliedVolatility.h"
#include "calibration/BatesCalibration.h"
#include "contour/ContourPricer.h"
#include "observation_csv.h"

namespace ql = QuantLib;
namespace ext = QuantLib::ext;

namespace {

using test_support::kDaxSpot;

struct Quote {
    double strike, maturity, price, rate;
    int type, days;
    double volatility;  // implied by the price
};

// examples/dax-surface.csv: maturities in years of whole days.
std::vector<Quote> DaxQuotes() {
    const test_support::QuoteTable table =
        test_support::ReadObservationCsv(HESTON_SOURCE_DIR "/examples/dax-surface.csv", kDaxSpot);
    std::vector<Quote> quotes;
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const int type = static_cast<int>(table.type[i]);
        quotes.push_back(
            {table.strike[i], table.maturity[i], table.observed[i], table.rate[i], type,
             static_cast<int>(std::lround(table.maturity[i] * 365.0)),
             heston::BlackImpliedVolatility(type, table.observed[i], kDaxSpot, table.strike[i],
                                            table.maturity[i], table.rate[i], 0.0)});
    }
    return quotes;
}

// The three error figures of a fit, by the contour pricer.
void Figures(benchmark::State& state, const std::vector<Quote>& quotes,
             const heston::BatesParameters& p) {
    double squares = 0.0, volatilitySquares = 0.0, shortSquares = 0.0;
    int shortCount = 0;
    for (const Quote& q : quotes) {
        const double price =
            heston::EuropeanPrice(q.type, kDaxSpot, q.strike, q.maturity, q.rate, 0.0, p);
        squares += (price - q.price) * (price - q.price);
        const double error =
            100.0 * (heston::BlackImpliedVolatility(q.type, price, kDaxSpot, q.strike, q.maturity,
                                                    q.rate, 0.0) -
                     q.volatility);
        volatilitySquares += error * error;
        if (q.days == quotes.front().days) {
            shortSquares += error * error;
            ++shortCount;
        }
    }
    state.counters["rmse"] = std::sqrt(squares / quotes.size());
    state.counters["sse"] = volatilitySquares;
    state.counters["rmse14d"] = std::sqrt(shortSquares / shortCount);
    state.counters["lambda"] = p.jumps.lambda;
    // The two figures the fits are compared by, with all their digits.
    char label[96];
    std::snprintf(label, sizeof label, "rmse %.10f sse %.8f", std::sqrt(squares / quotes.size()),
                  volatilitySquares);
    state.SetLabel(label);
}

void Ours(benchmark::State& state, heston::CalibrationErrorMeasure measure) {
    const std::vector<Quote> quotes = DaxQuotes();
    std::vector<heston::CalibrationQuote> table;
    for (const Quote& q : quotes)
        table.push_back({{q.type, q.strike, q.maturity, q.rate, 0.0}, q.price, 1.0});
    heston::BatesCalibrationSettings settings;
    settings.measure = measure;
    heston::BatesCalibrationResult fit{};
    for (auto _ : state) {
        fit = heston::CalibrateBates(kDaxSpot, table, settings);
        benchmark::DoNotOptimize(fit);
    }
    state.counters["evaluations"] = fit.evaluations;
    Figures(state, quotes, fit.parameters);
}

void BM_BatesCalibrationDaxVol_Ours(benchmark::State& state) {
    Ours(state, heston::CalibrationErrorMeasure::Vol);
}
BENCHMARK(BM_BatesCalibrationDaxVol_Ours)->Unit(benchmark::kMillisecond);

void BM_BatesCalibrationDaxPrice_Ours(benchmark::State& state) {
    Ours(state, heston::CalibrationErrorMeasure::Price);
}
BENCHMARK(BM_BatesCalibrationDaxPrice_Ours)->Unit(benchmark::kMillisecond);

// One option's error for QuantLib's calibration: the model price's, or its implied
// volatility's (by our inversion of QuantLib's price; the observed price's where the model
// price has none).
class OptionError : public ql::CalibrationHelper {
  public:
    OptionError(ext::shared_ptr<ql::VanillaOption> option, const Quote& quote, bool volatility,
                int* evaluations)
        : option_(std::move(option)),
          quote_(quote),
          volatility_(volatility),
          evaluations_(evaluations) {}
    ql::Real calibrationError() override {
        if (evaluations_ != nullptr) ++*evaluations_;
        const double price = option_->NPV();
        if (!volatility_) return price - quote_.price;
        try {
            return heston::BlackImpliedVolatility(quote_.type, price, kDaxSpot, quote_.strike,
                                                  quote_.maturity, quote_.rate, 0.0) -
                   quote_.volatility;
        } catch (const std::exception&) {
            return 1.0;  // a price beyond the no-arbitrage bounds: a large error
        }
    }

  private:
    ext::shared_ptr<ql::VanillaOption> option_;
    Quote quote_;
    bool volatility_;
    int* evaluations_;
};

// QuantLib's Bates calibration from start (v0, kappa, theta, sigma, rho, lambda, nu = muJ,
// delta = deltaJ) with its BatesEngine: the default Gauss-Laguerre rule of 144 points, or
// (integrationOrder 0) adaptive Gauss-Lobatto integration to a relative tolerance of 1e-10.
void QuantLib(benchmark::State& state, bool volatility, const double (&start)[8],
              int integrationOrder) {
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

    heston::BatesParameters fit{};
    int evaluations = 0;
    for (auto _ : state) {
        auto process = ext::make_shared<ql::BatesProcess>(riskFree, dividend, spot, start[0],
                                                          start[1], start[2], start[3], start[4],
                                                          start[5], start[6], start[7]);
        auto model = ext::make_shared<ql::BatesModel>(process);
        auto engine = integrationOrder > 0
                          ? ext::make_shared<ql::BatesEngine>(model, integrationOrder)
                          : ext::make_shared<ql::BatesEngine>(model, 1e-10, 100000);
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
                ext::make_shared<OptionError>(option, q, volatility, i == 0 ? &count : nullptr));
        }
        ql::LevenbergMarquardt lm;
        model->calibrate(helpers, lm, ql::EndCriteria(400, 40, 1e-8, 1e-8, 1e-8));
        evaluations = count;
        fit = {{model->v0(), model->theta(), model->kappa(), model->sigma(), model->rho()},
               {model->lambda(), model->nu(), model->delta()}};
    }
    state.counters["evaluations"] = evaluations;
    Figures(state, quotes, fit);
}

// Starts near each measure's jump fit: v0, kappa, theta, sigma, rho, lambda, muJ, deltaJ.
constexpr double kVolStart[8] = {0.12, 5.0, 0.04, 0.8, -0.6, 0.3, -0.3, 0.3};
constexpr double kPriceStart[8] = {0.12, 5.0, 0.04, 0.5, -0.6, 0.1, -0.5, 0.3};

void BM_BatesCalibrationDaxVol_QuantLib(benchmark::State& state) {
    QuantLib(state, true, kVolStart, 144);
}
BENCHMARK(BM_BatesCalibrationDaxVol_QuantLib)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_BatesCalibrationDaxVol_QuantLibAdaptive(benchmark::State& state) {
    QuantLib(state, true, kVolStart, 0);
}
BENCHMARK(BM_BatesCalibrationDaxVol_QuantLibAdaptive)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_BatesCalibrationDaxPrice_QuantLib(benchmark::State& state) {
    QuantLib(state, false, kPriceStart, 144);
}
BENCHMARK(BM_BatesCalibrationDaxPrice_QuantLib)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_BatesCalibrationDaxPrice_QuantLibAdaptive(benchmark::State& state) {
    QuantLib(state, false, kPriceStart, 0);
}
BENCHMARK(BM_BatesCalibrationDaxPrice_QuantLibAdaptive)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
