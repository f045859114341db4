// LogMoment: the logarithm of the moment generating function of the Heston
// model's log price, E[exp(s X)] with X = ln(S_T / F) and F the forward, for complex s:
//     ln E[exp(s X)] = theta * A(s) + v0 * B(s),
// evaluated so that it stays on the principal branch for every maturity and is exact in the
// limits sigma -> 0, kappa -> 0 and d -> 0.
//
// References:
//   S. Heston, "A closed-form solution for options with stochastic volatility with
//     applications to bond and currency options", Rev. Financial Studies 6 (1993) 327-343.
//   H. Albrecher, P. Mayer, W. Schoutens and J. Tistaert, "The little Heston trap",
//     Wilmott Magazine (2007) 83-92 (the form with exp(-d T), which needs no branch tracking).
//
// With beta = kappa - rho sigma s, a = s^2 - s, d = sqrt(beta^2 - sigma^2 a) (real part >= 0),
// e = exp(-d T) and E = (1 - e)/d, the Riccati solutions of the little-trap form are
//     B = a E / (beta E + 1 + e),
//     A = kappa P (T - E log(1 + y)/y),   P = (beta - d)/sigma^2 = a/(beta + d),
//     y = sigma^2 P E / 2 = (1 - g e)/(1 - g) - 1,   g = (beta - d)/(beta + d).
// Written this way nothing is divided by sigma or d: E -> T as d -> 0, and log(1 + y)/y -> 1
// as sigma -> 0, where A and B become the deterministic-variance exponents. P uses whichever
// of its two forms does not cancel.
//
// The template runs on Complex for prices and on Derivatives<N> for exact derivatives with
// respect to kappa, sigma, rho and the maturity, whichever of them the caller seeds.
#pragma once

#include "contour/ComplexDerivatives.h"

namespace heston {

template <typename Number>
struct HestonExponent {
    Number perTheta;  // A(s): the exponent is theta * A + v0 * B
    Number perV0;     // B(s)
};

template <typename Number>
HestonExponent<Number> HestonCharacteristicExponent(Complex s, const Number& kappa,
                                                    const Number& sigma, const Number& rho,
                                                    const Number& maturity) {
    const Complex a = s * s - s;
    const Number beta = kappa - rho * sigma * s;
    const Number sigma2 = sigma * sigma;
    const Number d = Sqrt(beta * beta - sigma2 * a);
    const Number dT = d * maturity;
    const Number e = Exp(Complex{0.0, 0.0} - dT);
    // (1 - e)/d cancels only for small d T, where the series takes over.
    const Number E =
        Abs(ValueOf(dT)) < 0.1 ? maturity * ExpM1OverX(Complex{0.0, 0.0} - dT) : (1.0 - e) / d;
    HestonExponent<Number> result{Number{}, a * E / (beta * E + 1.0 + e)};

    const Number sum = beta + d;
    const Number difference = beta - d;
    if (Abs(ValueOf(sum)) == 0.0) {
        // kappa = sigma = 0: no mean reversion, so no theta term.
        result.perTheta = 0.0 * sum;
        return result;
    }
    const Number P = Abs(ValueOf(sum)) >= Abs(ValueOf(difference)) ? a / sum : difference / sigma2;
    const Number y = 0.5 * sigma2 * P * E;
    result.perTheta = kappa * P * (maturity - E * Log1POverX(y));
    return result;
}

}  // namespace heston
