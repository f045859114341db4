// Black-Scholes prices, implied volatility and vega against closed forms built on std::erfc,
// and the polynomial normal distribution against std::erfc.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "black_scholes_reference.h"
#include "blackscholes/BlackScholes.h"
#include "blackscholes/NormalDistribution.h"

namespace {

using test_support::ExactNormalCdf;
using test_support::ExactNormalDensity;

struct Market {
    double S, K, r, T, q;
};

double ExactCall(const Market& m, double s) {
    return test_support::BlackScholesCall(m.S, m.K, m.r, m.T, s, m.q);
}

double ExactPut(const Market& m, double s) {
    return test_support::BlackScholesPut(m.S, m.K, m.r, m.T, s, m.q);
}

const Market kAtTheMoney{100.0, 100.0, 0.05, 1.0, 0.0};

}  // namespace

TEST(BlackScholes, PricesAndVegaMatchErfcClosedForms) {
    const Market m{100.0, 90.0, 0.04, 0.75, 0.02};
    BlackScholes option(m.S, m.K, m.r, m.T, 0.0, 1, m.q);
    // The polynomial distribution is good to 7.5e-8, so prices to 7.5e-8 (S + K).
    const double priceTolerance = 7.5e-8 * (m.S + m.K);
    for (double s : {0.05, 0.2, 0.6, 1.5}) {
        EXPECT_NEAR(option.CallPrice(s), ExactCall(m, s), priceTolerance) << "vol " << s;
        EXPECT_NEAR(option.PutPrice(s), ExactPut(m, s), priceTolerance) << "vol " << s;
        EXPECT_NEAR(option.Vega(s), test_support::BlackScholesVega(m.S, m.K, m.r, m.T, s, m.q),
                    1e-10)
            << "vol " << s;
    }
}

TEST(BlackScholes, ImpliedVolatilityRecoversExactCallPriceAndVega) {
    const double price = ExactCall(kAtTheMoney, 0.2);
    EXPECT_NEAR(price, 10.4506, 1e-4);
    // Price error of the polynomial (< 1e-5) over a vega of 37.5 bounds the volatility error.
    const double vol = heston_impliedVol(100.0, 100.0, 0.05, 1.0, price, 1, 0.0, 1e-12);
    EXPECT_NEAR(vol, 0.2, 1e-6);
    // Vega = S sqrt(T) phi(d1) with d1 = (0.05 + 0.02) / 0.2 = 0.35.
    const double vega = heston_weightBSvega(100.0, 100.0, 0.05, 1.0, price, 1, 0.0);
    EXPECT_NEAR(vega, 100.0 * ExactNormalDensity(0.35), 1e-3);
    EXPECT_NEAR(vega, 37.524, 1e-3);
}

TEST(BlackScholes, EveryOptionTypeButOnePricesAPut) {
    const double putPrice = ExactPut(kAtTheMoney, 0.3);
    for (int type : {0, 2, -1}) {
        EXPECT_NEAR(heston_impliedVol(100.0, 100.0, 0.05, 1.0, putPrice, type, 0.0, 1e-12), 0.3,
                    1e-6)
            << "option type " << type;
    }
    // The same price read as a call is a lower volatility.
    EXPECT_LT(heston_impliedVol(100.0, 100.0, 0.05, 1.0, putPrice, 1, 0.0, 1e-12), 0.25);
}

TEST(BlackScholes, UnbracketedPricesEndAtTheNearerEndOfTheRange) {
    const double tooHigh = ExactCall(kAtTheMoney, 2.0) + 5.0;
    EXPECT_NEAR(heston_impliedVol(100.0, 100.0, 0.05, 1.0, tooHigh, 1, 0.0, 1e-10), 2.0, 1e-9);
    EXPECT_NEAR(heston_impliedVol(100.0, 100.0, 0.05, 1.0, 0.0001, 1, 0.0, 1e-10), 0.01, 1e-9);
}

TEST(NormalDistribution, CdfFollowsErfcWithinThePolynomialError) {
    for (double x = -7.0; x <= 7.0; x += 0.125) {
        EXPECT_NEAR(NormalCdf(x), ExactNormalCdf(x), 7.5e-8) << "x " << x;
    }
    // 1 - (1 - phi(0) * (sum of the five coefficients)), computed by hand.
    EXPECT_NEAR(NormalCdf(0.0), 0.4999999994751917, 1e-15);
    EXPECT_TRUE(std::isnan(NormalCdf(std::numeric_limits<double>::quiet_NaN())));
}

TEST(NormalDistribution, TailPiecesDoNotJoinMonotonically) {
    // Beyond 7 the asymptotic tail phi(x) / sqrt(x^2 + 1) takes over.
    const double x = -7.000001;
    const double tail = ExactNormalDensity(x) / std::sqrt(x * x + 1.0);
    EXPECT_NEAR(NormalCdf(x), tail, 1e-14 * tail);
    EXPECT_NEAR(NormalCdf(x), 1.2918e-12, 1e-15);
    EXPECT_NEAR(NormalCdf(-7.0), 1.2881e-12, 1e-15);
    EXPECT_GT(NormalCdf(-7.000001), NormalCdf(-7.0));
    EXPECT_LT(NormalCdf(7.000001), NormalCdf(7.0));
    EXPECT_NEAR(NormalCdf(-30.0), ExactNormalCdf(-30.0), 1e-3 * ExactNormalCdf(-30.0));
}
