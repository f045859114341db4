// ProbabilityExponent: A_j(phi) = C_j + D_j v, the exponent of the Heston characteristic
// function f_j = exp(A_j + i phi ln S), without the drift term r phi tau i, for one parameter
// set and maturity; probability j = 0 is taken under the share measure, j = 1 under the
// risk-neutral one.
//
// One formula, written with the operations of ComplexArithmetic.h, evaluates a single point
// (scalar form, double) or a vector of grid points (vector form, two or four lanes). The steps
// and their order are those of HestonIntegrand, and the scalar form handles every range itself.
// A lane of the vector form whose operands leave the range of the plain formulas, or whose
// result is not finite, has its bit in `plain` cleared; the caller evaluates that point again
// with the scalar form.
//
// References: S. L. Heston, "A closed-form solution for options with stochastic volatility
// with applications to bond and currency options", Rev. Financial Studies 6 (1993); the
// arrangement with exp(-d tau) follows H. Albrecher et al., "The little Heston trap" (2007).
#pragma once

#include "model/ModelParameters.h"
#include "vectormath/ComplexArithmetic.h"
#include "vectormath/VectorMath.h"

// Four-lane vectors pass between these inline functions only inside AVX2 code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {
namespace closedform {

// The exponent is written in the complex arithmetic of both forms.
using namespace vmath;

// Re(C_j + D_j v), and the imaginary parts of C_j (without the drift) and of D_j v apart, so
// that a single price can add the drift and spot phases in HestonIntegrand's order.
template <class T>
struct ExponentParts {
    T re;
    T imC;
    T imDv;
};

struct CharacteristicExponent {
    double tau;
    double v;
    double sigma2;
    double aOverSigma2;
    double rhoSigma;
    double b[2];
    double twoU[2];

    CharacteristicExponent(double tau, const heston::ModelParameters& p, double lambda)
        : tau(tau),
          v(p.v0),
          sigma2(p.sigma * p.sigma),
          aOverSigma2((p.kappa * p.theta) / (p.sigma * p.sigma)),
          rhoSigma(p.rho * p.sigma),
          b{p.kappa + lambda - p.rho * p.sigma, p.kappa + lambda},
          twoU{1.0, -1.0} {}

    // The parts of A_j at phi: one point (T = double) or a vector of points.
    template <class T>
    HESTON_VMATH_INLINE ExponentParts<T> PartsAt(int j, T phi, PlainMask<T>& plain) const {
        const T zero = Broadcast<T>(0.0);
        const T qIm = Broadcast<T>(rhoSigma) * phi;  // q = i rho sigma phi
        const T bj = Broadcast<T>(b[j]);
        // d = sqrt((q - b)^2 - sigma^2 (2 u phi i - phi^2))
        const T mb = zero - bj;
        const T squareRe = mb * mb - qIm * qIm;
        const T squareIm = mb * qIm + qIm * mb;
        const T uTerm = Broadcast<T>(twoU[j]) * phi;
        const T phi2 = zero - phi * phi;
        const T s2 = Broadcast<T>(sigma2);
        const ComplexParts<T> d =
            Sqrt(ComplexParts<T>{squareRe - s2 * phi2, squareIm - s2 * uTerm}, plain);

        const ComplexParts<T> bqMinusD{bj - d.re, (zero - qIm) - d.im};
        const ComplexParts<T> bqPlusD{bj + d.re, (zero - qIm) + d.im};
        // With exp(-d tau) and g = (b - q - d) / (b - q + d), |g exp(-d tau)| < 1 and the
        // logarithm stays on its principal branch for long maturities.
        const ComplexParts<T> g = Div(bqMinusD, bqPlusD, plain);
        const T t = Broadcast<T>(tau);
        const ComplexParts<T> E = Polar(RealExp(Negate(d.re) * t), Negate(d.im) * t, plain);
        const ComplexParts<T> gE = Mul(g, E);
        const T one = Broadcast<T>(1.0);
        const ComplexParts<T> oneMinusGE{one - gE.re, zero - gE.im};
        const ComplexParts<T> oneMinusG{one - g.re, zero - g.im};
        const ComplexParts<T> L = Log(Div(oneMinusGE, oneMinusG, plain), plain);
        const T a = Broadcast<T>(aOverSigma2);
        const T two = Broadcast<T>(2.0);
        const ComplexParts<T> C{a * (bqMinusD.re * t - two * L.re),
                                a * (bqMinusD.im * t - two * L.im)};
        const ComplexParts<T> scaled{bqMinusD.re / s2, bqMinusD.im / s2};
        const ComplexParts<T> D =
            Div(Mul(scaled, ComplexParts<T>{one - E.re, zero - E.im}), oneMinusGE, plain);
        const ExponentParts<T> parts{C.re + D.re * Broadcast<T>(v), C.im, D.im * Broadcast<T>(v)};
        plain &= FiniteLanes(parts.re);
        plain &= FiniteLanes(parts.imC);
        plain &= FiniteLanes(parts.imDv);
        return parts;
    }

    // The parts of A_j at one point, evaluated for any operands.
    ExponentParts<double> PartsAt(int j, double phi) const {
        bool plain = true;
        return PartsAt<double>(j, phi, plain);
    }

    // A_j at one point.
    Cx At(int j, double phi) const {
        const ExponentParts<double> p = PartsAt(j, phi);
        return {p.re, p.imC + p.imDv};
    }
};

}  // namespace closedform
}  // namespace heston

#pragma GCC diagnostic pop
