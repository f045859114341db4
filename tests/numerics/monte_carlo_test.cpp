// Monte Carlo prices against the closed-form Heston value, Black-Scholes in the limit of
// constant variance, and the degenerate step and simulation counts.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "black_scholes_reference.h"
#include "closedform/Heston.h"
#include "montecarlo/RuntimeRand.h"

TEST(MonteCarloPrice, CallIsNearTheClosedFormHestonPrice) {
    // Closed-form Heston call for these inputs, from an independent high-accuracy quadrature.
    const double reference = 6.2647;
    const double price = heston_EuropeanCallPriceMC(100.0, 100.0, 0.5, 0.03, -0.7, 2.0, 0.04, 0.0,
                                                    0.3, 0.04, 20000, 50);
    // About three standard errors of 20000 antithetic pairs plus the Euler bias.
    EXPECT_NEAR(price, reference, 0.08);
}

TEST(MonteCarloPrice, ConstantVarianceTendsToBlackScholes) {
    // With sigma = 0 and v = theta the variance stays at theta and the log-Euler spot step is
    // exact, so only the sampling error remains.
    const double vol = std::sqrt(0.04);
    const double call = heston_EuropeanCallPriceMC(100.0, 95.0, 1.0, 0.02, -0.5, 1.5, 0.04, 0.0,
                                                   0.0, 0.04, 50000, 2);
    const double exactCall = test_support::BlackScholesCall(100.0, 95.0, 0.02, 1.0, vol);
    EXPECT_NEAR(call, exactCall, 0.06) << "exact " << exactCall;
    const double put = heston_EuropeanPutPriceMC(100.0, 95.0, 1.0, 0.02, -0.5, 1.5, 0.04, 0.0, 0.0,
                                                 0.04, 50000, 2);
    const double exactPut = exactCall - 100.0 + 95.0 * std::exp(-0.02);
    EXPECT_NEAR(put, exactPut, 0.06) << "exact " << exactPut;
}

TEST(MonteCarloPrice, LambdaHasNoInfluence) {
    Heston model;
    RuntimeRandRestart();
    const double withoutLambda =
        model.MonteCarloPrice(100.0, 105.0, 0.5, 0.03, -0.7, 2.0, 0.04, 0.0, 0.3, 0.04, 1, 200, 10);
    RuntimeRandRestart();
    const double withLambda =
        model.MonteCarloPrice(100.0, 105.0, 0.5, 0.03, -0.7, 2.0, 0.04, 3.0, 0.3, 0.04, 1, 200, 10);
    EXPECT_EQ(withoutLambda, withLambda);
    EXPECT_GT(withoutLambda, 0.0);
}

TEST(MonteCarloPrice, DegenerateCounts) {
    // No time steps: the spot never moves, so the price is the discounted intrinsic value.
    const double disc = std::exp(-0.05);
    EXPECT_NEAR(
        heston_EuropeanCallPriceMC(110.0, 100.0, 1.0, 0.05, -0.7, 2.0, 0.04, 0.0, 0.3, 0.04, 10, 0),
        10.0 * disc, 1e-12);
    EXPECT_EQ(
        heston_EuropeanPutPriceMC(110.0, 100.0, 1.0, 0.05, -0.7, 2.0, 0.04, 0.0, 0.3, 0.04, 10, 0),
        0.0);
    EXPECT_NEAR(
        heston_EuropeanPutPriceMC(110.0, 120.0, 1.0, 0.05, -0.7, 2.0, 0.04, 0.0, 0.3, 0.04, 10, 0),
        10.0 * disc, 1e-12);

    // No simulations average nothing: 0 / 0; a negative count runs no path and gives 0.
    EXPECT_TRUE(std::isnan(heston_EuropeanCallPriceMC(100.0, 100.0, 1.0, 0.05, -0.7, 2.0, 0.04, 0.0,
                                                      0.3, 0.04, 0, 10)));
    EXPECT_EQ(heston_EuropeanCallPriceMC(100.0, 100.0, 1.0, 0.05, -0.7, 2.0, 0.04, 0.0, 0.3, 0.04,
                                         -3, 10),
              0.0);

    EXPECT_THROW(
        heston_EuropeanCallPriceMC(100.0, 100.0, 1.0, 0.05, -0.7, 2.0, 0.04, 0.0, 0.3, 0.04, 1, -1),
        std::length_error);
}
