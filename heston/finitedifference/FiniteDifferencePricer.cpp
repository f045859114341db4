#include "finitedifference/FiniteDifferencePricer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "contour/ContourPricer.h"
#include "finitedifference/ConcentratedMesh.h"
#include "finitedifference/CraigSneydStepping.h"
#include "finitedifference/HestonOperator.h"

namespace heston {

namespace {

using finitedifference::ConcentratedMesh;
using finitedifference::ConcentrationPoint;
using finitedifference::HestonOperator;
using finitedifference::KnockRule;
using finitedifference::SteppingPlan;
using finitedifference::SteppingResult;

// Doubles held per grid node by one solve, with room to spare: two factorised line solvers (3
// each), the stepper's stage vectors (4), the values, terminal and exercise values and the
// multiplier (4).
constexpr std::size_t kBytesPerNode = 20 * sizeof(double);

// The spot axis reaches this many standard deviations of ln S over the option's life beyond
// the farthest of spot, strike and barriers (at least a factor 2); the variance axis reaches
// this many times the larger of v0 and theta. Nodes concentrate within about
// kSpotWidth standard deviations of the strike, the spot and the barriers.
constexpr double kSpotReach = 4.0;
constexpr double kVarianceReach = 5.0;
// The variance axis reaches this many scales of the variance's tail beyond the larger of v0
// and theta (the value there is taken linear in v; 8 scales leave a truncation effect below
// 1e-4 on the test cases, and 12 spent nodes where they changed nothing).
constexpr double kVarianceTail = 8.0;
constexpr double kSpotWidth = 0.5;
// The spread of ln S (standard deviation over the option's life) beyond which the default grid
// takes more spot points.
constexpr double kWideSpread = 0.3;
// The width of the concentration at v = 0 as a fraction of the larger of v0 and theta. (in 't
// Hout & Foulon 2010 take 1/500 of the axis for grids of 50 and more variance nodes; a wider
// concentration leaves more nodes between v = 0 and a few times v0, where American and barrier
// values bend most, which measured better.)
constexpr double kZeroVarianceWidth = 1.0;

std::string Describe(const char* name, double value, const char* requirement) {
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "%s must be %s (got %.17g)", name, requirement, value);
    return buffer;
}

bool HasLower(BarrierType t) {
    return t == BarrierType::DownOut || t == BarrierType::DownIn || t == BarrierType::DoubleOut ||
           t == BarrierType::DoubleIn;
}

bool HasUpper(BarrierType t) {
    return t == BarrierType::UpOut || t == BarrierType::UpIn || t == BarrierType::DoubleOut ||
           t == BarrierType::DoubleIn;
}

bool IsKnockIn(BarrierType t) {
    return t == BarrierType::DownIn || t == BarrierType::UpIn || t == BarrierType::DoubleIn;
}

BarrierType KnockOutOf(BarrierType t) {
    switch (t) {
        case BarrierType::DownIn:
            return BarrierType::DownOut;
        case BarrierType::UpIn:
            return BarrierType::UpOut;
        case BarrierType::DoubleIn:
            return BarrierType::DoubleOut;
        default:
            return t;
    }
}

void CheckInputs(double spot, const FiniteDifferenceOption& o, const ModelParameters& m) {
    auto positive = [](double x) { return std::isfinite(x) && x > 0.0; };
    auto nonNegative = [](double x) { return std::isfinite(x) && x >= 0.0; };
    if (!positive(spot)) throw std::invalid_argument(Describe("spot", spot, "finite and positive"));
    if (o.optionType != kCall && o.optionType != kPut)
        throw std::invalid_argument(Describe("optionType", o.optionType, "1 (call) or 2 (put)"));
    if (!positive(o.strike))
        throw std::invalid_argument(Describe("strike", o.strike, "finite and positive"));
    if (!positive(o.maturity))
        throw std::invalid_argument(Describe("maturity", o.maturity, "finite and positive"));
    if (!std::isfinite(o.rate)) throw std::invalid_argument(Describe("rate", o.rate, "finite"));
    if (!std::isfinite(o.dividendYield))
        throw std::invalid_argument(Describe("dividendYield", o.dividendYield, "finite"));
    if (!nonNegative(m.v0))
        throw std::invalid_argument(Describe("v0", m.v0, "finite and non-negative"));
    if (!nonNegative(m.theta))
        throw std::invalid_argument(Describe("theta", m.theta, "finite and non-negative"));
    if (!nonNegative(m.kappa))
        throw std::invalid_argument(Describe("kappa", m.kappa, "finite and non-negative"));
    if (!nonNegative(m.sigma))
        throw std::invalid_argument(Describe("sigma", m.sigma, "finite and non-negative"));
    if (!(std::fabs(m.rho) <= 1.0))
        throw std::invalid_argument(Describe("rho", m.rho, "in [-1, 1]"));
    const Barrier& b = o.barrier;
    if (b.type == BarrierType::None) return;
    if (HasLower(b.type) && !positive(b.lower))
        throw std::invalid_argument(Describe("barrier", b.lower, "finite and positive"));
    if (HasUpper(b.type) && !positive(b.upper))
        throw std::invalid_argument(Describe("barrier", b.upper, "finite and positive"));
    if (HasLower(b.type) && HasUpper(b.type) && !(b.lower < b.upper)) {
        char buffer[200];
        std::snprintf(buffer, sizeof buffer,
                      "barrier: the lower barrier must be below the upper (got %.17g and %.17g)",
                      b.lower, b.upper);
        throw std::invalid_argument(buffer);
    }
    if (!nonNegative(b.rebate))
        throw std::invalid_argument(Describe("rebate", b.rebate, "finite and non-negative"));
    if (b.observations < 0)
        throw std::invalid_argument(
            Describe("observations", b.observations, "0 (continuous) or a positive count"));
    if (IsKnockIn(b.type) && o.exercise == ExerciseStyle::American)
        throw std::invalid_argument(
            "exercise: American knock-ins are not supported (only European knock-ins and "
            "American knock-outs)");
}

double Payoff(int optionType, double strike, double s) {
    return optionType == kCall ? std::max(s - strike, 0.0) : std::max(strike - s, 0.0);
}

// The payoff averaged over the cell of spot node i, from the midpoint with its lower neighbour
// to the midpoint with its upper one, where the strike lies inside the cell; the payoff itself
// elsewhere. The average rounds off the kink at the strike, whose sampled values would
// otherwise cost the scheme its second order near the strike (D. M. Pooley, K. R. Vetzal and
// P. A. Forsyth, "Convergence remedies for non-smooth payoffs in option pricing", J. Comput.
// Finance 6(4), 2003).
double CellAveragedPayoff(int optionType, double strike, const std::vector<double>& spots, int i) {
    const double s = spots[i];
    if (i == 0 || i + 1 == static_cast<int>(spots.size())) return Payoff(optionType, strike, s);
    const double a = 0.5 * (spots[i - 1] + s), b = 0.5 * (s + spots[i + 1]);
    if (!(strike > a && strike < b)) return Payoff(optionType, strike, s);
    const double inside = optionType == kCall ? b - strike : strike - a;
    return 0.5 * inside * inside / (b - a);
}

// Everything of one pricing problem that bumped inputs leave as it is.
struct Problem {
    std::vector<double> spots, variances;
    bool lowerFixed = false, upperFixed = false;
    int spotIndex = 0, varianceIndex = 0;
    std::vector<double> terminal, exercise;
    KnockRule knock;
    double maturity = 0.0;
    int steps = 0, observations = 0;
    bool graded = false;
};

int IndexOf(const std::vector<double>& nodes, double x) {
    const auto it = std::lower_bound(nodes.begin(), nodes.end(), x);
    return static_cast<int>(it - nodes.begin());
}

// The knock-out problem of o (knock-out or no barrier) whose payoff is lowered by shift and
// whose barriers hold rebate.
Problem BuildProblem(double spot, const FiniteDifferenceOption& o, double shift, double rebate,
                     const ModelParameters& m, const FiniteDifferenceGrid& g) {
    const Barrier& b = o.barrier;
    const bool continuous = b.observations == 0;
    const bool lower = HasLower(b.type), upper = HasUpper(b.type);
    const double meanVariance = std::max({m.v0, m.theta, 1e-4});
    const double deviation = std::sqrt(meanVariance * o.maturity);
    double far = std::max({spot, o.strike, lower ? b.lower : 0.0, upper ? b.upper : 0.0});
    far *= std::exp(std::max(kSpotReach * deviation, std::log(2.0)));

    Problem p;
    p.lowerFixed = continuous && lower;
    p.upperFixed = continuous && upper;
    const double low = p.lowerFixed ? b.lower : 0.0;
    const double high = p.upperFixed ? b.upper : far;
    const double width = kSpotWidth * deviation * std::max(spot, o.strike);
    std::vector<ConcentrationPoint> points;
    std::vector<double> required{spot};
    if (lower) points.push_back({b.lower, width});
    if (upper) points.push_back({b.upper, width});
    if (!continuous) {
        if (lower) required.push_back(b.lower);
        if (upper) required.push_back(b.upper);
    }
    if (o.strike > low && o.strike < high) {
        points.push_back({o.strike, width});
        bool apart = true;
        for (double x : required)
            apart = apart && std::fabs(o.strike - x) > 0.5 * width / g.spotPoints;
        if (apart) required.push_back(o.strike);
    }
    points.push_back({spot, width});
    p.spots = ConcentratedMesh(low, high, g.spotPoints - 1, points, required);
    p.spotIndex = IndexOf(p.spots, spot);

    // The variance at maturity has a gamma-like tail of scale sigma^2 (1 - e^{-kappa T}) /
    // (2 kappa) (the transition law of the square-root process); the axis reaches
    // kVarianceTail such scales beyond the larger of v0 and theta, and at least kVarianceReach
    // times it.
    const double tailScale =
        m.kappa * o.maturity > 1e-8
            ? m.sigma * m.sigma * -std::expm1(-m.kappa * o.maturity) / (2.0 * m.kappa)
            : 0.5 * m.sigma * m.sigma * o.maturity;
    const double varianceEnd =
        std::max(kVarianceReach * meanVariance, meanVariance + kVarianceTail * tailScale);
    p.variances = ConcentratedMesh(0.0, varianceEnd, g.variancePoints - 1,
                                   {{0.0, kZeroVarianceWidth * meanVariance}}, {m.v0});
    p.varianceIndex = IndexOf(p.variances, m.v0);

    const int ms = g.spotPoints, nv = g.variancePoints;
    p.knock.rebate = rebate;
    p.knock.alive.assign(ms, 1.0);
    if (!continuous) {
        for (int i = 0; i < ms; ++i) {
            const double s = p.spots[i];
            double& alive = p.knock.alive[i];
            if (lower && s <= b.lower) alive = s == b.lower ? 0.5 : 0.0;
            if (upper && s >= b.upper) alive = s == b.upper ? 0.5 : 0.0;
        }
    }
    p.terminal.resize(static_cast<std::size_t>(ms) * nv);
    const bool american = o.exercise == ExerciseStyle::American;
    if (american) p.exercise.resize(p.terminal.size());
    for (int i = 0; i < ms; ++i) {
        const bool fixed = (i == 0 && p.lowerFixed) || (i == ms - 1 && p.upperFixed);
        const double payoff = Payoff(o.optionType, o.strike, p.spots[i]);
        const double averaged = CellAveragedPayoff(o.optionType, o.strike, p.spots, i);
        const double alive = p.knock.alive[i];
        const double value = fixed ? rebate : alive * (averaged - shift) + (1.0 - alive) * rebate;
        for (int j = 0; j < nv; ++j) {
            p.terminal[static_cast<std::size_t>(j) * ms + i] = value;
            if (american)
                p.exercise[static_cast<std::size_t>(j) * ms + i] = fixed ? rebate : payoff;
        }
    }
    p.maturity = o.maturity;
    p.steps = g.timeSteps;
    p.observations = continuous ? 0 : b.observations;
    p.graded = b.type != BarrierType::None;
    return p;
}

struct Solution {
    HestonOperator op;
    SteppingResult result;

