// The quadratic-exponential path engine: grid, per-step constants, blocks of antithetic pairs
// on vectors of two lanes, and the ordered combination of the blocks' statistics.
#include "pathsimulation/PathSimulation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>

#include "pathsimulation/InverseNormal.h"
#include "pathsimulation/Philox.h"
#include "vectormath/VectorMath.h"

#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {

namespace {

using V2 = vmath::V2;
using vmath::Load;
using vmath::Select;
using vmath::Splat;
using vmath::Store;

constexpr int kPairs = PathProduct::kPairsPerBlock;
constexpr int kPaths = PathProduct::kPaths;
constexpr std::int64_t kMaxSteps = 1000000;
// Blocks per batch of the runner: the statistics kept at once, and the granularity of the
// ordered combination.
constexpr std::int64_t kBlocksPerBatch = 1024;

// exp of one number with the library's kernel, the same bits everywhere.
HESTON_REALIGN_STACK double Exp(double x) {
    return vmath::Exp(Splat<V2>(x))[0];
}

// The constants of one step of length dt.
struct StepConstants {
    double decay;   // exp(-kappa dt)
    double c1, c2;  // conditional variance of v(t + dt): c1 v(t) + c2
    double k0, k1, k2, k3, k4;
    double a;      // k2 + k4 / 2: the exponent of v(t + dt) in the martingale correction
    double drift;  // (r - q) dt
};

StepConstants ConstantsOf(double dt, double rate, double dividendYield, const ModelParameters& p) {
    StepConstants c{};
    const double x = p.kappa * dt;
    c.decay = Exp(-x);
    // (1 - exp(-kappa dt)) / kappa without cancellation for small kappa dt.
    const double oneMinusDecay = x < 1e-5 ? x * (1.0 - x * (0.5 - x / 6.0)) : 1.0 - c.decay;
    const double perKappa = x < 1e-5 ? dt * (1.0 - x * (0.5 - x / 6.0)) : oneMinusDecay / p.kappa;
    const double sigma2 = p.sigma * p.sigma;
    c.c1 = sigma2 * c.decay * perKappa;
    c.c2 = 0.5 * p.theta * sigma2 * oneMinusDecay * perKappa;
    const double gamma1 = 0.5;
    const double gamma2 = 0.5;
    if (p.sigma > 0.0) {
        const double rs = p.rho / p.sigma;
        c.k0 = -rs * p.kappa * p.theta * dt;
        c.k1 = gamma1 * dt * (p.kappa * rs - 0.5) - rs;
        c.k2 = gamma2 * dt * (p.kappa * rs - 0.5) + rs;
        c.k3 = gamma1 * dt * (1.0 - p.rho * p.rho);
        c.k4 = gamma2 * dt * (1.0 - p.rho * p.rho);
    } else {
        // Deterministic variance: the log spot's increment is normal with variance the
        // trapezoidal integral of v.
        c.k0 = 0.0;
        c.k1 = -0.5 * gamma1 * dt;
        c.k2 = -0.5 * gamma2 * dt;
        c.k3 = gamma1 * dt;
        c.k4 = gamma2 * dt;
    }
    c.a = c.k2 + 0.5 * c.k4;
    c.drift = (rate - dividendYield) * dt;
    return c;
}

// The jumps of one step of length dt: the distribution function of their number N and the
// compensator of the drift.
struct JumpStep {
    int firstCount = 0;       // the smallest N the table holds
    std::vector<double> cdf;  // cdf[i] = P(N <= firstCount + i); the last is exactly 1
    double drift = 0.0;       // -lambda m dt
};

// Relative size below which a Poisson probability is left out of the table (2^-70: what is
// left out has a probability far below the 2^-53 spacing of the uniforms).
constexpr double kPoissonCut = 0x1p-70;

// The jumps of a step of length dt. meanFactor = E[exp(J)] by the library's exponential.
JumpStep JumpsOf(double dt, const JumpParameters& jumps, double meanFactor) {
    const double mean = jumps.lambda * dt;
    if (!(mean <= kMaxJumpsPerStep)) {
        throw std::invalid_argument(
            "Jumps: lambda is too large for the simulation: more than 10000 jumps expected in "
            "a time step");
    }
    // Weights relative to the mode's, outward by p(n - 1) / p(n) = n / mean and
    // p(n + 1) / p(n) = mean / (n + 1), until they fall below the cut.
    const int mode = static_cast<int>(mean);
    std::vector<double> below, above;
    double weight = 1.0;
    for (int n = mode; n > 0; --n) {
        weight = weight * n / mean;
        if (weight < kPoissonCut) break;
        below.push_back(weight);
    }
    weight = 1.0;
    for (int n = mode + 1;; ++n) {
        weight = weight * mean / n;
        if (weight < kPoissonCut) break;
        above.push_back(weight);
    }
    JumpStep step;
    step.firstCount = mode - static_cast<int>(below.size());
    step.cdf.assign(below.rbegin(), below.rend());
    step.cdf.push_back(1.0);
    step.cdf.insert(step.cdf.end(), above.begin(), above.end());
    // Partial sums over the total: non-decreasing, and the last is the total over itself, 1.
    double sum = 0.0;
    for (double& w : step.cdf) {
        sum += w;
        w = sum;
    }
    for (double& c : step.cdf) c = c / sum;
    step.drift = -(mean * (meanFactor - 1.0));
    return step;
}

// The number of jumps for the uniform u: the smallest N with u <= P(N' <= N).
int JumpCount(const JumpStep& step, double u) {
    const std::vector<double>& cdf = step.cdf;
    if (u <= cdf[0]) return step.firstCount;
    std::size_t low = 0, high = cdf.size() - 1;  // cdf[low] < u <= cdf[high]
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        if (u <= cdf[middle]) {
            high = middle;
        } else {
            low = middle;
        }
    }
    return step.firstCount + static_cast<int>(high);
}

