// QuantLib's side of the Bates pricer's benchmarks (bates_pricer_bench.cpp): one call on each
// of the 25 cases by QuantLib's BatesEngine, with its default Gauss-Laguerre rule of 144 nodes
// and with adaptive integration to relative tolerances of 1e-8 and 1e-12, each with its worst
// error over the 25 cases against the long-double Bates reference of tests/support; and the
// contour pricer's worst error on the same cases.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <ql/exercise.hpp>
#include <ql/instruments/payoffs.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/models/equity/batesmodel.hpp>
#include <ql/pricingengines/vanilla/batesengine.hpp>
#include <ql/processes/batesprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <vector>

#include "bates_reference.h"
#include "contour/ContourPricer.h"

namespace ql = QuantLib;
namespace ext = QuantLib::ext;

namespace {

const int kDays[5] = {1, 7, 37, 365, 3650};
const double kStrikes[5] = {60, 85, 100, 120, 160};
const heston::BatesParameters kModel{{0.04, 0.06, 1.5, 0.4, -0.6}, {0.3, -0.2, 0.15}};
constexpr double kSpot = 100.0, kRate = 0.02, kYield = 0.01;

// The reference call prices of the 25 cases, computed once.
double Reference(int strike, int days) {
    static std::vector<double> table;
    if (table.empty()) {
        const heston::ModelParameters& h = kModel.heston;
        for (int k = 0; k < 5; ++k) {
            for (int d = 0; d < 5; ++d) {
                reference::BatesReference ref{kSpot,
                                              kStrikes[k],
                                              kDays[d] / 365.0,
                                              kRate,
                                              kYield,
                                              h.v0,
                                              h.theta,
                                              h.kappa,
                                              h.sigma,
                                              h.rho,
                                              kModel.jumps.lambda,
                                              kModel.jumps.muJ,
                                              kModel.jumps.deltaJ};
                table.push_back(static_cast<double>(ref.Prices().call));
            }
        }
    }
    return table[5 * strike + days];
}

using EngineFactory =
    std::function<ext::shared_ptr<ql::PricingEngine>(const ext::shared_ptr<ql::BatesModel>&)>;

void TimeQuantLib(benchmark::State& state, const EngineFactory& factory) {
    const ql::Date today(1, ql::January, 2024);
    ql::Settings::instance().evaluationDate() = today;
    const ql::DayCounter dayCounter = ql::Actual365Fixed();
    ql::Handle<ql::YieldTermStructure> riskFree(
        ext::make_shared<ql::FlatForward>(today, kRate, dayCounter));
    ql::Handle<ql::YieldTermStructure> dividend(
        ext::make_shared<ql::FlatForward>(today, kYield, dayCounter));
    ql::Handle<ql::Quote> spot(ext::make_shared<ql::SimpleQuote>(kSpot));
    const heston::ModelParameters& h = kModel.heston;
    auto process = ext::make_shared<ql::BatesProcess>(riskFree, dividend, spot, h.v0, h.kappa,
                                                      h.theta, h.sigma, h.rho, kModel.jumps.lambda,
                                                      kModel.jumps.muJ, kModel.jumps.deltaJ);
    auto model = ext::make_shared<ql::BatesModel>(process);
    auto engine = factory(model);
    auto call = [&](double strike, int days) {
        auto option = ext::make_shared<ql::VanillaOption>(
            ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Call, strike),
            ext::make_shared<ql::EuropeanExercise>(today + days));
        option->setPricingEngine(engine);
        return option;
    };
    double worst = 0.0;
    for (int k = 0; k < 5; ++k) {
        for (int d = 0; d < 5; ++d) {
            worst =
                std::max(worst, std::fabs(call(kStrikes[k], kDays[d])->NPV() - Reference(k, d)));
        }
    }
    auto option = call(kStrikes[state.range(0)], kDays[state.range(1)]);
    for (auto _ : state) {
        option->recalculate();
        benchmark::DoNotOptimize(option->NPV());
    }
    state.counters["worst_error"] = worst;
}

void BM_BatesQL_Default(benchmark::State& state) {
    TimeQuantLib(state, [](const ext::shared_ptr<ql::BatesModel>& m) {
        return ext::make_shared<ql::BatesEngine>(m);
    });
}
BENCHMARK(BM_BatesQL_Default)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.02);

void BM_BatesQL_Adaptive1e8(benchmark::State& state) {
    TimeQuantLib(state, [](const ext::shared_ptr<ql::BatesModel>& m) {
        return ext::make_shared<ql::BatesEngine>(m, 1e-8, 100000);
    });
}
BENCHMARK(BM_BatesQL_Adaptive1e8)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.02);

void BM_BatesQL_Adaptive1e12(benchmark::State& state) {
    TimeQuantLib(state, [](const ext::shared_ptr<ql::BatesModel>& m) {
        return ext::make_shared<ql::BatesEngine>(m, 1e-12, 1000000);
    });
}
BENCHMARK(BM_BatesQL_Adaptive1e12)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.02);

// The contour pricer's worst error on the same 25 calls (its times are BM_BatesPrice's).
void BM_BatesOurWorstError(benchmark::State& state) {
    double worst = 0.0;
    for (auto _ : state) {
        worst = 0.0;
        for (int k = 0; k < 5; ++k) {
            for (int d = 0; d < 5; ++d) {
                const double price = heston::EuropeanPrice(1, kSpot, kStrikes[k], kDays[d] / 365.0,
                                                           kRate, kYield, kModel);
                worst = std::max(worst, std::fabs(price - Reference(k, d)));
            }
        }
    }
    state.counters["worst_error"] = worst;
}
BENCHMARK(BM_BatesOurWorstError)->Iterations(1);

}  // namespace
