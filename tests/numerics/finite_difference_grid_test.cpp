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
        heston::ResolveGrid(grid);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "no error";
}

TEST(FiniteDifferenceGrid, DefaultsAndRefusals) {
    const FiniteDifferenceGrid resolved = heston::ResolveGrid({0, 300, 0});
    EXPECT_EQ(resolved.timeSteps, heston::kDefaultFiniteDifferenceGrid.timeSteps);
    EXPECT_EQ(resolved.spotPoints, 300);
    EXPECT_EQ(resolved.variancePoints, heston::kDefaultFiniteDifferenceGrid.variancePoints);
    for (const FiniteDifferenceGrid& bad :
         {FiniteDifferenceGrid{-1, 0, 0}, FiniteDifferenceGrid{0, 7, 0},
          FiniteDifferenceGrid{0, 0, 4}, FiniteDifferenceGrid{200000, 0, 0}}) {
        EXPECT_EQ(ErrorOf(bad).rfind("grid: ", 0), 0u) << ErrorOf(bad);
    }
    // Within each range, but far too large together.
    const std::string memory = ErrorOf({100, 50000, 50000});
    EXPECT_EQ(memory.rfind("grid: ", 0), 0u) << memory;
    EXPECT_NE(memory.find("MB"), std::string::npos) << memory;
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
