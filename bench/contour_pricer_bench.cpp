// Cost of the contour pricer: one price and all eleven Greeks over a mixed set of strikes and
// maturities, one implied-volatility inversion, and the 104-option DAX surface of examples/ in
// one batch call, with and without the five parameter derivatives. QuantLib's side of the same
// cases is in contour_pricer_qlbench.cpp.
#include <benchmark/benchmark.h>

#include <vector>

#include "contour/ContourPricer.h"
#include "observation_csv.h"

namespace {

// The mixed set shared with contour_pricer_qlbench.cpp: whole days over 365.
const int kDays[5] = {1, 7, 37, 365, 3650};
const double kStrikes[5] = {60, 85, 100, 120, 160};
const heston::ModelParameters kModel{0.04, 0.06, 1.5, 0.4, -0.6};
constexpr double kRate = 0.02, kYield = 0.01;

void BM_ContourPrice(benchmark::State& state) {
    const double K = kStrikes[state.range(0)];
    const double T = kDays[state.range(1)] / 365.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston::EuropeanPrice(1, 100.0, K, T, kRate, kYield, kModel));
    }
}
BENCHMARK(BM_ContourPrice)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.05);

void BM_ContourGreeks(benchmark::State& state) {
    const double K = kStrikes[state.range(0)];
    const double T = kDays[state.range(1)] / 365.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston::EuropeanGreeks(1, 100.0, K, T, kRate, kYield, kModel));
    }
}
BENCHMARK(BM_ContourGreeks)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}})->MinTime(0.05);

void BM_BlackImpliedVolatility(benchmark::State& state) {
    const double price = heston::EuropeanPrice(1, 100.0, 110.0, 0.5, kRate, kYield, kModel);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            heston::BlackImpliedVolatility(1, price, 100.0, 110.0, 0.5, kRate, kYield));
    }
}
BENCHMARK(BM_BlackImpliedVolatility);

void BM_ModelImpliedVolatility(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            heston::ModelImpliedVolatility(1, 100.0, 110.0, 0.5, kRate, kYield, kModel));
    }
}
BENCHMARK(BM_ModelImpliedVolatility);

std::vector<heston::BatchOption> DaxOptions() {
    const test_support::QuoteTable table = test_support::ReadObservationCsv(
        HESTON_SOURCE_DIR "/examples/dax-surface.csv", test_support::kDaxSpot);
    std::vector<heston::BatchOption> options;
    for (std::size_t i = 0; i < table.Size(); ++i) {
        options.push_back(
            {table.type[i] == 1.0 ? 1 : 2, table.strike[i], table.maturity[i], table.rate[i], 0.0});
    }
    return options;
}

void DaxBatch(benchmark::State& state, bool derivatives) {
    const std::vector<heston::BatchOption> options = DaxOptions();
    std::vector<double> prices(options.size()), gradient(5 * options.size());
    for (auto _ : state) {
        heston::EuropeanPrices(test_support::kDaxSpot, kModel, options.data(), options.size(),
                               prices.data(), derivatives ? gradient.data() : nullptr);
        benchmark::DoNotOptimize(prices.data());
    }
    state.counters["options"] = static_cast<double>(options.size());
}

void BM_ContourDaxBatch(benchmark::State& state) {
    DaxBatch(state, false);
}
BENCHMARK(BM_ContourDaxBatch)->Unit(benchmark::kMicrosecond);

void BM_ContourDaxBatchDerivatives(benchmark::State& state) {
    DaxBatch(state, true);
}
BENCHMARK(BM_ContourDaxBatchDerivatives)->Unit(benchmark::kMicrosecond);

}  // namespace