// The standard normal quantile of one uniform by the vector kernel, the same bits everywhere.
HESTON_REALIGN_STACK double NormalQuantile(double u) {
    return InverseNormal(Splat<V2>(u))[0];
}

// Adds the jumps of step k less their compensator to the log spots x of a block's paths.
void AddJumps(const JumpStep& step, const JumpParameters& jumps, std::uint32_t k,
              std::int64_t firstPair, std::uint64_t seed, double* x) {
    for (int p = 0; p < kPairs; ++p) {
        const PhiloxBlock r = Philox4x32(
            PathCounter(k, PathStream::kJumps, static_cast<std::uint64_t>(firstPair + p)), seed);
        const double uCount = Uniform52(r.word[0], r.word[1]);
        const int count = JumpCount(step, uCount);
        const int partnerCount = JumpCount(step, 1.0 - uCount);
        double jump = 0.0, partnerJump = 0.0;
        if (count > 0 || partnerCount > 0) {
            const double z = NormalQuantile(Uniform52(r.word[2], r.word[3]));
            jump = count * jumps.muJ + jumps.deltaJ * std::sqrt(double(count)) * z;
            partnerJump =
                partnerCount * jumps.muJ - jumps.deltaJ * std::sqrt(double(partnerCount)) * z;
        }
        x[p] = x[p] + (jump + step.drift);
        x[p + kPairs] = x[p + kPairs] + (partnerJump + step.drift);
    }
}

struct Grid {
    std::vector<StepConstants> steps;
    std::vector<int> firstEvent;  // per step count k = 0 .. K: first event observed after k steps
    // With jumps: the jumps of each interval of the grid, and of each step the interval's index.
    std::vector<JumpStep> jumps;
    std::vector<int> jumpsOfStep;
};

