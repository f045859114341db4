// The contour pricer against independent references: Lewis's published prices, a long-double
// adaptive Gauss-Kronrod evaluation of the two-probability form (tests/support), Black-Scholes
// in the limit of a deterministic variance, and finite differences for the Greeks; with the
// properties every price must have.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/black_scholes_reference.h"
#include "../support/heston_reference_quadrature.h"
#include "contour/ContourPricer.h"

namespace {

using heston::EuropeanGreeks;
using heston::EuropeanPrice;
using heston::ModelParameters;
using test_support::BlackScholesOption;

long double Reference(int type, double S, double K, double T, double r, double q,
                      const ModelParameters& m) {
    reference::HestonReference ref{S, K, T, r, q, m.v0, m.theta, m.kappa, m.sigma, m.rho};
    return ref.Price(type);
}

TEST(ContourPricer, LewisReferencePrices) {
    // A. Lewis, one-year reference prices: S = 100, r = 0.01, q = 0.02, v0 = 0.04, kappa = 4,
    // theta = 0.25, sigma = 1, rho = -0.5.
    const ModelParameters m{0.04, 0.25, 4.0, 1.0, -0.5};
    const double strikes[5] = {80, 90, 100, 110, 120};
    const double calls[5] = {26.774758743998854, 20.933349000596710, 16.070154917028834,
                             12.132211516709845, 9.024913483457836};
    // The puts quoted with these calls for K = 110 and 120 (22.618126929873018 and
    // 28.936125752105487) break put-call parity with them by 0.40 and 0.87; the puts here are
    // the published calls through parity, which the published puts for 80 .. 100 match to
    // 1e-15.
    std::vector<double> puts = {7.958878113256768, 12.017966707346304, 17.055270961270109};
    for (double K : {110.0, 120.0}) {
        const double call = calls[K == 110.0 ? 3 : 4];
        puts.push_back(call - 100.0 * std::exp(-0.02) + K * std::exp(-0.01));
    }
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(EuropeanPrice(1, 100, strikes[i], 1.0, 0.01, 0.02, m), calls[i], 1e-11)
            << "call K=" << strikes[i];
        EXPECT_NEAR(EuropeanPrice(2, 100, strikes[i], 1.0, 0.01, 0.02, m), puts[i], 1e-11)
            << "put K=" << strikes[i];
    }
}

struct Case {
    double T, moneyness;  // strike / forward
    ModelParameters m;
    double r, q;
};

