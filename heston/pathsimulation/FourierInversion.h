// FourierInversion: the undiscounted call E[(exp(Y) - k)^+] on a log variable Y from its log
// moment generating function ln M(s) = ln E[exp(s Y)] (under any positive weighting of the
// paths), by one Fourier integral along the line Re s = 1 + alpha.
//
// Reference:
//   P. Carr and D. Madan, "Option valuation using the fast Fourier transform", Journal of
//     Computational Finance 2 (1999) 61-73 (the damped call and its transform
//     M(alpha + 1 + iu) / ((alpha + iu)(alpha + 1 + iu))).
//
//     E[(exp(Y) - k)^+] = k^-alpha / pi * integral over [0, inf) of
//                         Re[ k^-iu M(alpha + 1 + iu) / ((alpha + iu)(alpha + 1 + iu)) ] du,
// here with alpha = 1/2 (M(3/2) must be finite), integrated by the sinh-trapezoid rule with
// its scale set from the variance of Y (the curvature of ln M on the real axis). The put is
// the call less E[exp(Y)] - k.
#pragma once

#include <cmath>
#include <complex>
#include <stdexcept>

#include "quadrature/SinhTrapezoid.h"
#include "vectormath/MathConstants.h"

namespace heston {

// Result of CallFromLogMoment.
struct FourierCall {
    double call;  // E[(exp(Y) - k)^+]
    double mean;  // E[exp(Y)] = M(1)
    bool converged;
};

// The damping of the call (the line Re s = 1 + kFourierAlpha).
constexpr double kFourierAlpha = 0.5;

template <typename LogMoment>
FourierCall CallFromLogMoment(const LogMoment& logMoment, double k) {
    using C = std::complex<double>;
    const double mean = std::exp(std::real(logMoment(C(1.0))));
    const double atLine = std::real(logMoment(C(1.0 + kFourierAlpha)));
    if (!std::isfinite(atLine) || !std::isfinite(mean)) {
        throw std::domain_error("the moment of order 3/2 is infinite for these parameters");
    }
    // Width of the integrand's bell: one over the standard deviation of Y.
    const double h = 0.25;
    const double curvature = (std::real(logMoment(C(1.0 + kFourierAlpha + h))) - 2.0 * atLine +
                              std::real(logMoment(C(1.0 + kFourierAlpha - h)))) /
                             (h * h);
    const double variance = std::isfinite(curvature) && curvature > 1e-8 ? curvature : 1e-8;
    const double logK = std::log(k);

    struct Integrand {
        const LogMoment& logMoment;
        double logK;
        void Evaluate(const double* v, int n, double* values, double* sizes) const {
            for (int j = 0; j < n; ++j) {
                const C z(kFourierAlpha, v[j]);
                const C term =
                    std::exp(logMoment(z + 1.0) - z * logK) / (z * (z + 1.0)) * kInversePi;
                values[j] = std::real(term);
                sizes[j] = std::abs(term);
            }
        }
    } integrand{logMoment, logK};

    ComponentIntegral result{};
    double values[kQuadratureBatch];
    double work[kQuadratureWork];
    // A short maturity's integrand has a long, slowly decaying oscillating tail beyond the
    // bell: the rule then resolves it on a finer scale.
    double scale = 1.0 / std::sqrt(variance);
    QuadratureReport report{};
    for (int attempt = 0; attempt < 4; ++attempt, scale *= 0.25) {
        report = IntegrateSinhTrapezoid(integrand, scale, QuadratureTolerance{1e-16 * (1.0 + k)}, 1,
                                        &result, values, work);
        if (report.converged) break;
    }
    return {result.sum, mean, report.converged};
}

}  // namespace heston