std::int64_t CountSteps(const std::vector<double>& times, int stepsPerYear,
                        std::vector<int>* perInterval) {
    std::int64_t total = 0;
    double previous = 0.0;
    for (double t : times) {
        const double length = t - previous;
        int n = 0;
        if (length > 0.0) {
            const double wanted = std::ceil(length * stepsPerYear * (1.0 - 1e-12));
            if (!(wanted < double(kMaxSteps)))
                throw std::invalid_argument("the dates need more than a million time steps");
            n = std::max(1, static_cast<int>(wanted));
        }
        if (perInterval) perInterval->push_back(n);
        total += n;
        if (total > kMaxSteps)
            throw std::invalid_argument("the dates need more than a million time steps");
        previous = t;
    }
    return total;
}

Grid MakeGrid(const std::vector<double>& times, int stepsPerYear, double rate, double dividendYield,
              const BatesParameters& model) {
    const bool jumps = model.jumps.lambda > 0.0;
    const double meanFactor =
        jumps ? Exp(model.jumps.muJ + 0.5 * model.jumps.deltaJ * model.jumps.deltaJ) : 1.0;
    std::vector<int> perInterval;
    const std::int64_t total = CountSteps(times, stepsPerYear, &perInterval);
    Grid grid;
    grid.steps.reserve(static_cast<std::size_t>(total));
    grid.firstEvent.assign(static_cast<std::size_t>(total) + 2, 0);
    std::vector<int> eventsAfter(static_cast<std::size_t>(total) + 1, 0);
    double previous = 0.0;
    int k = 0;
    for (std::size_t e = 0; e < times.size(); ++e) {
        const int n = perInterval[e];
        if (n > 0) {
            const double dt = (times[e] - previous) / n;
            const StepConstants c = ConstantsOf(dt, rate, dividendYield, model.heston);
            for (int i = 0; i < n; ++i) grid.steps.push_back(c);
            if (jumps) {
                grid.jumps.push_back(JumpsOf(dt, model.jumps, meanFactor));
                grid.jumpsOfStep.insert(grid.jumpsOfStep.end(), n,
                                        static_cast<int>(grid.jumps.size()) - 1);
            }
            k += n;
        }
        ++eventsAfter[k];
        previous = times[e];
    }
    // firstEvent[k] .. firstEvent[k + 1] - 1 are the events seen after k steps.
    for (std::size_t i = 0; i < eventsAfter.size(); ++i)
        grid.firstEvent[i + 1] = grid.firstEvent[i] + eventsAfter[i];
    return grid;
}

// One step of every path of a block: v and x (ln S/S0) advanced by the QE scheme.
// uSpot and uVariance are the pairs' uniforms; the second half of the paths are the
// antithetic partners.
template <class V>
HESTON_VMATH_INLINE bool AllLanes(vmath::MaskOf<V> mask) {
    bool all = true;
    for (int lane = 0; lane < vmath::kLanes<V>; ++lane) all = all && mask[lane] != 0;
    return all;
}

