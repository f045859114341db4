// The geometric Asian option in closed form: with one fixing it is the European option (against
// the contour pricer, to 1e-12 of the spot, from one day to thirty years and deep in and out of
// the money); with many it agrees with an independent
// evaluation (the moment of the log-average from the Riccati equations integrated numerically,
// inverted on another line by another rule) to 1e-10 of the spot; it sits below the arithmetic
// average's price and the input errors name their argument. Under the Bates model, one fixing is
// the independent Bates European price to 1e-12 of the spot from one day to thirty years, and
// several fixings under Merton's jumps (deterministic variance) are the sum over the jump
// counts of each fixing interval, each a lognormal average, to 1e-10 of the spot.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "affine_moment_reference.h"
#include "bates_reference.h"
#include "contour/ContourPricer.h"
#include "pathsimulation/GeometricAsianPrice.h"

namespace {

using heston::kCall;
using heston::kPut;
using heston::ModelParameters;

const ModelParameters kModels[] = {{0.04, 0.05, 1.5, 0.5, -0.7},
                                   {0.09, 0.022, 11.35, 0.618, -0.5},
                                   {0.0175, 0.0398, 1.5768, 0.5751, -0.5711},
                                   {0.04, 0.04, 2.0, 0.0, 0.0}};

TEST(GeometricAsian, OneFixingIsTheEuropeanOption) {
    const double spot = 100.0;
    for (const ModelParameters& m : kModels) {
        // Deep in and out of the money from one day to thirty years: each option's value is
        // integrated on its out-of-the-money side, so the time value of a deep in-the-money
        // call at one day is not lost in its intrinsic value.
        for (double maturity : {1.0 / 365.0, 0.1, 1.0, 5.0, 30.0}) {
            for (double strike : {1e-6, 10.0, 50.0, 90.0, 100.0, 125.0, 200.0, 1000.0}) {
                for (int type : {kCall, kPut}) {
                    const double asian =
                        heston::GeometricAsianPrice(type, spot, strike, {maturity}, 0.03, 0.01, m);
                    const double european =
                        heston::EuropeanPrice(type, spot, strike, maturity, 0.03, 0.01, m);
                    EXPECT_NEAR(asian, european, 1e-12 * spot)
                        << "T " << maturity << " K " << strike << " type " << type;
                }
            }
        }
    }
}

TEST(GeometricAsian, ManyFixingsAgreeWithTheNumericallyIntegratedMoment) {
    const double spot = 100.0, rate = 0.03, yield = 0.01;
    std::vector<double> fixings;
    for (int i = 0; i <= 6; ++i) fixings.push_back(0.25 * i);  // one at 0: the spot itself
    for (const ModelParameters& m : {kModels[0], kModels[1]}) {
        const reference::HestonModel model{m.v0, m.theta, m.kappa, m.sigma, m.rho};
        const int n = static_cast<int>(fixings.size());
        auto logMoment = [&](reference::Complex s) {
            return reference::LogMomentByRungeKutta(
                std::vector<reference::Complex>(n, s / double(n)), fixings, rate, yield, model,
                400);
        };
        const std::vector<double> strikes = {70.0, 100.0, 130.0};
        std::vector<double> ks;
        for (double strike : strikes) ks.push_back(strike / spot);
        const std::vector<double> calls = reference::CallsByGaussLegendre(logMoment, ks);
        for (std::size_t j = 0; j < strikes.size(); ++j) {
            const double strike = strikes[j];
            const double reference = std::exp(-rate * fixings.back()) * spot * calls[j];
            const double call =
                heston::GeometricAsianPrice(kCall, spot, strike, fixings, rate, yield, m);
            EXPECT_NEAR(call, reference, 1e-10 * spot) << "K " << strike;
            // Put-call parity of the geometric average: E[G] from the moment at s = 1.
            const double put =
                heston::GeometricAsianPrice(kPut, spot, strike, fixings, rate, yield, m);
            const double forward = spot * std::exp(logMoment(1.0).real());
            EXPECT_NEAR(call - put, std::exp(-rate * fixings.back()) * (forward - strike),
                        1e-10 * spot);
        }
    }
}

TEST(GeometricAsian, OneFixingUnderJumpsIsTheBatesEuropeanOption) {
    // Rare large crashes with one parameter set, frequent small jumps with another.
    const heston::BatesParameters models[] = {{kModels[0], {0.5, -0.2, 0.15}},
                                              {kModels[1], {5.0, 0.02, 0.05}}};
    for (const heston::BatesParameters& model : models) {
        const ModelParameters& m = model.heston;
        const heston::JumpParameters& j = model.jumps;
        for (double maturity : {1.0 / 365.0, 0.1, 1.0, 5.0, 30.0}) {
            for (double strike : {60.0, 100.0, 150.0}) {
                reference::BatesReference r{100.0,    strike,  maturity, 0.03,    0.01,
                                            m.v0,     m.theta, m.kappa,  m.sigma, m.rho,
                                            j.lambda, j.muJ,   j.deltaJ};
                const reference::BatesReference::CallAndPut exact = r.Prices();
                for (int type : {kCall, kPut}) {
                    EXPECT_NEAR(heston::GeometricAsianPrice(type, 100.0, strike, {maturity}, 0.03,
                                                            0.01, model),
                                static_cast<double>(type == kCall ? exact.call : exact.put),
                                1e-12 * 100.0)
                        << "lambda " << j.lambda << " T " << maturity << " K " << strike << " type "
                        << type;
                }
            }
        }
    }
}

TEST(GeometricAsian, FixingsUnderMertonJumpsAreLognormalGivenTheJumpCounts) {
    // sigma = 0 and v0 = theta: constant variance theta. Given n_k jumps in fixing interval k,
    // ln(G / S(0)) is normal: the drift and the Brownian motion averaged over the fixings, plus
    // u_k (n_k muJ + deltaJ sqrt(n_k) Z_k), u_k the share of fixings at or after interval k's
    // end.
    const ModelParameters m{0.04, 0.04, 2.0, 0.0, 0.0};
    const heston::JumpParameters j{1.2, -0.1, 0.2};
    const std::vector<double> fixings = {0.25, 0.5, 1.0};
    const double rate = 0.03, yield = 0.01, spot = 100.0;
    const int n = 3;
    const double m1 = std::expm1(j.muJ + 0.5 * j.deltaJ * j.deltaJ);
    double meanTime = 0.0, covariance = 0.0;
    for (double ti : fixings) {
        meanTime += ti / n;
        for (double tj : fixings) covariance += std::min(ti, tj) / (n * n);
    }
    auto poisson = [](int count, double mean) {
        return std::exp(-mean + count * std::log(mean) - std::lgamma(count + 1.0));
    };
    for (double strike : {70.0, 95.0, 100.0, 130.0}) {
        for (int type : {kCall, kPut}) {
            long double sum = 0.0L;
            for (int a = 0; a < 14; ++a) {
                for (int b = 0; b < 14; ++b) {
                    for (int c = 0; c < 16; ++c) {
                        const int counts[3] = {a, b, c};
                        double weight = 1.0, mean = 0.0, variance = m.theta * covariance;
                        for (int k = 0; k < n; ++k) {
                            const double tau = fixings[k] - (k > 0 ? fixings[k - 1] : 0.0);
                            const double u = double(n - k) / n;
                            weight *= poisson(counts[k], j.lambda * tau);
                            mean += u * counts[k] * j.muJ;
                            variance += u * u * counts[k] * j.deltaJ * j.deltaJ;
                        }
                        mean += (rate - yield - j.lambda * m1 - 0.5 * m.theta) * meanTime;
                        sum += weight *
                               reference::BlackForwardPrice(
                                   type, spot * std::exp(mean + 0.5 * variance), strike, variance);
                    }
                }
            }
            const double expected = std::exp(-rate * fixings.back()) * static_cast<double>(sum);
            EXPECT_NEAR(heston::GeometricAsianPrice(type, spot, strike, fixings, rate, yield,
                                                    heston::BatesParameters{m, j}),
                        expected, 1e-10 * spot)
                << "K " << strike << " type " << type;
        }
    }
}

TEST(GeometricAsian, RefusesBadInputNamingIt) {
    const ModelParameters m = kModels[0];
    auto message = [&](auto call) {
        try {
            call();
        } catch (const std::invalid_argument& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] {
                  heston::GeometricAsianPrice(kCall, 100, 100, {0.5, 0.25}, 0, 0, m);
              }),
              "FixingTimes must be ascending");
    EXPECT_EQ(message([&] {
                  heston::GeometricAsianPrice(kCall, 100, 100, {-0.5, 1}, 0, 0, m);
              }),
              "FixingTimes must not be negative");
    EXPECT_EQ(message([&] { heston::GeometricAsianPrice(kCall, 100, 100, {}, 0, 0, m); }),
              "FixingTimes: at least one is needed");
    EXPECT_EQ(message([&] { heston::GeometricAsianPrice(kCall, 100, -1, {1}, 0, 0, m); }),
              "Strike must be positive and finite");
    EXPECT_EQ(message([&] { heston::GeometricAsianPrice(3, 100, 100, {1}, 0, 0, m); }),
              "OptionType must be 1 (call) or 2 (put)");
}

}  // namespace
