// Reference Heston prices for the contour pricer's tests, computed independently of it: the
// two-probability form of the price,
//     call = S exp(-q T) P1 - K exp(-r T) P2,
//     Pj = 1/2 + 1/pi * integral over u in (0, inf) of Re[exp(-i u k) psi_j(u) / (i u)],
// with the characteristic function of the little Heston trap (Albrecher et al., 2007) along
// the real axis (psi_1(u) = psi(u - i), psi_2 = psi), in long double, by adaptive
// Gauss-Kronrod (7-15) quadrature (two_probability_quadrature.h).
//
// The puts come from the same probabilities, K exp(-r T) (1 - P2) - S exp(-q T) (1 - P1), so
// deep out-of-the-money prices of either type are differences of small numbers.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>

#include "two_probability_quadrature.h"

namespace reference {

struct HestonReference {
    long double spot, strike, maturity, rate, dividendYield;
    long double v0, theta, kappa, sigma, rho;
    int evaluations = 0;

    using C = std::complex<long double>;

    // psi(u) = E[exp(i u ln(S_T / F))].
    C Psi(C u) {
        ++evaluations;
        const C i(0.0L, 1.0L);
        const C xi = kappa - sigma * rho * i * u;
        const C d = std::sqrt(xi * xi + sigma * sigma * (u * u + i * u));
        const C g = (xi - d) / (xi + d);
        const C e = std::exp(-d * maturity);
        const long double s2 = sigma * sigma;
        const C c = kappa * theta / s2 *
                    ((xi - d) * maturity - 2.0L * std::log((1.0L - g * e) / (1.0L - g)));
        const C dd = (xi - d) / s2 * (1.0L - e) / (1.0L - g * e);
        return std::exp(c + dd * v0);
    }

    // Undiscounted call and put divided by the forward.
    void Probabilities(long double* p1, long double* p2) {
        const long double forward = spot * std::exp((rate - dividendYield) * maturity);
        auto psi = [this](C u) { return Psi(u); };
        TwoProbabilityQuadrature<decltype(psi)> quadrature(psi, std::log(strike / forward));
        quadrature.Probabilities(std::max(v0, theta) * maturity + 1e-6L, p1, p2);
    }

    long double Price(int optionType) {
        long double p1, p2;
        Probabilities(&p1, &p2);
        const long double s = spot * std::exp(-dividendYield * maturity);
        const long double x = strike * std::exp(-rate * maturity);
        return optionType == 1 ? s * p1 - x * p2 : x * (1.0L - p2) - s * (1.0L - p1);
    }
};

}  // namespace reference
