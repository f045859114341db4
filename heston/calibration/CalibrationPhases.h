// CalibrationPhases: the steps the accurate calibrations share, whatever the model: the input
// checks, the global phase that picks a start without an initial guess, and the bounded
// Levenberg-Marquardt fit to the whole table.
//
// The global phase ranks a fixed grid of parameter vectors (each model supplies its own) on a
// few representative options (at each maturity the one nearest the money and the lowest and
// highest strikes), runs short local fits on those options from the best grid points, and
// returns the best end point. It uses at most half of the evaluations. Nothing is random: the
// same inputs give the same start in every process and on every thread.
//
// Tested through the calibrations in tests/numerics/contour_calibration_test.cpp and
// tests/numerics/bates_calibration_test.cpp.
#pragma once

#include <cstddef>
#include <vector>

#include "calibration/ContourCalibration.h"
#include "calibration/SurfaceFit.h"
#include "execution/ParallelFor.h"
#include "execution/StopRequest.h"

namespace heston {
namespace calibration {

// What a parameter's bounds must satisfy besides being finite and in order.
enum class BoundRule {
    kAny,          // any finite numbers
    kNonNegative,  // lower bound at least 0
    kCorrelation,  // within [-1, 1]
};

struct ParameterRule {
    const char* name;
    BoundRule rule;
};

// The settings of a calibration as vectors of the model's parameters.
struct CalibrationProblem {
    CalibrationErrorMeasure measure;
    std::vector<double> lower, upper;
    bool hasInitialGuess;
    std::vector<double> initialGuess;
    int maxEvaluations;
};

// Throws std::invalid_argument with a text naming the problem (ContourCalibration.h lists
// them); rules has one entry per parameter.
void CheckInputs(const std::vector<CalibrationQuote>& quotes, const CalibrationProblem& problem,
                 const std::vector<ParameterRule>& rules);

// At-the-money total variances per year at the shortest and the longest maturity with an
// implied volatility, and those maturities. False when no option has one.
struct AtTheMoney {
    double shortVariance, shortMaturity, longVariance, longMaturity;
};
bool EstimateAtTheMoney(double spot, const std::vector<CalibrationQuote>& quotes,
                        AtTheMoney& estimate);

double Clamp(double value, double lower, double upper);

// How the global phase refines its best grid points.
struct GlobalPhaseSettings {
    std::size_t starts;     // short runs from this many of the best grid points
    int shapeEvaluations;   // each of at most this many evaluations
};

// The start of the fit to the whole table: the grid ranked on the representative options,
// short local runs from its best points, the best end point. Counts every surface evaluation.
// Checks first that the pricer takes every option at the grid's first point.
std::vector<double> GlobalPhase(double spot, const std::vector<CalibrationQuote>& quotes,
                                const CalibrationProblem& problem, const SurfaceModel& model,
                                const std::vector<std::vector<double>>& grid,
                                const GlobalPhaseSettings& settings, SurfaceFit& fit,
                                ParallelFor& runner, StopPoll& poll, int& evaluations);

struct CalibrationOutcome {
    std::vector<double> x;
    double rmse;
    int evaluations;
    CalibrationStatus status;
};

// The fit to the whole table from start, with what is left of the evaluations after
// `evaluations`; totalWeight is the quotes' sum of weights.
CalibrationOutcome FitWholeTable(SurfaceFit& fit, const std::vector<double>& start,
                                 const CalibrationProblem& problem, int evaluations,
                                 double totalWeight);

}  // namespace calibration
}  // namespace heston
