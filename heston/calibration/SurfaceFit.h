// SurfaceFit: the residuals sqrt(w_i) e_i of a table of observed option prices under a model
// with any number of parameters, and their Jacobian, in one of the three error measures of
// ContourCalibration.h; what the accurate calibrations minimise.
//
// The model enters as its batch pricer (all options at one parameter vector, optionally with
// the parameter derivatives of each price) and its single-option pricer (whose refusal names
// what is wrong with an option).
//
// Tested through the calibrations in tests/numerics/contour_calibration_test.cpp and
// tests/numerics/bates_calibration_test.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "calibration/ContourCalibration.h"
#include "execution/ParallelFor.h"
#include "execution/StopRequest.h"
#include "model/PricingTypes.h"
#include "optimisation/BoundedLevenbergMarquardt.h"

namespace heston {
namespace calibration {

// A model as the fit sees it.
struct SurfaceModel {
    int parameters;  // length of the parameter vectors
    // prices[i] of the count options at x and, when derivatives is not null, the parameter
    // derivatives of price i at derivatives[parameters * i ..]; throws where x is refused.
    void (*prices)(double spot, const double* x, const BatchOption* options, std::size_t count,
                   double* prices, double* derivatives, ParallelFor& runner);
    // One option's price at x; throws with the pricer's reason where it refuses the option.
    double (*price)(double spot, const double* x, const BatchOption& option);
};

// "option 3" for index 2.
std::string OptionText(std::size_t i);

class SurfaceFit {
  public:
    // Throws std::invalid_argument in the vol measure for a price without implied volatility.
    SurfaceFit(double spot, const std::vector<CalibrationQuote>& quotes,
               CalibrationErrorMeasure measure, const SurfaceModel& model, ParallelFor& runner);

    std::size_t Count() const { return count_; }

    // The same fit pricing each surface on the calling thread: for tasks of a batch that
    // already runs on the runner. It polls no stop request (a runner's thread may not ask).
    SurfaceFit OnThisThread() const;

    // Polls before each evaluation (on the calling thread only).
    void PollBeforeEvaluations(StopPoll* poll) { poll_ = poll; }

    // Prices the surface; the Jacobian only when asked for. False when the pricer refuses.
    // Throws CalculationCancelled when the stop request says stop.
    bool Evaluate(const double* x, double* residuals, double* jacobian);

    // Evaluate as the minimiser calls it.
    ResidualsAndJacobian Evaluator();

    // The sum of squares at x, or infinity where the pricer refuses.
    double SumOfSquares(const double* x);

    // Throws std::invalid_argument naming the first option the pricer refuses at x, with its
    // reason: for the input checks.
    void CheckOptions(const double* x);

  private:
    double spot_;
    CalibrationErrorMeasure measure_;
    SurfaceModel model_;
    std::size_t count_;
    ParallelFor* runner_;
    StopPoll* poll_ = nullptr;
    std::vector<BatchOption> options_;
    std::vector<double> observed_, root_weights_, observed_volatilities_, observed_vegas_;
    std::vector<double> prices_, derivatives_;
};

}  // namespace calibration
}  // namespace heston
