// Side-by-side costs of this library and QuantLib on the same inputs, in one process: one
// closed-form price, a 40-option surface, a Levenberg-Marquardt calibration of that surface
// and of the DAX surface in examples/. QuantLib gets a HestonModel with risk-free rate r and
// dividend yield 0 and the AnalyticHestonEngine built by its default constructor. Maturities
// are whole days over 365, so both libraries see the same year fractions.
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

#include "calibration/Calibration.h"
#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "observation_csv.h"
#include "quote_table.h"

namespace ql = QuantLib;
namespace ext = QuantLib::ext;

namespace {

using Vector = std::vector<double>;

// Calibration order v, theta, kappa, sigma, rho.
const Vector kTruth = {0.04, 0.06, 1.5, 0.4, -0.6};
const Vector kGuess = {0.03, 0.04, 2.5, 0.3, -0.3};
const Vector kLower = {0.001, 0.001, 0.1, 0.05, -0.99};
const Vector kUpper = {0.5, 0.5, 10.0, 1.5, 0.99};

// An observation table with each maturity also in whole days, as QuantLib's dates need it.
struct Surface : test_support::QuoteTable {
    std::vector<int> days;
};

Surface WithDays(const test_support::QuoteTable& table) {
    Surface s;
    static_cast<test_support::QuoteTable&>(s) = table;
    for (double T : s.maturity) s.days.push_back(static_cast<int>(std::lround(T * 365.0)));
    return s;
}

double OurPrice(const Surface& s, std::size_t i, const Vector& p) {
    return test_support::ModelPrice(heston::FromCalibrationVector(p.data()), s.spot, s.strike[i],
                                    s.maturity[i], s.rate[i], s.type[i], 1e-13);
}

// 8 strikes x 5 maturities, priced by our model at kTruth with rate 0.02.
Surface ModelSurface() {
    Vector maturities;
    for (int d : {91, 182, 365, 547, 730}) maturities.push_back(d / 365.0);
    return WithDays(test_support::ModelTable(100.0, maturities,
                                             {70.0, 80.0, 90.0, 95.0, 100.0, 105.0, 115.0, 130.0},
                                             heston::FromCalibrationVector(kTruth.data()), 1e-13));
}

// examples/dax-surface.csv: maturities in years of whole days.
Surface DaxSurface() {
    return WithDays(test_support::ReadObservationCsv(HESTON_SOURCE_DIR "/examples/dax-surface.csv",
                                                     test_support::kDaxSpot));
}

double Rmse(const Surface& s, const Vector& model) {
    double squares = 0.0;
    for (std::size_t i = 0; i < model.size(); ++i) {
        squares += (model[i] - s.observed[i]) * (model[i] - s.observed[i]);
    }
    return std::sqrt(squares / model.size());
}

// QuantLib's side: the model, its default analytic engine and one option per observation.
struct QuantLibSurface {
    ql::Date today{1, ql::January, 2024};
    ql::DayCounter dayCounter = ql::Actual365Fixed();
    ext::shared_ptr<ql::HestonModel> model;
    std::vector<ext::shared_ptr<ql::VanillaOption>> options;

    QuantLibSurface(const Surface& s, const Vector& p) {
        ql::Settings::instance().evaluationDate() = today;
        // One zero rate per maturity (continuously compounded), so that each option discounts
        // and drifts with its own rate exactly as in our table.
        std::vector<ql::Date> dates{today};
        std::vector<ql::Rate> rates{s.rate.front()};
        for (std::size_t i = 0; i < s.strike.size(); ++i) {
            const ql::Date d = today + s.days[i];
            if (d > dates.back()) {
                dates.push_back(d);
                rates.push_back(s.rate[i]);
            }
        }
        ql::Handle<ql::YieldTermStructure> riskFree(
            ext::make_shared<ql::ZeroCurve>(dates, rates, dayCounter));
        ql::Handle<ql::YieldTermStructure> dividend(
            ext::make_shared<ql::FlatForward>(today, 0.0, dayCounter));
        ql::Handle<ql::Quote> spot(ext::make_shared<ql::SimpleQuote>(s.spot));
        const heston::ModelParameters m = heston::FromCalibrationVector(p.data());
        auto process = ext::make_shared<ql::HestonProcess>(riskFree, dividend, spot, m.v0, m.kappa,
                                                           m.theta, m.sigma, m.rho);
        model = ext::make_shared<ql::HestonModel>(process);
        auto engine = ext::make_shared<ql::AnalyticHestonEngine>(model);
        for (std::size_t i = 0; i < s.strike.size(); ++i) {
            auto payoff = ext::make_shared<ql::PlainVanillaPayoff>(
                s.type[i] == 1.0 ? ql::Option::Call : ql::Option::Put, s.strike[i]);
            auto exercise = ext::make_shared<ql::EuropeanExercise>(today + s.days[i]);
            options.push_back(ext::make_shared<ql::VanillaOption>(payoff, exercise));
            options.back()->setPricingEngine(engine);
        }
    }

    Vector Prices() const {
        Vector prices;
        for (const auto& option : options) prices.push_back(option->NPV());
        return prices;
    }
};

// A price error sqrt(weight) (model - observed) for QuantLib's calibration; counts how often
// the first observation is asked, which is the number of surface evaluations.
class PriceHelper : public ql::CalibrationHelper {
  public:
    PriceHelper(ext::shared_ptr<ql::VanillaOption> option, double observed, double weight,
                int* evaluations)
        : option_(std::move(option)),
          observed_(observed),
          weight_(weight),
          evaluations_(evaluations) {}
    ql::Real calibrationError() override {
        if (evaluations_ != nullptr) ++*evaluations_;
        return std::sqrt(weight_) * (option_->NPV() - observed_);
    }

