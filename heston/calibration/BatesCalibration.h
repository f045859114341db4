// BatesCalibration: the eight Bates parameters (the five of Heston and the jumps' intensity,
// mean and spread, BatesParameters.h) fitted to observed European option prices with the
// contour pricer and its analytic parameter derivatives, within bounds, in one of the three
// error measures of ContourCalibration.h.
//
// Inputs, error measures, checks, the stop request, the runner and the determinism are those
// of CalibrateAccurately (ContourCalibration.h); the vectors have eight entries.
//
// Without an initial guess the global phase (CalibrationPhases.h) ranks Heston's grid combined
// with three kinds of jumps (rare crashes, yearly falls, frequent small moves),
// the variances giving up the jumps' share of the at-the-money variance, on the representative
// options in implied volatilities whatever the measure: the short end's steep smile, which
// only the jumps can bend, shows in volatilities, while in prices the long maturities' large
// errors hide it and every start slides to the Heston-like fit with lambda -> 0. Short local
// runs start from the best point of each kind of jump; in the price and relative measures the
// best end point is then fitted to the whole table in volatilities for a few steps, and the
// fit in the measure itself follows.
//
// Tested in tests/numerics/bates_calibration_test.cpp: parameters recovered from a surface
// priced at known parameters, the jump fit of the DAX surface found from no guess in prices
// and volatilities, the same bits on 1, 2 and 7 threads, a stop request, input checks.
#pragma once

#include <vector>

#include "calibration/ContourCalibration.h"
#include "model/BatesParameters.h"

namespace heston {

// Heston's default bounds, and jumps from none to five a year, of mean log size from -1 to
// 0.5 and spread from 0.001 to 1.
constexpr BatesParameters kDefaultBatesLowerBounds{kDefaultLowerBounds, {0.0, -1.0, 0.001}};
constexpr BatesParameters kDefaultBatesUpperBounds{kDefaultUpperBounds, {5.0, 0.5, 1.0}};

struct BatesCalibrationSettings {
    CalibrationErrorMeasure measure = CalibrationErrorMeasure::Price;
    BatesParameters lower = kDefaultBatesLowerBounds;
    BatesParameters upper = kDefaultBatesUpperBounds;
    bool hasInitialGuess = false;
    BatesParameters initialGuess{};
    int maxEvaluations = kDefaultMaxEvaluations;  // surface evaluations, global phase included
};

struct BatesCalibrationResult {
    BatesParameters parameters;
    double rmse;      // sqrt(sum w_i e_i^2 / sum w_i) at the parameters
    int evaluations;  // surface evaluations, global phase included
    CalibrationStatus status;
};

// Throws std::invalid_argument as CalibrateAccurately does, and for jump bounds outside
// lambda >= 0, deltaJ >= 0.
BatesCalibrationResult CalibrateBates(double spot, const std::vector<CalibrationQuote>& quotes,
                                      const BatesCalibrationSettings& settings,
                                      const StopRequest& stop, ParallelFor& runner = Serial());

BatesCalibrationResult CalibrateBates(double spot, const std::vector<CalibrationQuote>& quotes,
                                      const BatesCalibrationSettings& settings,
                                      ParallelFor& runner = Serial());

}  // namespace heston