TEST(ContourPricer, AgreesWithLongDoubleQuadrature) {
    // Maturities from a day to 30 years, strikes from 1/4 to 4 forwards, sigma 0.01 .. 3, rho
    // -0.99 .. 0.99, kappa 0.01 .. 20, v0 0 .. 1, q above and below r; Feller's condition
    // 2 kappa theta >= sigma^2 holds for the first model and the nearly deterministic ones and
    // fails for most others. The reference needs seconds to minutes where its integrand decays
    // slowly (some options with sigma -> 0, v0 = 0 at short maturities), so those are left to
    // other tests.
    const ModelParameters calm{0.04, 0.04, 1.5, 0.3, -0.7}, volatile_{0.09, 0.09, 5.0, 1.0, -0.5},
        extreme{1.0, 0.2, 20.0, 3.0, 0.99}, sticky{0.2, 0.04, 0.01, 0.8, -0.99},
        quiet{0.01, 0.05, 5.0, 0.05, 0.5}, fast{0.5, 0.3, 20.0, 0.5, 0.3},
        fromZero{0.0, 0.09, 3.0, 0.5, -0.3}, skewed{0.3, 0.3, 0.5, 1.0, 0.9},
        slow{0.09, 0.16, 0.1, 2.0, -0.5}, nearlyFixed{0.04, 0.04, 1.0, 0.01, -0.5},
        nearlyFixedLong{0.01, 0.09, 0.05, 0.01, -0.99};
    const Case cases[] = {
        {1 / 365.0, 1.0, calm, 0.03, 0.0},
        {1 / 365.0, 0.97, volatile_, 0.03, 0.05},
        {1 / 365.0, 1.05, extreme, 0.01, 0.0},
        {7 / 365.0, 1.1, calm, 0.02, 0.06},
        {7 / 365.0, 0.8, extreme, 0.03, 0.0},
        {7 / 365.0, 0.9, sticky, 0.03, 0.05},
        {0.1, 1.25, fast, 0.03, 0.0},
        {0.1, 0.6, quiet, 0.03, 0.05},
        {0.5, 0.25, sticky, 0.03, 0.0},
        {0.5, 1.0, fromZero, 0.01, 0.04},
        {1.0, 4.0, skewed, 0.03, 0.0},
        {1.0, 0.5, quiet, 0.03, 0.05},
        {1.0, 1.3, fromZero, 0.05, 0.0},
        {5.0, 2.0, slow, 0.03, 0.0},
        {5.0, 0.4, calm, 0.02, 0.04},
        {10.0, 0.7, calm, 0.03, 0.0},
        {30.0, 0.25, calm, 0.03, 0.05},
        {30.0, 4.0, slow, 0.03, 0.0},
        {30.0, 1.0, sticky, 0.0, 0.02},
        {2.0, 1.5, extreme, 0.03, 0.0},
        {1 / 365.0, 1.01, nearlyFixed, 0.03, 0.01},
        {30.0, 1.3, nearlyFixedLong, 0.03, 0.01},
    };
    double worstAbs = 0.0, worstRel = 0.0;
    for (const Case& c : cases) {
        const double S = 100.0, K = c.moneyness * S * std::exp((c.r - c.q) * c.T);
        for (int type : {1, 2}) {
            const double ours = EuropeanPrice(type, S, K, c.T, c.r, c.q, c.m);
            const double ref = static_cast<double>(Reference(type, S, K, c.T, c.r, c.q, c.m));
            const double error = std::fabs(ours - ref);
            SCOPED_TRACE(testing::Message()
                         << "type " << type << " T " << c.T << " K/F " << c.moneyness << " v0 "
                         << c.m.v0 << " sigma " << c.m.sigma << " rho " << c.m.rho);
            worstAbs = std::max(worstAbs, error / S);
            EXPECT_LE(error, 1e-10 * S) << ours << " vs " << ref;
            if (ref > 1e-7 * S) {
                worstRel = std::max(worstRel, error / ref);
                EXPECT_LE(error, 1e-8 * ref) << ours << " vs " << ref;
            }
        }
    }
    std::printf("worst absolute error %.2e * spot, worst relative error %.2e\n", worstAbs,
                worstRel);
}