  private:
    ext::shared_ptr<ql::VanillaOption> option_;
    double observed_;
    double weight_;
    int* evaluations_;
};

// --- 1. One closed-form price, per strike and maturity -------------------------------------

const int kOneDays[5] = {37, 182, 365, 730, 1825};
const double kOneStrikes[5] = {70, 85, 100, 115, 130};

void BM_OnePrice_Ours(benchmark::State& state) {
    const double K = kOneStrikes[state.range(0)];
    const double T = kOneDays[state.range(1)] / 365.0;
    Heston heston;
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston.ClosedFormPrice(100.0, K, T, 0.02, -0.6, 1.5, 0.06, 0.0,
                                                        0.4, 0.04, 1e-5, 100.0, 1));
    }
}
BENCHMARK(BM_OnePrice_Ours)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.05);

// The same prices with the SSE2 loops, which processors without AVX2 run (and clang builds).
void BM_OnePrice_OursSse2(benchmark::State& state) {
    const double K = kOneStrikes[state.range(0)];
    const double T = kOneDays[state.range(1)] / 365.0;
    const heston::ModelParameters p{0.04, 0.06, 1.5, 0.4, -0.6};
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston::closedform::ClosedFormGrid::DirectPrice(
            100.0, K, T, 0.02, p, 0.0, 1e-5, 100.0, 1, heston::VectorWidth::kSse2));
    }
}
BENCHMARK(BM_OnePrice_OursSse2)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.05);

void BM_OnePrice_QuantLib(benchmark::State& state) {
    Surface s;
    s.strike = {kOneStrikes[state.range(0)]};
    s.days = {kOneDays[state.range(1)]};
    s.maturity = {s.days[0] / 365.0};
    s.type = {1.0};
    s.rate = {0.02};
    QuantLibSurface q(s, kTruth);
    for (auto _ : state) {
        q.options[0]->recalculate();
        benchmark::DoNotOptimize(q.options[0]->NPV());
    }
}
BENCHMARK(BM_OnePrice_QuantLib)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.05);

// --- 2. The 40-option surface at one parameter set -----------------------------------------

void BM_Surface40_Ours(benchmark::State& state) {
    const Surface s = ModelSurface();
    Heston::SetCalibrationData(kLower, kUpper, s.strike, s.maturity, s.type, s.observed, s.spot,
                               s.rate, s.weight);
    Heston solver(5, 50);
    solver.Initialise(kLower.data(), kUpper.data(), 0, 0.9, 1.0);
    bool stop = false;
    for (auto _ : state) benchmark::DoNotOptimize(solver.Evaluate(kGuess.data(), stop));
}
BENCHMARK(BM_Surface40_Ours)->Unit(benchmark::kMicrosecond);

void BM_Surface40_QuantLib(benchmark::State& state) {
    const Surface s = ModelSurface();
    QuantLibSurface q(s, kGuess);
    for (auto _ : state) {
        double sum = 0.0;
        for (auto& option : q.options) {
            option->recalculate();
            sum += option->NPV();
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_Surface40_QuantLib)->Unit(benchmark::kMicrosecond);

// --- 3 and 6. Levenberg-Marquardt calibrations --------------------------------------------

void CalibrateOurs(benchmark::State& state, const Surface& s) {
    Vector fit;
    int evaluations = 0;
    for (auto _ : state) {
        Heston model;
        fit = model.CalibrateLeastSquares(kLower, kUpper, kGuess, s.strike, s.maturity, s.type,
                                          s.observed, s.spot, s.rate, s.weight, 400);
        evaluations = model.evaluationCount;
    }
    Vector prices;
    for (std::size_t i = 0; i < s.strike.size(); ++i) prices.push_back(OurPrice(s, i, fit));
    state.counters["evaluations"] = evaluations;
    state.counters["rmse"] = Rmse(s, prices);
}

void CalibrateQuantLib(benchmark::State& state, const Surface& s) {
    Vector prices;
    int evaluations = 0;
    for (auto _ : state) {
        QuantLibSurface q(s, kGuess);
        int count = 0;
        std::vector<ext::shared_ptr<ql::CalibrationHelper>> helpers;
        for (std::size_t i = 0; i < s.strike.size(); ++i) {
            helpers.push_back(ext::make_shared<PriceHelper>(
                q.options[i], s.observed[i], s.weight[i], i == 0 ? &count : nullptr));
        }
        ql::LevenbergMarquardt lm;
        q.model->calibrate(helpers, lm, ql::EndCriteria(400, 40, 1e-8, 1e-8, 1e-8));
        evaluations = count;
        prices = q.Prices();
    }
    state.counters["evaluations"] = evaluations;
    state.counters["rmse"] = Rmse(s, prices);
}

void BM_LevMar40_Ours(benchmark::State& state) {
    CalibrateOurs(state, ModelSurface());
}
BENCHMARK(BM_LevMar40_Ours)->Unit(benchmark::kMillisecond);

void BM_LevMar40_QuantLib(benchmark::State& state) {
    CalibrateQuantLib(state, ModelSurface());
}
BENCHMARK(BM_LevMar40_QuantLib)->Unit(benchmark::kMillisecond);

void BM_LevMarDax_Ours(benchmark::State& state) {
    CalibrateOurs(state, DaxSurface());
}
BENCHMARK(BM_LevMarDax_Ours)->Unit(benchmark::kMillisecond);

void BM_LevMarDax_QuantLib(benchmark::State& state) {
    CalibrateQuantLib(state, DaxSurface());
}
BENCHMARK(BM_LevMarDax_QuantLib)->Unit(benchmark::kMillisecond);

}  // namespace
