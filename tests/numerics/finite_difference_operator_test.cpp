// The split Heston operator and its line solvers: exact on the polynomials its differences are
// exact for (interior, boundary rows and fixed spot ends), the line solves inverting I - c A1
// and I - c A2, ApplyAt agreeing with the row-by-row application, and the time steps of a period.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "finitedifference/ConcentratedMesh.h"
#include "finitedifference/CraigSneydStepping.h"
#include "finitedifference/HestonOperator.h"

namespace {

using heston::finitedifference::HestonOperator;
using heston::finitedifference::LineSolvers;

constexpr double kRate = 0.05, kYield = 0.02;
const heston::ModelParameters kModel{0.04, 0.06, 1.5, 0.7, -0.6};

// Non-uniform meshes: spots from lower to 300, variances from 0 to 2.
std::vector<double> Spots(double lower, int count) {
    return heston::finitedifference::ConcentratedMesh(lower, 300.0, count - 1, {{100.0, 15.0}},
                                                      {100.0});
}

std::vector<double> Variances(int count) {
    return heston::finitedifference::ConcentratedMesh(0.0, 2.0, count - 1, {{0.0, 0.05}}, {0.04});
}

struct Parts {
    std::vector<double> mixed, spot, variance;
};

Parts ApplyTo(const HestonOperator& op, const std::vector<double>& u) {
    Parts p{std::vector<double>(u.size()), std::vector<double>(u.size()),
            std::vector<double>(u.size())};
    op.Apply(u.data(), p.mixed.data(), p.spot.data(), p.variance.data());
    return p;
}

template <class F>
std::vector<double> Sample(const HestonOperator& op, F f) {
    std::vector<double> u(op.Size());
    for (int j = 0; j < op.VarianceCount(); ++j) {
        for (int i = 0; i < op.SpotCount(); ++i)
            u[op.Index(i, j)] = f(op.Spots()[i], op.Variances()[j]);
    }
    return u;
}

TEST(HestonOperator, ExactOnQuadraticsInTheInteriorAndOnTheBoundaryRows) {
    const HestonOperator op(Spots(0.0, 41), Variances(23), kRate, kYield, kModel, false, false);
    const int m = op.SpotCount(), n = op.VarianceCount();
    const double rho = kModel.rho, sigma = kModel.sigma, kappa = kModel.kappa, theta = kModel.theta;
    // u = S^2 + 3 S v + 5 v^2 + 2 S + 7 v + 1: each part exact where its stencils are second
    // order (central in the interior, one-sided second-order at v = 0 and v_max).
    const std::vector<double> u = Sample(
        op, [](double s, double v) { return s * s + 3 * s * v + 5 * v * v + 2 * s + 7 * v + 1; });
    const Parts parts = ApplyTo(op, u);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < m; ++i) {
            const double s = op.Spots()[i], v = op.Variances()[j];
            const int k = op.Index(i, j);
            const double value = u[k];
            const double uS = 2 * s + 3 * v + 2, uSS = 2, uV = 3 * s + 10 * v + 7, uVV = 10;
            const double scale = 1e-9 * (1 + std::fabs(value));
            // Mixed term: only where both central stencils apply.
            const bool interiorS = i > 0 && i<m - 1, interiorV = j> 0 && j < n - 1;
            EXPECT_NEAR(parts.mixed[k], interiorS && interiorV ? rho * sigma * v * s * 3 : 0.0,
                        scale)
                << i << " " << j;
            // Variance part: u_vv dropped at v = 0 (its coefficient vanishes) and at v_max
            // (the value is taken linear there).
            const double varianceDiffusion = interiorV ? 0.5 * sigma * sigma * v * uVV : 0.0;
            EXPECT_NEAR(parts.variance[k],
                        varianceDiffusion + kappa * (theta - v) * uV - 0.5 * kRate * value,
                        scale * 100)
                << i << " " << j;
            // Spot part: at S = 0 only -r/2 u; the top row takes the value linear in S, with
            // the backward slope.
            if (i > 0 && i < m - 1) {
                EXPECT_NEAR(parts.spot[k],
                            0.5 * v * s * s * uSS + (kRate - kYield) * s * uS - 0.5 * kRate * value,
                            scale * 1e3)
                    << i << " " << j;
            } else if (i == 0) {
                EXPECT_NEAR(parts.spot[k], -0.5 * kRate * value, scale) << j;
            }
        }
    }
    // The top spot row is exact for values linear in S.
    const std::vector<double> linear = Sample(op, [](double s, double v) { return 4 * s - v; });
    const Parts linearParts = ApplyTo(op, linear);
    for (int j = 0; j < n; ++j) {
        const int k = op.Index(m - 1, j);
        EXPECT_NEAR(linearParts.spot[k],
                    (kRate - kYield) * op.Spots()[m - 1] * 4 - 0.5 * kRate * linear[k], 1e-9);
    }
}

