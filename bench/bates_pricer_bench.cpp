// Cost of the contour pricer under the Bates model, on the cases of contour_pricer_bench.cpp
// with jumps (a fall of about 18% with a spread of 15%, 0.3 a year): one price, the Greeks with
// the three jump derivatives, one model implied volatility, and the DAX surface in one batch
// call with and without the eight parameter derivatives. The calibration beside QuantLib's is
// in bates_calibration_qlbench.cpp.
#include <benchmark/benchmark.h>

#include <vector>

#include "contour/ContourPricer.h"
#include "observation_csv.h"

namespace {

const int kDays[5] = {1, 7, 37, 365, 3650};
const double kStrikes[5] = {60, 85, 100, 120, 160};
const heston::BatesParameters kModel{{0.04, 0.06, 1.5, 0.4, -0.6}, {0.3, -0.2, 0.15}};
constexpr double kRate = 0.02, kYield = 0.01;

void BM_BatesPrice(benchmark::State& state) {
    const double K = kStrikes[state.range(0)];
    const double T = kDays[state.range(1)] / 365.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston::EuropeanPrice(1, 100.0, K, T, kRate, kYield, kModel));
    }
}
BENCHMARK(BM_BatesPrice)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.05);

void BM_BatesGreeks(benchmark::State& state) {
    const double K = kStrikes[state.range(0)];
    const double T = kDays[state.range(1)] / 365.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston::EuropeanGreeks(1, 100.0, K, T, kRate, kYield, kModel));
    }
}
BENCHMARK(BM_BatesGreeks)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.05);

void BM_BatesModelImpliedVolatility(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            heston::ModelImpliedVolatility(1, 100.0, 110.0, 0.5, kRate, kYield, kModel));
    }
}
BENCHMARK(BM_BatesModelImpliedVolatility);

void DaxBatch(benchmark::State& state, bool derivatives) {
    const test_support::QuoteTable table = test_support::ReadObservationCsv(
        HESTON_SOURCE_DIR "/examples/dax-surface.csv", test_support::kDaxSpot);
    std::vector<heston::BatchOption> options;
    for (std::size_t i = 0; i < table.Size(); ++i) {
        options.push_back(
            {table.type[i] == 1.0 ? 1 : 2, table.strike[i], table.maturity[i], table.rate[i], 0.0});
    }
    std::vector<double> prices(options.size()), gradient(8 * options.size());
    for (auto _ : state) {
        heston::EuropeanPrices(test_support::kDaxSpot, kModel, options.data(), options.size(),
                               prices.data(), derivatives ? gradient.data() : nullptr);
        benchmark::DoNotOptimize(prices.data());
    }
    state.counters["options"] = static_cast<double>(options.size());
}

void BM_BatesDaxBatch(benchmark::State& state) {
    DaxBatch(state, false);
}
BENCHMARK(BM_BatesDaxBatch)->Unit(benchmark::kMicrosecond);

void BM_BatesDaxBatchDerivatives(benchmark::State& state) {
    DaxBatch(state, true);
}
BENCHMARK(BM_BatesDaxBatchDerivatives)->Unit(benchmark::kMicrosecond);

}  // namespace
