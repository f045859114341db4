// The sinh-trapezoid rule on integrals over [0, inf) known in closed form: Gaussians of very
// different widths, and exponentially damped oscillations beside a Gaussian.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "quadrature/SinhTrapezoid.h"

namespace {

constexpr double kPi = 3.141592653589793238462643383279503;

// Components exp(-(v/w)^2) (integral w sqrt(pi)/2) and cos(b v) / cosh(c v) (integral
// pi / (2 c cosh(pi b / (2 c)))), both even in v as the pricer's integrands are (the rule's
// t = 0 end is then no end at all), with every node it was asked for.
struct Integrands {
    double w, c, b;
    int count;  // 1: the Gaussian alone; 2: both
    std::vector<double> nodes;
    void Evaluate(const double* v, int n, double* values, double* sizes) {
        EXPECT_LE(n, heston::kQuadratureBatch);
        for (int j = 0; j < n; ++j) {
            const double x = v[j];
            nodes.push_back(x);
            const double gauss = std::exp(-(x / w) * (x / w));
            const double damped = 1.0 / std::cosh(c * x);
            values[count * j] = gauss;
            if (count == 2) values[count * j + 1] = damped * std::cos(b * x);
            sizes[j] = count == 2 ? std::fmax(gauss, damped) : gauss;
        }
    }
};

struct Result {
    heston::QuadratureReport report;
    double sums[2];
    std::vector<double> nodes;
};

Result Integrate(double w, double c, double b, int count, double scale, bool ahead = true) {
    Integrands f{w, c, b, count, {}};
    Result r{};
    double values[2 * heston::kQuadratureBatch], work[2 * heston::kQuadratureWork];
    r.report = heston::IntegrateSinhTrapezoid(f, scale, 0.0, count, r.sums, values, work, ahead);
    r.nodes = f.nodes;
    return r;
}

TEST(SinhTrapezoid, GaussiansOfAnyWidthToRounding) {
    for (double w : {1e-3, 0.37, 1.0, 25.0, 1e4}) {
        // The rule's scale at the bell's width, and off it by a factor of three either way.
        for (double scale : {w, 3.0 * w, w / 3.0}) {
            const Result r = Integrate(w, 1.0, 0.0, 1, scale);
            const double exact = w * std::sqrt(kPi) / 2.0;
            EXPECT_TRUE(r.report.converged) << "w " << w << " scale " << scale;
            EXPECT_NEAR(r.sums[0], exact, 4e-15 * exact) << "w " << w << " scale " << scale;
            // Every node is asked for once.
            EXPECT_EQ(std::set<double>(r.nodes.begin(), r.nodes.end()).size(), r.nodes.size());
            EXPECT_EQ(r.report.evaluations, static_cast<int>(r.nodes.size()));
        }
    }
}

TEST(SinhTrapezoid, DampedOscillationsBesideAGaussian) {
    const double c = 0.7;
    for (double b : {0.0, 1.0, 3.0}) {
        const Result both = Integrate(1.0, c, b, 2, 1.0);
        EXPECT_TRUE(both.report.converged) << "b " << b;
        // The second sum's nodes evaluated with the first's or after them: the same sums.
        const Result behind = Integrate(1.0, c, b, 2, 1.0, false);
        EXPECT_EQ(behind.sums[0], both.sums[0]) << "b " << b;
        EXPECT_EQ(behind.sums[1], both.sums[1]) << "b " << b;
        EXPECT_LE(behind.report.evaluations, both.report.evaluations) << "b " << b;
        const double exact = kPi / (2.0 * c * std::cosh(kPi * b / (2.0 * c)));
        EXPECT_NEAR(both.sums[1], exact, 1e-14) << "b " << b;
        EXPECT_NEAR(both.sums[0], std::sqrt(kPi) / 2.0, 1e-15) << "b " << b;
    }
}

}  // namespace
