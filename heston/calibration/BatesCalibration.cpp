// The Bates calibration: the shared calibration steps (CalibrationPhases.h) with the Bates
// pricer and a global phase that includes jumps.
#include "calibration/BatesCalibration.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "calibration/CalibrationPhases.h"
#include "calibration/SurfaceFit.h"

namespace heston {

namespace {

using namespace calibration;

constexpr int n = kBatesParameterCount;
const std::vector<ParameterRule> kParameterRules = {
    {"v0", BoundRule::kNonNegative},    {"theta", BoundRule::kNonNegative},
    {"kappa", BoundRule::kNonNegative}, {"sigma", BoundRule::kNonNegative},
    {"rho", BoundRule::kCorrelation},   {"lambda", BoundRule::kNonNegative},
    {"muJ", BoundRule::kAny},           {"deltaJ", BoundRule::kNonNegative}};

// The jumps of the global phase's grid (lambda, muJ, deltaJ): rare large crashes, yearly
// moderate falls, and frequent small moves. Each is combined with every point of the Heston
// grid, whose variances give up the jumps' share of the at-the-money variance.
constexpr JumpParameters kGridJumps[] = {
    {0.1, -0.5, 0.2}, {0.3, -0.2, 0.15}, {1.0, -0.1, 0.1}, {2.0, -0.03, 0.05}};
constexpr std::size_t kJumpSets = sizeof kGridJumps / sizeof kGridJumps[0];
// Short local runs from the best grid point of each jump set, each of at most this many
// evaluations; fits to the whole table from the best kFinalFits of their end points.
constexpr GlobalPhaseSettings kGlobalPhase{kJumpSets, 15, kJumpSets, true};
constexpr std::size_t kFinalFits = 1;
// In a price or relative measure, the start is first refined in implied volatilities by at most
// this many evaluations of the whole table (CalibrationPhases.h).
constexpr int kRefinement = 40;

void BatesPrices(double spot, const double* x, const BatchOption* options, std::size_t count,
                 double* prices, double* derivatives, ParallelFor& runner) {
    EuropeanPrices(spot, FromBatesCalibrationVector(x), options, count, prices, derivatives,
                   runner);
}

double BatesPrice(double spot, const double* x, const BatchOption& o) {
    return EuropeanPrice(o.optionType, spot, o.strike, o.maturity, o.rate, o.dividendYield,
                         FromBatesCalibrationVector(x));
}

constexpr SurfaceModel kBates{n, BatesPrices, BatesPrice};

std::vector<double> Vector(const BatesParameters& p) {
    std::vector<double> x(n);
    ToBatesCalibrationVector(p, x.data());
    return x;
}

// The Heston grid with each of the grid's jumps, within the bounds.
std::vector<std::vector<double>> BatesGrid(double spot, const std::vector<CalibrationQuote>& quotes,
                                           const std::vector<double>& lower,
                                           const std::vector<double>& upper) {
    const std::vector<double> hestonLower(lower.begin(), lower.begin() + kModelParameterCount);
    const std::vector<double> hestonUpper(upper.begin(), upper.begin() + kModelParameterCount);
    const std::vector<std::vector<double>> heston =
        HestonGrid(spot, quotes, hestonLower, hestonUpper);
    std::vector<std::vector<double>> points;
    points.reserve(heston.size() * kJumpSets);
    for (const JumpParameters& jumps : kGridJumps) {
        const double lambda = Clamp(jumps.lambda, lower[5], upper[5]);
        const double muJ = Clamp(jumps.muJ, lower[6], upper[6]);
        const double deltaJ = Clamp(jumps.deltaJ, lower[7], upper[7]);
        // The jumps' variance of the log price per year, taken from v0 and theta.
        const double jumpVariance = lambda * (muJ * muJ + deltaJ * deltaJ);
        for (const std::vector<double>& h : heston) {
            std::vector<double> x = h;
            x[0] = Clamp(std::max(h[0] - jumpVariance, 0.25 * h[0]), lower[0], upper[0]);
            x[1] = Clamp(std::max(h[1] - jumpVariance, 0.25 * h[1]), lower[1], upper[1]);
            x.push_back(lambda);
            x.push_back(muJ);
            x.push_back(deltaJ);
            points.push_back(x);
        }
    }
    return points;
}

}  // namespace

BatesCalibrationResult CalibrateBates(double spot, const std::vector<CalibrationQuote>& quotes,
                                      const BatesCalibrationSettings& settings,
                                      ParallelFor& runner) {
    return CalibrateBates(spot, quotes, settings, StopRequest(), runner);
}

BatesCalibrationResult CalibrateBates(double spot, const std::vector<CalibrationQuote>& quotes,
                                      const BatesCalibrationSettings& settings,
                                      const StopRequest& stop, ParallelFor& runner) {
    const CalibrationProblem problem{
        settings.measure,         Vector(settings.lower),        Vector(settings.upper),
        settings.hasInitialGuess, Vector(settings.initialGuess), settings.maxEvaluations};
    CheckInputs(quotes, problem, kParameterRules);
    StopPoll poll(stop);
    SurfaceFit fit(spot, quotes, settings.measure, kBates, runner);
    fit.PollBeforeEvaluations(&poll);
    double totalWeight = 0.0;
    for (const CalibrationQuote& quote : quotes) totalWeight += quote.weight;

    int evaluations = 0;
    std::vector<std::vector<double>> starts{problem.initialGuess};
    if (settings.hasInitialGuess) {
        fit.CheckOptions(starts.front().data());
    } else {
        starts = GlobalPhase(spot, quotes, problem, kBates,
                             BatesGrid(spot, quotes, problem.lower, problem.upper), kGlobalPhase,
                             fit, runner, poll, evaluations);
        if (starts.size() > kFinalFits) starts.resize(kFinalFits);
        for (std::vector<double>& start : starts) {
            start = RefineInVolatilities(spot, quotes, problem, kBates, start, kRefinement, runner,
                                         poll, evaluations);
        }
    }
    // The fits one after the other, each with what the ones before left of the evaluations;
    // the best (the first of equals) is the result.
    CalibrationOutcome best{};
    for (std::size_t i = 0; i < starts.size(); ++i) {
        if (i > 0 && evaluations >= problem.maxEvaluations) break;
        const CalibrationOutcome outcome =
            FitWholeTable(fit, starts[i], problem, evaluations, totalWeight);
        evaluations = outcome.evaluations;
        if (i == 0 || outcome.rmse < best.rmse) best = outcome;
    }
    return {FromBatesCalibrationVector(best.x.data()), best.rmse, evaluations, best.status};
}

}  // namespace heston
