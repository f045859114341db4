// Cost of one Monte Carlo price: 10000 antithetic pairs of 100 steps, through the library and
// through the straightforward form of the tests (arrays allocated per simulation, pow).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "closedform/Heston.h"
#include "reference_pricing.h"

namespace {

void Report(benchmark::State& state) {
    // Two paths of 100 steps per simulation.
    state.counters["path_steps_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 10000 * 2 * 100, benchmark::Counter::kIsRate);
}

void BM_MonteCarloCall10000x100(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston_EuropeanCallPriceMC(100.0, 100.0, 0.5, 0.03, -0.7, 2.0,
                                                            0.04, 0.0, 0.3, 0.04, 10000, 100));
    }
    Report(state);
}
BENCHMARK(BM_MonteCarloCall10000x100)->Unit(benchmark::kMillisecond);

void BM_MonteCarloCall10000x100_Reference(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::MonteCarloPrice(100.0, 100.0, 0.5, 0.03, -0.7, 2.0,
                                                            0.04, 0.3, 0.04, 1, 10000, 100));
    }
    Report(state);
}
BENCHMARK(BM_MonteCarloCall10000x100_Reference)->Unit(benchmark::kMillisecond);

}  // namespace
