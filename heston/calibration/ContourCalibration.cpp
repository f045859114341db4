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

// The global phase's grid around the at-the-money estimates of v0 and theta.
constexpr double kSpeeds[] = {0.5, 1.5, 4.0};
constexpr double kVolatilitiesOfVariance[] = {0.3, 0.7, 1.4};
constexpr double kCorrelations[] = {-0.8, -0.5, -0.2, 0.3};
constexpr int kGridSize = 3 * 3 * 4;
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

// The global phase's grid, each point moved into the bounds.
std::vector<std::vector<double>> GridPoints(double spot,
                                           const std::vector<CalibrationQuote>& quotes,
                                           const ModelParameters& lower,
                                           const ModelParameters& upper) {
    AtTheMoney atm{0.04, 0.0, 0.04, 0.0};
    EstimateAtTheMoney(spot, quotes, atm);
    std::vector<std::vector<double>> points;
    points.reserve(kGridSize);
    for (double kappa : kSpeeds) {
        // The long end's variance is the expected average of the variance over its maturity:
        // theta + (v0 - theta) (1 - e^{-kappa T}) / (kappa T).
        double theta = atm.longVariance;
        const double kt = kappa * atm.longMaturity;
        if (atm.longMaturity > atm.shortMaturity && kt > 0.0) {
            const double share = (1.0 - std::exp(-kt)) / kt;
            theta = (atm.longVariance - atm.shortVariance * share) / (1.0 - share);
        }
        theta = std::max(theta, 0.25 * atm.longVariance);
        for (double sigma : kVolatilitiesOfVariance) {
            for (double rho : kCorrelations) {
                points.push_back(
                    {Clamp(atm.shortVariance, lower.v0, upper.v0),
                     Clamp(theta, lower.theta, upper.theta), Clamp(kappa, lower.kappa, upper.kappa),
                     Clamp(sigma, lower.sigma, upper.sigma), Clamp(rho, lower.rho, upper.rho)});
            }
        }
    }
    return points;
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
    const CalibrationProblem problem{settings.measure, Vector(settings.lower),
                                     Vector(settings.upper), settings.hasInitialGuess,
                                     Vector(settings.initialGuess), settings.maxEvaluations};
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
                            GridPoints(spot, quotes, settings.lower, settings.upper), kGlobalPhase,
                            fit, runner, poll, evaluations);
    }
    const CalibrationOutcome outcome = FitWholeTable(fit, start, problem, evaluations, totalWeight);
    return {FromCalibrationVector(outcome.x.data()), outcome.rmse, outcome.evaluations,
            outcome.status};
}

}  // namespace heston