template <class V>
HESTON_VMATH_INLINE void StepV(const StepConstants& c, const ModelParameters& p,
                               const double* uSpot, const double* uVariance, double* v, double* x) {
    constexpr int n = vmath::kLanes<V>;
    double zSpot[kPaths], zVariance[kPaths], uniform[kPaths];
    for (int i = 0; i < kPairs; i += n) {
        const V us = Load<V>(uSpot + i);
        const V uv = Load<V>(uVariance + i);
        const V zs = InverseNormalSkippingTails(us);
        const V zv = InverseNormalSkippingTails(uv);
        Store(zSpot + i, zs);
        Store(zSpot + kPairs + i, Splat<V>(0.0) - zs);
        Store(zVariance + i, zv);
        Store(zVariance + kPairs + i, Splat<V>(0.0) - zv);
        Store(uniform + i, uv);
        Store(uniform + kPairs + i, Splat<V>(1.0) - uv);
    }
    const V theta = Splat<V>(p.theta);
    const V one = Splat<V>(1.0);
    const V zero = Splat<V>(0.0);
    const V a = Splat<V>(c.a);
    for (int i = 0; i < kPaths; i += n) {
        const V vt = Load<V>(v + i);
        const V m = theta + (vt - theta) * Splat<V>(c.decay);
        const V s2 = vt * Splat<V>(c.c1) + Splat<V>(c.c2);
        const auto random = s2 > zero;  // sigma = 0 or nothing left to vary: v(t + dt) = m
        const V safeS2 = Select(random, s2, one);
        const V safeM = Select(m > zero, m, one);
        const V psi = safeS2 / (safeM * safeM);
        const auto quadratic = psi <= Splat<V>(1.5);

        // Quadratic branch: v = a (b + Z)^2 with b^2 = 2/psi - 1 + sqrt(2/psi) sqrt(2/psi - 1).
        const V twoOverPsi = Select(quadratic, Splat<V>(2.0) / psi, Splat<V>(2.0));
        const V b2 = twoOverPsi - one + vmath::Sqrt(twoOverPsi) * vmath::Sqrt(twoOverPsi - one);
        const V aq = m / (one + b2);
        const V b = vmath::Sqrt(b2);
        const V zv = Load<V>(zVariance + i);
        const V vq = aq * (b + zv) * (b + zv);
        const V argQuadratic = one - Splat<V>(2.0) * a * aq;
        const V xt = Load<V>(x + i);

        // Both lanes quadratic and random (the common case): the exponential branch is not
        // computed. Every value is the one the full computation below gives its lane.
        if (AllLanes<V>(quadratic & random)) {
            const auto correctableQ = argQuadratic > zero;
            const V logQ = vmath::Log(Select(correctableQ, argQuadratic, one));
            const V k0TermQ = Splat<V>(0.0) - a * b2 * aq / argQuadratic + Splat<V>(0.5) * logQ;
            const V k0Q =
                Select(correctableQ, k0TermQ - Splat<V>(c.k1 + 0.5 * c.k3) * vt, Splat<V>(c.k0));
            const V varianceQ = vmath::Max(Splat<V>(c.k3) * vt + Splat<V>(c.k4) * vq, zero);
            Store(v + i, vq);
            Store(x + i, xt + Splat<V>(c.drift) + k0Q + Splat<V>(c.k1) * vt + Splat<V>(c.k2) * vq +
                             vmath::Sqrt(varianceQ) * Load<V>(zSpot + i));
            continue;
        }

        // Exponential branch: mass p at 0, exponential of rate beta above.
        const V prob = (psi - one) / (psi + one);
        const V beta = (one - prob) / safeM;
        const V u = Load<V>(uniform + i);
        const auto positive = u > prob;
        const V tailArg = Select(positive & ~quadratic, (one - prob) / (one - u), one);
        const V argExponential = prob + beta * (one - prob) / (beta - a);

        // The martingale correction needs E[exp(a v(t + dt))] finite: a < 1/(2 aq), a < beta.
        const auto correctable = Select(quadratic, argQuadratic, beta - a) > zero;
        const V logArg = Select(correctable, Select(quadratic, argQuadratic, argExponential), one);
        const V logs[2] = {vmath::Log(tailArg), vmath::Log(logArg)};
        const V ve = logs[0] / beta;
        V vNext = Select(quadratic, vq, ve);
        V k0Term =
            Select(quadratic, Splat<V>(0.0) - a * b2 * aq / argQuadratic + Splat<V>(0.5) * logs[1],
                   Splat<V>(0.0) - logs[1]);
        k0Term = Select(random, k0Term, Splat<V>(0.0) - a * m);
        vNext = Select(random, vNext, m);
        const V k0 = Select(correctable | ~random, k0Term - Splat<V>(c.k1 + 0.5 * c.k3) * vt,
                            Splat<V>(c.k0));

        const V variance = vmath::Max(Splat<V>(c.k3) * vt + Splat<V>(c.k4) * vNext, zero);
        const V xNext = xt + Splat<V>(c.drift) + k0 + Splat<V>(c.k1) * vt + Splat<V>(c.k2) * vNext +
                        vmath::Sqrt(variance) * Load<V>(zSpot + i);
        Store(v + i, vNext);
        Store(x + i, xNext);
    }
}

