// The fast closed-form paths (one pass for both probabilities, strike-independent samples
// shared per maturity) against the straightforward evaluation in reference_pricing.h, over a
// broad random domain including inputs whose integrals are cut off early.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "reference_pricing.h"

namespace {

struct Case {
    double S, K, tau, r, rho, kappa, theta, lambda, sigma, v, lower;
    int type;
};

// 1e-12 relative, or 1e-12 absolute for prices below 1. The exponent C_j carries the factor
// kappa theta / sigma^2, which multiplies the rounding of every step before it in either
// evaluation; where it exceeds 25 the tolerance grows with it. (There the straightforward
// evaluation itself strays from a long-double one by more than 1e-12.)
double Tolerance(double expected, double kappa = 0.0, double theta = 0.0, double sigma = 1.0) {
    const double conditioning = std::max(1.0, kappa * theta / (sigma * sigma) / 25.0);
    return 1e-12 * std::max(1.0, std::fabs(expected)) * conditioning;
}

// Strikes over a factor of 4 either way of a spot near 100, maturities from a week to ten
// years, and parameters well beyond what calibrations visit. Prices scale with the spot, and so
// does their rounding: a spot near 100 keeps the absolute tolerance of 1e-12 meaningful (both
// evaluations round S P_1 - K P_2 at about 1e-14 S).
Case RandomCase(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto in = [&](double lo, double hi) { return lo + (hi - lo) * u(rng); };
    Case c;
    c.S = 100.0 * std::exp(in(-0.2, 0.2));
    c.K = c.S * std::exp(in(-1.4, 1.4));
    c.tau = std::exp(in(std::log(0.02), std::log(10.0)));
    c.r = in(-0.02, 0.1);
    c.rho = in(-0.95, 0.95);
    c.kappa = in(0.05, 8.0);
    c.theta = in(0.005, 0.4);
    c.lambda = u(rng) < 0.5 ? 0.0 : in(-0.5, 0.5);
    c.sigma = in(0.05, 1.5);
    c.v = in(0.001, 0.5);
    const double lowers[3] = {1e-5, 1e-6, 1e-13};
    c.lower = lowers[rng() % 3];
    c.type = 1 + static_cast<int>(rng() % 2);
    return c;
}

double Reference(const Case& c) {
    return reference::ClosedFormPrice(c.S, c.K, c.tau, c.r, c.rho, c.kappa, c.theta, c.lambda,
                                      c.sigma, c.v, c.lower, 100.0, c.type);
}

// How many of the reference's samples were cut off (zeroed without evaluation), summed over
// the four integrals.
int CutSamples(const Case& c) {
    int cut = 0;
    for (int j = 1; j <= 2; ++j) {
        for (auto [lo, hi, n] : {std::tuple<double, double, int>{c.lower, 15.0, 180},
                                 std::tuple<double, double, int>{15.0000001, 100.0, 200}}) {
            const double h = (hi - lo) / n;
            double previous = 1.0;
            for (int k = 0; k <= n; ++k) {
                if (k >= 1 && std::fabs(previous) < 1e-45) {
                    cut += n - k + 1;
                    break;
                }
                previous = reference::Integrand(lo + k * h, j, c.S, c.K, c.r, c.tau, c.rho, c.kappa,
                                                c.theta, c.lambda, c.sigma, c.v);
            }
        }
    }
    return cut;
}

using heston::VectorWidth;

heston::ModelParameters ParametersOf(const Case& c) {
    return heston::ModelParameters{c.v, c.theta, c.kappa, c.sigma, c.rho};
}

// The single-price pass at the given vector width.
double DirectPrice(const Case& c, VectorWidth width) {
    return heston::closedform::ClosedFormGrid::DirectPrice(c.S, c.K, c.tau, c.r, ParametersOf(c),
                                                           c.lambda, c.lower, 100.0, c.type, width);
}

}  // namespace

TEST(FastClosedForm, SinglePricesAgreeWithTheStraightforwardEvaluation) {
    std::mt19937_64 rng(20240611);
    Heston heston;
    int withCutOff = 0;
    double worst = 0.0;
    for (int n = 0; n < 400; ++n) {
        const Case c = RandomCase(rng);
        const double expected = Reference(c);
        const double calculated =
            heston.ClosedFormPrice(c.S, c.K, c.tau, c.r, c.rho, c.kappa, c.theta, c.lambda, c.sigma,
                                   c.v, c.lower, 100.0, c.type);
        ASSERT_TRUE(std::isfinite(expected)) << "case " << n;
        // The library's choice of loops, and the SSE2 ones every x86 processor runs.
        const double sse2 = DirectPrice(c, VectorWidth::kSse2);
        const double tolerance = Tolerance(expected, c.kappa, c.theta, c.sigma);
        for (const double value : {calculated, sse2}) {
            EXPECT_NEAR(value, expected, tolerance)
                << "case " << n << (value == calculated ? "" : " (SSE2)") << ": S " << c.S << " K "
                << c.K << " tau " << c.tau << " r " << c.r << " rho " << c.rho << " kappa "
                << c.kappa << " theta " << c.theta << " lambda " << c.lambda << " sigma " << c.sigma
                << " v " << c.v << " lower " << c.lower;
            worst = std::max(worst, std::fabs(value - expected) / tolerance);
        }
        if (n < 100 && CutSamples(c) > 0) ++withCutOff;
    }
    std::printf("largest difference: %.3g of the tolerance; cut-off in %d of the first 100\n",
                worst, withCutOff);
    EXPECT_GT(withCutOff, 20) << "the domain should exercise the cut-off";
}

