// The finite-difference pricer: one American put and one up-and-out call at the default grid
// (the cases of finite_difference_qlbench.cpp, with their errors against converged references
// as counters), the eleven Greeks, and the convergence of the error with the grid.
#include <benchmark/benchmark.h>

#include <cmath>

#include "contour/ContourPricer.h"
#include "finitedifference/FiniteDifferencePricer.h"

namespace {

using heston::ExerciseStyle;
using heston::FiniteDifferenceGrid;
using heston::FiniteDifferenceOption;

// Oosterlee's set, S = 10, v0 = 0.0625: reference 0.520030.
const heston::ModelParameters kOosterlee{0.0625, 0.16, 5.0, 0.9, 0.1};
// S = K = 100, T = 1, r = 0.05: American put 5.67536 and up-and-out call (barrier 135)
// 9.1548, both converged by refining our grid (50 k x 200 k x 24 k, k = 2, 4, 8; README).
const heston::ModelParameters kLong{0.04, 0.04, 2.5, 0.66, -0.8};
constexpr double kLongPutReference = 5.67536, kUpOutReference = 9.1548;

FiniteDifferenceOption OosterleePut() {
    FiniteDifferenceOption o;
    o.optionType = heston::kPut;
    o.strike = 10;
    o.maturity = 0.25;
    o.rate = 0.1;
    o.exercise = ExerciseStyle::American;
    return o;
}

FiniteDifferenceOption LongPut() {
    FiniteDifferenceOption o;
    o.optionType = heston::kPut;
    o.strike = 100;
    o.maturity = 1.0;
    o.rate = 0.05;
    o.exercise = ExerciseStyle::American;
    return o;
}

FiniteDifferenceOption UpOutCall() {
    FiniteDifferenceOption o;
    o.optionType = heston::kCall;
    o.strike = 100;
    o.maturity = 1.0;
    o.rate = 0.05;
    o.barrier.type = heston::BarrierType::UpOut;
    o.barrier.upper = 135;
    return o;
}

void BM_FdAmericanPutOosterlee_Ours(benchmark::State& state) {
    double price = 0.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            price = heston::FiniteDifferencePrice(10.0, OosterleePut(), kOosterlee));
    state.counters["error"] = std::fabs(price - 0.520030);
}
BENCHMARK(BM_FdAmericanPutOosterlee_Ours)->Unit(benchmark::kMillisecond);

void BM_FdAmericanPut_Ours(benchmark::State& state) {
    double price = 0.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(price = heston::FiniteDifferencePrice(100.0, LongPut(), kLong));
    state.counters["error"] = std::fabs(price - kLongPutReference);
}
BENCHMARK(BM_FdAmericanPut_Ours)->Unit(benchmark::kMillisecond);

void BM_FdUpOutCall_Ours(benchmark::State& state) {
    double price = 0.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(price = heston::FiniteDifferencePrice(100.0, UpOutCall(), kLong));
    state.counters["error"] = std::fabs(price - kUpOutReference);
}
BENCHMARK(BM_FdUpOutCall_Ours)->Unit(benchmark::kMillisecond);

// All eleven Greeks of the Oosterlee put: one solve and twelve bumped re-solves, serially.
void BM_FdAmericanGreeks_Ours(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(heston::FiniteDifferenceGreeks(10.0, OosterleePut(), kOosterlee));
}
BENCHMARK(BM_FdAmericanGreeks_Ours)->Unit(benchmark::kMillisecond);

// Convergence: the European put of the long case on the grid k/2 times the default in every
// direction (k = 1, 2, 4, 8), against the Fourier price. The error falls by about 4 per
// doubling (second order).
void BM_FdConvergence(benchmark::State& state) {
    const double k = state.range(0) / 2.0;
    const FiniteDifferenceGrid grid{static_cast<int>(50 * k), static_cast<int>(200 * k),
                                    static_cast<int>(32 * k)};
    FiniteDifferenceOption o = LongPut();
    o.exercise = ExerciseStyle::European;
    double price = 0.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(price = heston::FiniteDifferencePrice(100.0, o, kLong, grid));
    state.counters["error"] =
        std::fabs(price - heston::EuropeanPrice(heston::kPut, 100, 100, 1.0, 0.05, 0.0, kLong));
    state.counters["time_steps"] = grid.timeSteps;
    state.counters["spot_points"] = grid.spotPoints;
    state.counters["variance_points"] = grid.variancePoints;
}
BENCHMARK(BM_FdConvergence)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