    double Value() const { return result.values[op.Index(spotIndex, varianceIndex)]; }
    int spotIndex, varianceIndex;
};

Solution Solve(const Problem& p, double rate, double dividendYield, const ModelParameters& m,
               StopPoll& poll) {
    HestonOperator op(p.spots, p.variances, rate, dividendYield, m, p.lowerFixed, p.upperFixed);
    SteppingPlan plan;
    plan.maturity = p.maturity;
    plan.steps = p.steps;
    plan.observations = p.observations;
    plan.graded = p.graded;
    plan.knock = &p.knock;
    plan.exercise = p.exercise.empty() ? nullptr : &p.exercise;
    SteppingResult result = finitedifference::StepBack(op, p.terminal, plan, poll);
    return Solution{std::move(op), std::move(result), p.spotIndex, p.varianceIndex};
}

// How the option is priced: the knock-out problem on the grid, or a value known without one.
struct Plan {
    enum class Kind { Grid, Rebate, Vanilla } kind = Kind::Grid;
    FiniteDifferenceOption problemOption;  // the knock-out (or plain) option on the grid
    double shift = 0.0;                    // lowers its payoff
    double rebate = 0.0;                   // held by its barriers
    bool subtractFromVanilla = false;      // knock-in = vanilla - grid value
};

Plan PlanOf(double spot, const FiniteDifferenceOption& o) {
    Plan plan;
    plan.problemOption = o;
    const Barrier& b = o.barrier;
    if (b.type == BarrierType::None) return plan;
    const bool beyond = b.observations == 0 && ((HasLower(b.type) && spot <= b.lower) ||
                                                (HasUpper(b.type) && spot >= b.upper));
    if (IsKnockIn(b.type)) {
        if (beyond) {
            plan.kind = Plan::Kind::Vanilla;
            return plan;
        }
        plan.problemOption.barrier.type = KnockOutOf(b.type);
        plan.shift = b.rebate;
        plan.rebate = 0.0;
        plan.subtractFromVanilla = true;
        return plan;
    }
    if (beyond) plan.kind = Plan::Kind::Rebate;
    plan.rebate = b.rebate;
    return plan;
}

Greeks RebateGreeks(double rebate) {
    Greeks g{};
    g.price = rebate;
    return g;
}

// Polls from any thread of a batch: the thread that started it asks the caller's request,
// the others see its answer.
class SharedStop {
  public:
    explicit SharedStop(const StopRequest& request)
        : request_(request), caller_(std::this_thread::get_id()) {}

