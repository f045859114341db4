#include "optimisation/BoundedLevenbergMarquardt.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace heston {

namespace {

// Largest damping tried before giving up: the step is then far below any tolerance.
constexpr double kLargestDamping = 1e20;
constexpr double kFirstDamping = 1e-3;

bool AllFinite(const std::vector<double>& values) {
    for (double value : values)
        if (!std::isfinite(value)) return false;
    return true;
}

// Solves a x = b in place of b for a symmetric positive definite k x k matrix (row by row),
// by Cholesky's factorisation; false when a is not positive definite.
bool SolveCholesky(std::vector<double>& a, std::vector<double>& b, std::size_t k) {
    for (std::size_t j = 0; j < k; ++j) {
        double diagonal = a[j * k + j];
        for (std::size_t p = 0; p < j; ++p) diagonal -= a[j * k + p] * a[j * k + p];
        if (!(diagonal > 0.0)) return false;
        diagonal = std::sqrt(diagonal);
        a[j * k + j] = diagonal;
        for (std::size_t i = j + 1; i < k; ++i) {
            double value = a[i * k + j];
            for (std::size_t p = 0; p < j; ++p) value -= a[i * k + p] * a[j * k + p];
            a[i * k + j] = value / diagonal;
        }
    }
    for (std::size_t i = 0; i < k; ++i) {
        double value = b[i];
        for (std::size_t p = 0; p < i; ++p) value -= a[i * k + p] * b[p];
        b[i] = value / a[i * k + i];
    }
    for (std::size_t i = k; i-- > 0;) {
        double value = b[i];
        for (std::size_t p = i + 1; p < k; ++p) value -= a[p * k + i] * b[p];
        b[i] = value / a[i * k + i];
    }
    return true;
}

// The point the minimisation stands on: residuals, Jacobian, and from them J'J and J'r.
struct Point {
    std::vector<double> x, residuals, jacobian, normal, gradient;
    double sumOfSquares = 0.0;

    void Derive(std::size_t m, std::size_t n) {
        sumOfSquares = 0.0;
        for (double r : residuals) sumOfSquares += r * r;
        normal.assign(n * n, 0.0);
        gradient.assign(n, 0.0);
        for (std::size_t i = 0; i < m; ++i) {
            const double* row = &jacobian[i * n];
            for (std::size_t j = 0; j < n; ++j) {
                gradient[j] += row[j] * residuals[i];
                for (std::size_t l = 0; l <= j; ++l) normal[j * n + l] += row[j] * row[l];
            }
        }
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t l = 0; l < j; ++l) normal[l * n + j] = normal[j * n + l];
    }
};

bool Evaluate(const ResidualsAndJacobian& evaluate, Point& point) {
    return evaluate(point.x.data(), point.residuals.data(), point.jacobian.data()) &&
           AllFinite(point.residuals) && AllFinite(point.jacobian);
}

}  // namespace