TEST(FastClosedForm, SharedMaturityPricesAgreeWithTheStraightforwardEvaluation) {
    // One grid per parameter set and maturity, then many strikes, rates and both types.
    std::mt19937_64 rng(77);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    double worst = 0.0;
    for (int n = 0; n < 30; ++n) {
        const Case c = RandomCase(rng);
        heston::closedform::ClosedFormGrid grid(c.lower, 100.0);
        grid.SetMaturity(c.tau, ParametersOf(c), c.lambda,
                         n % 2 == 0 ? VectorWidth::kWidest : VectorWidth::kSse2);
        for (int m = 0; m < 8; ++m) {
            Case k = c;
            k.K = c.S * std::exp(-1.4 + 2.8 * u(rng));
            k.r = -0.02 + 0.12 * u(rng);
            k.type = 1 + m % 2;
            const double expected = Reference(k);
            const double calculated = grid.Price(k.S, k.K, k.r, k.type);
            const double tolerance = Tolerance(expected, c.kappa, c.theta, c.sigma);
            EXPECT_NEAR(calculated, expected, tolerance)
                << "case " << n << "/" << m << ": K " << k.K << " tau " << k.tau;
            worst = std::max(worst, std::fabs(calculated - expected) / tolerance);
        }
    }
    std::printf("largest difference: %.3g of the tolerance\n", worst);
}

TEST(FastClosedForm, OutOfDomainInputsBehaveAsTheStraightforwardEvaluation) {
    Heston heston;
    // Non-positive spot or strike goes through the complex logarithms: NaN for 0, a finite
    // value for a negative one.
    for (auto [S, K] :
         {std::pair<double, double>{0.0, 100.0}, {100.0, 0.0}, {-100.0, 90.0}, {100.0, -90.0}}) {
        const double expected = reference::ClosedFormPrice(S, K, 1.0, 0.02, -0.6, 1.5, 0.04, 0.0,
                                                           0.4, 0.04, 1e-5, 100.0, 1);
        const double calculated = heston.ClosedFormPrice(S, K, 1.0, 0.02, -0.6, 1.5, 0.04, 0.0, 0.4,
                                                         0.04, 1e-5, 100.0, 1);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(calculated)) << "S " << S << " K " << K;
        } else {
            EXPECT_NEAR(calculated, expected, Tolerance(expected)) << "S " << S << " K " << K;
        }
    }
    // sigma = 0 divides by zero and a lower limit of 0 divides by phi = 0: never finite.
    EXPECT_FALSE(std::isfinite(
        heston.ClosedFormPrice(100, 100, 1, 0, -0.6, 1.5, 0.04, 0.0, 0.0, 0.04, 1e-5, 100.0, 2)));
    EXPECT_FALSE(std::isfinite(
        heston.ClosedFormPrice(100, 100, 1, 0, -0.6, 1.5, 0.04, 0.0, 0.4, 0.04, 0.0, 100.0, 1)));
    // tau = 0: C = D = 0, only the phase of ln(S/K) remains. Every point leaves the vector
    // loops (the quotient 0 / (1 - g E)) for the scalar evaluation.
    const double expected = reference::ClosedFormPrice(110, 100, 0.0, 0.02, -0.6, 1.5, 0.04, 0.0,
                                                       0.4, 0.04, 1e-5, 100.0, 1);
    EXPECT_NEAR(
        heston.ClosedFormPrice(110, 100, 0.0, 0.02, -0.6, 1.5, 0.04, 0.0, 0.4, 0.04, 1e-5, 100, 1),
        expected, Tolerance(expected));
    // A NaN or infinite parameter or maturity gives what the straightforward evaluation gives,
    // at either vector width.
    const double nan = std::nan("");
    const double inf = HUGE_VAL;
    const Case base{100, 95, 1.0, 0.02, -0.6, 1.5, 0.04, 0.0, 0.4, 0.04, 1e-5, 1};
    std::vector<Case> odd(6, base);
    odd[0].v = nan;
    odd[1].rho = nan;
    odd[2].tau = nan;
    odd[3].tau = inf;
    odd[4].kappa = inf;
    odd[5].r = inf;
    for (std::size_t n = 0; n < odd.size(); ++n) {
        const double reference = Reference(odd[n]);
        for (VectorWidth width : {VectorWidth::kWidest, VectorWidth::kSse2}) {
            const double calculated = DirectPrice(odd[n], width);
            if (std::isfinite(reference)) {
                EXPECT_NEAR(calculated, reference, Tolerance(reference)) << "case " << n;
            } else {
                EXPECT_EQ(std::isnan(calculated), std::isnan(reference))
                    << "case " << n << ": " << calculated << " against " << reference;
                if (!std::isnan(reference)) {
                    EXPECT_EQ(calculated, reference) << "case " << n;
                }
            }
        }
    }
}