    StopRequest ForTask() {
        StopRequest task;
        task.interval = request_.interval;
        if (!request_.shouldStop) return task;
        task.shouldStop = [this] {
            if (std::this_thread::get_id() == caller_ && request_.shouldStop())
                stopped_.store(true);
            return stopped_.load();
        };
        return task;
    }

  private:
    const StopRequest& request_;
    const std::thread::id caller_;
    std::atomic<bool> stopped_{false};
};

struct Bump {
    double up, down;
};

// Central difference steps: rates by 1e-3, theta, kappa and sigma by 1% (at least 1e-3), rho
// by 0.01, each kept inside its domain (then the difference is off-centre).
Bump BumpOf(double x, double step, double lowest, double highest) {
    return Bump{std::min(x + step, highest), std::max(x - step, lowest)};
}

template <class F>
auto WithMemoryCheck(F f) -> decltype(f()) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("grid: not enough memory for the grid; choose a smaller Grid");
    }
}

}  // namespace

FiniteDifferenceGrid DefaultGrid(const FiniteDifferenceOption& option,
                                 const ModelParameters& model) {
    const Barrier& b = option.barrier;
    const double years = std::isfinite(option.maturity) ? option.maturity : 1.0;
    // The spot axis and its concentrations widen with the spread of ln S over the option's
    // life: beyond kWideSpread the spot points grow in proportion (at most twice).
    const double variance = std::max({model.v0, model.theta, 1e-4});
    const double spread = std::sqrt(std::isfinite(variance) ? variance * years : 0.0);
    const double wide = std::min(2.0, std::max(1.0, spread / kWideSpread));
    const FiniteDifferenceGrid& base = b.type == BarrierType::None ? kVanillaGrid : kBarrierGrid;
    const int spots = static_cast<int>(std::lround(base.spotPoints * wide));
    if (b.type == BarrierType::None) {
        const double stretch = std::min(2.0, std::sqrt(std::max(1.0, years)));
        return {static_cast<int>(std::lround(base.timeSteps * stretch)), spots,
                base.variancePoints};
    }
    const double stretch = std::min(2.0, std::max(0.5, std::sqrt(years)));
    int steps = static_cast<int>(std::lround(base.timeSteps * stretch));
    if (b.observations > 0) steps = std::max(steps, std::min(2 * b.observations, 1000));
    return {steps, spots, base.variancePoints};
}

