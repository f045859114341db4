// The finite-difference grid's limits and the stop request: grids out of range or too large for
// memory are refused with a text naming the grid, and a stop request ends the time stepping.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "finitedifference/FiniteDifferencePricer.h"
#include "thread_runner.h"

namespace {

using heston::FiniteDifferenceGrid;

std::string ErrorOf(const FiniteDifferenceGrid& grid) {
    try {
        heston::CheckGrid(grid);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "no error";
}

heston::FiniteDifferenceOption Option(double maturity, heston::BarrierType barrier,
                                      int observations = 0) {
    heston::FiniteDifferenceOption o;
    o.optionType = heston::kPut;
    o.strike = 100;
    o.maturity = maturity;
    o.barrier.type = barrier;
    o.barrier.lower = 90;
    o.barrier.observations = observations;
    return o;
}

// Spread sqrt(max(v0, theta) T) = 0.2 sqrt(T): below 0.3 up to T = 2.25.
const heston::ModelParameters kModel{0.03, 0.04, 2.0, 0.5, -0.5};

TEST(FiniteDifferenceGrid, DefaultsByProductAndMaturityAndRefusals) {
    using heston::BarrierType;
    using heston::kBarrierGrid;
    using heston::kVanillaGrid;
    // Zero entries take the option's default; given entries stay.
    const FiniteDifferenceGrid resolved =
        heston::ResolveGrid({0, 300, 0}, Option(0.5, BarrierType::None), kModel);
    EXPECT_EQ(resolved.timeSteps, kVanillaGrid.timeSteps);
    EXPECT_EQ(resolved.spotPoints, 300);
    EXPECT_EQ(resolved.variancePoints, kVanillaGrid.variancePoints);
    // Vanilla: more steps beyond a year (times sqrt(T), at most twice).
    EXPECT_EQ(heston::DefaultGrid(Option(4.0, BarrierType::None), kModel).timeSteps,
              2 * kVanillaGrid.timeSteps);
    EXPECT_EQ(heston::DefaultGrid(Option(30.0, BarrierType::None), kModel).timeSteps,
              2 * kVanillaGrid.timeSteps);
    // Long or volatile options: more spot points as the spread of ln S passes 0.3.
    EXPECT_EQ(heston::DefaultGrid(Option(2.0, BarrierType::None), kModel).spotPoints,
              kVanillaGrid.spotPoints);
    EXPECT_EQ(heston::DefaultGrid(Option(9.0, BarrierType::None), kModel).spotPoints,
              2 * kVanillaGrid.spotPoints);
    const heston::ModelParameters volatileModel{0.16, 0.09, 2.0, 1.0, -0.5};  // spread 0.4 at T = 1
    EXPECT_EQ(heston::DefaultGrid(Option(1.0, BarrierType::UpIn), volatileModel).spotPoints, 400);
    // Barriers: their own grid, steps from half to twice, two per observation period.
    const FiniteDifferenceGrid barrier =
        heston::DefaultGrid(Option(1.0, BarrierType::DownIn), kModel);
    EXPECT_EQ(barrier.timeSteps, kBarrierGrid.timeSteps);
    EXPECT_EQ(barrier.spotPoints, kBarrierGrid.spotPoints);
    EXPECT_EQ(barrier.variancePoints, kBarrierGrid.variancePoints);
    EXPECT_EQ(heston::DefaultGrid(Option(0.01, BarrierType::DownOut), kModel).timeSteps,
              kBarrierGrid.timeSteps / 2);
    EXPECT_EQ(heston::DefaultGrid(Option(1.0, BarrierType::DownOut, 250), kModel).timeSteps, 500);
    EXPECT_EQ(heston::DefaultGrid(Option(1.0, BarrierType::DownOut, 5000), kModel).timeSteps, 1000);

    for (const FiniteDifferenceGrid& bad :
         {FiniteDifferenceGrid{-1, 0, 0}, FiniteDifferenceGrid{0, 7, 0},
          FiniteDifferenceGrid{0, 0, 4}, FiniteDifferenceGrid{200000, 0, 0}}) {
        EXPECT_EQ(ErrorOf(bad).rfind("grid: ", 0), 0u) << ErrorOf(bad);
    }
    EXPECT_EQ(ErrorOf({0, 0, 0}), "no error");
    // Within each range, but far too large together; a default entry counts at its largest.
    const std::string memory = ErrorOf({100, 50000, 50000});
    EXPECT_EQ(memory.rfind("grid: ", 0), 0u) << memory;
    EXPECT_NE(memory.find("MB"), std::string::npos) << memory;
    EXPECT_EQ(ErrorOf({0, 0, 100000}).rfind("grid: ", 0), 0u);
}

TEST(FiniteDifferenceGrid, StopRequestEndsThePricing) {
    heston::FiniteDifferenceOption o;
    o.optionType = heston::kPut;
    o.strike = 10;
    o.maturity = 0.25;
    o.rate = 0.1;
    o.exercise = heston::ExerciseStyle::American;
    const heston::ModelParameters model{0.0625, 0.16, 5.0, 0.9, 0.1};
    std::atomic<int> asked{0};
    heston::StopRequest stop;
    stop.shouldStop = [&] { return ++asked > 0; };
    EXPECT_THROW(heston::FiniteDifferencePrice(10, o, model, {}, stop),
                 heston::CalculationCancelled);
    test_support::ThreadRunner runner(3);
    EXPECT_THROW(heston::FiniteDifferenceGreeks(10, o, model, {}, runner, stop),
                 heston::CalculationCancelled);
    EXPECT_GT(asked.load(), 0);
}

}  // namespace
