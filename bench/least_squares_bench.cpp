// Cost of one whole Levenberg-Marquardt calibration to a 40-option surface (8 strikes times
// 5 maturities) priced by the model itself, with the residual evaluations it took.
#include <benchmark/benchmark.h>

#include <vector>

#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "quote_table.h"

static void BM_LevenbergMarquardt40Options(benchmark::State& state) {
    using Vector = std::vector<double>;
    const test_support::QuoteTable t = test_support::ModelTable(
        100.0, {0.25, 0.5, 1.0, 1.5, 2.0}, {70.0, 80.0, 90.0, 95.0, 100.0, 105.0, 115.0, 130.0},
        heston::ModelParameters{0.05, 0.06, 1.5, 0.4, -0.6}, 1e-13);
    const Vector lower{0.001, 0.001, 0.1, 0.05, -0.99};
    const Vector upper{0.5, 0.5, 10.0, 1.5, 0.99};
    const Vector guess{0.03, 0.04, 2.5, 0.3, -0.3};

    int evaluations = 0;
    for (auto _ : state) {
        Heston model;
        benchmark::DoNotOptimize(model.CalibrateLeastSquares(lower, upper, guess, t.strike,
                                                             t.maturity, t.type, t.observed, t.spot,
                                                             t.rate, t.weight, 200));
        evaluations = model.evaluationCount;
    }
    state.counters["residual_evaluations"] = evaluations;
}
BENCHMARK(BM_LevenbergMarquardt40Options)->Unit(benchmark::kMillisecond);