namespace {

void CheckEntry(int value, int lowest, int highest, const char* what) {
    if (value != 0 && (value < lowest || value > highest)) {
        char buffer[200];
        std::snprintf(buffer, sizeof buffer,
                      "grid: %s must be 0 (the default) or a whole number from %d to %d (got %d)",
                      what, lowest, highest, value);
        throw std::invalid_argument(buffer);
    }
}

void CheckMemory(int spotPoints, int variancePoints) {
    const double bytes = double(spotPoints) * variancePoints * kBytesPerNode;
    if (bytes > double(kMaxGridBytes)) {
        char buffer[240];
        std::snprintf(buffer, sizeof buffer,
                      "grid: %d spot by %d variance points need about %.0f MB, more than the "
                      "%.0f MB a grid may use",
                      spotPoints, variancePoints, bytes / (1 << 20),
                      double(kMaxGridBytes) / (1 << 20));
        throw std::invalid_argument(buffer);
    }
}

}  // namespace

void CheckGrid(const FiniteDifferenceGrid& grid) {
    CheckEntry(grid.timeSteps, kMinTimeSteps, kMaxTimeSteps, "time steps");
    CheckEntry(grid.spotPoints, kMinSpotPoints, kMaxSpotPoints, "spot points");
    CheckEntry(grid.variancePoints, kMinVariancePoints, kMaxVariancePoints, "variance points");
    // Default entries at the largest value any option takes.
    const int spots = grid.spotPoints != 0
                          ? grid.spotPoints
                          : 2 * std::max(kVanillaGrid.spotPoints, kBarrierGrid.spotPoints);
    const int variances = grid.variancePoints != 0
                              ? grid.variancePoints
                              : std::max(kVanillaGrid.variancePoints, kBarrierGrid.variancePoints);
    CheckMemory(spots, variances);
}

