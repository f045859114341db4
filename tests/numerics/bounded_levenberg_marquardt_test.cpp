// Bounded Levenberg-Marquardt: Rosenbrock's valley, a straight-line fit against its normal
// equations, minima on a bound and at fixed variables, the evaluation limit, evaluations that
// fail, and inputs it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "optimisation/BoundedLevenbergMarquardt.h"

namespace {

using heston::LevenbergMarquardtResult;
using heston::LevenbergMarquardtSettings;
using heston::LevenbergMarquardtStop;
using heston::MinimiseWithinBounds;
using heston::ResidualsAndJacobian;

bool Converged(LevenbergMarquardtStop stop) {
    return stop == LevenbergMarquardtStop::SmallReduction ||
           stop == LevenbergMarquardtStop::SmallStep ||
           stop == LevenbergMarquardtStop::SmallGradient;
}

// Rosenbrock's function as residuals 10 (y - x^2) and 1 - x: minimum 0 at (1, 1).
bool Rosenbrock(const double* x, double* r, double* j) {
    r[0] = 10.0 * (x[1] - x[0] * x[0]);
    r[1] = 1.0 - x[0];
    j[0] = -20.0 * x[0];
    j[1] = 10.0;
    j[2] = -1.0;
    j[3] = 0.0;
    return true;
}

TEST(BoundedLevenbergMarquardt, FollowsRosenbrocksValleyToItsMinimum) {
    const LevenbergMarquardtResult result =
        MinimiseWithinBounds(Rosenbrock, 2, {-1.2, 1.0}, {-5, -5}, {5, 5}, {});
    EXPECT_TRUE(Converged(result.stop)) << static_cast<int>(result.stop);
    EXPECT_NEAR(result.x[0], 1.0, 1e-10);
    EXPECT_NEAR(result.x[1], 1.0, 1e-10);
    EXPECT_LT(result.sumOfSquares, 1e-20);
    EXPECT_LT(result.evaluations, 60);
}

TEST(BoundedLevenbergMarquardt, StraightLineFitMatchesTheNormalEquations) {
    const std::vector<double> t = {0, 1, 2, 3, 4, 5};
    const std::vector<double> y = {1.1, 2.9, 5.2, 7.1, 8.8, 11.3};
    const ResidualsAndJacobian line = [&](const double* x, double* r, double* j) {
        for (std::size_t i = 0; i < t.size(); ++i) {
            r[i] = x[0] + x[1] * t[i] - y[i];
            j[2 * i] = 1.0;
            j[2 * i + 1] = t[i];
        }
        return true;
    };
    // Least squares by hand: slope = cov(t, y) / var(t), intercept = mean(y) - slope mean(t).
    double meanT = 0, meanY = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        meanT += t[i] / t.size();
        meanY += y[i] / t.size();
    }
    double covariance = 0, variance = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        covariance += (t[i] - meanT) * (y[i] - meanY);
        variance += (t[i] - meanT) * (t[i] - meanT);
    }
    const double slope = covariance / variance, intercept = meanY - slope * meanT;

    const LevenbergMarquardtResult result =
        MinimiseWithinBounds(line, t.size(), {0, 0}, {-100, -100}, {100, 100}, {});
    EXPECT_TRUE(Converged(result.stop));
    EXPECT_NEAR(result.x[0], intercept, 1e-9);
    EXPECT_NEAR(result.x[1], slope, 1e-9);
    double squares = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double r = intercept + slope * t[i] - y[i];
        squares += r * r;
    }
    EXPECT_NEAR(result.sumOfSquares, squares, 1e-12);
}

// Distance to (3, -1) and (0.5 x y): the box [0, 2] x [0, 2] holds the minimum at (2, 0),
// on two bounds at once; with x fixed at 1 the minimum over y is at 0.
bool Distance(const double* x, double* r, double* j) {
    r[0] = x[0] - 3.0;
    r[1] = x[1] + 1.0;
    r[2] = 0.5 * x[0] * x[1];
    j[0] = 1.0;
    j[1] = 0.0;
    j[2] = 0.0;
    j[3] = 1.0;
    j[4] = 0.5 * x[1];
    j[5] = 0.5 * x[0];
    return true;
}

