// Cost of one Monte Carlo price: 10000 antithetic pairs of 100 steps.
#include <benchmark/benchmark.h>

#include "Heston.h"

static void BM_MonteCarloCall10000x100(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston_EuropeanCallPriceMC(100.0, 100.0, 0.5, 0.03, -0.7, 2.0,
                                                            0.04, 0.0, 0.3, 0.04, 10000, 100));
    }
}
BENCHMARK(BM_MonteCarloCall10000x100)->Unit(benchmark::kMillisecond);
