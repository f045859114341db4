// The model's smile: ModelImpliedVolatility against Black-Scholes prices of the accurate
// pricer and against the deterministic-variance limit.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "black_scholes_reference.h"
#include "contour/ContourPricer.h"

namespace {

using heston::ModelParameters;
using test_support::BlackScholesCall;
using test_support::BlackScholesPut;

TEST(ModelImpliedVolatility, ReproducesTheModelPriceThroughBlackScholes) {
    const ModelParameters m{0.04, 0.06, 1.5, 0.6, -0.7};
    const double S = 100.0, r = 0.03, q = 0.01;
    for (double T : {7.0 / 365, 0.5, 5.0}) {
        for (double K : {70.0, 95.0, 100.0, 110.0, 140.0}) {
            // A week out, 30 % away from the money the price is below the pricer's absolute
            // resolution (1e-18 of the spot) and comes out as 0, which has no volatility.
            if (T < 0.1 && (K < 90.0 || K > 120.0)) continue;
            for (int type : {1, 2}) {
                const double vol = heston::ModelImpliedVolatility(type, S, K, T, r, q, m);
                const double model = heston::EuropeanPrice(type, S, K, T, r, q, m);
                const double black = type == 1 ? BlackScholesCall(S, K, r, T, vol, q)
                                               : BlackScholesPut(S, K, r, T, vol, q);
                EXPECT_NEAR(black, model, 1e-10 * S) << "T " << T << " K " << K;
                // Call and put have one smile.
                EXPECT_NEAR(vol, heston::ModelImpliedVolatility(3 - type, S, K, T, r, q, m), 1e-14);
            }
        }
    }
}

TEST(ModelImpliedVolatility, DeterministicVarianceGivesItsRootMeanSquare) {
    // sigma = 0: the variance follows v0 -> theta deterministically.
    const ModelParameters m{0.09, 0.04, 2.0, 0.0, 0.3};
    for (double T : {0.1, 1.0, 10.0}) {
        const double w = m.theta * T + (m.v0 - m.theta) * -std::expm1(-m.kappa * T) / m.kappa;
        for (double K : {80.0, 100.0, 125.0}) {
            EXPECT_NEAR(heston::ModelImpliedVolatility(1, 100.0, K, T, 0.02, 0.0, m),
                        std::sqrt(w / T), 1e-10)
                << "T " << T << " K " << K;
        }
    }
}

TEST(ModelImpliedVolatility, InvalidInputThrowsNamingTheArgument) {
    const ModelParameters m{0.04, 0.06, 1.5, 0.6, -0.7};
    try {
        heston::ModelImpliedVolatility(0, 100, 100, 1, 0.0, 0.0, m);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("optionType"), std::string::npos);
    }
    try {
        heston::ModelImpliedVolatility(1, 100, 100, 1, 0.0, 0.0, {0.04, 0.06, 1.5, 0.6, 2.0});
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("rho"), std::string::npos);
    }
    // Maturity 0 leaves no time value to invert.
    EXPECT_THROW(heston::ModelImpliedVolatility(1, 100, 100, 0.0, 0.0, 0.0, m), std::exception);
}

}  // namespace
