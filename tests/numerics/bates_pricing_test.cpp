// The contour pricer under the Bates model against independent references: a long-double
// quadrature of the Bates characteristic function and, with a deterministic variance, Merton's
// series (tests/support/bates_reference.h); the Heston pricer where there are no jumps; finite
// differences of its own prices for the jump Greeks; its single prices for the batch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/bates_reference.h"
#include "contour/ContourBatch.h"
#include "contour/ContourIntegration.h"
#include "contour/ContourPricer.h"
#include "vectormath/VectorMath.h"

namespace {

using heston::BatchOption;
using heston::BatesGreeks;
using heston::BatesParameters;
using heston::EuropeanGreeks;
using heston::EuropeanPrice;
using heston::EuropeanPrices;
using heston::JumpParameters;
using heston::ModelParameters;

constexpr double kSpot = 100.0, kRate = 0.03, kYield = 0.01;

reference::BatesReference::CallAndPut Reference(double K, double T, const BatesParameters& p) {
    const ModelParameters& m = p.heston;
    reference::BatesReference ref{
        kSpot,   K,       T,     kRate,          kYield,      m.v0,          m.theta,
        m.kappa, m.sigma, m.rho, p.jumps.lambda, p.jumps.muJ, p.jumps.deltaJ};
    return ref.Prices();
}

double Forward(double T) {
    return kSpot * std::exp((kRate - kYield) * T);
}

// Jumps rare and large, frequent and small, crash-like, upward and wide, and nearly fixed in
// size; with a calm, a volatile, a skewed-up and a strongly mean-reverting variance.
const BatesParameters kModels[] = {
    {{0.04, 0.04, 1.5, 0.3, -0.7}, {0.5, -0.15, 0.2}},
    {{0.09, 0.09, 5.0, 1.0, -0.5}, {4.0, 0.03, 0.05}},
    {{0.01, 0.05, 2.0, 0.4, -0.5}, {1.0, -0.3, 0.4}},
    {{0.2, 0.04, 0.5, 0.8, 0.5}, {0.2, 0.1, 0.6}},
    {{0.04, 0.06, 3.0, 0.5, -0.9}, {3.0, -0.05, 0.01}},
};

TEST(BatesPricing, AgreesWithLongDoubleQuadratureFromOneDayToThirtyYears) {
    // Strikes from a quarter to four forwards, calls and puts: within 1e-10 of the spot, and
    // prices above 1e-3 of the spot within 1e-10 of their own size.
    int compared = 0;
    for (double T : {1.0 / 365, 7.0 / 365, 0.1, 0.5, 1.0, 5.0, 10.0, 30.0}) {
        for (const BatesParameters& p : kModels) {
            // (The reference needs a tenth of a second and more for the far wings of the
            // shortest maturities, so those stay within 0.7 .. 1.5 forwards.)
            const bool short_ = T < 0.05;
            for (double moneyness : {short_ ? 0.7 : 0.25, 0.9, 1.15, short_ ? 1.5 : 4.0}) {
                const double K = moneyness * Forward(T);
                const reference::BatesReference::CallAndPut want = Reference(K, T, p);
                for (int type : {1, 2}) {
                    const double price = EuropeanPrice(type, kSpot, K, T, kRate, kYield, p);
                    const double expected = static_cast<double>(type == 1 ? want.call : want.put);
                    const double tolerance =
                        expected > 1e-3 * kSpot ? 1e-10 * expected : 1e-10 * kSpot;
                    EXPECT_NEAR(price, expected, tolerance) << "T " << T << " K " << K << " type "
                                                            << type << " lambda " << p.jumps.lambda;
                    ++compared;
                }
            }
        }
    }
    EXPECT_EQ(compared, 320);
    // The far wings of one day, where the jumps alone decide the price and the line must not
    // follow the diffusion's narrow distribution far out.
    for (double moneyness : {0.25, 4.0}) {
        const double T = 1.0 / 365, K = moneyness * Forward(T);
        const reference::BatesReference::CallAndPut want = Reference(K, T, kModels[0]);
        for (int type : {1, 2}) {
            EXPECT_NEAR(EuropeanPrice(type, kSpot, K, T, kRate, kYield, kModels[0]),
                        static_cast<double>(type == 1 ? want.call : want.put), 1e-10 * kSpot)
                << "one day, K " << K << " type " << type;
        }
    }
}

TEST(BatesPricing, MeetsMertonsSeriesAsSigmaVanishes) {
    // sigma = 0 leaves a deterministic variance (constant, or mean-reverting from v0 to
    // theta), and the model is Merton's jump diffusion; a tiny sigma moves the price by
    // orders below the goal. Also the jumps alone, without any variance.
    const JumpParameters jumpSets[] = {{0.5, -0.15, 0.2}, {4.0, 0.03, 0.05}, {1.0, -0.3, 0.0}};
    const ModelParameters variances[] = {
        {0.04, 0.04, 2.0, 0.0, -0.5}, {0.09, 0.02, 3.0, 0.0, 0.3}, {0.04, 0.04, 2.0, 1e-12, -0.5}};
    for (const JumpParameters& j : jumpSets) {
        for (const ModelParameters& m : variances) {
            for (double T : {1.0 / 365, 0.1, 1.0, 5.0, 30.0}) {
                for (double K : {60.0, 95.0, 100.0, 120.0, 200.0}) {
                    reference::BatesReference merton{kSpot,    K,       T,       kRate, kYield,
                                                     m.v0,     m.theta, m.kappa, 0.0,   0.0,
                                                     j.lambda, j.muJ,   j.deltaJ};
                    for (int type : {1, 2}) {
                        const double price =
                            EuropeanPrice(type, kSpot, K, T, kRate, kYield, BatesParameters{m, j});
                        EXPECT_NEAR(price, static_cast<double>(merton.MertonPrice(type)),
                                    1e-10 * kSpot)
                            << "T " << T << " K " << K << " type " << type << " sigma " << m.sigma
                            << " lambda " << j.lambda;
                    }
                }
            }
        }
    }
    // No diffusion at all: the jumps carry all of the variance.
    const ModelParameters none{0.0, 0.0, 1.0, 0.0, 0.0};
    for (double T : {0.1, 1.0}) {
        for (double K : {80.0, 100.0, 110.0}) {
            reference::BatesReference merton{kSpot, K,   T,   kRate, kYield, 0.0, 0.0,
                                             1.0,   0.0, 0.0, 0.5,   -0.15,  0.2};
            for (int type : {1, 2}) {
                const double price = EuropeanPrice(type, kSpot, K, T, kRate, kYield,
                                                   BatesParameters{none, {0.5, -0.15, 0.2}});
                EXPECT_NEAR(price, static_cast<double>(merton.MertonPrice(type)), 1e-10 * kSpot)
                    << "no diffusion, T " << T << " K " << K << " type " << type;
            }
        }
    }
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(BatesPricing, WithoutJumpsIsHestonBitForBit) {
    // lambda = 0, whatever the jump sizes: price, Greeks, implied volatility and batch are the
    // Heston pricer's to the last bit; d/dmuJ and d/ddeltaJ are 0 there, d/dlambda is not.
    const ModelParameters models[] = {
        {0.04, 0.04, 1.5, 0.3, -0.7}, {0.0, 0.09, 3.0, 0.5, -0.3}, {0.5, 0.3, 20.0, 0.5, 0.3}};
    std::vector<BatchOption> options;
    for (double T : {1.0 / 365, 0.5, 10.0}) {
        for (double K : {50.0, 95.0, 100.0, 130.0}) {
            options.push_back({1, K, T, kRate, kYield});
            options.push_back({2, K, T, kRate, kYield});
        }
    }
    for (const ModelParameters& m : models) {
        const BatesParameters bates{m, {0.0, -0.2, 0.3}};
        for (const BatchOption& o : options) {
            const double heston =
                EuropeanPrice(o.optionType, kSpot, o.strike, o.maturity, kRate, kYield, m);
            EXPECT_TRUE(SameBits(
                EuropeanPrice(o.optionType, kSpot, o.strike, o.maturity, kRate, kYield, bates),
                heston));
            const heston::Greeks g =
                EuropeanGreeks(o.optionType, kSpot, o.strike, o.maturity, kRate, kYield, m);
            const BatesGreeks b =
                EuropeanGreeks(o.optionType, kSpot, o.strike, o.maturity, kRate, kYield, bates);
            EXPECT_EQ(std::memcmp(&g, &b.heston, sizeof g), 0) << "K " << o.strike;
            EXPECT_EQ(b.dMuJ, 0.0);
            EXPECT_EQ(b.dDeltaJ, 0.0);
            if (heston > 1e-6) {
                EXPECT_NE(b.dLambda, 0.0);
            }
            if (o.strike == 130.0 && o.maturity >= 0.5) {
                EXPECT_TRUE(
                    SameBits(heston::ModelImpliedVolatility(o.optionType, kSpot, o.strike,
                                                            o.maturity, kRate, kYield, bates),
                             heston::ModelImpliedVolatility(o.optionType, kSpot, o.strike,
                                                            o.maturity, kRate, kYield, m)));
            }
        }
        const std::size_t n = options.size();
        std::vector<double> hestonPrices(n), hestonDerivatives(5 * n), prices(n),
            derivatives(8 * n), plain(n);
        EuropeanPrices(kSpot, m, options.data(), n, hestonPrices.data(), hestonDerivatives.data());
        EuropeanPrices(kSpot, bates, options.data(), n, prices.data(), derivatives.data());
        EuropeanPrices(kSpot, bates, options.data(), n, plain.data());
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_TRUE(SameBits(prices[i], hestonPrices[i])) << i;
            EXPECT_TRUE(SameBits(plain[i], hestonPrices[i])) << i;
            for (int j = 0; j < 5; ++j) {
                EXPECT_TRUE(SameBits(derivatives[8 * i + j], hestonDerivatives[5 * i + j]))
                    << i << " " << j;
            }
            const BatesGreeks b = EuropeanGreeks(options[i].optionType, kSpot, options[i].strike,
                                                 options[i].maturity, kRate, kYield, bates);
            EXPECT_NEAR(derivatives[8 * i + 5], b.dLambda, 1e-10 * kSpot) << i;
            EXPECT_EQ(derivatives[8 * i + 6], 0.0);
            EXPECT_EQ(derivatives[8 * i + 7], 0.0);
        }
    }
}

TEST(BatesPricing, FirstJumpOfADeterministicForward) {
    // No variance and no jumps yet (lambda = 0): the price is the discounted intrinsic value of
    // the forward, and d/dlambda the effect of the first jump, against a one-sided difference
    // of the jump model's prices at lambda = h, 2h (integrated, as lambda > 0 has no shortcut).
    const ModelParameters none{0.0, 0.0, 1.0, 0.3, -0.5};
    for (const JumpParameters& j :
         {JumpParameters{0.0, -0.1, 0.2}, JumpParameters{0.0, 0.05, 0.0}}) {
        for (double K : {80.0, 125.0}) {
            for (int type : {1, 2}) {
                const BatesGreeks g =
                    EuropeanGreeks(type, kSpot, K, 0.5, kRate, kYield, BatesParameters{none, j});
                auto price = [&](double lambda) {
                    return EuropeanPrice(type, kSpot, K, 0.5, kRate, kYield,
                                         BatesParameters{none, {lambda, j.muJ, j.deltaJ}});
                };
                const double h = 1e-4;
                const double numeric =
                    (-3.0 * g.heston.price + 4.0 * price(h) - price(2.0 * h)) / (2.0 * h);
                EXPECT_NEAR(g.dLambda, numeric, 1e-5 * std::fabs(numeric) + 1e-9)
                    << "K " << K << " type " << type << " muJ " << j.muJ;
            }
        }
    }
}

// A sixth-order central difference of f at x with step h.
double Derivative(const std::function<double(double)>& f, double x, double h) {
    return (45.0 * (f(x + h) - f(x - h)) - 9.0 * (f(x + 2 * h) - f(x - 2 * h)) +
            (f(x + 3 * h) - f(x - 3 * h))) /
           (60.0 * h);
}

TEST(BatesPricing, JumpGreeksMatchFiniteDifferences) {
    // The three jump derivatives, and the Greeks whose integrands the jumps change (theta
    // through the maturity, delta and gamma through the strike), within 1e-7 of their size;
    // the price that comes with the Greeks is the price.
    int compared = 0;
    for (const BatesParameters& p : kModels) {
        for (double T : {7.0 / 365, 0.5, 5.0}) {
            for (double K : {70.0, 100.0, 125.0}) {
                for (int type : {1, 2}) {
                    const BatesGreeks g = EuropeanGreeks(type, kSpot, K, T, kRate, kYield, p);
                    EXPECT_EQ(g.heston.price, EuropeanPrice(type, kSpot, K, T, kRate, kYield, p));
                    auto jumpsAt = [&](int which) {
                        return [&, which](double x) {
                            BatesParameters q = p;
                            (which == 0   ? q.jumps.lambda
                             : which == 1 ? q.jumps.muJ
                                          : q.jumps.deltaJ) = x;
                            return EuropeanPrice(type, kSpot, K, T, kRate, kYield, q);
                        };
                    };
                    const double numeric[3] = {
                        Derivative(jumpsAt(0), p.jumps.lambda, 1e-3 * p.jumps.lambda),
                        Derivative(jumpsAt(1), p.jumps.muJ, 1e-3),
                        Derivative(jumpsAt(2), p.jumps.deltaJ, 1e-3 * p.jumps.deltaJ)};
                    const double analytic[3] = {g.dLambda, g.dMuJ, g.dDeltaJ};
                    const char* names[3] = {"dLambda", "dMuJ", "dDeltaJ"};
                    for (int j = 0; j < 3; ++j) {
                        EXPECT_NEAR(analytic[j], numeric[j],
                                    1e-7 * std::fabs(numeric[j]) + 1e-11 * kSpot)
                            << names[j] << " T " << T << " K " << K << " type " << type
                            << " lambda " << p.jumps.lambda;
                        ++compared;
                    }
                    const double theta = -Derivative(
                        [&](double t) {
                            return EuropeanPrice(type, kSpot, K, t, kRate, kYield, p);
                        },
                        T, 1e-3 * T);
                    EXPECT_NEAR(g.heston.theta, theta, 1e-7 * std::fabs(theta) + 1e-10 * kSpot)
                        << "theta T " << T << " K " << K;
                    const double delta = Derivative(
                        [&](double s) { return EuropeanPrice(type, s, K, T, kRate, kYield, p); },
                        kSpot, 1e-3 * kSpot);
                    EXPECT_NEAR(g.heston.delta, delta, 1e-7 * std::fabs(delta) + 1e-11)
                        << "delta T " << T << " K " << K;
                }
            }
        }
    }
    EXPECT_EQ(compared, 5 * 3 * 3 * 2 * 3);
}

TEST(BatesPricing, BatchMatchesSinglePrices) {
    // A surface with options of several maturities that share lines, invalid options among
    // them (NaN in their slots), on the batch's own threads or not: prices as single prices,
    // the eight derivatives as the Greeks'.
    const BatesParameters p{{0.03, 0.05, 2.0, 0.6, -0.6}, {0.8, -0.1, 0.15}};
    std::vector<BatchOption> options;
    for (double T : {14.0 / 365, 0.25, 1.0, 3.0}) {
        for (double K : {60.0, 80.0, 90.0, 95.0, 100.0, 105.0, 110.0, 130.0, 160.0}) {
            options.push_back({K < 100.0 ? 2 : 1, K, T, kRate, kYield});
        }
    }
    options.push_back({3, 100.0, 1.0, kRate, kYield});
    options.push_back({1, -5.0, 1.0, kRate, kYield});
    const std::size_t n = options.size();
    std::vector<double> prices(n), derivatives(8 * n);
    EuropeanPrices(kSpot, p, options.data(), n, prices.data(), derivatives.data());
    for (std::size_t i = 0; i < n; ++i) {
        const BatchOption& o = options[i];
        if (o.optionType == 3 || o.strike < 0.0) {
            EXPECT_TRUE(std::isnan(prices[i]));
            for (int j = 0; j < 8; ++j) EXPECT_TRUE(std::isnan(derivatives[8 * i + j]));
            continue;
        }
        const BatesGreeks g =
            EuropeanGreeks(o.optionType, kSpot, o.strike, o.maturity, kRate, kYield, p);
        EXPECT_NEAR(prices[i], g.heston.price, 1e-13 * kSpot) << i;
        const double want[8] = {g.heston.dV0,  g.heston.dTheta, g.heston.dKappa, g.heston.dSigma,
                                g.heston.dRho, g.dLambda,       g.dMuJ,          g.dDeltaJ};
        for (int j = 0; j < 8; ++j) {
            EXPECT_NEAR(derivatives[8 * i + j], want[j], 1e-9 * std::fabs(want[j]) + 1e-12 * kSpot)
                << i << " " << j;
        }
    }
}

TEST(BatesPricing, SameBitsAtBothVectorWidths) {
    // The jump kernels keep the pricer's promise: SSE2's two lanes and AVX2's four give the
    // same prices, Greeks and batches, bit for bit.
#if HESTON_VMATH_AVX2
    if (!heston::vmath::HasAvx2()) GTEST_SKIP() << "this processor runs the SSE2 loops only";
#else
    GTEST_SKIP() << "built without the AVX2 loops";
#endif
    namespace contour = heston::contour;
    using heston::VectorWidth;
    for (const BatesParameters& p : {kModels[0], kModels[2], kModels[4]}) {
        std::vector<BatchOption> options;
        for (double T : {1.0 / 365, 0.25, 30.0}) {
            for (double K : {40.0, 95.0, 100.0, 250.0}) {
                for (int type : {1, 2}) {
                    const contour::Market market = contour::MakeMarket(kSpot, K, T, kRate, kYield);
                    const double a = contour::OptionPrice(type, market, p, VectorWidth::kSse2);
                    const double b = contour::OptionPrice(type, market, p, VectorWidth::kWidest);
                    EXPECT_TRUE(SameBits(a, b)) << "T " << T << " K " << K;
                    const BatesGreeks ga =
                        contour::OptionGreeks(type, market, p, VectorWidth::kSse2);
                    const BatesGreeks gb =
                        contour::OptionGreeks(type, market, p, VectorWidth::kWidest);
                    EXPECT_EQ(std::memcmp(&ga, &gb, sizeof ga), 0) << "T " << T << " K " << K;
                    options.push_back({type, K, T, kRate, kYield});
                }
            }
        }
        const std::size_t n = options.size();
        std::vector<double> sse2(9 * n), widest(9 * n);
        contour::PriceOptions(kSpot, p, options.data(), n, sse2.data(), sse2.data() + n,
                              heston::Serial(), VectorWidth::kSse2);
        contour::PriceOptions(kSpot, p, options.data(), n, widest.data(), widest.data() + n,
                              heston::Serial(), VectorWidth::kWidest);
        EXPECT_EQ(std::memcmp(sse2.data(), widest.data(), sse2.size() * sizeof(double)), 0);
    }
}

TEST(BatesPricing, RefusesInvalidJumpsWithTheirNames) {
    const ModelParameters m{0.04, 0.04, 1.5, 0.3, -0.7};
    const std::pair<JumpParameters, std::string> cases[] = {
        {{-0.1, 0.0, 0.1}, "lambda"},
        {{NAN, 0.0, 0.1}, "lambda"},
        {{INFINITY, 0.0, 0.1}, "lambda"},
        {{0.5, NAN, 0.1}, "muJ"},
        {{0.5, -INFINITY, 0.1}, "muJ"},
        {{0.5, 0.0, -0.1}, "deltaJ"},
        {{0.5, 0.0, NAN}, "deltaJ"},
        {{0.5, 0.0, 40.0}, "deltaJ"},  // exp(deltaJ^2 / 2) overflows: no mean jump
    };
    for (const auto& c : cases) {
        const BatesParameters p{m, c.first};
        auto expectNamed = [&](const std::function<void()>& call, const char* what) {
            try {
                call();
                ADD_FAILURE() << what << " accepted " << c.second;
            } catch (const std::invalid_argument& e) {
                EXPECT_NE(std::string(e.what()).find(c.second), std::string::npos)
                    << what << ": " << e.what();
            }
        };
        expectNamed([&] { EuropeanPrice(1, kSpot, 100.0, 1.0, kRate, kYield, p); }, "price");
        expectNamed([&] { EuropeanGreeks(1, kSpot, 100.0, 1.0, kRate, kYield, p); }, "Greeks");
        expectNamed([&] { heston::ModelImpliedVolatility(1, kSpot, 100.0, 1.0, kRate, kYield, p); },
                    "implied volatility");
        expectNamed(
            [&] {
                const BatchOption o{1, 100.0, 1.0, kRate, kYield};
                double price;
                EuropeanPrices(kSpot, p, &o, 1, &price);
            },
            "batch");
    }
    // The Heston parameters are still checked by name.
    EXPECT_THROW(EuropeanPrice(1, kSpot, 100.0, 1.0, kRate, kYield,
                               BatesParameters{{0.04, 0.04, 1.5, 0.3, -1.5}, {0.5, 0.0, 0.1}}),
                 std::invalid_argument);
}

}  // namespace
