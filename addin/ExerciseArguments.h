// ExerciseArguments: the arguments of the finite-difference worksheet functions (heston_Price
// and heston_Greeks with Exercise "American", heston_BarrierPrice, heston_BarrierGreeks):
// exercise style, barrier type and levels, rebate, monitoring and grid. Each read refuses a
// bad value with a text that names the argument.
#pragma once

#include <memory>

#include "OptionArguments.h"
#include "execution/StopRequest.h"
#include "finitedifference/FiniteDifferenceOption.h"

namespace addin {

// "European" (also when omitted) or "American", in any letter case.
heston::ExerciseStyle ReadExercise(const GridArgument& argument);

// "DownOut", "DownIn", "UpOut", "UpIn", "DoubleOut" or "DoubleIn", in any letter case.
heston::BarrierType ReadBarrierType(const GridArgument& argument);

// The barrier levels into barrier.lower / barrier.upper: one number for the single types, two
// (lower < upper) for the double types.
void ReadBarrierLevels(const GridArgument& argument, heston::Barrier& barrier);

// A number at least 0 (0 when omitted).
double ReadRebate(const GridArgument& argument);

// Omitted or 0: continuous monitoring; a whole number n > 0: n observations at T/n, ..., T.
int ReadMonitoring(const GridArgument& argument);

// Omitted: all zeros, the option's default grid; else three whole numbers (time steps, spot
// points, variance points), each 0 for its default, within the library's ranges and memory
// limit (heston::CheckGrid).
heston::FiniteDifferenceGrid ReadFiniteDifferenceGrid(const GridArgument& argument);

// A stop request that asks `request` only on the thread that made it (Excel answers only the
// thread it called) and tells the other threads of a batch the answer it got.
class CallerThreadStop {
  public:
    explicit CallerThreadStop(heston::StopRequest request);
    heston::StopRequest Request();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace addin