TEST(BoundedLevenbergMarquardt, StopsOnBoundsAndKeepsFixedVariables) {
    const LevenbergMarquardtResult corner =
        MinimiseWithinBounds(Distance, 3, {1.0, 1.5}, {0, 0}, {2, 2}, {});
    EXPECT_TRUE(Converged(corner.stop));
    EXPECT_EQ(corner.x[0], 2.0);
    EXPECT_EQ(corner.x[1], 0.0);
    EXPECT_NEAR(corner.sumOfSquares, 1.0 + 1.0, 1e-14);

    // A start outside the box is moved onto it; a variable with equal bounds never moves.
    const LevenbergMarquardtResult fixed =
        MinimiseWithinBounds(Distance, 3, {7.0, 9.0}, {1, 0}, {1, 2}, {});
    EXPECT_TRUE(Converged(fixed.stop));
    EXPECT_EQ(fixed.x[0], 1.0);
    EXPECT_EQ(fixed.x[1], 0.0);
}

TEST(BoundedLevenbergMarquardt, CountsEvaluationsAndStopsAtTheLimit) {
    int calls = 0;
    const ResidualsAndJacobian counted = [&](const double* x, double* r, double* j) {
        ++calls;
        return Rosenbrock(x, r, j);
    };
    LevenbergMarquardtSettings settings;
    settings.maxEvaluations = 3;
    const LevenbergMarquardtResult result =
        MinimiseWithinBounds(counted, 2, {-1.2, 1.0}, {-5, -5}, {5, 5}, settings);
    EXPECT_EQ(result.stop, LevenbergMarquardtStop::EvaluationLimit);
    EXPECT_EQ(result.evaluations, 3);
    EXPECT_EQ(calls, 3);
    // The point returned is the best one evaluated, never a rejected trial.
    EXPECT_LE(result.sumOfSquares, 24.2 * 1.0000001);
}

TEST(BoundedLevenbergMarquardt, FailedEvaluationsRejectTheirPointOrEndAtTheStart) {
    // The residuals cannot be had beyond x = 1.05: steps there are refused, and the valley is
    // followed from below to the minimum all the same.
    const ResidualsAndJacobian partial = [](const double* x, double* r, double* j) {
        if (x[0] > 1.05) return false;
        return Rosenbrock(x, r, j);
    };
    const LevenbergMarquardtResult result =
        MinimiseWithinBounds(partial, 2, {-1.2, 1.0}, {-5, -5}, {5, 5}, {});
    EXPECT_TRUE(Converged(result.stop));
    EXPECT_NEAR(result.x[0], 1.0, 1e-8);

    const LevenbergMarquardtResult start =
        MinimiseWithinBounds(partial, 2, {2.0, 1.0}, {-5, -5}, {5, 5}, {});
    EXPECT_EQ(start.stop, LevenbergMarquardtStop::EvaluationFailed);
    EXPECT_EQ(start.evaluations, 1);
    EXPECT_EQ(start.x[0], 2.0);
}

TEST(BoundedLevenbergMarquardt, RefusesMismatchedOrReversedBounds) {
    EXPECT_THROW(MinimiseWithinBounds(Rosenbrock, 2, {0, 0}, {0}, {1, 1}, {}),
                 std::invalid_argument);
    EXPECT_THROW(MinimiseWithinBounds(Rosenbrock, 2, {0, 0}, {0, 2}, {1, 1}, {}),
                 std::invalid_argument);
    EXPECT_THROW(MinimiseWithinBounds(Rosenbrock, 2, {}, {}, {}, {}), std::invalid_argument);
}

}  // namespace
