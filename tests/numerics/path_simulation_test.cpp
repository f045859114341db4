// The path engine: the same bits on 1, 2 and 7 threads and at both vector widths; the discounted
// spot stays a martingale and the scheme prices Europeans within a few standard errors where
// vol-of-vol is high; Paths out of range are refused by name; a stop request ends the simulation
// promptly; discrete barriers add up (in + out = vanilla) and a barrier never reached changes
// nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "contour/ContourPricer.h"
#include "pathsimulation/AsianOption.h"
#include "pathsimulation/BarrierSimulation.h"
#include "pathsimulation/PathSimulation.h"
#include "thread_runner.h"

namespace {

using heston::AsianAverage;
using heston::kCall;
using heston::kPut;
using heston::ModelParameters;
using heston::StrikeOption;

const ModelParameters kModel{0.04, 0.05, 1.5, 0.5, -0.7};
const std::vector<StrikeOption> kOptions = {{kCall, 90}, {kPut, 100}, {kCall, 110}};

heston::SimulationSettings Settings(std::int64_t paths) {
    heston::SimulationSettings settings;
    settings.paths = paths;
    return settings;
}

TEST(PathSimulation, SameBitsOnOneTwoAndSevenThreadsAndBothWidths) {
    const std::vector<double> fixings = {0.25, 0.5, 0.75, 1.0};
    const auto serial = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, kModel,
                                            AsianAverage::kArithmetic, Settings(6001));
    for (int threads : {1, 2, 7}) {
        test_support::ThreadRunner runner(threads);
        const auto parallel =
            heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, kModel,
                                AsianAverage::kArithmetic, Settings(6001), runner);
        for (std::size_t i = 0; i < kOptions.size(); ++i) {
            EXPECT_EQ(parallel[i].price, serial[i].price) << threads;
            EXPECT_EQ(parallel[i].standardError, serial[i].standardError) << threads;
        }
        if (threads > 1) {
            EXPECT_GT(runner.DistinctThreads(), 1u);
        }
    }
    // The SSE2 loops give the bits of the widest ones (AVX2 where the processor has it).
    heston::SimulationSettings sse2 = Settings(6001);
    sse2.width = heston::VectorWidth::kSse2;
    const auto narrow = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, kModel,
                                            AsianAverage::kArithmetic, sse2);
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        EXPECT_EQ(narrow[i].price, serial[i].price);
        EXPECT_EQ(narrow[i].standardError, serial[i].standardError);
    }
}

TEST(PathSimulation, EuropeansWithinThreeStandardErrorsWhereVolOfVolIsHigh) {
    // Long-dated, high vol-of-vol cases of Andersen (2008), at the default step; the call
    // with a tiny strike is the discounted forward, the martingale the correction keeps.
    struct Case {
        ModelParameters m;
        double maturity;
    };
    const Case cases[] = {{{0.04, 0.04, 0.5, 1.0, -0.9}, 10.0},
                          {{0.09, 0.09, 1.0, 1.0, -0.3}, 5.0}};
    const std::vector<StrikeOption> options = {
        {kCall, 1e-6}, {kCall, 70}, {kCall, 100}, {kPut, 100}, {kCall, 140}};
    for (const Case& c : cases) {
        const auto simulated = heston::SimulatedAsianPrices(
            100, options, {c.maturity}, 0.0, 0.0, c.m, AsianAverage::kArithmetic, Settings(8000));
        EXPECT_NEAR(simulated[0].price, 100.0 - 1e-6, 3.0 * simulated[0].standardError);
        for (std::size_t i = 1; i < options.size(); ++i) {
            const double exact = heston::EuropeanPrice(options[i].optionType, 100,
                                                       options[i].strike, c.maturity, 0, 0, c.m);
            EXPECT_NEAR(simulated[i].price, exact, 3.0 * simulated[i].standardError)
                << options[i].strike;
        }
    }
}

std::string Refusal(std::int64_t paths) {
    try {
        heston::AsianPrices(100, {{kCall, 100}}, {1.0}, 0, 0, kModel, AsianAverage::kArithmetic,
                            Settings(paths));
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "no error";
}

TEST(PathSimulation, RefusesPathCountsOutOfRangeByName) {
    EXPECT_EQ(Refusal(0), "Paths must be at least 1");
    EXPECT_EQ(Refusal(-5), "Paths must be at least 1");
    EXPECT_EQ(Refusal(heston::kMaxPaths + 1), "Paths: at most 1099511627776");
}

TEST(PathSimulation, AStopEndsTheSimulationPromptly) {
    std::atomic<bool> stop{false};
    heston::SimulationSettings settings = Settings(std::int64_t(1) << 34);  // hours of work
    settings.stop.shouldStop = [&] { return stop.load(); };
    settings.stop.interval = std::chrono::milliseconds(20);
    std::chrono::steady_clock::time_point stopped;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stopped = std::chrono::steady_clock::now();
        stop = true;
    });
    test_support::ThreadRunner runner(2);
    EXPECT_THROW(heston::AsianPrices(100, kOptions, {0.5, 1.0}, 0, 0, kModel,
                                     AsianAverage::kArithmetic, settings, runner),
                 heston::CalculationCancelled);
    const auto returned = std::chrono::steady_clock::now();
    stopper.join();
    EXPECT_LT(returned - stopped, std::chrono::milliseconds(200));
}

TEST(PathSimulation, DiscreteBarriersAddUpAndAFarBarrierChangesNothing) {
    const std::vector<double> monitoring = {0.25, 0.5, 0.75, 1.0};
    const auto vanilla = heston::SimulatedAsianPrices(100, kOptions, {1.0}, 0.03, 0.01, kModel,
                                                      AsianAverage::kArithmetic, Settings(4000));
    for (auto [in, out, level] :
         {std::tuple{heston::BarrierKind::kUpAndIn, heston::BarrierKind::kUpAndOut, 120.0},
          std::tuple{heston::BarrierKind::kDownAndIn, heston::BarrierKind::kDownAndOut, 85.0}}) {
        const auto knockedIn = heston::SimulatedBarrierPrices(
            100, kOptions, {in, level, monitoring}, 1.0, 0.03, 0.01, kModel, Settings(4000));
        const auto knockedOut = heston::SimulatedBarrierPrices(
            100, kOptions, {out, level, monitoring}, 1.0, 0.03, 0.01, kModel, Settings(4000));
        for (std::size_t i = 0; i < kOptions.size(); ++i) {
            EXPECT_NEAR(knockedIn[i].price + knockedOut[i].price, vanilla[i].price, 1e-12 * 100);
            EXPECT_GT(knockedIn[i].price, 0.0);
            EXPECT_GT(knockedOut[i].price, 0.0);
        }
    }
    const auto never = heston::SimulatedBarrierPrices(
        100, kOptions, {heston::BarrierKind::kUpAndOut, 1e6, monitoring}, 1.0, 0.03, 0.01, kModel,
        Settings(4000));
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        EXPECT_EQ(never[i].price, vanilla[i].price);
        EXPECT_EQ(never[i].standardError, vanilla[i].standardError);
    }
}

}  // namespace
