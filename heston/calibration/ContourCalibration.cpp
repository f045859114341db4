#include "calibration/ContourCalibration.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>
#include <utility>

#include "blackscholes/BlackVega.h"
#include "optimisation/BoundedLevenbergMarquardt.h"

namespace heston {

namespace {

constexpr int n = kModelParameterCount;
const char* const kParameterNames[n] = {"v0", "theta", "kappa", "sigma", "rho"};

// Tolerances of the fit to the whole table. Gauss-Newton converges only linearly on a surface
// the model cannot fit exactly, each step gaining about one digit: a relative reduction of
// 1e-10 leaves the RMSE within about 1e-10 of its minimum, one more digit costs one more
// surface evaluation.
constexpr double kReductionTolerance = 1e-10;
constexpr double kStepTolerance = 1e-10;
constexpr double kGradientTolerance = 1e-10;

// The global phase's grid around the at-the-money estimates of v0 and theta.
constexpr double kSpeeds[] = {0.5, 1.5, 4.0};
constexpr double kVolatilitiesOfVariance[] = {0.3, 0.7, 1.4};
constexpr double kCorrelations[] = {-0.8, -0.5, -0.2, 0.3};
constexpr int kGridSize = 3 * 3 * 4;
// The global phase: tables up to this size are their own representatives; short local runs
// from this many of the best grid points, each of at most this many evaluations, to this
// tolerance.
constexpr std::size_t kWholeTable = 30;
constexpr std::size_t kStarts = 2;
constexpr int kShapeEvaluations = 12;
constexpr double kShapeTolerance = 1e-6;

std::string OptionText(std::size_t i) {
    return "option " + std::to_string(i + 1);
}

// The Black-Scholes vega of an option of the table.
double Vega(const BatchOption& o, double spot, double volatility) {
    return BlackVega(spot, o.strike, o.maturity, o.rate, o.dividendYield, volatility);
}

// The residuals sqrt(w_i) e_i of one surface, and their Jacobian, at a parameter vector.
class SurfaceFit {
  public:
    SurfaceFit(double spot, const std::vector<CalibrationQuote>& quotes,
               CalibrationErrorMeasure measure, ParallelFor& runner)
        : spot_(spot), measure_(measure), count_(quotes.size()), runner_(&runner) {
        options_.reserve(count_);
        for (const CalibrationQuote& quote : quotes) {
            options_.push_back(quote.option);
            observed_.push_back(quote.price);
            root_weights_.push_back(std::sqrt(quote.weight));
        }
        prices_.resize(count_);
        derivatives_.resize(count_ * n);
        if (measure_ == CalibrationErrorMeasure::Vol) {
            for (std::size_t i = 0; i < count_; ++i) {
                const BatchOption& o = options_[i];
                double volatility = 0.0;
                try {
                    volatility = BlackImpliedVolatility(o.optionType, observed_[i], spot_, o.strike,
                                                        o.maturity, o.rate, o.dividendYield);
                } catch (const std::exception&) {
                    throw std::invalid_argument(
                        OptionText(i) +
                        ": the price lies outside the no-arbitrage bounds, so it has no implied "
                        "volatility");
                }
                observed_volatilities_.push_back(volatility);
                // A floor keeps the fallback error finite for options with next to no vega.
                observed_vegas_.push_back(std::max(Vega(o, spot_, volatility), 1e-12));
            }
        }
    }

    std::size_t Count() const { return count_; }

    // The same fit pricing each surface on the calling thread: for tasks of a batch that
    // already runs on the runner. It polls no stop request (a runner's thread may not ask).
    SurfaceFit OnThisThread() const {
        SurfaceFit copy = *this;
        copy.runner_ = &Serial();
        copy.poll_ = nullptr;
        return copy;
    }

    // Polls before each evaluation (on the calling thread only).
    void PollBeforeEvaluations(StopPoll* poll) { poll_ = poll; }

    // Prices the surface; the Jacobian only when asked for. False when the pricer refuses.
    // Throws CalculationCancelled when the stop request says stop.
    bool Evaluate(const double* x, double* residuals, double* jacobian) {
        if (poll_ != nullptr) poll_->ThrowIfRequested();
        try {
            EuropeanPrices(spot_, FromCalibrationVector(x), options_.data(), count_, prices_.data(),
                           jacobian != nullptr ? derivatives_.data() : nullptr, *runner_);
        } catch (const std::exception&) {
            return false;
        }
        for (std::size_t i = 0; i < count_; ++i) {
            double factor = root_weights_[i];  // d residual / d price
            double error = prices_[i] - observed_[i];
            if (measure_ == CalibrationErrorMeasure::Relative) {
                factor /= observed_[i];
                error /= observed_[i];
            } else if (measure_ == CalibrationErrorMeasure::Vol) {
                const BatchOption& o = options_[i];
                double vega = observed_vegas_[i];
                error /= vega;
                try {
                    const double volatility =
                        BlackImpliedVolatility(o.optionType, prices_[i], spot_, o.strike,
                                               o.maturity, o.rate, o.dividendYield);
                    const double modelVega = Vega(o, spot_, volatility);
                    if (modelVega > 1e-12) {
                        vega = modelVega;
                        error = volatility - observed_volatilities_[i];
                    }
                } catch (const std::exception&) {
                    // The price difference over the observed vega stands in.
                }
                factor /= vega;
            }
            residuals[i] = root_weights_[i] * error;
            if (jacobian != nullptr) {
                for (int j = 0; j < n; ++j) jacobian[i * n + j] = factor * derivatives_[i * n + j];
            }
        }
        return true;
    }

