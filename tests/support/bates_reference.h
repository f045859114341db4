// Reference prices of European options under the Bates model (Heston with lognormal jumps in the
// spot), computed independently of the library, for the tests of every Bates pricer:
//
// - Price: the two-probability form,
//     call = S exp(-q T) P1 - K exp(-r T) P2,
//     Pj = 1/2 + 1/pi * integral over u in (0, inf) of Re[exp(-i u k) psi_j(u) / (i u)],
//   psi_1(u) = psi(u - i), psi_2 = psi, k = ln(K / F), with
//     ln psi(u) = ln psi_Heston(u) + lambda T (exp(i u muJ - u^2 deltaJ^2 / 2) - 1 - i u m),
//   m = exp(muJ + deltaJ^2 / 2) - 1: Heston's characteristic function of ln(S_T / F) in the
//   form of the little Heston trap (Albrecher et al., 2007) and the compensated compound
//   Poisson term of Bates (1996). With sigma = 0 the variance is deterministic and the Heston
//   part is -(u^2 + i u) V / 2, V the integrated variance. In long double, by adaptive
//   Gauss-Kronrod (7-15) quadrature on intervals that double in width, until the modulus of
//   the integrand has fallen below 1e-24 and stays there over a whole interval. Puts come from
//   the same probabilities, K exp(-r T) (1 - P2) - S exp(-q T) (1 - P1).
//
// - MertonPrice (sigma = 0 only): Merton's series (Merton 1976), conditioning on the number of
//   jumps n: a Poisson(lambda T) weighted sum of Black prices with forward
//   F exp(-lambda m T + n muJ + n deltaJ^2 / 2) and total variance V + n deltaJ^2. A second,
//   quadrature-free check of the jump term.
//
// References:
//   D. S. Bates, "Jumps and stochastic volatility: exchange rate processes implicit in
//     Deutsche Mark options", Rev. Financial Studies 9 (1996) 69-107.
//   R. C. Merton, "Option pricing when underlying stock returns are discontinuous", Journal of
//     Financial Economics 3 (1976) 125-144.
//   H. Albrecher, P. Mayer, W. Schoutens and J. Tistaert, "The little Heston trap", Wilmott
//     Magazine (2007) 83-92.
//
// Tested in tests/numerics/bates_reference_test.cpp.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>

#include "two_probability_quadrature.h"

namespace reference {

// Undiscounted Black price of a call (type 1) or put (otherwise) on a lognormal variable of
// forward f and total log variance w >= 0.
inline long double BlackForwardPrice(int type, long double f, long double k, long double w) {
    if (w <= 0.0L) return type == 1 ? std::max(f - k, 0.0L) : std::max(k - f, 0.0L);
    const long double s = std::sqrt(w);
    const long double d1 = (std::log(f / k) + 0.5L * w) / s;
    const long double d2 = d1 - s;
    auto cdf = [](long double x) { return 0.5L * std::erfc(-x / std::sqrt(2.0L)); };
    return type == 1 ? f * cdf(d1) - k * cdf(d2) : k * cdf(-d2) - f * cdf(-d1);
}

struct BatesReference {
    long double spot, strike, maturity, rate, dividendYield;
    long double v0, theta, kappa, sigma, rho;
    long double lambda = 0.0L, muJ = 0.0L, deltaJ = 0.0L;
    int evaluations = 0;

    using C = std::complex<long double>;

    // E[exp(J)] - 1 for one jump J.
    long double MeanJump() const { return std::expm1(muJ + 0.5L * deltaJ * deltaJ); }

    // The integral of the variance over [0, T] when sigma = 0.
    long double DeterministicVariance() const {
        const long double x = kappa * maturity;
        const long double decayed =
            std::fabs(x) < 1e-8L ? maturity * (1.0L - 0.5L * x) : -std::expm1(-x) / kappa;
        return theta * maturity + (v0 - theta) * decayed;
    }

    // ln psi(u), psi(u) = E[exp(i u ln(S_T / F))].
    C LogPsi(C u) {
        ++evaluations;
        const C i(0.0L, 1.0L);
        C heston;
        if (sigma == 0.0L) {
            heston = -0.5L * (u * u + i * u) * DeterministicVariance();
        } else {
            const C xi = kappa - sigma * rho * i * u;
            const C d = std::sqrt(xi * xi + sigma * sigma * (u * u + i * u));
            const C g = (xi - d) / (xi + d);
            const C e = std::exp(-d * maturity);
            const long double s2 = sigma * sigma;
            const C c = kappa * theta / s2 *
                        ((xi - d) * maturity - 2.0L * std::log((1.0L - g * e) / (1.0L - g)));
            const C dd = (xi - d) / s2 * (1.0L - e) / (1.0L - g * e);
            heston = c + dd * v0;
        }
        if (lambda == 0.0L) return heston;
        const C jumps =
            lambda * maturity *
            (std::exp(i * u * muJ - 0.5L * u * u * deltaJ * deltaJ) - 1.0L - i * u * MeanJump());
        return heston + jumps;
    }

    void Probabilities(long double* p1, long double* p2) {
        const long double forward = spot * std::exp((rate - dividendYield) * maturity);
        auto psi = [this](C u) { return std::exp(LogPsi(u)); };
        TwoProbabilityQuadrature<decltype(psi)> quadrature(psi, std::log(strike / forward));
        // The first interval spans about one over the standard deviation of ln S_T.
        const long double variance = std::max(v0, theta) * maturity +
                                     lambda * maturity * (muJ * muJ + deltaJ * deltaJ) + 1e-6L;
        quadrature.Probabilities(variance, p1, p2);
    }

    struct CallAndPut {
        long double call, put;
    };

    // Both prices from one pair of probabilities.
    CallAndPut Prices() {
        long double p1, p2;
        Probabilities(&p1, &p2);
        const long double s = spot * std::exp(-dividendYield * maturity);
        const long double x = strike * std::exp(-rate * maturity);
        return {s * p1 - x * p2, x * (1.0L - p2) - s * (1.0L - p1)};
    }

    // type 1 a call, else a put.
    long double Price(int optionType) {
        const CallAndPut prices = Prices();
        return optionType == 1 ? prices.call : prices.put;
    }

    // Merton's series; sigma must be 0 (the variance deterministic).
    long double MertonPrice(int optionType) const {
        const long double forward = spot * std::exp((rate - dividendYield) * maturity);
        const long double variance = DeterministicVariance();
        const long double mean = lambda * maturity;
        const long double compensated = forward * std::exp(-mean * MeanJump());
        long double sum = 0.0L;
        for (int n = 0; n < 100000; ++n) {
            const long double weight =
                mean > 0.0L ? std::exp(-mean + n * std::log(mean) - std::lgamma(n + 1.0L))
                            : (n == 0 ? 1.0L : 0.0L);
            const long double shift = n * (muJ + 0.5L * deltaJ * deltaJ);
            sum += weight * BlackForwardPrice(optionType, compensated * std::exp(shift), strike,
                                              variance + n * deltaJ * deltaJ);
            // Past the mode a term is at most its weight times the larger of F e^shift and K.
            if (n > mean && weight * std::max(1.0L, std::exp(shift)) < 1e-30L) break;
        }
        return std::exp(-rate * maturity) * sum;
    }
};

}  // namespace reference
