// QuantLib's side of the finite-difference benchmarks: FdHestonVanillaEngine on the American
// puts and FdHestonBarrierEngine on the up-and-out call of finite_difference_cases.h, on a
// sequence of grids (time x spot x variance) from QuantLib's default (100 x 100 x 50) up and
// with several of its schemes, each with its error against the same references as a counter.
// compare.py sets our default grid beside the cheapest QuantLib run whose error is no larger.
//
// Arguments: case (0 Oosterlee's put, 1 the longer put, 2 the up-and-out call), scheme (0
// Hundsdorfer, QuantLib's default; 1 Modified Craig-Sneyd; 2 Modified Hundsdorfer), damping
// steps, then the grid.
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

#include "finite_difference_cases.h"

namespace ql = QuantLib;
namespace ext = QuantLib::ext;

namespace {

const fdbench::Case* CaseOf(int index) {
    static const fdbench::Case* cases[] = {&fdbench::kOosterleePut, &fdbench::kLongPut,
                                           &fdbench::kUpOutCall};
    return cases[index];
}

ql::FdmSchemeDesc SchemeOf(int index) {
    switch (index) {
        case 1:
            return ql::FdmSchemeDesc::ModifiedCraigSneyd();
        case 2:
            return ql::FdmSchemeDesc::ModifiedHundsdorfer();
        default:
            return ql::FdmSchemeDesc::Hundsdorfer();
    }
}

// Actual/360 and maturities of 90 and 360 days, so that T = 0.25 and T = 1 exactly.
void BM_FdQL(benchmark::State& state) {
    const fdbench::Case& c = *CaseOf(static_cast<int>(state.range(0)));
    const ql::FdmSchemeDesc scheme = SchemeOf(static_cast<int>(state.range(1)));
    const ql::Size damping = state.range(2), t = state.range(3), x = state.range(4),
                   v = state.range(5);
    const ql::Date today(15, ql::January, 2024);
    ql::Settings::instance().evaluationDate() = today;
    const ql::DayCounter dc = ql::Actual360();
    ql::Handle<ql::YieldTermStructure> rate(ext::make_shared<ql::FlatForward>(today, c.rate, dc));
    ql::Handle<ql::YieldTermStructure> yield(ext::make_shared<ql::FlatForward>(today, 0.0, dc));
    ql::Handle<ql::Quote> spot(ext::make_shared<ql::SimpleQuote>(c.spot));
    const auto model = ext::make_shared<ql::HestonModel>(ext::make_shared<ql::HestonProcess>(
        rate, yield, spot, c.v0, c.kappa, c.theta, c.sigma, c.rho));
    const ql::Date expiry = today + static_cast<int>(std::lround(c.maturity * 360.0));
    const auto payoff = ext::make_shared<ql::PlainVanillaPayoff>(
        c.call ? ql::Option::Call : ql::Option::Put, c.strike);
    double price = 0.0;
    if (c.upOutBarrier > 0.0) {
        ql::BarrierOption option(ql::Barrier::UpOut, c.upOutBarrier, 0.0, payoff,
                                 ext::make_shared<ql::EuropeanExercise>(expiry));
        for (auto _ : state) {
            option.setPricingEngine(
                ext::make_shared<ql::FdHestonBarrierEngine>(model, t, x, v, damping, scheme));
            price = option.NPV();
        }
    } else {
        ql::VanillaOption option(payoff, ext::make_shared<ql::AmericanExercise>(today, expiry));
        for (auto _ : state) {
            option.setPricingEngine(
                ext::make_shared<ql::FdHestonVanillaEngine>(model, t, x, v, damping, scheme));
            price = option.NPV();
        }
    }
    state.counters["error"] = price - c.reference;
    state.SetLabel(c.name);
}

// The grids: QuantLib's default scheme along its default grid doubled, with extra steps and
// spot points; the other schemes (with and without damping steps) on coarse grids, where their
// errors are smallest for their cost. Each run three times (compare.py takes the median); the
// largest grids once.
void Grids(benchmark::internal::Benchmark* b) {
    for (int c : {0, 1, 2}) {
        for (const auto& g : {std::vector<int64_t>{100, 100, 50},
                              {200, 200, 100},
                              {100, 200, 100},
                              {200, 400, 100}}) {
            b->Args({c, 0, 0, g[0], g[1], g[2]});
        }
        for (int scheme : {1, 2}) {
            for (int damping : {0, 2}) {
                for (const auto& g :
                     {std::vector<int64_t>{50, 100, 50}, {50, 150, 50}, {100, 200, 100}}) {
                    b->Args({c, scheme, damping, g[0], g[1], g[2]});
                }
            }
        }
    }
    b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
}
BENCHMARK(BM_FdQL)->Apply(Grids);

// QuantLib's default grid times 3 and 4 (times 2 is above), 800 steps for the longer put, and
// the Modified Craig-Sneyd scheme with 400 steps on the up-and-out call: its error at 50 steps
// and 150 x 50 nodes is small only because a large time error cancels a large spatial one.
void LargeGrids(benchmark::internal::Benchmark* b) {
    for (int c : {0, 1, 2}) {
        b->Args({c, 0, 0, 300, 300, 150});
        b->Args({c, 0, 0, 400, 400, 200});
    }
    b->Args({1, 0, 0, 800, 400, 200});
    b->Args({2, 1, 0, 400, 150, 50});
    b->Unit(benchmark::kMillisecond)->Iterations(1);
}
BENCHMARK(BM_FdQL)->Name("BM_FdQL_Large")->Apply(LargeGrids);

}  // namespace
