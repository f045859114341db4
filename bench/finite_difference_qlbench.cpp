// QuantLib's side of the finite-difference benchmarks: FdHestonVanillaEngine on the American
// puts and FdHestonBarrierEngine on the up-and-out call of finite_difference_bench.cpp, on a
// sequence of grids (time x spot x variance) from QuantLib's default (100 x 100 x 50) up, each
// with its error against the same converged references as a counter. compare.py sets our
// default grid beside the coarsest QuantLib grid whose error is no larger.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ql/exercise.hpp>
#include <ql/instruments/barrieroption.hpp>
#include <ql/instruments/payoffs.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/models/equity/hestonmodel.hpp>
#include <ql/pricingengines/barrier/fdhestonbarrierengine.hpp>
#include <ql/pricingengines/vanilla/fdhestonvanillaengine.hpp>
#include <ql/processes/hestonprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/daycounters/actual360.hpp>

namespace ql = QuantLib;
namespace ext = QuantLib::ext;

namespace {

struct Case {
    double spot, strike, days, rate, v0, theta, kappa, sigma, rho, reference;
};
// Actual/360, so that 90 days are T = 0.25 and 360 days T = 1 exactly.
const Case kOosterlee{10, 10, 90, 0.1, 0.0625, 0.16, 5.0, 0.9, 0.1, 0.520030};
const Case kLongPut{100, 100, 360, 0.05, 0.04, 0.04, 2.5, 0.66, -0.8, 5.67536};
const Case kUpOut{100, 100, 360, 0.05, 0.04, 0.04, 2.5, 0.66, -0.8, 9.1548};

ext::shared_ptr<ql::HestonModel> Model(const Case& c, const ql::Date& today) {
    const ql::DayCounter dc = ql::Actual360();
    ql::Handle<ql::YieldTermStructure> rate(ext::make_shared<ql::FlatForward>(today, c.rate, dc));
    ql::Handle<ql::YieldTermStructure> yield(ext::make_shared<ql::FlatForward>(today, 0.0, dc));
    ql::Handle<ql::Quote> spot(ext::make_shared<ql::SimpleQuote>(c.spot));
    auto process = ext::make_shared<ql::HestonProcess>(rate, yield, spot, c.v0, c.kappa, c.theta,
                                                       c.sigma, c.rho);
    return ext::make_shared<ql::HestonModel>(process);
}

void AmericanPut(benchmark::State& state, const Case& c) {
    const ql::Date today(15, ql::January, 2024);
    ql::Settings::instance().evaluationDate() = today;
    const auto model = Model(c, today);
    ql::VanillaOption option(
        ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Put, c.strike),
        ext::make_shared<ql::AmericanExercise>(today, today + static_cast<int>(c.days)));
    double price = 0.0;
    for (auto _ : state) {
        option.setPricingEngine(ext::make_shared<ql::FdHestonVanillaEngine>(
            model, state.range(0), state.range(1), state.range(2)));
        price = option.NPV();
    }
    state.counters["error"] = std::fabs(price - c.reference);
}

void BM_FdQL_AmericanPutOosterlee(benchmark::State& state) {
    AmericanPut(state, kOosterlee);
}
void BM_FdQL_AmericanPut(benchmark::State& state) {
    AmericanPut(state, kLongPut);
}

void BM_FdQL_UpOutCall(benchmark::State& state) {
    const Case& c = kUpOut;
    const ql::Date today(15, ql::January, 2024);
    ql::Settings::instance().evaluationDate() = today;
    const auto model = Model(c, today);
    ql::BarrierOption option(
        ql::Barrier::UpOut, 135.0, 0.0,
        ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Call, c.strike),
        ext::make_shared<ql::EuropeanExercise>(today + static_cast<int>(c.days)));
    double price = 0.0;
    for (auto _ : state) {
        option.setPricingEngine(ext::make_shared<ql::FdHestonBarrierEngine>(
            model, state.range(0), state.range(1), state.range(2)));
        price = option.NPV();
    }
    state.counters["error"] = std::fabs(price - c.reference);
}

void Grids(benchmark::internal::Benchmark* b) {
    for (const auto& g :
         {std::vector<int64_t>{100, 100, 50}, {200, 200, 100}, {400, 200, 100}, {400, 400, 200}})
        b->Args(g);
    b->Unit(benchmark::kMillisecond)->Iterations(3);
}

BENCHMARK(BM_FdQL_AmericanPutOosterlee)->Apply(Grids);
BENCHMARK(BM_FdQL_AmericanPut)->Apply(Grids);
BENCHMARK(BM_FdQL_UpOutCall)->Apply(Grids);

}  // namespace
