// The sinh-trapezoid rule on integrals over [0, inf) known in closed form: Gaussians of very
// different widths, exponentially damped oscillations beside a Gaussian, and the error control
// of values whose integrand cancels far below its mass.
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
    heston::ComponentIntegral results[2];
    std::vector<double> nodes;
};

Result Integrate(double w, double c, double b, int count, double scale) {
    Integrands f{w, c, b, count, {}};
    Result r{};
    double values[2 * heston::kQuadratureBatch], work[2 * heston::kQuadratureWork];
    r.report = heston::IntegrateSinhTrapezoid(f, scale, heston::QuadratureTolerance{}, count,
                                              r.results, values, work);
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
            EXPECT_NEAR(r.results[0].sum, exact, 4e-15 * exact) << "w " << w << " scale " << scale;
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
        const double exact = kPi / (2.0 * c * std::cosh(kPi * b / (2.0 * c)));
        EXPECT_NEAR(both.results[1].sum, exact, 1e-14) << "b " << b;
        EXPECT_NEAR(both.results[0].sum, std::sqrt(kPi) / 2.0, 1e-15) << "b " << b;
        // Each component converges on its own: the Gaussian's sum is the one it has alone.
        const Result alone = Integrate(1.0, c, b, 1, 1.0);
        EXPECT_EQ(alone.results[0].sum, both.results[0].sum) << "b " << b;
        EXPECT_EQ(std::set<double>(both.nodes.begin(), both.nodes.end()).size(), both.nodes.size());
    }
}

TEST(SinhTrapezoid, ValuesAgreeToTheirOwnSumNotOnlyToTheMass) {
    // cos(b v) / cosh(v) for b = 4 and 8: integrals 6e-3 and 1e-5 beside an integrand mass of
    // pi/2. Held to the mass, the rule stops where successive sums agree to 1e-8 of pi/2;
    // a component marked as a value goes on until they agree to 1e-8 of its own sum.
    for (double b : {4.0, 8.0}) {
        SCOPED_TRACE(testing::Message() << "b " << b);
        Integrands f{1.0, 1.0, b, 2, {}};
        const double exact = kPi / (2.0 * std::cosh(kPi * b / 2.0));
        heston::ComponentIntegral mass[2], own[2];
        double values[2 * heston::kQuadratureBatch], work[2 * heston::kQuadratureWork];
        heston::IntegrateSinhTrapezoid(f, 1.0, heston::QuadratureTolerance{}, 2, mass, values,
                                       work);
        // Component 1 (the oscillation) is the value of its block of one; component 0 too.
        heston::IntegrateSinhTrapezoid(f, 1.0, heston::QuadratureTolerance{0.0, 1}, 2, own, values,
                                       work);
        EXPECT_TRUE(mass[1].converged);
        EXPECT_GT(mass[1].change, 1e-8 * std::fabs(mass[1].sum));
        EXPECT_TRUE(own[1].converged);
        EXPECT_LE(own[1].change, 1e-8 * std::fabs(own[1].sum));
        EXPECT_NEAR(own[1].sum, exact, 1e-15);  // the rounding of sums of terms near 1
        // A block of two (the Gaussian, then the oscillation as its derivative): only the
        // Gaussian is held to its own sum, and the oscillation stops where it did on the mass.
        heston::ComponentIntegral blocks[2];
        heston::IntegrateSinhTrapezoid(f, 1.0, heston::QuadratureTolerance{0.0, 2}, 2, blocks,
                                       values, work);
        EXPECT_EQ(blocks[1].sum, mass[1].sum);
    }
}

}  // namespace
