// Black-Scholes implied volatility (heston::BlackImpliedVolatility) and the normalised Black
// function under it, against a Black formula written here in long double (64-bit mantissa):
// round trips volatility -> price -> volatility, long-double bisection on quoted prices,
// put-call parity and symmetry, and the rejected inputs.
//
// Tolerance of a recovered volatility sigma from a price P rounded to double:
//   max(1e-13, 16 eps P / (sigma vega)),   vega = dP/dsigma.
// The second term is what the rounding of P itself allows any inversion (a relative change of
// eps in P moves sigma by eps P / vega); it exceeds 1e-13 only where P / (sigma vega) > 28:
// in the money, where the intrinsic value dominates the price, and out of the money where
// sigma sqrt(T) is so large that the price sits next to its upper bound. Within 8 ulps of a
// bound the price does not determine a volatility; there the function may throw instead.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

#include "blackscholes/NormalisedBlack.h"
#include "contour/ContourPricer.h"

namespace {

using Real = long double;

constexpr double kEps = std::numeric_limits<double>::epsilon();

Real Cdf(Real z) {
    return 0.5L * std::erfc(-z / std::sqrt(2.0L));
}

struct Option {
    int type;  // 1 call, 2 put
    double spot, strike, maturity, rate, dividendYield;
};

Real DiscountedSpot(const Option& o) {
    return o.spot * std::exp(-static_cast<Real>(o.dividendYield) * o.maturity);
}

Real DiscountedStrike(const Option& o) {
    return o.strike * std::exp(-static_cast<Real>(o.rate) * o.maturity);
}

Real D1(const Option& o, Real vol) {
    const Real sqrtT = std::sqrt(static_cast<Real>(o.maturity));
    const Real logMoneyness = std::log(static_cast<Real>(o.spot) / o.strike) +
                              (static_cast<Real>(o.rate) - o.dividendYield) * o.maturity;
    return logMoneyness / (vol * sqrtT) + 0.5L * vol * sqrtT;
}

Real BlackPrice(const Option& o, Real vol) {
    const Real d1 = D1(o, vol);
    const Real d2 = d1 - vol * std::sqrt(static_cast<Real>(o.maturity));
    if (o.type == 1) {
        return DiscountedSpot(o) * Cdf(d1) - DiscountedStrike(o) * Cdf(d2);
    }
    return DiscountedStrike(o) * Cdf(-d2) - DiscountedSpot(o) * Cdf(-d1);
}

Real BlackVega(const Option& o, Real vol) {
    const Real d1 = D1(o, vol);
    return DiscountedSpot(o) * std::exp(-0.5L * d1 * d1) / std::sqrt(2.0L * M_PI) *
           std::sqrt(static_cast<Real>(o.maturity));
}

Real LowerBound(const Option& o) {
    const Real intrinsic = o.type == 1 ? DiscountedSpot(o) - DiscountedStrike(o)
                                       : DiscountedStrike(o) - DiscountedSpot(o);
    return intrinsic > 0 ? intrinsic : 0;
}

Real UpperBound(const Option& o) {
    return o.type == 1 ? DiscountedSpot(o) : DiscountedStrike(o);
}

double Tolerance(const Option& o, double price, double vol) {
    return std::fmax(1e-13, static_cast<double>(16 * kEps * price / (vol * BlackVega(o, vol))));
}

bool WithinUlpsOfBound(const Option& o, double price) {
    return price - LowerBound(o) <= 8 * kEps * price || UpperBound(o) - price <= 8 * kEps * price;
}

// The volatility of a price by bisection on the long-double formula.
Real BisectedVolatility(const Option& o, double price) {
    Real low = 1e-9L, high = 100.0L;
    for (int i = 0; i < 200 && high - low > 0; ++i) {
        const Real middle = 0.5L * (low + high);
        (BlackPrice(o, middle) < price ? low : high) = middle;
    }
    return 0.5L * (low + high);
}

double Implied(const Option& o, double price) {
    return heston::BlackImpliedVolatility(o.type, price, o.spot, o.strike, o.maturity, o.rate,
                                          o.dividendYield);
}

void ExpectThrowNaming(const std::function<void()>& call, const std::string& name) {
    try {
        call();
        ADD_FAILURE() << "no exception; expected one naming " << name;
    } catch (const std::exception& error) {
        EXPECT_NE(std::string(error.what()).find(name), std::string::npos)
            << "message: " << error.what() << "; expected it to name " << name;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The normalised Black function and erfcx.

TEST(NormalisedBlack, ScaledErfcMatchesLongDouble) {
    for (double z : {-5.0, -1.0, -0.3, 0.0, 0.2, 1.0, 3.0, 7.0, 11.99, 12.0, 12.01, 20.0, 30.0}) {
        const Real expected = std::exp(static_cast<Real>(z) * z) * std::erfc(static_cast<Real>(z));
        const double calculated = heston::blackscholes::ScaledErfc(z);
        EXPECT_NEAR(calculated / expected - 1, 0.0, 4 * kEps)
            << "z " << z << " calculated " << calculated << " expected " << expected;
    }
}

// Points on both sides of every region boundary (h = -10, t = 0.21, h + t = 0.85). The tolerance
// grows with the exponent (h^2 + t^2)/2: rounding x/s by half an ulp moves b by that many ulps.
TEST(NormalisedBlack, MatchesLongDoubleInEveryRegion) {
    for (double x : {0.0, -1e-3, -0.01, -0.1, -0.5, -1.0, -2.0, -3.0, -6.0, -10.0, -30.0}) {
        for (double s : {0.02, 0.05, 0.1, 0.2, 0.4, 0.42, 0.44, 0.6, 1.0, 1.7, 2.0, 3.0, 5.0, 10.0,
                         20.0, 40.0}) {
            const Real h = static_cast<Real>(x) / s, t = 0.5L * s;
            const Real exponent = 0.5L * (h * h + t * t);
            if (exponent > 600) {
                continue;
            }
            const Real expected =
                std::exp(0.5L * x) * Cdf(h + t) - std::exp(-0.5L * x) * Cdf(h - t);
            const auto b = heston::blackscholes::NormalisedBlackCall(x, s);
            const double tolerance = 8 * kEps * (4 + static_cast<double>(exponent));
            EXPECT_NEAR(b.Value() / expected - 1, 0.0, tolerance) << "x " << x << " s " << s;
            EXPECT_NEAR(b.LogValue() - std::log(expected), 0.0, tolerance)
                << "x " << x << " s " << s;
            const Real vega = std::exp(-exponent) / std::sqrt(2.0L * M_PI);
            EXPECT_NEAR(b.vegaOverValue / (vega / expected) - 1, 0.0, tolerance)
                << "x " << x << " s " << s;
            const Real complement = std::exp(0.5L * x) - expected;
            EXPECT_NEAR(heston::blackscholes::NormalisedBlackCallComplement(x, s) / complement - 1,
                        0.0, tolerance / complement)
                << "x " << x << " s " << s;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Accuracy.

// Volatilities 0.001-5, maturities one day to 30 years, standardised moneyness
// ln(F/K)/(sigma sqrt T) from -10 to 10, calls and puts, with r = q, r > q and q > r.
TEST(BlackImpliedVolatility, RoundTripsOverVolatilityMaturityAndMoneyness) {
    const double rates[][2] = {{0.0, 0.0}, {0.05, 0.01}, {0.01, 0.04}};
    const double vols[] = {0.001, 0.003, 0.01, 0.05, 0.2, 0.5, 1.0, 2.0, 5.0};
    const double maturities[] = {1.0 / 365, 7.0 / 365, 0.25, 1.0, 5.0, 30.0};
    const double moneyness[] = {-10, -7, -4, -2, -1, -0.3, 0, 0.3, 1, 2, 4, 7, 10};
    int checked = 0, relaxed = 0, atBound = 0;
    for (const auto& rq : rates) {
        for (double vol : vols) {
            for (double T : maturities) {
                for (double k : moneyness) {
                    for (int type : {1, 2}) {
                        const double spot = 100.0;
                        const Real forward =
                            spot * std::exp((static_cast<Real>(rq[0]) - rq[1]) * T);
                        const double strike =
                            static_cast<double>(forward * std::exp(-k * vol * std::sqrt(T)));
                        const Option o{type, spot, strike, T, rq[0], rq[1]};
                        const double price = static_cast<double>(BlackPrice(o, vol));
                        const double tolerance = Tolerance(o, price, vol);
                        const auto where = [&] {
                            return "type " + std::to_string(type) + " vol " + std::to_string(vol) +
                                   " T " + std::to_string(T) + " k " + std::to_string(k) + " r " +
                                   std::to_string(rq[0]) + " q " + std::to_string(rq[1]);
                        };
                        if (WithinUlpsOfBound(o, price)) {
                            ++atBound;
                            try {
                                const double implied = Implied(o, price);
                                EXPECT_NEAR(implied / vol - 1, 0.0, tolerance) << where();
                            } catch (const std::domain_error&) {
                            }
                            continue;
                        }
                        ++checked;
                        relaxed += tolerance > 1e-13;
                        const double implied = Implied(o, price);
                        EXPECT_NEAR(implied / vol - 1, 0.0, tolerance)
                            << where() << " price " << price << " implied " << implied;
                    }
                }
            }
        }
    }
    // Of the 4212 points about 2770 are held to 1e-13, about 1000 (in the money, or sigma sqrt(T)
    // of several units) to the rounding of their price, and 450 sit within 8 ulps of a bound.
    const int total = checked + atBound;
    EXPECT_GE(checked - relaxed, 6 * total / 10);
}

// The reference volatility of a quoted price is found by bisection on the long-double formula.
TEST(BlackImpliedVolatility, MatchesLongDoubleBisectionOnQuotedPrices) {
    const struct {
        Option option;
        double price;
    } quotes[] = {
        {{1, 100, 100, 1.0, 0.05, 0.0}, 10.0},    {{2, 100, 100, 1.0, 0.05, 0.0}, 5.0},
        {{1, 100, 150, 0.5, 0.02, 0.01}, 0.01},   {{2, 100, 60, 0.5, 0.03, 0.01}, 1e-6},
        {{1, 100, 250, 0.02, 0.0, 0.0}, 1e-40},   {{2, 100, 140, 1.0, 0.0, 0.0}, 40.5},
        {{1, 100, 80, 2.0, 0.01, 0.03}, 25.0},    {{1, 100, 100, 30.0, 0.03, 0.0}, 99.0},
        {{2, 100, 100, 10.0, -0.01, 0.02}, 70.0}, {{1, 1e-3, 2e-3, 1.0, 0.0, 0.0}, 1e-4},
        {{2, 5e6, 4e6, 0.003, 0.1, 0.0}, 3000.0}, {{1, 100, 100, 1.0 / 365, 0.0, 0.0}, 0.02},
    };
    for (const auto& quote : quotes) {
        const Option& o = quote.option;
        const Real expected = BisectedVolatility(o, quote.price);
        const double vol = static_cast<double>(expected);
        const double implied = Implied(o, quote.price);
        EXPECT_NEAR(implied / vol - 1, 0.0, Tolerance(o, quote.price, vol))
            << "type " << o.type << " price " << quote.price << " K " << o.strike << " T "
            << o.maturity << " implied " << implied << " expected " << vol;
    }
}

// A call and the put of the same volatility by parity give the same volatility; so do a call on
// (S, K, r, q) and a put on (K, S, q, r) at the same price, which have the same Black formula.
TEST(BlackImpliedVolatility, PutCallParityAndSymmetry) {
    for (double vol : {0.05, 0.3, 1.5}) {
        for (double strike : {90.0, 100.0, 115.0}) {
            const Option call{1, 100, strike, 0.75, 0.04, 0.02};
            const Option put{2, 100, strike, 0.75, 0.04, 0.02};
            const Real callPrice = BlackPrice(call, vol);
            const double putPrice =
                static_cast<double>(callPrice - DiscountedSpot(call) + DiscountedStrike(call));
            const double fromCall = Implied(call, static_cast<double>(callPrice));
            const double fromPut = Implied(put, putPrice);
            const double tolerance = std::fmax(Tolerance(call, static_cast<double>(callPrice), vol),
                                               Tolerance(put, putPrice, vol));
            EXPECT_NEAR(fromCall / vol - 1, 0.0, tolerance) << "vol " << vol << " K " << strike;
            EXPECT_NEAR(fromPut / vol - 1, 0.0, tolerance) << "vol " << vol << " K " << strike;

            const Option swapped{2, strike, 100, 0.75, 0.02, 0.04};
            const double fromSwapped = Implied(swapped, static_cast<double>(callPrice));
            EXPECT_NEAR(fromSwapped / fromCall - 1, 0.0, 4e-15) << "vol " << vol << " K " << strike;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Errors.

TEST(BlackImpliedVolatility, RejectsPricesOutsideTheNoArbitrageBounds) {
    const Option call{1, 100, 90, 1.0, 0.05, 0.02};
    const Option put{2, 100, 110, 1.0, 0.05, 0.02};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Option& o : {call, put}) {
        const double lower = static_cast<double>(LowerBound(o));
        const double upper = static_cast<double>(UpperBound(o));
        for (double price : {lower, 0.999 * lower, upper, 1.001 * upper, 0.0, -1.0, nan, inf}) {
            ExpectThrowNaming([&] { Implied(o, price); }, "price");
            EXPECT_THROW(Implied(o, price), std::domain_error) << "price " << price;
        }
    }
    // Out of the money the lower bound is 0.
    const Option otm{1, 100, 150, 1.0, 0.0, 0.0};
    ExpectThrowNaming([&] { Implied(otm, 0.0); }, "price");
    ExpectThrowNaming([&] { Implied(otm, 100.0); }, "price");
}

TEST(BlackImpliedVolatility, RejectsInvalidArgumentsNamingThem) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    using heston::BlackImpliedVolatility;
    for (double bad : {0.0, -100.0, nan, inf}) {
        ExpectThrowNaming([&] { BlackImpliedVolatility(1, 10, bad, 100, 1, 0.01, 0); }, "spot");
        ExpectThrowNaming([&] { BlackImpliedVolatility(1, 10, 100, bad, 1, 0.01, 0); }, "strike");
        ExpectThrowNaming([&] { BlackImpliedVolatility(1, 10, 100, 100, bad, 0.01, 0); },
                          "maturity");
    }
    for (double bad : {nan, inf, -inf}) {
        ExpectThrowNaming([&] { BlackImpliedVolatility(1, 10, 100, 100, 1, bad, 0); }, "rate");
        ExpectThrowNaming([&] { BlackImpliedVolatility(1, 10, 100, 100, 1, 0.01, bad); },
                          "dividendYield");
    }
    for (int type : {0, 3, -1}) {
        ExpectThrowNaming([&] { BlackImpliedVolatility(type, 10, 100, 100, 1, 0.01, 0); },
                          "optionType");
    }
    EXPECT_THROW(BlackImpliedVolatility(1, 10, -1, 100, 1, 0, 0), std::invalid_argument);
}
