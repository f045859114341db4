// AsianOption: fixed-strike options on the average of the spot at given fixing times under
// the Heston model or the Bates model (Heston with lognormal jumps in the spot), several
// strikes on one set of simulated paths. A call pays
// max(average - K, 0) and a put max(K - average, 0) at the last fixing.
//
// - Arithmetic average: simulated (PathSimulation.h), with the geometric average's closed
//   form (GeometricAsianPrice.h) as control variate: each pair's sample is its arithmetic
//   payoff minus its geometric payoff, and the closed-form geometric price is added back
//   (Kemna and Vorst's estimator, coefficient 1). The standard error is that of the samples,
//   after the control variate, a pair counting once.
// - Geometric average: the closed form, standard error 0; or simulated without a control
//   variate (SimulatedAsianPrices), to check the simulation against the closed form.
//
// References:
//   A. G. Z. Kemna and A. C. F. Vorst, "A pricing method for options based on average asset
//     values", Journal of Banking and Finance 14 (1990) 113-129 (the geometric average as
//     control variate of the arithmetic one).
//   B. Kim and I.-S. Wee, Quantitative Finance 14 (2014) 1795-1809 (the closed form).
//   L. Andersen, Journal of Computational Finance 11 (2008) (the path scheme).
//   D. S. Bates, Rev. Financial Studies 9 (1996) 69-107 (the jumps).
//
// Errors: std::invalid_argument naming the argument (see GeometricAsianPrice.h and
// PathSimulation.h); CalculationCancelled when the stop request says so.
//
// Tested in tests/numerics/asian_option_test.cpp and jump_simulation_test.cpp.
#pragma once

#include <vector>

#include "execution/ParallelFor.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "model/PricingTypes.h"
#include "pathsimulation/PathSimulation.h"

namespace heston {

enum class AsianAverage { kArithmetic, kGeometric };

// One option of a set sharing the fixings: type (kCall or kPut) and strike.
struct StrikeOption {
    int optionType;
    double strike;
};

// The price and standard error of each option: arithmetic by simulation with the control
// variate, geometric by the closed form (standard error 0).
std::vector<SimulatedPrice> AsianPrices(double spot, const std::vector<StrikeOption>& options,
                                        const std::vector<double>& fixingTimes, double rate,
                                        double dividendYield, const ModelParameters& model,
                                        AsianAverage average, const SimulationSettings& settings,
                                        ParallelFor& runner = Serial());
std::vector<SimulatedPrice> AsianPrices(double spot, const std::vector<StrikeOption>& options,
                                        const std::vector<double>& fixingTimes, double rate,
                                        double dividendYield, const BatesParameters& model,
                                        AsianAverage average, const SimulationSettings& settings,
                                        ParallelFor& runner = Serial());

// Plain simulation of either average, no control variate.
std::vector<SimulatedPrice> SimulatedAsianPrices(
    double spot, const std::vector<StrikeOption>& options, const std::vector<double>& fixingTimes,
    double rate, double dividendYield, const ModelParameters& model, AsianAverage average,
    const SimulationSettings& settings, ParallelFor& runner = Serial());
std::vector<SimulatedPrice> SimulatedAsianPrices(
    double spot, const std::vector<StrikeOption>& options, const std::vector<double>& fixingTimes,
    double rate, double dividendYield, const BatesParameters& model, AsianAverage average,
    const SimulationSettings& settings, ParallelFor& runner = Serial());

}  // namespace heston
