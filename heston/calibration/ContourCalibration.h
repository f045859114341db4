// ContourCalibration: the five Heston parameters fitted to observed European option prices
// with the contour pricer (ContourPricer.h) and its analytic parameter derivatives, within
// bounds, in one of three error measures.
//
// The fit minimises sum_i w_i e_i^2 by bounded Levenberg-Marquardt
// (BoundedLevenbergMarquardt.h), each evaluation pricing the whole surface in one batch with
// its five parameter derivatives, which give the Jacobian exactly. The error e_i of option i
// is, by measure:
//   Price     model price - observed price;
//   Relative  (model price - observed price) / observed price;
//   Vol       Black implied volatility of the model price - that of the observed price, with
//             d e_i / d p = (d price / d p) / vega. Where the model price has no implied
//             volatility (far outside the money at extreme parameters), the error is the price
//             difference over the observed price's vega instead.
//
// Without an initial guess a global phase picks the start: the short and long ends of the
// at-the-money implied volatilities give v0 and, for each mean-reversion speed, the long-run
// variance that matches the long end's expected average variance; a fixed grid of speeds,
// volatilities of variance and correlations around them is ranked on a few representative
// options (at each maturity the one nearest the money and the lowest and highest strikes),
// short local runs on those options start from the two best grid points, and the better end
// point starts the fit to the whole table. The global phase uses at most half of
// maxEvaluations. Nothing is random: the same inputs give the same result in every process
// and on every thread. Nothing is shared between calls, so calibrations may run on several
// threads at once.
//
// Tested in tests/numerics/contour_calibration_test.cpp: parameters recovered from surfaces
// priced at known parameters in each measure, bounds, the evaluation limit, input checks; and
// in tests/numerics/stop_request_test.cpp: a stop request ends it.
#pragma once

#include <string>
#include <vector>

#include "contour/ContourPricer.h"
#include "execution/ParallelFor.h"
#include "execution/StopRequest.h"
#include "model/ModelParameters.h"

namespace heston {

enum class CalibrationErrorMeasure { Price, Relative, Vol };

// One observed option and its weight in the fit (at least 0).
struct CalibrationQuote {
    BatchOption option;
    double price;
    double weight;
};

// Wide enough for equity and index surfaces from quiet to stressed markets (volatilities up to
// 141%), kept off the degenerate edges sigma = 0, kappa = 0 and |rho| = 1.
constexpr ModelParameters kDefaultLowerBounds{1e-4, 1e-4, 1e-2, 1e-2, -0.999};
constexpr ModelParameters kDefaultUpperBounds{2.0, 2.0, 20.0, 5.0, 0.999};
constexpr int kDefaultMaxEvaluations = 500;

struct ContourCalibrationSettings {
    CalibrationErrorMeasure measure = CalibrationErrorMeasure::Price;
    ModelParameters lower = kDefaultLowerBounds;
    ModelParameters upper = kDefaultUpperBounds;
    bool hasInitialGuess = false;
    ModelParameters initialGuess{};
    int maxEvaluations = kDefaultMaxEvaluations;  // surface evaluations, global phase included
};

enum class CalibrationStatus {
    Converged,             // the error no longer decreases
    EvaluationLimit,       // maxEvaluations reached first
    NoFurtherImprovement,  // no step within the bounds reduces the error any further
    ModelFailed,           // the surface could not be priced at the start
};

struct ContourCalibrationResult {
    ModelParameters parameters;
    double rmse;      // sqrt(sum w_i e_i^2 / sum w_i) at the parameters
    int evaluations;  // surface evaluations, global phase included
    CalibrationStatus status;
};

// "converged", "evaluation limit reached", ...
std::string StatusText(CalibrationStatus status);

// Throws std::invalid_argument with a text naming the problem for: no quotes; a weight below
// 0 or not finite, or all weights 0; a price that is not finite, not positive in the relative
// measure, or without implied volatility in the vol measure; an option the pricer refuses
// (the pricer's reason, with the option's number, from 1); bounds the wrong way round,
// negative lower bounds of v0, theta, kappa or sigma, rho bounds beyond [-1, 1]; an initial
// guess outside the bounds; maxEvaluations below 1. An invalid spot throws as the pricer
// does.
//
// The runner runs each surface's pricing (its tasks are the batch pricer's maturity groups), the
// global phase's grid ranking and its short runs. The result is the same bit for bit whatever
// runner runs them.
//
// stop is polled (StopRequest.h) on the calling thread before each surface evaluation made
// there: every evaluation of the fit to the whole table and of the input checks, and, in the
// global phase, before the grid's ranking, before the short runs and before each evaluation of
// a short run made on the calling thread. A stop ends the calibration with CalculationCancelled;
// a request that never says stop changes no number.
ContourCalibrationResult CalibrateAccurately(double spot,
                                             const std::vector<CalibrationQuote>& quotes,
                                             const ContourCalibrationSettings& settings,
                                             const StopRequest& stop,
                                             ParallelFor& runner = Serial());

// The same without a stop request.
ContourCalibrationResult CalibrateAccurately(double spot,
                                             const std::vector<CalibrationQuote>& quotes,
                                             const ContourCalibrationSettings& settings,
                                             ParallelFor& runner = Serial());

}  // namespace heston
