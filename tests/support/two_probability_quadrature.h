// The two probabilities of a European price from a characteristic function, for the tests'
// independent references (heston_reference_quadrature.h, bates_reference.h):
//     Pj = 1/2 + 1/pi * integral over u in (0, inf) of Re[exp(-i u k) psi_j(u) / (i u)],
// psi_1(u) = psi(u - i), psi_2 = psi, psi(u) = E[exp(i u ln(S_T / F))], k = ln(K / F), so that
//     call = S exp(-q T) P1 - K exp(-r T) P2.
// In long double, by adaptive Gauss-Kronrod (7-15) quadrature on intervals that double in
// width, the first about one over the standard deviation of ln(S_T / F), until the modulus of
// the integrand has fallen below 1e-24 and stays there over a whole interval.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>

namespace reference {

template <typename Psi>
class TwoProbabilityQuadrature {
  public:
    using C = std::complex<long double>;

    TwoProbabilityQuadrature(Psi& psi, long double k) : psi_(psi), k_(k) {}

    // variance: about the variance of ln(S_T / F), to size the first interval.
    void Probabilities(long double variance, long double* p1, long double* p2) {
        long double width = 1.0L / std::sqrt(variance);
        long double a = 0.0L, total[2] = {0, 0};
        for (int interval = 0; interval < 200; ++interval) {
            long double part[2], size;
            Adaptive(a, a + width, 1e-23L, part, &size);
            total[0] += part[0];
            total[1] += part[1];
            a += width;
            width *= 2.0L;
            if (size < 1e-24L) break;
        }
        const long double pi = 3.141592653589793238462643383279503L;
        *p1 = 0.5L + total[0] / pi;
        *p2 = 0.5L + total[1] / pi;
    }

  private:
    // The two integrands at u > 0; *size gets the larger modulus.
    void Integrands(long double u, long double out[2], long double* size) {
        const C i(0.0L, 1.0L);
        const C phase = std::exp(-i * u * k_) / (i * u);
        const C p1 = phase * psi_(C(u, -1.0L));
        const C p2 = phase * psi_(C(u, 0.0L));
        out[0] = p1.real();
        out[1] = p2.real();
        *size = std::max(std::abs(p1), std::abs(p2));
    }

    // Gauss-Kronrod 7-15 on [a, b]: both integrals, an error estimate and the largest modulus.
    void Kronrod(long double a, long double b, long double sum[2], long double* error,
                 long double* size) {
        static const long double x[8] = {
            0.991455371120812639206854697526329L, 0.949107912342758524526189684047851L,
            0.864864423359769072789712788640926L, 0.741531185599394439863864773280788L,
            0.586087235467691130294144845693013L, 0.405845151377397166906606412076961L,
            0.207784955007898467600689403773245L, 0.000000000000000000000000000000000L};
        static const long double wk[8] = {
            0.022935322010529224963732008058970L, 0.063092092629978553290700663189204L,
            0.104790010322250183839876322541518L, 0.140653259715525918745189590510238L,
            0.169004726639267902826583426598550L, 0.190350578064785409913256402421014L,
            0.204432940075298892414161999234649L, 0.209482141084727828012999174891714L};
        static const long double wg[4] = {
            0.129484966168869693270611432679082L, 0.279705391489276667901467771423780L,
            0.381830050505118944950369775488975L, 0.417959183673469387755102040816327L};
        const long double center = 0.5L * (a + b), half = 0.5L * (b - a);
        long double kron[2] = {0, 0}, gauss[2] = {0, 0};
        *size = 0.0L;
        for (int j = 0; j < 8; ++j) {
            const int sides = j == 7 ? 1 : 2;
            for (int side = 0; side < sides; ++side) {
                const long double u = center + (side == 0 ? 1 : -1) * half * x[j];
                long double f[2], s;
                Integrands(u, f, &s);
                *size = std::max(*size, s);
                for (int c = 0; c < 2; ++c) {
                    kron[c] += wk[j] * f[c];
                    if (j % 2 == 1) gauss[c] += wg[j / 2] * f[c];
                }
            }
        }
        *error = 0.0L;
        for (int c = 0; c < 2; ++c) {
            sum[c] = half * kron[c];
            *error = std::max(*error, std::fabs(half * (kron[c] - gauss[c])));
        }
    }

    void Adaptive(long double a, long double b, long double tolerance, long double sum[2],
                  long double* size, int depth = 0) {
        long double error;
        Kronrod(a, b, sum, &error, size);
        // Below rounding level of the rule itself no split helps.
        const long double rounding = 100.0L * 1.1e-19L * (b - a) * *size;
        if (error <= std::max(tolerance, rounding) || depth > 18) return;
        const long double middle = 0.5L * (a + b);
        long double left[2], right[2], sizeLeft, sizeRight;
        Adaptive(a, middle, 0.5L * tolerance, left, &sizeLeft, depth + 1);
        Adaptive(middle, b, 0.5L * tolerance, right, &sizeRight, depth + 1);
        for (int c = 0; c < 2; ++c) sum[c] = left[c] + right[c];
        *size = std::max(sizeLeft, sizeRight);
    }

    Psi& psi_;
    long double k_;
};

}  // namespace reference