TEST(ContourPricer, ResolvesSlowlyDecayingOscillatingTailsWhenV0IsZero) {
    // With v0 = 0 and kappa theta T small against sigma the variance stays near zero, the
    // integrand decays only like 1/v^2 over many periods of its oscillation, and the
    // sinh-trapezoid rule alone stopped with errors from 1e-8 to 1e-3 of the spot.
    const ModelParameters shortSkew{0.0, 0.04, 0.2, 1.0, 0.9}, stuck{0.0, 0.04, 0.01, 1.5, 0.95},
        flat{0.0, 0.01, 0.02, 1.0, 0.0};
    struct Option {
        int type;
        double T, K;
        ModelParameters m;
    };
    const Option options[] = {
        {1, 0.25, 90, shortSkew}, {2, 0.25, 110, shortSkew}, {1, 0.25, 130, shortSkew},
        {1, 2.0, 100, stuck},     {1, 2.0, 110, stuck},      {1, 5.0, 150, flat},
    };
    const double S = 100.0, r = 0.03, q = 0.01;
    for (const Option& o : options) {
        SCOPED_TRACE(testing::Message() << "type " << o.type << " T " << o.T << " K " << o.K
                                        << " kappa " << o.m.kappa << " sigma " << o.m.sigma);
        const double ours = EuropeanPrice(o.type, S, o.K, o.T, r, q, o.m);
        const double ref = static_cast<double>(Reference(o.type, S, o.K, o.T, r, q, o.m));
        EXPECT_LE(std::fabs(ours - ref), 1e-10 * S) << ours << " vs " << ref;
        if (ref > 1e-7 * S) {
            EXPECT_LE(std::fabs(ours - ref), 1e-8 * ref) << ours << " vs " << ref;
        }
        // The Greeks' integrals and the batch take the same way round the tail.
        EXPECT_EQ(EuropeanGreeks(o.type, S, o.K, o.T, r, q, o.m).price, ours);
        const heston::BatchOption batch{o.type, o.K, o.T, r, q};
        double price = 0.0, derivatives[5];
        heston::EuropeanPrices(S, o.m, &batch, 1, &price, derivatives);
        EXPECT_NEAR(price, ours, 1e-13 * S);
    }
    // Delta and the theta derivative where the tail decides them, against differences of
    // prices.
    const heston::Greeks g = EuropeanGreeks(1, S, 110, 2.0, r, q, stuck);
    const double h = 0.01;
    const double delta = (EuropeanPrice(1, S + h, 110, 2.0, r, q, stuck) -
                          EuropeanPrice(1, S - h, 110, 2.0, r, q, stuck)) /
                         (2.0 * h);
    EXPECT_NEAR(g.delta, delta, 1e-7);
    ModelParameters up = stuck, down = stuck;
    up.theta += 1e-5;
    down.theta -= 1e-5;
    const double dTheta =
        (EuropeanPrice(1, S, 110, 2.0, r, q, up) - EuropeanPrice(1, S, 110, 2.0, r, q, down)) /
        2e-5;
    EXPECT_NEAR(g.dTheta, dTheta, 1e-6 * std::fabs(dTheta) + 1e-9 * S);
}

TEST(ContourPricer, DeepOutOfTheMoneyWingsKeepTheirRelativeAccuracy) {
    // Calls far above the forward with rho near 1: off the saddle point the integrand
    // oscillates around a sum a thousand times smaller than its mass, and an error control
    // that measured agreement against the mass alone stopped 7e-8 (relative) short.
    struct Option {
        ModelParameters m;
        double T, K;
    };
    const Option options[] = {
        {{0.09, 0.02, 4.0, 1.5, 0.99}, 0.25, 210.0},
        {{0.09, 0.02, 1.5, 0.3, 0.99}, 0.25, 215.0},
    };
    const double S = 100.0;
    for (const Option& o : options) {
        const double ours = EuropeanPrice(1, S, o.K, o.T, 0.0, 0.0, o.m);
        const double ref = static_cast<double>(Reference(1, S, o.K, o.T, 0.0, 0.0, o.m));
        ASSERT_GT(ref, 1e-7 * S);
        EXPECT_LE(std::fabs(ours - ref), 1e-8 * ref)
            << "K " << o.K << ": " << ours << " vs " << ref;
    }
}