HESTON_REALIGN_STACK void StepSse2(const StepConstants& c, const ModelParameters& p,
                                   const double* uSpot, const double* uVariance, double* v,
                                   double* x) {
    StepV<V2>(c, p, uSpot, uVariance, v, x);
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"), flatten)) HESTON_REALIGN_STACK void StepAvx2(
    const StepConstants& c, const ModelParameters& p, const double* uSpot, const double* uVariance,
    double* v, double* x) {
    StepV<vmath::V4>(c, p, uSpot, uVariance, v, x);
}

bool UseAvx2() {
    static const bool avx2 = vmath::HasAvx2();
    return avx2;
}
#endif

// Every lane computes the same operations at either width: the width changes the speed only.
void Step(VectorWidth width, const StepConstants& c, const ModelParameters& p, const double* uSpot,
          const double* uVariance, double* v, double* x) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && UseAvx2()) return StepAvx2(c, p, uSpot, uVariance, v, x);
#else
    (void)width;
#endif
    StepSse2(c, p, uSpot, uVariance, v, x);
}

// A block's statistics per output: pairs, mean and sum of squared deviations.
struct Moments {
    double count = 0.0;
    double mean = 0.0;
    double m2 = 0.0;
};

// Chan, Golub and LeVeque's update of combined moments.
void Combine(Moments& total, const Moments& part) {
    if (part.count == 0.0) return;
    const double count = total.count + part.count;
    const double delta = part.mean - total.mean;
    total.m2 += part.m2 + delta * delta * total.count * part.count / count;
    total.mean += delta * part.count / count;
    total.count = count;
}

}  // namespace

HESTON_REALIGN_STACK void ScaledExp(const double* x, int n, double scale, double* out) {
    int i = 0;
    for (; i + 2 <= n; i += 2) Store(out + i, vmath::Exp(Load<V2>(x + i)) * Splat<V2>(scale));
    for (; i < n; ++i) out[i] = Exp(x[i]) * scale;
}

std::int64_t SimulationSteps(const std::vector<double>& eventTimes, int stepsPerYear) {
    return CountSteps(eventTimes, stepsPerYear, nullptr);
}

PathStatistics SimulatePaths(double spot, const std::vector<double>& eventTimes, double rate,
                             double dividendYield, const ModelParameters& model,
                             const PathProduct& product, const SimulationSettings& settings,
                             ParallelFor& runner) {
    return SimulatePaths(spot, eventTimes, rate, dividendYield, BatesParameters{model, kNoJumps},
                         product, settings, runner);
}