    // Evaluate as the minimiser calls it.
    ResidualsAndJacobian Evaluator() {
        return [this](const double* x, double* residuals, double* jacobian) {
            return Evaluate(x, residuals, jacobian);
        };
    }

    // The sum of squares at x, or infinity where the pricer refuses.
    double SumOfSquares(const double* x) {
        std::vector<double> residuals(count_);
        if (!Evaluate(x, residuals.data(), nullptr)) return std::numeric_limits<double>::infinity();
        double sum = 0.0;
        for (double r : residuals) sum += r * r;
        return std::isfinite(sum) ? sum : std::numeric_limits<double>::infinity();
    }

    // The options the pricer refuses at x, with its reason: for the input checks.
    void CheckOptions(const double* x) {
        std::vector<double> residuals(count_);
        Evaluate(x, residuals.data(), nullptr);
        const ModelParameters model = FromCalibrationVector(x);
        for (std::size_t i = 0; i < count_; ++i) {
            if (std::isfinite(prices_[i])) continue;
            const BatchOption& o = options_[i];
            try {
                EuropeanPrice(o.optionType, spot_, o.strike, o.maturity, o.rate, o.dividendYield,
                              model);
            } catch (const std::exception& error) {
                throw std::invalid_argument(OptionText(i) + ": " + error.what());
            }
            throw std::invalid_argument(OptionText(i) + ": the pricer gives no price");
        }
    }