TEST(ContourPricer, GreeksAndBatchPricesAreThePriceToTheLastBit) {
    // The price computed with the Greeks, or in a batch where the option has its line to
    // itself, is the price computed alone: the same integrals, each taking its own way through
    // the quadrature's fallbacks. Models with v0 = 0 whose tails need the oscillatory rule,
    // rho near +-1, and a deep wing, at maturities from a day to thirty years.
    const ModelParameters models[] = {
        {0.04, 0.06, 1.5, 0.4, -0.6},      {0.0, 0.04, 0.2, 1.0, 0.9},
        {0.0, 0.04, 0.01, 1.5, 0.95},      {0.04, 0.04, 1.0, 3.0, -0.99},
        {0.09, 0.022, 11.35, 0.618, -0.5}, {0.01, 0.01, 10.0, 0.05, 0.0}};
    const double S = 100.0, r = 0.03, q = 0.01;
    const double maturities[] = {1.0 / 365, 0.1, 2.0, 30.0};
    int compared = 0;
    for (const ModelParameters& m : models) {
        for (double K : {25.0, 95.0, 110.0, 210.0}) {
            std::vector<heston::BatchOption> options;
            std::vector<double> alone;
            for (double T : maturities) {
                for (int type : {1, 2}) {
                    const double price = EuropeanPrice(type, S, K, T, r, q, m);
                    const heston::Greeks g = EuropeanGreeks(type, S, K, T, r, q, m);
                    EXPECT_EQ(g.price, price) << "type " << type << " T " << T << " K " << K
                                              << " v0 " << m.v0 << " rho " << m.rho;
                    ++compared;
                }
                // One option per maturity: each is alone on its line.
                options.push_back({1, K, T, r, q});
                alone.push_back(EuropeanPrice(1, S, K, T, r, q, m));
            }
            std::vector<double> prices(options.size()), derivatives(5 * options.size());
            heston::EuropeanPrices(S, m, options.data(), options.size(), prices.data(),
                                   derivatives.data());
            for (std::size_t i = 0; i < options.size(); ++i) {
                EXPECT_EQ(prices[i], alone[i]) << "batch, T " << options[i].maturity << " K " << K
                                               << " v0 " << m.v0 << " rho " << m.rho;
            }
        }
    }
    EXPECT_EQ(compared, 6 * 4 * 4 * 2);
}

TEST(ContourPricer, PricesAreBoundedParityConsistentMonotoneAndConvex) {
    const ModelParameters models[] = {
        {0.04, 0.06, 1.5, 0.4, -0.6}, {0.0, 0.04, 2.0, 0.5, 0.5}, {0.8, 0.1, 10.0, 2.5, -0.99}};
    const double S = 100.0;
    for (const ModelParameters& m : models) {
        for (double T : {1.0 / 365, 0.25, 2.0, 30.0}) {
            for (double r : {0.0, 0.05}) {
                const double q = 0.02;
                double previousCall = S, previousPut = 0.0, previousSlope = -1.0;
                const double dK = 2.5;
                for (double K = 25.0; K <= 400.0; K += dK) {
                    const double call = EuropeanPrice(1, S, K, T, r, q, m);
                    const double put = EuropeanPrice(2, S, K, T, r, q, m);
                    const double dS = S * std::exp(-q * T), dX = K * std::exp(-r * T);
                    ASSERT_TRUE(std::isfinite(call) && std::isfinite(put));
                    EXPECT_GE(call, std::max(dS - dX, 0.0) - 1e-13 * S);
                    EXPECT_LE(call, dS + 1e-13 * S);
                    EXPECT_GE(put, std::max(dX - dS, 0.0) - 1e-13 * S);
                    EXPECT_LE(put, dX + 1e-13 * S);
                    EXPECT_GE(call, 0.0);
                    EXPECT_GE(put, 0.0);
                    SCOPED_TRACE(testing::Message()
                                 << "sigma " << m.sigma << " T " << T << " r " << r << " K " << K);
                    EXPECT_NEAR(call - put, dS - dX, 1e-13 * S);
                    // Non-increasing calls, non-decreasing puts, convex in strike.
                    EXPECT_LE(call, previousCall + 1e-13 * S);
                    EXPECT_GE(put, previousPut - 1e-13 * S);
                    const double slope = (call - previousCall) / dK;
                    if (K > 25.0) {
                        EXPECT_GE(slope, previousSlope - 1e-12) << "K=" << K;
                    }
                    previousSlope = K > 25.0 ? slope : -1.0;
                    previousCall = call;
                    previousPut = put;
                }
            }
        }
    }
}