PathStatistics SimulatePaths(double spot, const std::vector<double>& eventTimes, double rate,
                             double dividendYield, const BatesParameters& model,
                             const PathProduct& product, const SimulationSettings& settings,
                             ParallelFor& runner) {
    if (settings.paths <= 0) throw std::invalid_argument("Paths must be at least 1");
    if (settings.paths > kMaxPaths)
        throw std::invalid_argument("Paths: at most " + std::to_string(kMaxPaths));
    if (settings.stepsPerYear <= 0)
        throw std::invalid_argument("the steps per year must be at least 1");
    const std::int64_t pairs = (settings.paths + 1) / 2;
    const std::int64_t blocks = (pairs + kPairs - 1) / kPairs;
    const int outputs = product.Outputs();
    const Grid grid = MakeGrid(eventTimes, settings.stepsPerYear, rate, dividendYield, model);
    const int stepCount = static_cast<int>(grid.steps.size());
    const int stateSize = product.StateSize();

    // The statistics of one batch of blocks at a time, combined in block order after it.
    const std::int64_t batchBlocks = std::min<std::int64_t>(blocks, kBlocksPerBatch);
    std::vector<Moments> statistics(static_cast<std::size_t>(batchBlocks) * outputs);
    std::vector<Moments> totals(outputs);
    std::int64_t batchStart = 0;
    std::atomic<bool> stopped{false};
    StopPoll poll(settings.stop);
    const std::thread::id caller = std::this_thread::get_id();

    auto block = [&](int slot) {
        if (stopped.load(std::memory_order_relaxed)) return;
        const bool polls = std::this_thread::get_id() == caller;
        const std::int64_t first = (batchStart + slot) * kPairs;
        const int count = static_cast<int>(std::min<std::int64_t>(kPairs, pairs - first));
        double v[kPaths], x[kPaths], spots[kPaths];
        double uSpot[kPairs], uVariance[kPairs];
        std::vector<double> state(static_cast<std::size_t>(stateSize) * kPaths, 0.0);
        std::fill(v, v + kPaths, model.heston.v0);
        std::fill(x, x + kPaths, 0.0);
        auto observe = [&](int k) {
            for (int e = grid.firstEvent[k]; e < grid.firstEvent[k + 1]; ++e) {
                ScaledExp(x, kPaths, spot, spots);
                product.Observe(e, x, spots, state.data());
            }
        };
        observe(0);
        for (int k = 0; k < stepCount; ++k) {
            if (polls && poll.Requested()) stopped.store(true, std::memory_order_relaxed);
            if (stopped.load(std::memory_order_relaxed)) return;
            for (int p = 0; p < kPairs; ++p) {
                const PhiloxBlock r =
                    Philox4x32(PathCounter(static_cast<std::uint32_t>(k), PathStream::kDiffusion,
                                           static_cast<std::uint64_t>(first + p)),
                               settings.seed);
                uSpot[p] = Uniform52(r.word[0], r.word[1]);
                uVariance[p] = Uniform52(r.word[2], r.word[3]);
            }
            Step(settings.width, grid.steps[k], model.heston, uSpot, uVariance, v, x);
            if (!grid.jumps.empty()) {
                AddJumps(grid.jumps[grid.jumpsOfStep[k]], model.jumps,
                         static_cast<std::uint32_t>(k), first, settings.seed, x);
            }
            observe(k + 1);
        }
        std::vector<double> samples(static_cast<std::size_t>(outputs) * kPairs);
        product.Samples(state.data(), count, samples.data());
        for (int o = 0; o < outputs; ++o) {
            const double* y = samples.data() + o * kPairs;
            Moments& m = statistics[static_cast<std::size_t>(slot) * outputs + o];
            double sum = 0.0;
            for (int p = 0; p < count; ++p) sum += y[p];
            m.count = count;
            m.mean = sum / count;
            double squares = 0.0;
            for (int p = 0; p < count; ++p) squares += (y[p] - m.mean) * (y[p] - m.mean);
            m.m2 = squares;
        }
    };
    for (; batchStart < blocks; batchStart += batchBlocks) {
        const int count = static_cast<int>(std::min(batchBlocks, blocks - batchStart));
        runner.ForEach(count, block);
        // Also between batches, for a runner that would keep every task off the calling thread.
        if (stopped.load() || poll.Requested()) throw CalculationCancelled();
        for (int b = 0; b < count; ++b) {
            for (int o = 0; o < outputs; ++o)
                Combine(totals[o], statistics[static_cast<std::size_t>(b) * outputs + o]);
        }
    }

    PathStatistics result;
    result.pairs = pairs;
    result.mean.resize(outputs);
    result.standardError.resize(outputs);
    for (int o = 0; o < outputs; ++o) {
        const Moments& total = totals[o];
        result.mean[o] = total.mean;
        result.standardError[o] =
            total.count > 1.0 ? std::sqrt(total.m2 / (total.count - 1.0) / total.count) : NAN;
    }
    return result;
}

}  // namespace heston
