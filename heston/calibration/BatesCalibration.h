// BatesCalibration: the eight Bates parameters (the five of Heston and the jumps' intensity,
// mean and spread, BatesParameters.h) fitted to observed European option prices with the
// contour pricer and its analytic parameter derivatives, within bounds, in one of the three
// error measures of ContourCalibration.h.
//
// Inputs, error measures, checks, the stop request, the runner and the determinism are those
// of CalibrateAccurately (ContourCalibration.h); the vectors have eight entries.
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