TEST(ContourPricer, LimitsOfTheModel) {
    const double S = 100.0, r = 0.02, q = 0.03;
    // sigma -> 0: Black-Scholes with the integrated deterministic variance. (With rho = 0 the
    // price moves with sigma^2 only.)
    for (double sigma : {0.0, 1e-7}) {
        const ModelParameters m{0.09, 0.04, 2.0, sigma, sigma == 0.0 ? -0.5 : 0.0};
        for (double T : {1.0 / 365, 1.0, 30.0}) {
            const double w =
                m.theta * T + (m.v0 - m.theta) * (1.0 - std::exp(-m.kappa * T)) / m.kappa;
            for (double K : {60.0, 100.0, 150.0}) {
                const BlackScholesOption limit{S, K, r, T, std::sqrt(w / T), q};
                for (int type : {1, 2}) {
                    EXPECT_NEAR(EuropeanPrice(type, S, K, T, r, q, m), limit.Price(type), 1e-11 * S)
                        << "sigma " << sigma << " T " << T << " K " << K;
                }
            }
        }
    }
    // kappa = 0: the variance has no drift, so with sigma = 0 it stays at v0.
    const ModelParameters frozen{0.05, 0.3, 0.0, 0.0, 0.2};
    const BlackScholesOption atV0{S, 110, r, 2.0, std::sqrt(frozen.v0), q};
    EXPECT_NEAR(EuropeanPrice(1, S, 110, 2.0, r, q, frozen), atV0.Call(), 1e-12 * S);
    // kappa -> 0 with a volatile variance: the quadrature reference.
    const ModelParameters slow{0.05, 0.3, 1e-6, 0.6, -0.4};
    EXPECT_NEAR(EuropeanPrice(2, S, 90, 3.0, r, q, slow),
                static_cast<double>(Reference(2, S, 90, 3.0, r, q, slow)), 1e-10 * S);
    // Maturity 0: the intrinsic value.
    const ModelParameters m{0.04, 0.06, 1.5, 0.4, -0.6};
    EXPECT_EQ(EuropeanPrice(1, S, 90, 0.0, r, q, m), 10.0);
    EXPECT_EQ(EuropeanPrice(2, S, 90, 0.0, r, q, m), 0.0);
    EXPECT_EQ(EuropeanPrice(2, S, 130, 0.0, r, q, m), 30.0);
    // v0 = 0 and a zero variance throughout: the discounted forward payoff.
    const ModelParameters noVariance{0.0, 0.0, 1.0, 0.5, 0.0};
    EXPECT_NEAR(EuropeanPrice(1, S, 90, 1.0, r, q, noVariance),
                std::exp(-r) * (S * std::exp(r - q) - 90.0), 1e-13 * S);
    EXPECT_EQ(EuropeanPrice(1, S, 110, 1.0, r, q, noVariance), 0.0);
    const ModelParameters fromZero{0.0, 0.04, 2.0, 0.3, -0.7};
    EXPECT_NEAR(EuropeanPrice(1, S, 105, 0.5, r, q, fromZero),
                static_cast<double>(Reference(1, S, 105, 0.5, r, q, fromZero)), 1e-11 * S);
    // Zero strike and zero spot.
    EXPECT_NEAR(EuropeanPrice(1, S, 0.0, 1.0, r, q, m), S * std::exp(-q), 1e-13 * S);
    EXPECT_EQ(EuropeanPrice(2, S, 0.0, 1.0, r, q, m), 0.0);
    EXPECT_NEAR(EuropeanPrice(2, 0.0, 90, 1.0, r, q, m), 90 * std::exp(-r), 1e-13 * S);
}

