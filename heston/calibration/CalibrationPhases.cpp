// The accurate calibrations' shared steps: input checks, global phase and the final fit.
#include "calibration/CalibrationPhases.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "blackscholes/BlackImpliedVolatility.h"
#include "model/ModelParameters.h"
#include "optimisation/BoundedLevenbergMarquardt.h"

namespace heston {
namespace calibration {

namespace {

// Tolerances of the fit to the whole table. Gauss-Newton converges only linearly on a surface
// the model cannot fit exactly, each step gaining about one digit: a relative reduction of
// 1e-10 leaves the RMSE within about 1e-10 of its minimum, one more digit costs one more
// surface evaluation.
constexpr double kReductionTolerance = 1e-10;
constexpr double kStepTolerance = 1e-10;
constexpr double kGradientTolerance = 1e-10;

// The global phase: tables up to this size are their own representatives; the short runs go
// to this tolerance.
constexpr std::size_t kWholeTable = 30;
constexpr double kShapeTolerance = 1e-6;

CalibrationStatus StatusOf(LevenbergMarquardtStop stop) {
    switch (stop) {
        case LevenbergMarquardtStop::SmallReduction:
        case LevenbergMarquardtStop::SmallStep:
        case LevenbergMarquardtStop::SmallGradient:
            return CalibrationStatus::Converged;
        case LevenbergMarquardtStop::EvaluationLimit:
            return CalibrationStatus::EvaluationLimit;
        case LevenbergMarquardtStop::NoProgress:
            return CalibrationStatus::NoFurtherImprovement;
        case LevenbergMarquardtStop::EvaluationFailed:
            break;
    }
    return CalibrationStatus::ModelFailed;
}

// A few options that carry the surface's shape, for the global phase: at each maturity the one
// nearest the money and the lowest and highest strikes. Small tables are taken whole.
std::vector<CalibrationQuote> Representatives(double spot,
                                              const std::vector<CalibrationQuote>& quotes) {
    if (quotes.size() <= kWholeTable) return quotes;
    std::vector<std::size_t> order(quotes.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return quotes[a].option.maturity < quotes[b].option.maturity;
    });
    std::vector<CalibrationQuote> chosen;
    for (std::size_t first = 0; first < order.size();) {
        std::size_t last = first;
        while (last < order.size() &&
               quotes[order[last]].option.maturity == quotes[order[first]].option.maturity)
            ++last;
        std::size_t nearest = order[first], lowest = order[first], highest = order[first];
        double nearestDistance = std::numeric_limits<double>::infinity();
        for (std::size_t k = first; k < last; ++k) {
            const BatchOption& o = quotes[order[k]].option;
            const double forward = spot * std::exp((o.rate - o.dividendYield) * o.maturity);
            const double distance = std::fabs(std::log(o.strike / forward));
            if (distance < nearestDistance) {
                nearestDistance = distance;
                nearest = order[k];
            }
            if (o.strike < quotes[lowest].option.strike) lowest = order[k];
            if (o.strike > quotes[highest].option.strike) highest = order[k];
        }
        chosen.push_back(quotes[nearest]);
        if (lowest != nearest) chosen.push_back(quotes[lowest]);
        if (highest != nearest && highest != lowest) chosen.push_back(quotes[highest]);
        first = last;
    }
    return chosen;
}

}  // namespace

void CheckInputs(const std::vector<CalibrationQuote>& quotes, const CalibrationProblem& problem,
                 const std::vector<ParameterRule>& rules) {
    if (quotes.empty()) throw std::invalid_argument("there are no options to calibrate to");
    double totalWeight = 0.0;
    for (std::size_t i = 0; i < quotes.size(); ++i) {
        const CalibrationQuote& quote = quotes[i];
        if (!std::isfinite(quote.weight) || quote.weight < 0.0)
            throw std::invalid_argument(OptionText(i) + ": the weight must be a number >= 0");
        totalWeight += quote.weight;
        if (!std::isfinite(quote.price))
            throw std::invalid_argument(OptionText(i) + ": the price is not a finite number");
        if (problem.measure == CalibrationErrorMeasure::Relative && !(quote.price > 0.0)) {
            throw std::invalid_argument(OptionText(i) + ": relative errors need a price above 0");
        }
    }
    if (!(totalWeight > 0.0)) throw std::invalid_argument("all weights are 0");
    const std::vector<double>& lower = problem.lower;
    const std::vector<double>& upper = problem.upper;
    const std::vector<double>& guess = problem.initialGuess;
    for (std::size_t j = 0; j < rules.size(); ++j) {
        const std::string name = rules[j].name;
        if (!std::isfinite(lower[j]) || !std::isfinite(upper[j]))
            throw std::invalid_argument("the bounds of " + name + " must be finite numbers");
        if (lower[j] > upper[j])
            throw std::invalid_argument("the lower bound of " + name + " exceeds its upper bound");
        if (rules[j].rule == BoundRule::kNonNegative && lower[j] < 0.0)
            throw std::invalid_argument("the lower bound of " + name + " must be at least 0");
        if (rules[j].rule == BoundRule::kCorrelation && (lower[j] < -1.0 || upper[j] > 1.0))
            throw std::invalid_argument("the bounds of " + name + " must lie within -1 and 1");
        if (problem.hasInitialGuess && !(lower[j] <= guess[j] && guess[j] <= upper[j]))
            throw std::invalid_argument("the initial guess of " + name +
                                        " lies outside its bounds");
    }
    if (problem.maxEvaluations < 1)
        throw std::invalid_argument("the number of evaluations must be at least 1");
}

double Clamp(double value, double lower, double upper) {
    return std::min(std::max(value, lower), upper);
}

bool EstimateAtTheMoney(double spot, const std::vector<CalibrationQuote>& quotes,
                        AtTheMoney& estimate) {
    bool found = false;
    double shortMoneyness = 0.0, longMoneyness = 0.0;
    for (const CalibrationQuote& quote : quotes) {
        const BatchOption& o = quote.option;
        double volatility = 0.0;
        try {
            volatility = BlackImpliedVolatility(o.optionType, quote.price, spot, o.strike,
                                                o.maturity, o.rate, o.dividendYield);
        } catch (const std::exception&) {
            continue;
        }
        if (!(volatility > 0.0) || !std::isfinite(volatility)) continue;
        const double forward = spot * std::exp((o.rate - o.dividendYield) * o.maturity);
        const double moneyness = std::fabs(std::log(o.strike / forward));
        const double variance = volatility * volatility;
        if (!found) {
            estimate = {variance, o.maturity, variance, o.maturity};
            shortMoneyness = longMoneyness = moneyness;
            found = true;
            continue;
        }
        if (o.maturity < estimate.shortMaturity ||
            (o.maturity == estimate.shortMaturity && moneyness < shortMoneyness)) {
            estimate.shortMaturity = o.maturity;
            estimate.shortVariance = variance;
            shortMoneyness = moneyness;
        }
        if (o.maturity > estimate.longMaturity ||
            (o.maturity == estimate.longMaturity && moneyness < longMoneyness)) {
            estimate.longMaturity = o.maturity;
            estimate.longVariance = variance;
            longMoneyness = moneyness;
        }
    }
    return found;
}

namespace {

// The fit of the global phase: in implied volatilities when asked for and every
// representative's price has one, else in the calibration's own measure.
SurfaceFit ShapeFit(double spot, const std::vector<CalibrationQuote>& representatives,
                    CalibrationErrorMeasure measure, bool inVolatilities, const SurfaceModel& model,
                    ParallelFor& runner) {
    if (inVolatilities && measure != CalibrationErrorMeasure::Vol) {
        try {
            return SurfaceFit(spot, representatives, CalibrationErrorMeasure::Vol, model, runner);
        } catch (const std::invalid_argument&) {
            // A price without implied volatility: the calibration's measure serves.
        }
    }
    return SurfaceFit(spot, representatives, measure, model, runner);
}

// The Heston grid around the at-the-money estimates of v0 and theta.
constexpr double kSpeeds[] = {0.5, 1.5, 4.0};
constexpr double kVolatilitiesOfVariance[] = {0.3, 0.7, 1.4};
constexpr double kCorrelations[] = {-0.8, -0.5, -0.2, 0.3};
constexpr int kGridSize = 3 * 3 * 4;

}  // namespace

std::vector<std::vector<double>> HestonGrid(double spot,
                                            const std::vector<CalibrationQuote>& quotes,
                                            const std::vector<double>& lowerBounds,
                                            const std::vector<double>& upperBounds) {
    const ModelParameters lower = FromCalibrationVector(lowerBounds.data());
    const ModelParameters upper = FromCalibrationVector(upperBounds.data());
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

std::vector<std::vector<double>> GlobalPhase(
    double spot, const std::vector<CalibrationQuote>& quotes, const CalibrationProblem& problem,
    const SurfaceModel& model, const std::vector<std::vector<double>>& firstGrid,
    const GlobalPhaseSettings& settings, SurfaceFit& fit, ParallelFor& runner, StopPoll& poll,
    int& evaluations, const GridRefinement* refinement) {
    std::vector<double> x = firstGrid.front();
    fit.CheckOptions(x.data());
    const std::vector<CalibrationQuote> representatives = Representatives(spot, quotes);
    SurfaceFit shape = ShapeFit(spot, representatives, problem.measure,
                                settings.shapeInVolatilities, model, runner);
    shape.PollBeforeEvaluations(&poll);

    // The global phase may use at most half the evaluations; the fit needs the rest. The grid
    // points are ranked as tasks of one batch, each pricing its few options on its own thread.
    // Ties keep the grid's order, so the choice is the same everywhere.
    const int budget = problem.maxEvaluations / 2;
    auto rankGrid = [&](const std::vector<std::vector<double>>& points) {
        const int ranking =
            std::max(0, std::min(static_cast<int>(points.size()), budget - evaluations));
        std::vector<std::pair<double, std::size_t>> ranked(ranking);
        poll.ThrowIfRequested();
        auto rank = [&](int k) {
            SurfaceFit local = shape.OnThisThread();
            ranked[k] = {local.SumOfSquares(points[k].data()), static_cast<std::size_t>(k)};
        };
        runner.ForEach(ranking, rank);
        evaluations += ranking;
        if (ranked.empty()) ranked.emplace_back(0.0, 0);
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        return ranked;
    };
    std::vector<std::pair<double, std::size_t>> ranked = rankGrid(firstGrid);
    std::vector<std::vector<double>> refined;
    if (refinement != nullptr) {
        std::vector<std::size_t> best;
        for (std::size_t i = 0; i < ranked.size() && i < refinement->keep; ++i) {
            best.push_back(ranked[i].second);
        }
        refined = refinement->expand(best);
        ranked = rankGrid(refined);
    }
    const std::vector<std::vector<double>>& grid = refinement != nullptr ? refined : firstGrid;

    x = grid[ranked.front().second];
    if (settings.blocks > 1 && ranked.size() == grid.size()) {
        // The best point of each block first (in the blocks' order), then the rest by rank.
        const std::size_t blockSize = grid.size() / settings.blocks;
        std::vector<std::pair<double, std::size_t>> bestOfBlocks, rest;
        std::vector<bool> taken(settings.blocks, false);
        for (const auto& point : ranked) {
            const std::size_t block = std::min(point.second / blockSize, settings.blocks - 1);
            if (!taken[block]) {
                taken[block] = true;
                bestOfBlocks.push_back(point);
            } else {
                rest.push_back(point);
            }
        }
        std::stable_sort(bestOfBlocks.begin(), bestOfBlocks.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
        ranked = bestOfBlocks;
        ranked.insert(ranked.end(), rest.begin(), rest.end());
    }

    // Short runs from the best grid points. Each run may use what the runs before it left of
    // the budget; when every run can have its full share, they run as tasks of one batch.
    const std::size_t starts = std::min(ranked.size(), settings.starts);
    const int shapeEvaluations = settings.shapeEvaluations;
    auto shortRun = [&](std::size_t s, SurfaceFit& fit, int limit) {
        LevenbergMarquardtSettings local;
        local.maxEvaluations = limit;
        local.reductionTolerance = kShapeTolerance;
        local.stepTolerance = kShapeTolerance;
        local.gradientTolerance = kShapeTolerance;
        return MinimiseWithinBounds(fit.Evaluator(), fit.Count(), grid[ranked[s].second],
                                    problem.lower, problem.upper, local);
    };
    std::vector<LevenbergMarquardtResult> runs;
    poll.ThrowIfRequested();
    if (budget - evaluations >= static_cast<int>(starts) * shapeEvaluations) {
        runs.resize(starts);
        auto task = [&](int s) {
            SurfaceFit local = shape.OnThisThread();
            runs[s] = shortRun(s, local, shapeEvaluations);
        };
        runner.ForEach(static_cast<int>(starts), task);
    } else {
        int left = budget - evaluations;
        for (std::size_t s = 0; s < starts && left > 0; ++s) {
            runs.push_back(shortRun(s, shape, std::min(shapeEvaluations, left)));
            left -= runs.back().evaluations;
        }
    }
    for (const LevenbergMarquardtResult& run : runs) evaluations += run.evaluations;
    if (runs.empty()) return {x};
    // The end points from the best; ties keep the runs' order.
    std::vector<std::size_t> order(runs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return runs[a].sumOfSquares < runs[b].sumOfSquares;
    });
    std::vector<std::vector<double>> ends;
    for (std::size_t i : order) ends.push_back(runs[i].x);
    return ends;
}

std::vector<double> RefineInVolatilities(double spot, const std::vector<CalibrationQuote>& quotes,
                                         const CalibrationProblem& problem,
                                         const SurfaceModel& model,
                                         const std::vector<double>& start, int maxEvaluations,
                                         ParallelFor& runner, StopPoll& poll, int& evaluations) {
    if (problem.measure == CalibrationErrorMeasure::Vol || maxEvaluations < 1) return start;
    try {
        SurfaceFit volatilities(spot, quotes, CalibrationErrorMeasure::Vol, model, runner);
        volatilities.PollBeforeEvaluations(&poll);
        LevenbergMarquardtSettings local;
        local.maxEvaluations = maxEvaluations;
        local.reductionTolerance = kShapeTolerance;
        local.stepTolerance = kShapeTolerance;
        local.gradientTolerance = kShapeTolerance;
        const LevenbergMarquardtResult run =
            MinimiseWithinBounds(volatilities.Evaluator(), volatilities.Count(), start,
                                 problem.lower, problem.upper, local);
        evaluations += run.evaluations;
        return run.stop == LevenbergMarquardtStop::EvaluationFailed ? start : run.x;
    } catch (const std::invalid_argument&) {
        return start;  // a price without implied volatility
    }
}

CalibrationOutcome FitWholeTable(SurfaceFit& fit, const std::vector<double>& start,
                                 const CalibrationProblem& problem, int evaluations,
                                 double totalWeight) {
    CalibrationOutcome result{};
    const int left = problem.maxEvaluations - evaluations;
    if (left < 1) {
        result.x = start;
        result.rmse = std::sqrt(fit.SumOfSquares(start.data()) / totalWeight);
        result.evaluations = evaluations;
        result.status = CalibrationStatus::EvaluationLimit;
        return result;
    }
    LevenbergMarquardtSettings local;
    local.maxEvaluations = left;
    local.reductionTolerance = kReductionTolerance;
    local.stepTolerance = kStepTolerance;
    local.gradientTolerance = kGradientTolerance;
    const LevenbergMarquardtResult best = MinimiseWithinBounds(fit.Evaluator(), fit.Count(), start,
                                                               problem.lower, problem.upper, local);
    result.x = best.x;
    result.rmse = std::sqrt(best.sumOfSquares / totalWeight);
    result.evaluations = evaluations + best.evaluations;
    result.status = StatusOf(best.stop);
    return result;
}

}  // namespace calibration
}  // namespace heston