  private:
    double spot_;
    CalibrationErrorMeasure measure_;
    std::size_t count_;
    ParallelFor* runner_;
    StopPoll* poll_ = nullptr;
    std::vector<BatchOption> options_;
    std::vector<double> observed_, root_weights_, observed_volatilities_, observed_vegas_;
    std::vector<double> prices_, derivatives_;
};

void CheckInputs(double spot, const std::vector<CalibrationQuote>& quotes,
                 const ContourCalibrationSettings& settings) {
    if (quotes.empty()) throw std::invalid_argument("there are no options to calibrate to");
    double totalWeight = 0.0;
    for (std::size_t i = 0; i < quotes.size(); ++i) {
        const CalibrationQuote& quote = quotes[i];
        if (!std::isfinite(quote.weight) || quote.weight < 0.0)
            throw std::invalid_argument(OptionText(i) + ": the weight must be a number >= 0");
        totalWeight += quote.weight;
        if (!std::isfinite(quote.price))
            throw std::invalid_argument(OptionText(i) + ": the price is not a finite number");
        if (settings.measure == CalibrationErrorMeasure::Relative && !(quote.price > 0.0)) {
            throw std::invalid_argument(OptionText(i) + ": relative errors need a price above 0");
        }
    }
    if (!(totalWeight > 0.0)) throw std::invalid_argument("all weights are 0");
    double lower[n], upper[n], guess[n];
    ToCalibrationVector(settings.lower, lower);
    ToCalibrationVector(settings.upper, upper);
    ToCalibrationVector(settings.initialGuess, guess);
    for (int j = 0; j < n; ++j) {
        const std::string name = kParameterNames[j];
        if (!std::isfinite(lower[j]) || !std::isfinite(upper[j]))
            throw std::invalid_argument("the bounds of " + name + " must be finite numbers");
        if (lower[j] > upper[j])
            throw std::invalid_argument("the lower bound of " + name + " exceeds its upper bound");
        if (j < 4 && lower[j] < 0.0)
            throw std::invalid_argument("the lower bound of " + name + " must be at least 0");
        if (j == 4 && (lower[j] < -1.0 || upper[j] > 1.0))
            throw std::invalid_argument("the bounds of rho must lie within -1 and 1");
        if (settings.hasInitialGuess && !(lower[j] <= guess[j] && guess[j] <= upper[j]))
            throw std::invalid_argument("the initial guess of " + name +
                                        " lies outside its bounds");
    }
    if (settings.maxEvaluations < 1)
        throw std::invalid_argument("the number of evaluations must be at least 1");
    (void)spot;
}

double Clamp(double value, double lower, double upper) {
    return std::min(std::max(value, lower), upper);
}

// At-the-money total variances per year at the shortest and the longest maturity with an
// implied volatility, and those maturities. False when no option has one.
struct AtTheMoney {
    double shortVariance, shortMaturity, longVariance, longMaturity;
};

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

// The global phase's grid, each point moved into the bounds.
std::vector<ModelParameters> GridPoints(double spot, const std::vector<CalibrationQuote>& quotes,
                                        const ModelParameters& lower,
                                        const ModelParameters& upper) {
    AtTheMoney atm{0.04, 0.0, 0.04, 0.0};
    EstimateAtTheMoney(spot, quotes, atm);
    std::vector<ModelParameters> points;
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

// The global phase: the grid ranked on the representative options, short local runs from its
// best points on them, and the best end point as the start of the fit to the whole table.
// Counts every surface evaluation (of the representatives or of the whole table).
std::vector<double> GlobalPhase(double spot, const std::vector<CalibrationQuote>& quotes,
                                const ContourCalibrationSettings& settings, SurfaceFit& fit,
                                ParallelFor& runner, StopPoll& poll, int& evaluations) {
    const std::vector<ModelParameters> grid =
        GridPoints(spot, quotes, settings.lower, settings.upper);
    std::vector<double> x(n);
    ToCalibrationVector(grid.front(), x.data());
    fit.CheckOptions(x.data());
    SurfaceFit shape(spot, Representatives(spot, quotes), settings.measure, runner);
    shape.PollBeforeEvaluations(&poll);

    // The global phase may use at most half the evaluations; the fit needs the rest. The grid
    // points are ranked as tasks of one batch, each pricing its few options on its own thread.
    const int budget = settings.maxEvaluations / 2;
    const int ranking = std::max(0, std::min(static_cast<int>(grid.size()), budget - evaluations));
    std::vector<std::pair<double, std::size_t>> ranked(ranking);
    poll.ThrowIfRequested();
    auto rank = [&](int k) {
        SurfaceFit local = shape.OnThisThread();
        double point[n];
        ToCalibrationVector(grid[k], point);
        ranked[k] = {local.SumOfSquares(point), static_cast<std::size_t>(k)};
    };
    runner.ForEach(ranking, rank);
    evaluations += ranking;
    if (ranked.empty()) ranked.emplace_back(0.0, 0);
    // Ties keep the grid's order, so the choice is the same everywhere.
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<double> lower(n), upper(n);
    ToCalibrationVector(settings.lower, lower.data());
    ToCalibrationVector(settings.upper, upper.data());
    ToCalibrationVector(grid[ranked.front().second], x.data());

    // Short runs from the best grid points. Each run may use what the runs before it left of
    // the budget; when every run can have its full share, they run as tasks of one batch.
    const std::size_t starts = std::min(ranked.size(), kStarts);
    auto shortRun = [&](std::size_t s, SurfaceFit& fit, int limit) {
        LevenbergMarquardtSettings local;
        local.maxEvaluations = limit;
        local.reductionTolerance = kShapeTolerance;
        local.stepTolerance = kShapeTolerance;
        local.gradientTolerance = kShapeTolerance;
        std::vector<double> start(n);
        ToCalibrationVector(grid[ranked[s].second], start.data());
        return MinimiseWithinBounds(fit.Evaluator(), fit.Count(), start, lower, upper, local);
    };
    std::vector<LevenbergMarquardtResult> runs;
    poll.ThrowIfRequested();
    if (budget - evaluations >= static_cast<int>(starts) * kShapeEvaluations) {
        runs.resize(starts);
        auto task = [&](int s) {
            SurfaceFit local = shape.OnThisThread();
            runs[s] = shortRun(s, local, kShapeEvaluations);
        };
        runner.ForEach(static_cast<int>(starts), task);
    } else {
        int left = budget - evaluations;
        for (std::size_t s = 0; s < starts && left > 0; ++s) {
            runs.push_back(shortRun(s, shape, std::min(kShapeEvaluations, left)));
            left -= runs.back().evaluations;
        }
    }
    double bestSum = std::numeric_limits<double>::infinity();
    for (const LevenbergMarquardtResult& run : runs) {
        evaluations += run.evaluations;
        if (run.sumOfSquares < bestSum) {
            bestSum = run.sumOfSquares;
            x = run.x;
        }
    }
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
    CheckInputs(spot, quotes, settings);
    StopPoll poll(stop);
    SurfaceFit fit(spot, quotes, settings.measure, runner);
    fit.PollBeforeEvaluations(&poll);
    std::vector<double> lower(n), upper(n);
    ToCalibrationVector(settings.lower, lower.data());
    ToCalibrationVector(settings.upper, upper.data());
    double totalWeight = 0.0;
    for (const CalibrationQuote& quote : quotes) totalWeight += quote.weight;

    int evaluations = 0;
    std::vector<double> start(n);
    if (settings.hasInitialGuess) {
        ToCalibrationVector(settings.initialGuess, start.data());
        fit.CheckOptions(start.data());
    } else {
        start = GlobalPhase(spot, quotes, settings, fit, runner, poll, evaluations);
    }

    ContourCalibrationResult result{};
    const int left = settings.maxEvaluations - evaluations;
    if (left < 1) {
        result.parameters = FromCalibrationVector(start.data());
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
    const LevenbergMarquardtResult best =
        MinimiseWithinBounds(fit.Evaluator(), fit.Count(), start, lower, upper, local);
    result.parameters = FromCalibrationVector(best.x.data());
    result.rmse = std::sqrt(best.sumOfSquares / totalWeight);
    result.evaluations = evaluations + best.evaluations;
    result.status = StatusOf(best.stop);
    return result;
}

}  // namespace heston