// Richardson-extrapolated central difference of f at x with step h.
template <typename F>
double Slope(F f, double x, double h) {
    auto central = [&](double step) { return (f(x + step) - f(x - step)) / (2.0 * step); };
    return (4.0 * central(0.5 * h) - central(h)) / 3.0;
}
template <typename F>
double Curvature(F f, double x, double h) {
    auto second = [&](double step) {
        return (f(x + step) - 2.0 * f(x) + f(x - step)) / (step * step);
    };
    return (4.0 * second(0.5 * h) - second(h)) / 3.0;
}

TEST(ContourPricer, GreeksMatchFiniteDifferences) {
    const double S = 100.0, r = 0.03, q = 0.01;
    const ModelParameters models[] = {{0.04, 0.06, 1.5, 0.4, -0.6}, {0.3, 0.1, 8.0, 1.2, 0.4}};
    for (const ModelParameters& m0 : models) {
        for (double T : {7.0 / 365, 0.5, 5.0}) {
            for (double K : {80.0, 100.0, 125.0}) {
                for (int type : {1, 2}) {
                    const heston::Greeks g = EuropeanGreeks(type, S, K, T, r, q, m0);
                    const double hS = 0.005 * S * std::sqrt(T);  // well inside the smile's width
                    EXPECT_EQ(g.price, EuropeanPrice(type, S, K, T, r, q, m0));
                    auto price = [&](double s, double k, double t, double rr, double qq,
                                     const ModelParameters& m) {
                        return EuropeanPrice(type, s, k, t, rr, qq, m);
                    };
                    auto withModel = [&](int which) {
                        return [&, which](double x) {
                            ModelParameters m = m0;
                            double* p[5] = {&m.v0, &m.theta, &m.kappa, &m.sigma, &m.rho};
                            *p[which] = x;
                            return price(S, K, T, r, q, m);
                        };
                    };
                    const double fd[11] = {
                        Slope([&](double x) { return price(x, K, T, r, q, m0); }, S, hS),
                        Curvature([&](double x) { return price(x, K, T, r, q, m0); }, S, 2.0 * hS),
                        -Slope([&](double x) { return price(S, K, x, r, q, m0); }, T, 0.02 * T),
                        Slope([&](double x) { return price(S, K, T, x, q, m0); }, r, 1e-3),
                        Slope([&](double x) { return price(S, K, T, r, x, m0); }, q, 1e-3),
                        Slope(withModel(0), m0.v0, 1e-3 * m0.v0),
                        Slope(withModel(1), m0.theta, 1e-3 * m0.theta),
                        Slope(withModel(2), m0.kappa, 1e-3 * m0.kappa),
                        Slope(withModel(3), m0.sigma, 1e-3 * m0.sigma),
                        Slope(withModel(4), m0.rho, 1e-3),
                        0.0};
                    const double analytic[10] = {g.delta,       g.gamma, g.theta,  g.rho,
                                                 g.dividendRho, g.dV0,   g.dTheta, g.dKappa,
                                                 g.dSigma,      g.dRho};
                    const char* names[10] = {"delta", "gamma",  "theta",  "rho",    "dividendRho",
                                             "dV0",   "dTheta", "dKappa", "dSigma", "dRho"};
                    for (int i = 0; i < 10; ++i) {
                        EXPECT_NEAR(analytic[i], fd[i], std::max(1e-7 * std::fabs(fd[i]), 1e-9 * S))
                            << names[i] << " type " << type << " T=" << T << " K=" << K;
                    }
                }
            }
        }
    }
}