TEST(HestonOperator, FixedSpotEndsKeepTheirValuesAndApplyAtAgrees) {
    // A knock-out corridor: both spot ends fixed.
    const HestonOperator op(Spots(60.0, 30), Variances(17), kRate, kYield, kModel, true, true);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> u(op.Size());
    for (double& x : u) x = uniform(random);
    const Parts parts = ApplyTo(op, u);
    for (int j = 0; j < op.VarianceCount(); ++j) {
        for (int i : {0, op.SpotCount() - 1}) {
            const int k = op.Index(i, j);
            EXPECT_EQ(parts.mixed[k], 0.0);
            EXPECT_EQ(parts.spot[k], 0.0);
            EXPECT_EQ(parts.variance[k], 0.0);
        }
        for (int i = 0; i < op.SpotCount(); ++i) {
            const int k = op.Index(i, j);
            const double sum = parts.mixed[k] + parts.spot[k] + parts.variance[k];
            EXPECT_NEAR(op.ApplyAt(u.data(), i, j), sum, 1e-9 * (1 + std::fabs(sum)))
                << i << " " << j;
        }
    }
}

TEST(LineSolvers, InvertTheImplicitSpotAndVarianceFactors) {
    for (bool fixed : {false, true}) {
        const HestonOperator op(Spots(fixed ? 60.0 : 0.0, 37), Variances(19), kRate, kYield, kModel,
                                fixed, fixed);
        const double c = 0.01;
        LineSolvers solvers(op);
        solvers.Factorise(0.5);  // refactorised below: nothing of it may stay
        solvers.Factorise(c);
        std::mt19937_64 random(11);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        std::vector<double> b(op.Size()), w(op.Size(), 0.0);
        for (double& x : b) x = uniform(random);

        // (I - c A1) x = b.
        std::vector<double> x = b;
        solvers.SolveSpot(x.data());
        Parts parts = ApplyTo(op, x);
        for (std::size_t k = 0; k < b.size(); ++k)
            EXPECT_NEAR(x[k] - c * parts.spot[k], b[k], 1e-12) << fixed << " " << k;

        // (I - c A2) x = b - c w with w = A2 y of some y.
        std::vector<double> y(op.Size());
        for (double& e : y) e = uniform(random);
        w = ApplyTo(op, y).variance;
        x = b;
        solvers.SolveVariance(x.data(), w.data());
        parts = ApplyTo(op, x);
        for (std::size_t k = 0; k < b.size(); ++k)
            EXPECT_NEAR(x[k] - c * parts.variance[k], b[k] - c * w[k], 1e-10) << fixed << " " << k;
    }
}

TEST(PeriodSteps, UniformAndGradedStepsCoverThePeriod) {
    using heston::finitedifference::PeriodSteps;
    const std::vector<double> uniform = PeriodSteps(0.5, 40, false);
    ASSERT_EQ(uniform.size(), 40u);
    for (double h : uniform) EXPECT_EQ(h, 0.5 / 40);

    const std::vector<double> graded = PeriodSteps(0.5, 40, true);
    ASSERT_EQ(graded.size(), 40u);
    EXPECT_NEAR(std::accumulate(graded.begin(), graded.end(), 0.0), 0.5, 1e-15);
    EXPECT_TRUE(std::is_sorted(graded.begin(), graded.end()));
    // The first step of order length / steps^2, the last ones constant within 1.12 uniform.
    EXPECT_LT(graded.front(), 0.5 / 40 / 10);
    EXPECT_EQ(graded[20], graded.back());
    EXPECT_LT(graded.back(), 1.12 * 0.5 / 40);
    // One step: the whole period either way.
    EXPECT_NEAR(PeriodSteps(0.5, 1, true)[0], 0.5, 1e-15);
}

}  // namespace
