// Cost of the closed-form Heston price, of a 40-option surface and of one Differential
// Evolution generation over that surface (50 candidates x 40 prices).
#include <benchmark/benchmark.h>

#include <iterator>
#include <vector>

#include "calibration/Calibration.h"
#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "observation_csv.h"
#include "quote_table.h"
#include "reference_pricing.h"

namespace {

constexpr double kSpot = 100.0;
const double kStrikes[8] = {70, 80, 90, 95, 100, 105, 110, 130};
const double kMaturities[5] = {0.25, 0.5, 1.0, 2.0, 5.0};

// 8 strikes x 5 maturities priced by the model, calls at and above the spot, puts below.
using Surface = test_support::QuoteTable;

Surface MakeSurface() {
    return test_support::ModelTable(
        kSpot, std::vector<double>(std::begin(kMaturities), std::end(kMaturities)),
        std::vector<double>(std::begin(kStrikes), std::end(kStrikes)),
        heston::ModelParameters{0.04, 0.06, 1.5, 0.4, -0.6}, 1e-6);
}

void BM_ClosedFormPrice(benchmark::State& state) {
    Heston heston;
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston.ClosedFormPrice(100, 105, 1.0, 0.02, -0.6, 1.5, 0.06, 0.0,
                                                        0.4, 0.04, 1e-5, 100.0, 1));
    }
}
BENCHMARK(BM_ClosedFormPrice)->Unit(benchmark::kMicrosecond);

// The same price with the SSE2 loops, which processors without AVX2 run.
void BM_ClosedFormPrice_Sse2(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston::closedform::ClosedFormGrid::DirectPrice(
            100, 105, 1.0, 0.02, heston::ModelParameters{0.04, 0.06, 1.5, 0.4, -0.6}, 0.0, 1e-5,
            100.0, 1, heston::VectorWidth::kSse2));
    }
}
BENCHMARK(BM_ClosedFormPrice_Sse2)->Unit(benchmark::kMicrosecond);

// The straightforward evaluation of the same price.
void BM_ClosedFormPrice_Reference(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::ClosedFormPrice(100, 105, 1.0, 0.02, -0.6, 1.5, 0.06,
                                                            0.0, 0.4, 0.04, 1e-5, 100.0, 1));
    }
}
BENCHMARK(BM_ClosedFormPrice_Reference)->Unit(benchmark::kMicrosecond);

// The batch pricer on the 104-option DAX surface of examples/ (8 maturities), one thread: the
// strike-independent samples once per maturity, then every strike from them.
void BM_ClosedFormBatchDax104(benchmark::State& state) {
    const Surface s = test_support::ReadObservationCsv(
        HESTON_SOURCE_DIR "/examples/dax-surface.csv", test_support::kDaxSpot);
    const heston::ModelParameters p{0.04, 0.05, 1.2, 0.45, -0.65};
    const int count = static_cast<int>(s.strike.size());
    std::vector<double> prices(s.strike.size());
    for (auto _ : state) {
        heston::closedform::ClosedFormPrices(s.spot, s.strike.data(), s.maturity.data(),
                                             s.rate.data(), s.type.data(), count, p, 0.0, 1e-5,
                                             prices.data());
        benchmark::DoNotOptimize(prices.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ClosedFormBatchDax104)->Unit(benchmark::kMicrosecond);

void BM_Surface40(benchmark::State& state) {
    const Surface s = MakeSurface();
    Heston heston;
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < s.strike.size(); ++i) {
            sum += heston.ClosedFormPrice(kSpot, s.strike[i], s.maturity[i], s.rate[i], -0.6, 1.5,
                                          0.06, 0.0, 0.4, 0.04, 1e-6, 100.0,
                                          static_cast<int>(s.type[i]));
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(s.strike.size()));
}
BENCHMARK(BM_Surface40)->Unit(benchmark::kMillisecond);

// One generation of the Differential Evolution search (50 objective evaluations), through the
// library's objective and through the straightforward one of the tests.
class ReferenceSolver : public Heston {
  public:
    ReferenceSolver() : Heston(5, 50) {}
    double Evaluate(const double* candidate, bool&) override {
        return reference::Objective(candidate, bestCost);
    }
};

template <class Solver>
void DEGeneration(benchmark::State& state) {
    const Surface s = MakeSurface();
    const std::vector<double> lower = {0.005, 0.005, 0.2, 0.05, -0.9};
    const std::vector<double> upper = {0.1, 0.1, 3.0, 0.8, 0.2};
    Heston::SetCalibrationData(lower, upper, s.strike, s.maturity, s.type, s.observed, kSpot,
                               s.rate, s.weight);
    Solver solver;
    solver.Initialise(lower.data(), upper.data(), 0, 0.9, 1.0);
    for (auto _ : state) solver.Run(1);
    state.SetItemsProcessed(state.iterations() * 50 * static_cast<std::int64_t>(s.strike.size()));
}

struct FastSolver : Heston {
    FastSolver() : Heston(5, 50) {}
};

void BM_DEGeneration(benchmark::State& state) {
    DEGeneration<FastSolver>(state);
}
BENCHMARK(BM_DEGeneration)->Unit(benchmark::kMillisecond);

void BM_DEGeneration_Reference(benchmark::State& state) {
    DEGeneration<ReferenceSolver>(state);
}
BENCHMARK(BM_DEGeneration_Reference)->Unit(benchmark::kMillisecond)->Iterations(3);

// A whole Differential Evolution calibration of the surface: 50 generations.
void BM_DECalibration50(benchmark::State& state) {
    const Surface s = MakeSurface();
    const std::vector<double> lower = {0.005, 0.005, 0.2, 0.05, -0.9};
    const std::vector<double> upper = {0.1, 0.1, 3.0, 0.8, 0.2};
    for (auto _ : state) {
        benchmark::DoNotOptimize(heston_CalibrateDE(lower, upper, s.strike, s.maturity, s.type,
                                                    s.observed, kSpot, s.rate, s.weight, 50));
    }
}
BENCHMARK(BM_DECalibration50)->Unit(benchmark::kMillisecond);

}  // namespace