FiniteDifferenceGrid ResolveGrid(const FiniteDifferenceGrid& grid,
                                 const FiniteDifferenceOption& option,
                                 const ModelParameters& model) {
    CheckGrid(grid);
    const FiniteDifferenceGrid defaults = DefaultGrid(option, model);
    FiniteDifferenceGrid g = grid;
    if (g.timeSteps == 0) g.timeSteps = defaults.timeSteps;
    if (g.spotPoints == 0) g.spotPoints = defaults.spotPoints;
    if (g.variancePoints == 0) g.variancePoints = defaults.variancePoints;
    return g;
}

double FiniteDifferencePrice(double spot, const FiniteDifferenceOption& option,
                             const ModelParameters& model, const FiniteDifferenceGrid& grid,
                             const StopRequest& stop) {
    CheckInputs(spot, option, model);
    const FiniteDifferenceGrid g = ResolveGrid(grid, option, model);
    const Plan plan = PlanOf(spot, option);
    if (plan.kind == Plan::Kind::Rebate) return option.barrier.rebate;
    if (plan.kind == Plan::Kind::Vanilla)
        return EuropeanPrice(option.optionType, spot, option.strike, option.maturity, option.rate,
                             option.dividendYield, model);
    return WithMemoryCheck([&] {
        const Problem p = BuildProblem(spot, plan.problemOption, plan.shift, plan.rebate, model, g);
        StopPoll poll(stop);
        const double value = Solve(p, option.rate, option.dividendYield, model, poll).Value();
        if (!plan.subtractFromVanilla) return value;
        return EuropeanPrice(option.optionType, spot, option.strike, option.maturity, option.rate,
                             option.dividendYield, model) -
               value;
    });
}

