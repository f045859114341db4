// ForwardStartSimulation: forward-start calls and puts (a call pays max(S(T) - k S(t0), 0)
// at T) on simulated paths, under the Heston or the Bates model, several moneyness levels on one
// set of paths: the check of the closed form (ForwardStartPrice.h) and of the path scheme's forward
// smile.
//
// Errors: std::invalid_argument naming the argument (as ForwardStartPrice, and Paths);
// CalculationCancelled when the stop request says so.
//
// Tested in tests/numerics/forward_start_test.cpp.
#pragma once

#include <vector>

#include "execution/ParallelFor.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "model/PricingTypes.h"
#include "pathsimulation/PathSimulation.h"

namespace heston {

// One forward-start option of a set: type (kCall or kPut) and moneyness k.
struct ForwardStartOption {
    int optionType;
    double moneyness;
};

std::vector<SimulatedPrice> SimulatedForwardStartPrices(
    double spot, const std::vector<ForwardStartOption>& options, double resetTime, double maturity,
    double rate, double dividendYield, const ModelParameters& model,
    const SimulationSettings& settings, ParallelFor& runner = Serial());
std::vector<SimulatedPrice> SimulatedForwardStartPrices(
    double spot, const std::vector<ForwardStartOption>& options, double resetTime, double maturity,
    double rate, double dividendYield, const BatesParameters& model,
    const SimulationSettings& settings, ParallelFor& runner = Serial());

}  // namespace heston
