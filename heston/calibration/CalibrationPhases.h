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
#include <functional>
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

// The Heston grid of the global phase, each point moved into the bounds (vectors of the five
// Heston parameters): v0 from the shortest at-the-money volatility and, for each of three
// mean-reversion speeds, the long-run variance that matches the longest one's expected average
// variance; three volatilities of variance and four correlations around them.
std::vector<std::vector<double>> HestonGrid(double spot,
                                            const std::vector<CalibrationQuote>& quotes,
                                            const std::vector<double>& lower,
                                            const std::vector<double>& upper);

// How the global phase refines its best grid points.
struct GlobalPhaseSettings {
    std::size_t starts;    // short runs from this many of the best grid points
    int shapeEvaluations;  // each of at most this many evaluations
    // The grid is made of this many equal blocks of different character (jumps, say); the
    // short runs start from the best point of each block before the next best points, so
    // that one block's local minimum cannot take every start.
    std::size_t blocks = 1;
    // Rank and run on the representatives in implied volatilities whatever the calibration's
    // measure (where their prices have them): the smile's shape, which decides between local
    // minima of different character, shows in volatilities at every maturity, while price
    // errors are dominated by the long maturities' large prices.
    bool shapeInVolatilities = false;
};

// A grid in two stages: the best `keep` points of the first grid, ranked on the representative
// options, are expanded into the grid proper (each, say, with several kinds of jumps), which
// is ranked in turn; cheaper than ranking every combination where the first stage already
// tells the promising points apart. expand receives the kept points' indices in the first
// grid, from the best.
struct GridRefinement {
    std::size_t keep;
    std::function<std::vector<std::vector<double>>(const std::vector<std::size_t>& best)> expand;
};

// Starts for the fit to the whole table: the grid (the first grid, or with a refinement the
// grid it expands into) ranked on the representative options, short local runs from its best
// points, and their end points from the best (the best grid point alone when the budget leaves
// no short run). Counts every surface evaluation. Checks first that the pricer takes every
// option at the first grid's first point.
std::vector<std::vector<double>> GlobalPhase(
    double spot, const std::vector<CalibrationQuote>& quotes, const CalibrationProblem& problem,
    const SurfaceModel& model, const std::vector<std::vector<double>>& grid,
    const GlobalPhaseSettings& settings, SurfaceFit& fit, ParallelFor& runner, StopPoll& poll,
    int& evaluations, const GridRefinement* refinement = nullptr);

// In a price or relative measure, a short fit of the whole table in implied volatilities from
// start (at most maxEvaluations, counted in evaluations), whose end is a better start for the
// measure's own fit than the global phase's: the volatilities' fit converges in a few steps
// from far away, where a fit of prices crawls along the valley of the long maturities. Returns
// start unchanged in the vol measure or where an observed price has no implied volatility.
std::vector<double> RefineInVolatilities(double spot, const std::vector<CalibrationQuote>& quotes,
                                         const CalibrationProblem& problem,
                                         const SurfaceModel& model,
                                         const std::vector<double>& start, int maxEvaluations,
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
