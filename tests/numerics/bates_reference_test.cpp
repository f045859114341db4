// The Bates reference quadrature against two evaluations that share none of its jump code's
// route: Merton's series where the variance is deterministic (sigma = 0), from one day to
// thirty years; and, for a fixed jump size (deltaJ = 0) under stochastic variance, the
// Poisson-weighted sum of Heston reference prices with the spot scaled by the jumps. Without
// jumps it is the Heston reference.
#include "bates_reference.h"

#include <gtest/gtest.h>

#include <cmath>

#include "heston_reference_quadrature.h"

namespace {

using reference::BatesReference;

struct Jumps {
    long double lambda, muJ, deltaJ;
};

TEST(BatesReference, MeetsMertonsSeriesWhereTheVarianceIsDeterministic) {
    const Jumps jumpSets[] = {{0.5L, -0.15L, 0.2L}, {4.0L, 0.03L, 0.05L}, {1.0L, -0.3L, 0.0L}};
    // v0 = theta: constant volatility 0.2; v0 != theta: deterministic, mean-reverting variance.
    const long double variances[][3] = {{0.04L, 0.04L, 2.0L}, {0.09L, 0.02L, 3.0L}};
    int compared = 0;
    for (const Jumps& j : jumpSets) {
        for (const auto& v : variances) {
            for (long double maturity : {1.0L / 365.0L, 0.1L, 1.0L, 5.0L, 30.0L}) {
                for (long double strike : {60.0L, 95.0L, 100.0L, 120.0L, 200.0L}) {
                    BatesReference r{100.0L, strike, maturity, 0.03L,    0.01L, v[0],    v[1],
                                     v[2],   0.0L,   0.0L,     j.lambda, j.muJ, j.deltaJ};
                    const BatesReference::CallAndPut quadrature = r.Prices();
                    for (int type : {1, 2}) {
                        const long double series = r.MertonPrice(type);
                        EXPECT_NEAR(
                            static_cast<double>(type == 1 ? quadrature.call : quadrature.put),
                            static_cast<double>(series), 1e-13 * 100)
                            << "lambda " << static_cast<double>(j.lambda) << " T "
                            << static_cast<double>(maturity) << " K " << static_cast<double>(strike)
                            << " type " << type;
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_EQ(compared, 300);
}

TEST(BatesReference, FixedJumpSizesScaleTheHestonReference) {
    // With deltaJ = 0, n jumps multiply S(T) by exp(n muJ) and the compensator by
    // exp(-lambda m T), independently of the diffusion: the price is the Poisson-weighted sum of
    // Heston prices at the scaled spot (n <= 14 leaves out a weight below 1e-18).
    const long double lambda = 0.4L, muJ = -0.12L, maturity = 1.0L, mean = lambda * maturity;
    const long double m = std::expm1(muJ);
    for (long double strike : {80.0L, 115.0L}) {
        BatesReference bates{100.0L, strike, maturity, 0.02L,  0.0L, 0.04L, 0.05L,
                             1.5L,   0.5L,   -0.7L,    lambda, muJ,  0.0L};
        long double call = 0.0L, put = 0.0L;
        for (int n = 0; n <= 14; ++n) {
            const long double weight = std::exp(-mean + n * std::log(mean) - std::lgamma(n + 1.0L));
            const long double spot = 100.0L * std::exp(n * muJ - mean * m);
            reference::HestonReference heston{spot,  strike, maturity, 0.02L, 0.0L,
                                              0.04L, 0.05L,  1.5L,     0.5L,  -0.7L};
            long double p1, p2;
            heston.Probabilities(&p1, &p2);
            const long double x = strike * std::exp(-0.02L * maturity);
            call += weight * (spot * p1 - x * p2);
            put += weight * (x * (1.0L - p2) - spot * (1.0L - p1));
        }
        const BatesReference::CallAndPut prices = bates.Prices();
        EXPECT_NEAR(static_cast<double>(prices.call), static_cast<double>(call), 1e-13 * 100)
            << "K " << static_cast<double>(strike);
        EXPECT_NEAR(static_cast<double>(prices.put), static_cast<double>(put), 1e-13 * 100)
            << "K " << static_cast<double>(strike);
    }
}

TEST(BatesReference, WithoutJumpsIsTheHestonReference) {
    for (long double maturity : {1.0L / 365.0L, 1.0L, 30.0L}) {
        for (long double strike : {80.0L, 125.0L}) {
            // Jump sizes are irrelevant when no jump arrives.
            BatesReference bates{100.0L, strike, maturity, 0.03L, 0.01L, 0.09L, 0.022L,
                                 11.35L, 0.618L, -0.5L,    0.0L,  -0.2L, 0.3L};
            reference::HestonReference heston{100.0L, strike, maturity, 0.03L,  0.01L,
                                              0.09L,  0.022L, 11.35L,   0.618L, -0.5L};
            const BatesReference::CallAndPut prices = bates.Prices();
            for (int type : {1, 2}) {
                EXPECT_NEAR(static_cast<double>(type == 1 ? prices.call : prices.put),
                            static_cast<double>(heston.Price(type)), 1e-15 * 100)
                    << "T " << static_cast<double>(maturity) << " K "
                    << static_cast<double>(strike);
            }
        }
    }
}

}  // namespace
