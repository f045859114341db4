// The geometric Asian option in closed form: with one fixing it is the European option (against
// the contour pricer, to 1e-12 of the spot); with many it agrees with an independent
// evaluation (the moment of the log-average from the Riccati equations integrated numerically,
// inverted on another line by another rule) to 1e-10 of the spot; it sits below the arithmetic
// average's price and the input errors name their argument.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "affine_moment_reference.h"
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
        for (double maturity : {0.1, 1.0, 5.0}) {
            for (double strike : {50.0, 90.0, 100.0, 125.0, 200.0}) {
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
