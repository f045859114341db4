// The finite-difference pricer on the cases of finite_difference_cases.h: one price at the
// default grid (the American puts and the up-and-out call, errors against the references as
// counters), the eleven Greeks, coarser grids for setting our error beside QuantLib's default
// grid, and the convergence of the error with the grid.
#include <benchmark/benchmark.h>

#include <cmath>

#include "contour/ContourPricer.h"
#include "finite_difference_cases.h"
#include "finitedifference/FiniteDifferencePricer.h"

namespace {

using heston::ExerciseStyle;
using heston::FiniteDifferenceGrid;
using heston::FiniteDifferenceOption;

heston::ModelParameters ModelOf(const fdbench::Case& c) {
    return {c.v0, c.theta, c.kappa, c.sigma, c.rho};
}

FiniteDifferenceOption OptionOf(const fdbench::Case& c) {
    FiniteDifferenceOption o;
    o.optionType = c.call ? heston::kCall : heston::kPut;
    o.strike = c.strike;
    o.maturity = c.maturity;
    o.rate = c.rate;
    o.exercise = c.american ? ExerciseStyle::American : ExerciseStyle::European;
    if (c.upOutBarrier > 0.0) {
        o.barrier.type = heston::BarrierType::UpOut;
        o.barrier.upper = c.upOutBarrier;
    }
    return o;
}

// One price of the case on the grid (zero entries: the default), its error as a counter.
void Price(benchmark::State& state, const fdbench::Case& c, const FiniteDifferenceGrid& grid) {
    const FiniteDifferenceOption option = OptionOf(c);
    const heston::ModelParameters model = ModelOf(c);
    double price = 0.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(price =
                                     heston::FiniteDifferencePrice(c.spot, option, model, grid));
    const FiniteDifferenceGrid used = heston::ResolveGrid(grid, option, model);
    state.counters["error"] = price - c.reference;
    state.counters["time_steps"] = used.timeSteps;
    state.counters["spot_points"] = used.spotPoints;
    state.counters["variance_points"] = used.variancePoints;
}

const fdbench::Case* CaseOf(int index) {
    static const fdbench::Case* cases[] = {&fdbench::kOosterleePut, &fdbench::kLongPut,
                                           &fdbench::kUpOutCall};
    return cases[index];
}

// Default grid: case 0 Oosterlee's put, 1 the longer put, 2 the up-and-out call.
void BM_FdDefault_Ours(benchmark::State& state) {
    const fdbench::Case& c = *CaseOf(static_cast<int>(state.range(0)));
    Price(state, c, {});
    state.SetLabel(c.name);
}
BENCHMARK(BM_FdDefault_Ours)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// All eleven Greeks of Oosterlee's put: one solve and twelve bumped re-solves, serially.
void BM_FdAmericanGreeks_Ours(benchmark::State& state) {
    const FiniteDifferenceOption option = OptionOf(fdbench::kOosterleePut);
    const heston::ModelParameters model = ModelOf(fdbench::kOosterleePut);
    for (auto _ : state)
        benchmark::DoNotOptimize(heston::FiniteDifferenceGreeks(10.0, option, model));
}
BENCHMARK(BM_FdAmericanGreeks_Ours)->Unit(benchmark::kMillisecond);

// The default grid scaled by k / 8 in every direction (k = 2, 3, 4, 6): where our error meets
// QuantLib's at its default grid.
void BM_FdCoarse_Ours(benchmark::State& state) {
    const fdbench::Case& c = *CaseOf(static_cast<int>(state.range(0)));
    const FiniteDifferenceGrid base = heston::DefaultGrid(OptionOf(c), ModelOf(c));
    const double k = state.range(1) / 8.0;
    Price(state, c,
          {static_cast<int>(std::lround(base.timeSteps * k)),
           static_cast<int>(std::lround(base.spotPoints * k)),
           static_cast<int>(std::lround(base.variancePoints * k))});
    state.SetLabel(c.name);
}
BENCHMARK(BM_FdCoarse_Ours)->ArgsProduct({{0, 1, 2}, {2, 3, 4, 6}})->Unit(benchmark::kMillisecond);

// Convergence: the default grid times k / 2 in every direction (k = 1, 2, 4, 8), for the
// European put of the longer case against the Fourier price (case 3) and for the three cases
// against their references. With every axis refined together the error of a second-order
// scheme falls by about 4 per doubling.
void BM_FdConvergence(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    fdbench::Case c = *CaseOf(index == 3 ? 1 : index);
    if (index == 3) {
        c.american = false;
        c.reference = heston::EuropeanPrice(heston::kPut, c.spot, c.strike, c.maturity, c.rate, 0.0,
                                            ModelOf(c));
    }
    const FiniteDifferenceGrid base = heston::DefaultGrid(OptionOf(c), ModelOf(c));
    const double k = state.range(1) / 2.0;
    Price(state, c,
          {static_cast<int>(base.timeSteps * k), static_cast<int>(base.spotPoints * k),
           static_cast<int>(base.variancePoints * k)});
    state.SetLabel(index == 3 ? "LongPutEuropean" : c.name);
}
BENCHMARK(BM_FdConvergence)
    ->ArgsProduct({{3, 1, 2, 0}, {1, 2, 4, 8}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
