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
// moderate falls, and frequent small moves, each combined with Heston points whose variances
// give up the jumps' share of the at-the-money variance. The grid comes in two stages: the
// whole Heston grid with the yearly falls, then its best kKeptHestonPoints points with every
// kind of jumps, one block of points per kind.
constexpr JumpParameters kGridJumps[] = {{0.1, -0.5, 0.2}, {0.3, -0.2, 0.15}, {1.0, -0.1, 0.1}};
constexpr std::size_t kJumpSets = sizeof kGridJumps / sizeof kGridJumps[0];
constexpr std::size_t kFirstJumps = 1;
constexpr std::size_t kKeptHestonPoints = 12;
// Short local runs from the best grid point of each kind of jumps, each of at most this many
// evaluations; fits to the whole table from the best kFinalFits of their end points.
constexpr GlobalPhaseSettings kGlobalPhase{kJumpSets, 10, kJumpSets, true};
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

// A Heston point with jumps, within the bounds; the variances give up the jumps' share of the
// at-the-money variance.
std::vector<double> WithJumps(const std::vector<double>& heston, const JumpParameters& jumps,
                              const std::vector<double>& lower, const std::vector<double>& upper) {
    const double lambda = Clamp(jumps.lambda, lower[5], upper[5]);
    const double muJ = Clamp(jumps.muJ, lower[6], upper[6]);
    const double deltaJ = Clamp(jumps.deltaJ, lower[7], upper[7]);
    // The jumps' variance of the log price per year.
    const double jumpVariance = lambda * (muJ * muJ + deltaJ * deltaJ);
    std::vector<double> x(heston.begin(), heston.begin() + kModelParameterCount);
    x[0] = Clamp(std::max(heston[0] - jumpVariance, 0.25 * heston[0]), lower[0], upper[0]);
    x[1] = Clamp(std::max(heston[1] - jumpVariance, 0.25 * heston[1]), lower[1], upper[1]);
    x.push_back(lambda);
    x.push_back(muJ);
    x.push_back(deltaJ);
    return x;
}

// The Heston points with each of `kinds` kinds of jumps, one block of points per kind.
std::vector<std::vector<double>> Combine(const std::vector<std::vector<double>>& heston,
                                         const JumpParameters* jumps, std::size_t kinds,
                                         const std::vector<double>& lower,
                                         const std::vector<double>& upper) {
    std::vector<std::vector<double>> points;
    for (std::size_t j = 0; j < kinds; ++j) {
        for (const std::vector<double>& h : heston) {
            points.push_back(WithJumps(h, jumps[j], lower, upper));
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
        const std::vector<std::vector<double>> heston =
            HestonGrid(spot, quotes,
                       std::vector<double>(problem.lower.begin(),
                                           problem.lower.begin() + kModelParameterCount),
                       std::vector<double>(problem.upper.begin(),
                                           problem.upper.begin() + kModelParameterCount));
        const GridRefinement refinement{
            kKeptHestonPoints, [&](const std::vector<std::size_t>& best) {
                std::vector<std::vector<double>> kept;
                for (std::size_t i : best) kept.push_back(heston[i]);
                return Combine(kept, kGridJumps, kJumpSets, problem.lower, problem.upper);
            }};
        starts =
            GlobalPhase(spot, quotes, problem, kBates,
                        Combine(heston, &kGridJumps[kFirstJumps], 1, problem.lower, problem.upper),
                        kGlobalPhase, fit, runner, poll, evaluations, &refinement);
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
