// Black-Scholes prices and vega and the standard normal distribution in closed form, on
// std::erfc: the independent references of the tests for the library's polynomial normal
// distribution, its Black-Scholes functions and the Heston prices in the limit of constant
// variance.
#pragma once

#include <cmath>

namespace test_support {

// Standard normal distribution function.
inline double ExactNormalCdf(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

// Standard normal density.
inline double ExactNormalDensity(double x) {
    return std::exp(-0.5 * x * x) / std::sqrt(2.0 * M_PI);
}

// The arguments are in the order of the library's Black-Scholes functions: spot S, strike K,
// rate r, maturity T, volatility vol and dividend yield q.

inline double BlackScholesD1(double S, double K, double r, double T, double vol, double q = 0.0) {
    return (std::log(S / K) + (r - q + 0.5 * vol * vol) * T) / (vol * std::sqrt(T));
}

inline double BlackScholesCall(double S, double K, double r, double T, double vol, double q = 0.0) {
    const double d1 = BlackScholesD1(S, K, r, T, vol, q);
    const double d2 = d1 - vol * std::sqrt(T);
    return S * std::exp(-q * T) * ExactNormalCdf(d1) - K * std::exp(-r * T) * ExactNormalCdf(d2);
}

// The put by parity from the call.
inline double BlackScholesPut(double S, double K, double r, double T, double vol, double q = 0.0) {
    return BlackScholesCall(S, K, r, T, vol, q) - S * std::exp(-q * T) + K * std::exp(-r * T);
}

// dPrice / dVol, the same for a call and a put.
inline double BlackScholesVega(double S, double K, double r, double T, double vol, double q = 0.0) {
    return S * std::exp(-q * T) * ExactNormalDensity(BlackScholesD1(S, K, r, T, vol, q)) *
           std::sqrt(T);
}

// One option, for tests that check several quantities of it: the functions above on its
// market, in the same order of arguments.
struct BlackScholesOption {
    double S, K, r, T, vol, q = 0.0;

    double D1() const { return BlackScholesD1(S, K, r, T, vol, q); }
    double D2() const { return D1() - vol * std::sqrt(T); }
    double Call() const { return BlackScholesCall(S, K, r, T, vol, q); }
    double Put() const { return BlackScholesPut(S, K, r, T, vol, q); }
    double Vega() const { return BlackScholesVega(S, K, r, T, vol, q); }
    // type 1 a call, else a put.
    double Price(int type) const { return type == 1 ? Call() : Put(); }
};

}  // namespace test_support
