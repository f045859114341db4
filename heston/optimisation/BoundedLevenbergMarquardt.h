// BoundedLevenbergMarquardt: least squares min 1/2 |r(x)|^2 over a box lower <= x <= upper,
// with the Jacobian supplied by the caller.
//
// References:
// - D. W. Marquardt, "An algorithm for least-squares estimation of nonlinear parameters",
//   J. SIAM 11(2), 1963: the damped normal equations (J'J + mu D) h = -J'r.
// - J. J. More, "The Levenberg-Marquardt algorithm: implementation and theory", Lecture Notes
//   in Mathematics 630, 1978: the scaling D = diag(J'J), kept at its largest value so far, and
//   the stopping tests on the relative reduction, the scaled step and the gradient cosine.
// - H. B. Nielsen, "Damping parameter in Marquardt's method", IMM-REP-1999-05, DTU, 1999: the
//   update of mu from the gain ratio (times max(1/3, 1 - (2 rho - 1)^3) on success, times
//   2, 4, 8, ... on successive failures).
// - C. Kanzow, N. Yamashita, M. Fukushima, "Levenberg-Marquardt methods with strong local
//   convergence properties for solving nonlinear equations with convex constraints", J.
//   Comput. Appl. Math. 172, 2004: the step projected onto the box.
// A variable on a bound whose gradient pushes it outwards is held there for the step (its row
// and column are left out of the system), so the other variables move freely along the bound.
//
// Every evaluation computes residuals and Jacobian together (the callers' pricers share most
// of their work between the two); rejected trial points count as evaluations too. The
// evaluation function may report failure, which rejects the trial point (or ends the
// minimisation when it happens at the start).
//
// Tested in tests/numerics/bounded_levenberg_marquardt_test.cpp: Rosenbrock's valley, a
// minimum on a bound, exact fits, the evaluation limit.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace heston {

// Residuals r[0 .. m-1] and Jacobian jacobian[i * n + j] = d r_i / d x_j at x; false when
// they cannot be computed there.
using ResidualsAndJacobian =
    std::function<bool(const double* x, double* residuals, double* jacobian)>;

struct LevenbergMarquardtSettings {
    int maxEvaluations = 200;
    // Stops when an accepted step reduces the sum of squares by less than this fraction, and
    // the model predicted no more.
    double reductionTolerance = 1e-12;
    // Stops when the scaled step is below this fraction of the scaled parameters.
    double stepTolerance = 1e-12;
    // Stops when every free variable's gradient cosine |J_j'r| / (|J_j| |r|) is below this.
    double gradientTolerance = 1e-12;
};

enum class LevenbergMarquardtStop {
    SmallReduction,    // converged: the sum of squares no longer decreases
    SmallStep,         // converged: the parameters no longer change
    SmallGradient,     // converged: the residuals are orthogonal to the free columns
    EvaluationLimit,   // maxEvaluations reached
    NoProgress,        // no damping found a step that decreases the sum of squares
    EvaluationFailed,  // the residuals could not be computed at the start
};

struct LevenbergMarquardtResult {
    std::vector<double> x;
    std::vector<double> residuals;
    double sumOfSquares = 0.0;  // |r|^2 at x
    int evaluations = 0;
    LevenbergMarquardtStop stop = LevenbergMarquardtStop::EvaluationFailed;
};

// Minimises from start (moved into the box first). lower[j] == upper[j] fixes x_j.
// Throws std::invalid_argument for sizes that do not match or lower > upper.
LevenbergMarquardtResult MinimiseWithinBounds(const ResidualsAndJacobian& evaluate,
                                              std::size_t residualCount, std::vector<double> start,
                                              const std::vector<double>& lower,
                                              const std::vector<double>& upper,
                                              const LevenbergMarquardtSettings& settings);

}  // namespace heston