Greeks FiniteDifferenceGreeks(double spot, const FiniteDifferenceOption& option,
                              const ModelParameters& model, const FiniteDifferenceGrid& grid,
                              ParallelFor& runner, const StopRequest& stop) {
    CheckInputs(spot, option, model);
    const FiniteDifferenceGrid g = ResolveGrid(grid, option, model);
    const Plan plan = PlanOf(spot, option);
    if (plan.kind == Plan::Kind::Rebate) return RebateGreeks(option.barrier.rebate);
    if (plan.kind == Plan::Kind::Vanilla)
        return EuropeanGreeks(option.optionType, spot, option.strike, option.maturity, option.rate,
                              option.dividendYield, model);
    return WithMemoryCheck([&] {
        const Problem p = BuildProblem(spot, plan.problemOption, plan.shift, plan.rebate, model, g);

        // Task 0 is the solve at the inputs, tasks 1 .. 12 the bumped ones in pairs (up, down)
        // for rate, dividend yield, theta, kappa, sigma and rho.
        const double r = option.rate, q = option.dividendYield;
        const Bump bumps[6] = {
            BumpOf(r, 1e-3, -1e300, 1e300),
            BumpOf(q, 1e-3, -1e300, 1e300),
            BumpOf(model.theta, std::max(1e-2 * model.theta, 1e-3), 0.0, 1e300),
            BumpOf(model.kappa, std::max(1e-2 * model.kappa, 1e-3), 0.0, 1e300),
            BumpOf(model.sigma, std::max(1e-2 * model.sigma, 1e-3), 0.0, 1e300),
            BumpOf(model.rho, 1e-2, -1.0, 1.0),
        };
        double bumped[12] = {};
        Greeks greeks{};
        SharedStop shared(stop);
        auto task = [&](int index) {
            StopPoll poll(shared.ForTask());
            if (index == 0) {
                const Solution s = Solve(p, r, q, model, poll);
                const std::vector<double>& u = s.result.values;
                const HestonOperator& op = s.op;
                const int i = p.spotIndex, j = p.varianceIndex;
                double w[3];
                finitedifference::CentralFirstDerivative(p.spots, i, w);
                greeks.delta = w[0] * u[op.Index(i - 1, j)] + w[1] * u[op.Index(i, j)] +
                               w[2] * u[op.Index(i + 1, j)];
                finitedifference::CentralSecondDerivative(p.spots, i, w);
                greeks.gamma = w[0] * u[op.Index(i - 1, j)] + w[1] * u[op.Index(i, j)] +
                               w[2] * u[op.Index(i + 1, j)];
                if (j == 0) {
                    finitedifference::ForwardFirstDerivative(p.variances, 0, w);
                    greeks.dV0 = w[0] * u[op.Index(i, 0)] + w[1] * u[op.Index(i, 1)] +
                                 w[2] * u[op.Index(i, 2)];
                } else {
                    finitedifference::CentralFirstDerivative(p.variances, j, w);
                    greeks.dV0 = w[0] * u[op.Index(i, j - 1)] + w[1] * u[op.Index(i, j)] +
                                 w[2] * u[op.Index(i, j + 1)];
                }
                greeks.theta = -(op.ApplyAt(u.data(), i, j) + s.result.multiplier[op.Index(i, j)]);
                greeks.price = s.Value();
                return;
            }
            const int which = (index - 1) / 2;
            const double x = (index - 1) % 2 == 0 ? bumps[which].up : bumps[which].down;
            double rate = r, yield = q;
            ModelParameters m = model;
            switch (which) {
                case 0:
                    rate = x;
                    break;
                case 1:
                    yield = x;
                    break;
                case 2:
                    m.theta = x;
                    break;
                case 3:
                    m.kappa = x;
                    break;
                case 4:
                    m.sigma = x;
                    break;
                default:
                    m.rho = x;
                    break;
            }
            bumped[index - 1] = Solve(p, rate, yield, m, poll).Value();
        };
        runner.ForEach(13, task);
        double* targets[6] = {&greeks.rho,    &greeks.dividendRho, &greeks.dTheta,
                              &greeks.dKappa, &greeks.dSigma,      &greeks.dRho};
        for (int k = 0; k < 6; ++k)
            *targets[k] = (bumped[2 * k] - bumped[2 * k + 1]) / (bumps[k].up - bumps[k].down);
        if (!plan.subtractFromVanilla) return greeks;
        const Greeks v = EuropeanGreeks(option.optionType, spot, option.strike, option.maturity,
                                        option.rate, option.dividendYield, model);
        return Greeks{
            v.price - greeks.price,   v.delta - greeks.delta,   v.gamma - greeks.gamma,
            v.theta - greeks.theta,   v.rho - greeks.rho,       v.dividendRho - greeks.dividendRho,
            v.dV0 - greeks.dV0,       v.dTheta - greeks.dTheta, v.dKappa - greeks.dKappa,
            v.dSigma - greeks.dSigma, v.dRho - greeks.dRho};
    });
}

}  // namespace heston
