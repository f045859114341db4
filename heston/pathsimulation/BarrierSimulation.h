// BarrierSimulation: discretely monitored knock-out and knock-in calls and puts on simulated
// paths, several strikes on one set of paths: an independent check of the finite-difference
// barrier prices. The barrier is hit at a monitoring date when the spot is at or beyond it
// (S >= H for an up barrier, S <= H for a down barrier); an out option pays the call or put
// payoff at maturity when no date hit it, an in option when one did. No rebate.
//
// Errors: std::invalid_argument naming the argument (spot, strikes or barrier not positive,
// monitoring times negative, not ascending or after the maturity, Paths);
// CalculationCancelled when the stop request says so.
//
// Tested in tests/numerics/barrier_simulation_test.cpp.
#pragma once

#include <vector>

#include "execution/ParallelFor.h"
#include "model/ModelParameters.h"
#include "pathsimulation/AsianOption.h"
#include "pathsimulation/PathSimulation.h"

namespace heston {

enum class BarrierKind { kUpAndOut, kUpAndIn, kDownAndOut, kDownAndIn };

struct DiscreteBarrier {
    BarrierKind kind;
    double level;
    std::vector<double> monitoringTimes;  // ascending, not after the maturity
};

std::vector<SimulatedPrice> SimulatedBarrierPrices(
    double spot, const std::vector<StrikeOption>& options, const DiscreteBarrier& barrier,
    double maturity, double rate, double dividendYield, const ModelParameters& model,
    const SimulationSettings& settings, ParallelFor& runner = Serial());

}  // namespace heston
