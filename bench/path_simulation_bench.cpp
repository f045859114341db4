// The path engine: path steps per second on one and two threads (the add-in's pool) with the
// prices compared bit for bit, and the accuracy goals of the Asian options and the scheme's
// bias, each run once (Iterations(1)) with the figures as counters:
// - Zeng and Kwok's 120 monthly fixings over 10 years at the default 100000 paths: price,
//   standard error and distance from the published values; and the converged values (2
//   million paths, steps of 1/48 and 1/24 year) for the table of the README;
// - 12 monthly fixings with S = 120, K = 100 (published range 22.48 - 22.52);
// - the QE scheme's bias on long-dated, high vol-of-vol Europeans (Andersen 2008, cases I - III)
//   at the default step, against the contour pricer;
// - the cost of Bates jumps: the Zeng and Kwok Asian with and without jumps on one thread, path
//   steps per second of each, with the prices and standard errors as counters.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "ThreadPool.h"
#include "contour/ContourPricer.h"
#include "pathsimulation/AsianOption.h"

namespace {

using heston::AsianAverage;
using heston::kCall;
using heston::kPut;

const heston::ModelParameters kZengKwok{0.0175, 0.0398, 1.5768, 0.5751, -0.5711};
const double kStrikes[] = {60, 80, 100, 120, 140};
const double kPublished[] = {42.5990, 29.3698, 18.2360, 10.0565, 4.9609};

std::vector<double> Monthly(int months) {
    std::vector<double> times;
    for (int i = 1; i <= months; ++i) times.push_back(i / 12.0);
    return times;
}

std::vector<heston::StrikeOption> ZengKwokOptions() {
    std::vector<heston::StrikeOption> options;
    for (double k : kStrikes) options.push_back({kCall, k});
    return options;
}

void BM_AsianPathSteps(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const std::vector<double> fixings = Monthly(120);
    heston::SimulationSettings settings;
    settings.paths = 20000;
    const auto serial = heston::AsianPrices(100, ZengKwokOptions(), fixings, 0.03, 0.0, kZengKwok,
                                            AsianAverage::kArithmetic, settings);
    addin::ThreadPool pool(threads);
    for (auto _ : state) {
        const auto prices =
            heston::AsianPrices(100, ZengKwokOptions(), fixings, 0.03, 0.0, kZengKwok,
                                AsianAverage::kArithmetic, settings, pool);
        for (std::size_t i = 0; i < prices.size(); ++i) {
            if (prices[i].price != serial[i].price ||
                prices[i].standardError != serial[i].standardError)
                state.SkipWithError("prices differ from the serial run");
        }
    }
    const double steps =
        double(settings.paths) * double(heston::SimulationSteps(fixings, settings.stepsPerYear));
    state.counters["path_steps_per_second"] =
        benchmark::Counter(steps * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AsianPathSteps)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The Zeng and Kwok Asian (120 monthly fixings, 20000 paths, one thread) under Heston (Arg 0)
// and under Bates with rare large jumps (Arg 1: lambda 0.5, muJ -0.2, deltaJ 0.15) and frequent
// small ones (Arg 2: lambda 5, muJ 0.02, deltaJ 0.05).
void BM_BatesAsianPathSteps(benchmark::State& state) {
    const heston::JumpParameters jumpSets[] = {
        heston::kNoJumps, {0.5, -0.2, 0.15}, {5.0, 0.02, 0.05}};
    const heston::BatesParameters model{kZengKwok, jumpSets[state.range(0)]};
    const std::vector<double> fixings = Monthly(120);
    heston::SimulationSettings settings;
    settings.paths = 20000;
    std::vector<heston::SimulatedPrice> prices;
    for (auto _ : state) {
        prices = heston::AsianPrices(100, {{kCall, 100}}, fixings, 0.03, 0.0, model,
                                     AsianAverage::kArithmetic, settings);
    }
    const double steps =
        double(settings.paths) * double(heston::SimulationSteps(fixings, settings.stepsPerYear));
    state.counters["path_steps_per_second"] =
        benchmark::Counter(steps * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["price"] = prices[0].price;
    state.counters["se"] = prices[0].standardError;
}
BENCHMARK(BM_BatesAsianPathSteps)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void ZengKwokTable(benchmark::State& state, std::int64_t paths, int stepsPerYear) {
    heston::SimulationSettings settings;
    settings.paths = paths;
    settings.stepsPerYear = stepsPerYear;
    std::vector<heston::SimulatedPrice> prices;
    for (auto _ : state) {
        prices = heston::AsianPrices(100, ZengKwokOptions(), Monthly(120), 0.03, 0.0, kZengKwok,
                                     AsianAverage::kArithmetic, settings);
    }
    for (int i = 0; i < 5; ++i) {
        const std::string k = "K" + std::to_string(static_cast<int>(kStrikes[i]));
        state.counters[k + "_price"] = prices[i].price;
        state.counters[k + "_se"] = prices[i].standardError;
        state.counters[k + "_minus_published"] = prices[i].price - kPublished[i];
    }
}

void BM_AsianZengKwokDefaultPaths(benchmark::State& state) {
    ZengKwokTable(state, heston::kDefaultPaths, heston::kDefaultStepsPerYear);
}
BENCHMARK(BM_AsianZengKwokDefaultPaths)->Iterations(1)->Unit(benchmark::kSecond);

void BM_AsianZengKwokConverged(benchmark::State& state) {
    ZengKwokTable(state, 2000000, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_AsianZengKwokConverged)->Arg(24)->Arg(48)->Iterations(1)->Unit(benchmark::kSecond);

void BM_AsianTwelveFixings(benchmark::State& state) {
    const heston::ModelParameters model{0.09, 0.022, 11.35, 0.618, -0.5};
    heston::SimulationSettings settings;
    std::vector<heston::SimulatedPrice> prices;
    for (auto _ : state) {
        prices = heston::AsianPrices(120, {{kCall, 100}}, Monthly(12), 0.05, 0.0, model,
                                     AsianAverage::kArithmetic, settings);
    }
    state.counters["price"] = prices[0].price;
    state.counters["se"] = prices[0].standardError;
}
BENCHMARK(BM_AsianTwelveFixings)->Iterations(1)->Unit(benchmark::kSecond);

// Andersen (2008): case I kappa 0.5, theta 0.04, sigma 1, rho -0.9, T 10; case II kappa 0.3,
// theta 0.04, sigma 0.9, rho -0.5, T 15; case III kappa 1, theta 0.09, sigma 1, rho -0.3, T 5;
// v0 = theta, S = 100, r = q = 0. Bias = simulated - exact at the default step, 1000000 paths.
void BM_SchemeBias(benchmark::State& state) {
    struct Case {
        heston::ModelParameters m;
        double maturity;
    };
    const Case cases[] = {{{0.04, 0.04, 0.5, 1.0, -0.9}, 10.0},
                          {{0.04, 0.04, 0.3, 0.9, -0.5}, 15.0},
                          {{0.09, 0.09, 1.0, 1.0, -0.3}, 5.0}};
    const Case& c = cases[state.range(0)];
    const std::vector<heston::StrikeOption> options = {{kCall, 70}, {kCall, 100}, {kCall, 140}};
    heston::SimulationSettings settings;
    settings.paths = 1000000;
    std::vector<heston::SimulatedPrice> prices;
    for (auto _ : state) {
        prices = heston::SimulatedAsianPrices(100, options, {c.maturity}, 0.0, 0.0, c.m,
                                              AsianAverage::kArithmetic, settings);
    }
    for (std::size_t i = 0; i < options.size(); ++i) {
        const double exact =
            heston::EuropeanPrice(kCall, 100, options[i].strike, c.maturity, 0, 0, c.m);
        const std::string k = "K" + std::to_string(static_cast<int>(options[i].strike));
        state.counters[k + "_bias"] = prices[i].price - exact;
        state.counters[k + "_se"] = prices[i].standardError;
    }
}
BENCHMARK(BM_SchemeBias)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
