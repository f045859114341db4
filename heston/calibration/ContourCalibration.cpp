#include "calibration/ContourCalibration.h"

#include <cmath>
#include <vector>

#include "calibration/CalibrationPhases.h"
#include "calibration/SurfaceFit.h"

namespace heston {

namespace {

using namespace calibration;

constexpr int n = kModelParameterCount;
const std::vector<ParameterRule> kParameterRules = {{"v0", BoundRule::kNonNegative},
                                                    {"theta", BoundRule::kNonNegative},
                                                    {"kappa", BoundRule::kNonNegative},
                                                    {"sigma", BoundRule::kNonNegative},
                                                    {"rho", BoundRule::kCorrelation}};

// Short local runs from this many of the best grid points, each of at most this many
// evaluations.
constexpr GlobalPhaseSettings kGlobalPhase{2, 12};

void HestonPrices(double spot, const double* x, const BatchOption* options, std::size_t count,
                  double* prices, double* derivatives, ParallelFor& runner) {
    EuropeanPrices(spot, FromCalibrationVector(x), options, count, prices, derivatives, runner);
}

double HestonPrice(double spot, const double* x, const BatchOption& o) {
    return EuropeanPrice(o.optionType, spot, o.strike, o.maturity, o.rate, o.dividendYield,
                         FromCalibrationVector(x));
}

constexpr SurfaceModel kHeston{n, HestonPrices, HestonPrice};

std::vector<double> Vector(const ModelParameters& p) {
    std::vector<double> x(n);
    ToCalibrationVector(p, x.data());
    return x;
}
}  // namespace

std::string StatusText(CalibrationStatus status) {
    switch (status) {
        case CalibrationStatus::Converged:
            return "converged";
        case CalibrationStatus::EvaluationLimit:
            return "evaluation limit reached";
        case CalibrationStatus::NoFurtherImprovement:
            return "stopped: no step within the bounds reduces the error further";
        case CalibrationStatus::ModelFailed:
            return "stopped: the model cannot price the options at the start";
    }
    return "stopped";
}

ContourCalibrationResult CalibrateAccurately(double spot,
                                             const std::vector<CalibrationQuote>& quotes,
                                             const ContourCalibrationSettings& settings,
                                             ParallelFor& runner) {
    return CalibrateAccurately(spot, quotes, settings, StopRequest(), runner);
}

ContourCalibrationResult CalibrateAccurately(double spot,
                                             const std::vector<CalibrationQuote>& quotes,
                                             const ContourCalibrationSettings& settings,
                                             const StopRequest& stop, ParallelFor& runner) {
    const CalibrationProblem problem{
        settings.measure,         Vector(settings.lower),        Vector(settings.upper),
        settings.hasInitialGuess, Vector(settings.initialGuess), settings.maxEvaluations};
    CheckInputs(quotes, problem, kParameterRules);
    StopPoll poll(stop);
    SurfaceFit fit(spot, quotes, settings.measure, kHeston, runner);
    fit.PollBeforeEvaluations(&poll);
    double totalWeight = 0.0;
    for (const CalibrationQuote& quote : quotes) totalWeight += quote.weight;

    int evaluations = 0;
    std::vector<double> start = problem.initialGuess;
    if (settings.hasInitialGuess) {
        fit.CheckOptions(start.data());
    } else {
        start = GlobalPhase(spot, quotes, problem, kHeston,
                            HestonGrid(spot, quotes, problem.lower, problem.upper), kGlobalPhase,
                            fit, runner, poll, evaluations)
                    .front();
    }
    const CalibrationOutcome outcome = FitWholeTable(fit, start, problem, evaluations, totalWeight);
    return {FromCalibrationVector(outcome.x.data()), outcome.rmse, outcome.evaluations,
            outcome.status};
}

}  // namespace heston