LevenbergMarquardtResult MinimiseWithinBounds(const ResidualsAndJacobian& evaluate,
                                              std::size_t residualCount, std::vector<double> start,
                                              const std::vector<double>& lower,
                                              const std::vector<double>& upper,
                                              const LevenbergMarquardtSettings& settings) {
    const std::size_t n = start.size(), m = residualCount;
    if (n == 0 || lower.size() != n || upper.size() != n)
        throw std::invalid_argument("the start and both bounds need one entry per variable");
    for (std::size_t j = 0; j < n; ++j) {
        if (!(lower[j] <= upper[j])) throw std::invalid_argument("a lower bound exceeds its upper");
        start[j] = std::min(std::max(start[j], lower[j]), upper[j]);
    }

    LevenbergMarquardtResult result;
    Point point;
    point.x = start;
    point.residuals.assign(m, 0.0);
    point.jacobian.assign(m * n, 0.0);
    result.evaluations = 1;
    if (!Evaluate(evaluate, point)) {
        result.x = point.x;
        result.residuals = point.residuals;
        result.sumOfSquares = std::numeric_limits<double>::quiet_NaN();
        result.stop = LevenbergMarquardtStop::EvaluationFailed;
        return result;
    }
    point.Derive(m, n);

    // More's scaling: each variable by the largest norm its Jacobian column has had.
    std::vector<double> scale(n);
    for (std::size_t j = 0; j < n; ++j)
        scale[j] = point.normal[j * n + j] > 0.0 ? point.normal[j * n + j] : 1.0;

    Point trial = point;
    double damping = kFirstDamping;
    double failureFactor = 2.0;
    std::vector<std::size_t> free;
    std::vector<double> system, step(n);
    while (true) {
        // Variables held on their bound for this step, and the gradient test on the others.
        free.clear();
        double largestCosine = 0.0;
        const double residualNorm = std::sqrt(point.sumOfSquares);
        for (std::size_t j = 0; j < n; ++j) {
            const double g = point.gradient[j];
            const bool held = lower[j] == upper[j] || (point.x[j] <= lower[j] && g > 0.0) ||
                              (point.x[j] >= upper[j] && g < 0.0);
            if (held) continue;
            free.push_back(j);
            const double column = std::sqrt(point.normal[j * n + j]);
            if (column > 0.0 && residualNorm > 0.0)
                largestCosine = std::max(largestCosine, std::fabs(g) / (column * residualNorm));
        }
        LevenbergMarquardtStop stop = LevenbergMarquardtStop::SmallGradient;
        bool stopped = point.sumOfSquares == 0.0 || free.empty() ||
                       largestCosine <= settings.gradientTolerance;

        if (!stopped) {
            const std::size_t k = free.size();
            system.assign(k * k, 0.0);
            std::vector<double> rhs(k);
            for (std::size_t a = 0; a < k; ++a) {
                for (std::size_t b = 0; b < k; ++b)
                    system[a * k + b] = point.normal[free[a] * n + free[b]];
                system[a * k + a] += damping * scale[free[a]];
                rhs[a] = -point.gradient[free[a]];
            }
            const bool solved = SolveCholesky(system, rhs, k);
            if (solved) {
                std::fill(step.begin(), step.end(), 0.0);
                for (std::size_t a = 0; a < k; ++a) {
                    const std::size_t j = free[a];
                    trial.x[j] = std::min(std::max(point.x[j] + rhs[a], lower[j]), upper[j]);
                    step[j] = trial.x[j] - point.x[j];
                }
                for (std::size_t j = 0; j < n; ++j)
                    if (step[j] == 0.0) trial.x[j] = point.x[j];
                double stepNorm = 0.0, xNorm = 0.0;
                for (std::size_t j = 0; j < n; ++j) {
                    stepNorm += scale[j] * step[j] * step[j];
                    xNorm += scale[j] * point.x[j] * point.x[j];
                }
                stepNorm = std::sqrt(stepNorm);
                xNorm = std::sqrt(xNorm);
                if (stepNorm <= settings.stepTolerance * (xNorm + settings.stepTolerance)) {
                    stop = LevenbergMarquardtStop::SmallStep;
                    stopped = true;
                } else if (result.evaluations >= settings.maxEvaluations) {
                    stop = LevenbergMarquardtStop::EvaluationLimit;
                    stopped = true;
                }
            }
            if (!stopped) {
                bool accepted = false;
                if (solved) {
                    ++result.evaluations;
                    if (Evaluate(evaluate, trial)) {
                        trial.Derive(m, n);
                        // The linear model's reduction: -(2 h'g + h'J'Jh).
                        double predicted = 0.0;
                        for (std::size_t j = 0; j < n; ++j) {
                            double row = 0.0;
                            for (std::size_t l = 0; l < n; ++l)
                                row += point.normal[j * n + l] * step[l];
                            predicted -= step[j] * (2.0 * point.gradient[j] + row);
                        }
                        const double actual = point.sumOfSquares - trial.sumOfSquares;
                        if (predicted > 0.0 && actual > 0.0) {
                            accepted = true;
                            const double gain = actual / predicted;
                            const bool smallReduction =
                                actual <= settings.reductionTolerance * point.sumOfSquares &&
                                predicted <= settings.reductionTolerance * point.sumOfSquares;
                            std::swap(point, trial);
                            for (std::size_t j = 0; j < n; ++j)
                                scale[j] = std::max(scale[j], point.normal[j * n + j]);
                            const double cube =
                                (2.0 * gain - 1.0) * (2.0 * gain - 1.0) * (2.0 * gain - 1.0);
                            damping *= std::max(1.0 / 3.0, 1.0 - cube);
                            failureFactor = 2.0;
                            if (smallReduction) {
                                stop = LevenbergMarquardtStop::SmallReduction;
                                stopped = true;
                            }
                        }
                    }
                }
                if (!accepted) {
                    damping *= failureFactor;
                    failureFactor *= 2.0;
                    if (damping > kLargestDamping) {
                        stop = LevenbergMarquardtStop::NoProgress;
                        stopped = true;
                    } else if (result.evaluations >= settings.maxEvaluations) {
                        stop = LevenbergMarquardtStop::EvaluationLimit;
                        stopped = true;
                    }
                }
            }
        }
        if (stopped) {
            result.stop = stop;
            break;
        }
    }
    result.x = point.x;
    result.residuals = point.residuals;
    result.sumOfSquares = point.sumOfSquares;
    return result;
}

}  // namespace heston
