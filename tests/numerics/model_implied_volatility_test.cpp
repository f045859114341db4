// The model's smile: ModelImpliedVolatility against Black-Scholes prices of the accurate
// pricer and against the deterministic-variance limit, and as the inversion of the very price
// EuropeanPrice gives; and BlackVega, which turns price errors into volatility errors.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "black_scholes_reference.h"
#include "blackscholes/BlackVega.h"
#include "contour/ContourPricer.h"

namespace {

using heston::ModelParameters;
using test_support::BlackScholesCall;
using test_support::BlackScholesPut;
using test_support::BlackScholesVega;

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
                // Call and put have one smile, to the conditioning of the larger price: each
                // inverts its own price, whose rounding moves the volatility by eps P / vega.
                const double other = heston::EuropeanPrice(3 - type, S, K, T, r, q, m);
                const double vega = BlackScholesVega(S, K, r, T, vol, q);
                const double conditioning =
                    16.0 * std::numeric_limits<double>::epsilon() * std::fmax(model, other) / vega;
                EXPECT_NEAR(vol, heston::ModelImpliedVolatility(3 - type, S, K, T, r, q, m),
                            std::fmax(1e-14, conditioning))
                    << "T " << T << " K " << K;
            }
        }
    }
}

TEST(ModelImpliedVolatility, IsTheInversionOfThePriceTheUserSees) {
    // Calls and puts on either side of the money from a day to ten years, with skews of both
    // signs and a variance starting at 0: the smile is BlackImpliedVolatility of EuropeanPrice
    // to the last bit, and where that price has no implied volatility (no time value left
    // above the rounding of its intrinsic value) neither has the smile.
    const ModelParameters models[] = {
        {0.04, 0.06, 1.5, 0.6, -0.7}, {0.0, 0.04, 2.0, 1.0, 0.9}, {0.3, 0.1, 8.0, 1.2, 0.4}};
    const double S = 100.0, r = 0.03, q = 0.01;
    int inverted = 0, refused = 0;
    for (const ModelParameters& m : models) {
        for (double T : {1.0 / 365, 0.1, 1.0, 10.0}) {
            for (double K : {50.0, 80.0, 95.0, 100.0, 105.0, 125.0, 200.0}) {
                for (int type : {1, 2}) {
                    SCOPED_TRACE(testing::Message() << "type " << type << " T " << T << " K " << K
                                                    << " rho " << m.rho);
                    const double price = heston::EuropeanPrice(type, S, K, T, r, q, m);
                    double expected = std::numeric_limits<double>::quiet_NaN();
                    try {
                        expected = heston::BlackImpliedVolatility(type, price, S, K, T, r, q);
                    } catch (const std::exception&) {
                        EXPECT_THROW(heston::ModelImpliedVolatility(type, S, K, T, r, q, m),
                                     std::domain_error);
                        ++refused;
                        continue;
                    }
                    EXPECT_EQ(heston::ModelImpliedVolatility(type, S, K, T, r, q, m), expected);
                    ++inverted;
                }
            }
        }
    }
    EXPECT_GT(inverted, 120);
    EXPECT_GT(refused, 0);
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

TEST(BlackVega, IsTheSlopeOfTheBlackScholesPriceInTheVolatility) {
    // Against the closed form on erfc and against a central difference of the call's price,
    // with a dividend yield, from a week to ten years and far either side of the money.
    for (double T : {7.0 / 365, 1.0, 10.0}) {
        for (double K : {50.0, 100.0, 180.0}) {
            for (double vol : {0.05, 0.3, 1.2}) {
                const double vega = heston::BlackVega(100.0, K, T, 0.03, 0.01, vol);
                EXPECT_NEAR(vega, BlackScholesVega(100.0, K, 0.03, T, vol, 0.01), 1e-13 * 100.0)
                    << "T " << T << " K " << K << " vol " << vol;
                const double h = 1e-5;
                const double slope = (BlackScholesCall(100.0, K, 0.03, T, vol + h, 0.01) -
                                      BlackScholesCall(100.0, K, 0.03, T, vol - h, 0.01)) /
                                     (2.0 * h);
                EXPECT_NEAR(vega, slope, 1e-6 * (1.0 + vega))
                    << "T " << T << " K " << K << " vol " << vol;
            }
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
        heston::ModelImpliedVolatility(1, 100, 100, 1, 0.0, 0.0,
                                       heston::ModelParameters{0.04, 0.06, 1.5, 0.6, 2.0});
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("rho"), std::string::npos);
    }
    // Maturity 0 leaves no time value to invert.
    EXPECT_THROW(heston::ModelImpliedVolatility(1, 100, 100, 0.0, 0.0, 0.0, m), std::exception);
}

}  // namespace
