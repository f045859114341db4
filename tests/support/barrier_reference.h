// Black-Scholes prices of single-barrier options under continuous monitoring, with a rebate:
// the formulas of E. Reiner and M. Rubinstein, "Breaking down the barriers", Risk 4(8), 1991,
// written here from the paper's building blocks A to F. The independent reference of the
// finite-difference barrier prices in the limit of constant variance (sigma -> 0, v0 = theta).
//
// Knock-outs pay the rebate at the hit; knock-ins pay it at maturity when they never knock in.
#pragma once

#include <cmath>

#include "black_scholes_reference.h"

namespace test_support {

enum class ReferenceBarrier { DownOut, DownIn, UpOut, UpIn };

// call: true for a call; spot S, strike X, barrier H, rebate R, rate r, dividend yield q,
// maturity T, volatility vol. The spot must lie on the live side of the barrier.
inline double ReinerRubinsteinPrice(ReferenceBarrier type, bool call, double S, double X, double H,
                                    double R, double r, double q, double T, double vol) {
    const double phi = call ? 1.0 : -1.0;
    const bool down = type == ReferenceBarrier::DownOut || type == ReferenceBarrier::DownIn;
    const double eta = down ? 1.0 : -1.0;
    const double b = r - q;
    const double sT = vol * std::sqrt(T);
    const double mu = (b - 0.5 * vol * vol) / (vol * vol);
    const double lambda = std::sqrt(mu * mu + 2.0 * r / (vol * vol));
    const double x1 = std::log(S / X) / sT + (1.0 + mu) * sT;
    const double x2 = std::log(S / H) / sT + (1.0 + mu) * sT;
    const double y1 = std::log(H * H / (S * X)) / sT + (1.0 + mu) * sT;
    const double y2 = std::log(H / S) / sT + (1.0 + mu) * sT;
    const double z = std::log(H / S) / sT + lambda * sT;
    const double carry = S * std::exp((b - r) * T), discount = X * std::exp(-r * T);
    const double hs = H / S;
    auto N = ExactNormalCdf;
    const double A = phi * carry * N(phi * x1) - phi * discount * N(phi * x1 - phi * sT);
    const double B = phi * carry * N(phi * x2) - phi * discount * N(phi * x2 - phi * sT);
    const double C = phi * carry * std::pow(hs, 2.0 * (mu + 1.0)) * N(eta * y1) -
                     phi * discount * std::pow(hs, 2.0 * mu) * N(eta * y1 - eta * sT);
    const double D = phi * carry * std::pow(hs, 2.0 * (mu + 1.0)) * N(eta * y2) -
                     phi * discount * std::pow(hs, 2.0 * mu) * N(eta * y2 - eta * sT);
    const double E = R * std::exp(-r * T) *
                     (N(eta * x2 - eta * sT) - std::pow(hs, 2.0 * mu) * N(eta * y2 - eta * sT));
    const double F = R * (std::pow(hs, mu + lambda) * N(eta * z) +
                          std::pow(hs, mu - lambda) * N(eta * z - 2.0 * eta * lambda * sT));
    const bool above = X > H;
    switch (type) {
        case ReferenceBarrier::DownIn:
            if (call) return above ? C + E : A - B + D + E;
            return above ? B - C + D + E : A + E;
        case ReferenceBarrier::UpIn:
            if (call) return above ? A + E : B - C + D + E;
            return above ? A - B + D + E : C + E;
        case ReferenceBarrier::DownOut:
            if (call) return above ? A - C + F : B - D + F;
            return above ? A - B + C - D + F : F;
        case ReferenceBarrier::UpOut:
        default:
            if (call) return above ? F : A - B + C - D + F;
            return above ? B - D + F : A - C + F;
    }
}

}  // namespace test_support
