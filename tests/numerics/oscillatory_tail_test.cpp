// The oscillatory-tail quadrature on integrals known in closed form, and Wynn's epsilon
// algorithm on an alternating series.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "quadrature/OscillatoryTail.h"

namespace {

constexpr double kPi = 3.141592653589793238462643383279503;

// Two components: sin(w v) / v (Dirichlet's integral, pi/2 for any w > 0) and
// cos(w v) / (1 + v^2) (Laplace's, pi exp(-w) / 2), both decaying only algebraically.
struct SlowOscillations {
    double w;
    void Evaluate(const double* v, int n, double* values, double* sizes) const {
        for (int j = 0; j < n; ++j) {
            const double x = v[j];
            values[2 * j] = x == 0.0 ? w : std::sin(w * x) / x;
            values[2 * j + 1] = std::cos(w * x) / (1.0 + x * x);
            sizes[j] = 1.0 / (1.0 + x);
        }
    }
};

TEST(OscillatoryTail, IntegratesAlgebraicallyDecayingOscillations) {
    for (double w : {0.3, 1.0, 4.0}) {
        SlowOscillations f{w};
        heston::ComponentIntegral results[2];
        heston::IntegrateOscillatoryTail(f, 5.0, 0.5, w, 2, results);
        EXPECT_NEAR(results[0].sum, kPi / 2.0, 1e-12) << "w " << w;
        EXPECT_NEAR(results[1].sum, kPi * std::exp(-w) / 2.0, 1e-12) << "w " << w;
        // The error estimate is honest and small.
        EXPECT_LE(std::fabs(results[0].sum - kPi / 2.0), 10.0 * results[0].change + 1e-15)
            << "w " << w;
        EXPECT_LT(results[0].change, 1e-10) << "w " << w;
    }
}

TEST(OscillatoryTail, WynnEpsilonSumsAnAlternatingSeries) {
    // Partial sums of 1 - 1/2 + 1/3 - ..., which converge to ln 2 only like 1/n.
    double partial[20], work[20], sum = 0.0;
    for (int n = 0; n < 20; ++n) {
        sum += (n % 2 == 0 ? 1.0 : -1.0) / (n + 1);
        partial[n] = sum;
    }
    double change;
    EXPECT_NEAR(heston::WynnEpsilonLimit(partial, 20, work, &change), std::log(2.0), 1e-13);
    EXPECT_LT(change, 1e-11);
    EXPECT_GT(std::fabs(partial[19] - std::log(2.0)), 1e-2);
}

}  // namespace