TEST(ContourPricer, InvalidInputThrowsNamingTheArgument) {
    const ModelParameters m{0.04, 0.06, 1.5, 0.4, -0.6};
    auto message = [](auto call) -> std::string {
        try {
            call();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no exception";
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto price = [&](int type, double S, double K, double T, const ModelParameters& p) {
        return [=] { EuropeanPrice(type, S, K, T, 0.01, 0.0, p); };
    };
    EXPECT_NE(message(price(3, 100, 100, 1, m)).find("optionType"), std::string::npos);
    EXPECT_NE(message(price(1, -1, 100, 1, m)).find("spot"), std::string::npos);
    EXPECT_NE(message(price(1, inf, 100, 1, m)).find("spot"), std::string::npos);
    EXPECT_NE(message(price(1, 100, nan, 1, m)).find("strike"), std::string::npos);
    EXPECT_NE(message(price(1, 100, 100, -1, m)).find("maturity"), std::string::npos);
    EXPECT_NE(message(price(1, 100, 100, 1, {-0.1, 0.06, 1.5, 0.4, -0.6})).find("v0"),
              std::string::npos);
    EXPECT_NE(message(price(1, 100, 100, 1, {0.04, -1, 1.5, 0.4, -0.6})).find("theta"),
              std::string::npos);
    EXPECT_NE(message(price(1, 100, 100, 1, {0.04, 0.06, -1, 0.4, -0.6})).find("kappa"),
              std::string::npos);
    EXPECT_NE(message(price(1, 100, 100, 1, {0.04, 0.06, 1.5, -0.4, -0.6})).find("sigma"),
              std::string::npos);
    EXPECT_NE(message(price(1, 100, 100, 1, {0.04, 0.06, 1.5, 0.4, -1.01})).find("rho"),
              std::string::npos);
    EXPECT_NE(message([&] { EuropeanGreeks(1, 100, 100, 1, nan, 0.0, m); }).find("rate"),
              std::string::npos);
    EXPECT_THROW(EuropeanGreeks(0, 100, 100, 1, 0.01, 0.0, m), std::invalid_argument);
}

TEST(ContourPricer, BatchMatchesSingleOptionsAndMarksInvalidOnes) {
    const ModelParameters m{0.04, 0.06, 1.5, 0.4, -0.6};
    const double S = 100.0;
    std::vector<heston::BatchOption> options;
    for (double T : {0.05, 0.5, 2.0}) {
        for (double K : {70.0, 90.0, 95.0, 100.0, 104.0, 110.0, 140.0}) {
            options.push_back({1, K, T, 0.02, 0.01});
            options.push_back({2, K, T, 0.02, 0.01});
        }
    }
    options.push_back({3, 100.0, 1.0, 0.02, 0.0});  // invalid type
    options.push_back({1, -5.0, 1.0, 0.02, 0.0});   // invalid strike
    const std::size_t n = options.size();
    std::vector<double> prices(n), plain(n), derivatives(5 * n);
    heston::EuropeanPrices(S, m, options.data(), n, prices.data(), derivatives.data());
    heston::EuropeanPrices(S, m, options.data(), n, plain.data());
    for (std::size_t i = 0; i + 2 < n; ++i) {
        const heston::BatchOption& o = options[i];
        const heston::Greeks g =
            EuropeanGreeks(o.optionType, S, o.strike, o.maturity, o.rate, o.dividendYield, m);
        // Options of one maturity share a line, which need not be an option's own.
        EXPECT_NEAR(prices[i], g.price, 1e-13 * S) << "option " << i;
        EXPECT_NEAR(plain[i], g.price, 1e-13 * S) << "option " << i;
        const double expected[5] = {g.dV0, g.dTheta, g.dKappa, g.dSigma, g.dRho};
        for (int j = 0; j < 5; ++j) {
            EXPECT_NEAR(derivatives[5 * i + j], expected[j], 1e-11 * S) << "option " << i;
        }
    }
    for (std::size_t i = n - 2; i < n; ++i) {
        EXPECT_TRUE(std::isnan(prices[i]));
        EXPECT_TRUE(std::isnan(plain[i]));
        for (int j = 0; j < 5; ++j) EXPECT_TRUE(std::isnan(derivatives[5 * i + j]));
    }
    EXPECT_THROW(heston::EuropeanPrices(-1.0, m, options.data(), n, prices.data()),
                 std::invalid_argument);
}

}  // namespace
