// FourierInversion: the undiscounted call E[(exp(Y) - k)^+] and put E[(k - exp(Y))^+] on a log
// variable Y from its log moment generating function ln M(s) = ln E[exp(s Y)] (under any
// positive weighting of the paths), by one Fourier integral along a vertical line.
//
// Reference:
//   P. Carr and D. Madan, "Option valuation using the fast Fourier transform", Journal of
//     Computational Finance 2 (1999) 61-73 (the damped call and its transform
//     M(alpha + 1 + iu) / ((alpha + iu)(alpha + 1 + iu))).
//
//     I(alpha) = k^-alpha / pi * integral over [0, inf) of
//                Re[ k^-iu M(alpha + 1 + iu) / ((alpha + iu)(alpha + 1 + iu)) ] du.
//
// On the line Re s = 1 + alpha with alpha > 0, I is the call. Moving the line to alpha < -1
// crosses the poles at s = 1 (residue M(1)) and s = 0 (residue -k M(0)), so there I is the call
// less M(1) - k M(0): the put. The option out of the money is integrated (alpha = 1/2 for the
// call when k >= M(1) / M(0), alpha = -3/2 for the put otherwise) and the other follows by that
// parity: the integral of the option in the money would be its intrinsic value plus a small
// time value, found as a difference of large oscillating terms, which loses the time value at
// short maturities and deep in the money. Where the moment on the put's line is infinite the
// call's line serves both. The rule is the sinh-trapezoid rule with its scale set from the
// variance of Y (the curvature of ln M on the real axis).
#pragma once

#include <cmath>
#include <complex>
#include <limits>
#include <stdexcept>

#include "quadrature/SinhTrapezoid.h"
#include "vectormath/MathConstants.h"

namespace heston {

// Result of CallFromLogMoment.
struct FourierCall {
    double call;  // E[(exp(Y) - k)^+]
    double put;   // E[(k - exp(Y))^+]
    double mean;  // E[exp(Y)] = M(1)
    bool converged;
};

// The damping of the call (the line Re s = 1 + kFourierAlpha) and of the put (the line
// Re s = 1 + kFourierPutAlpha).
constexpr double kFourierAlpha = 0.5;
constexpr double kFourierPutAlpha = -1.5;

// The damping alpha of the option out of the money (alpha > 0 for the call, alpha < -1 for the
// put): of the lines Re s = 1 + alpha tried outwards from the pole, the one where the integrand
// at u = 0, k^-alpha M(1 + alpha) / (alpha (alpha + 1)), is least. Its logarithm is convex in
// alpha on each side, so the walk stops where it rises, and it stops before a moment that is
// infinite, that is not real, or where ln M stops being convex (beyond its explosion). There the
// integrand is of the order of the option's value, so that a value far below the spot is not the
// small difference of large oscillating terms. alpha is NaN when even the first line has no
// finite moment.
struct FourierLineChoice {
    double alpha;
    double logMoment;  // ln M(1 + alpha)
};

template <typename LogMoment>
FourierLineChoice FourierLine(const LogMoment& logMoment, double logK, bool putSide) {
    static constexpr double kCallLines[] = {kFourierAlpha, 1.0, 2.0, 4.0, 8.0, 16.0, 32.0};
    static constexpr double kPutLines[] = {kFourierPutAlpha, -2.0, -3.0, -5.0, -9.0, -17.0, -33.0};
    const double* lines = putSide ? kPutLines : kCallLines;
    FourierLineChoice best{std::numeric_limits<double>::quiet_NaN(), 0.0};
    double bestSize = std::numeric_limits<double>::infinity();
    double previousMoment = 0.0, previousLine = 0.0, previousSlope = 0.0;
    for (int i = 0; i < 7; ++i) {
        const double alpha = lines[i];
        const std::complex<double> logM = logMoment(std::complex<double>(1.0 + alpha));
        const double moment = std::real(logM);
        // On the real axis a finite moment is real and positive: ln M with an imaginary part
        // (or not finite) comes from beyond the explosion.
        if (!std::isfinite(moment) ||
            !(std::fabs(std::imag(logM)) <= 1e-9 * (1.0 + std::fabs(moment))))
            break;
        if (i > 0) {
            const double slope = (moment - previousMoment) / (alpha - previousLine);
            // ln M is convex: its slope grows with s. A slope that turns the other way marks
            // a moment beyond its explosion.
            if (i > 1 && (putSide ? slope > previousSlope : slope < previousSlope)) break;
            previousSlope = slope;
        }
        previousMoment = moment;
        previousLine = alpha;
        const double size = moment - alpha * logK - std::log(std::fabs(alpha * (alpha + 1.0)));
        if (size >= bestSize) break;
        best = {alpha, moment};
        bestSize = size;
    }
    return best;
}

template <typename LogMoment>
FourierCall CallFromLogMoment(const LogMoment& logMoment, double k) {
    using C = std::complex<double>;
    const double mean = std::exp(std::real(logMoment(C(1.0))));
    const double weight = std::exp(std::real(logMoment(C(0.0))));
    const double logK = std::log(k);
    if (!std::isfinite(mean) || !std::isfinite(weight)) {
        throw std::domain_error("the first moment is infinite for these parameters");
    }
    bool putSide = k * weight < mean;
    FourierLineChoice line = FourierLine(logMoment, logK, putSide);
    if (!std::isfinite(line.alpha) && putSide) {
        // No finite moment on the put's side: the call's line serves both.
        putSide = false;
        line = FourierLine(logMoment, logK, false);
    }
    if (!std::isfinite(line.alpha)) {
        throw std::domain_error("the moment of order 3/2 is infinite for these parameters");
    }
    const double alpha = line.alpha;
    const double atLine = line.logMoment;
    // Width of the integrand's bell: one over the standard deviation of Y.
    const double h = 0.25;
    const double curvature = (std::real(logMoment(C(1.0 + alpha + h))) - 2.0 * atLine +
                              std::real(logMoment(C(1.0 + alpha - h)))) /
                             (h * h);
    const double variance = std::isfinite(curvature) && curvature > 1e-8 ? curvature : 1e-8;

    struct Integrand {
        const LogMoment& logMoment;
        double logK;
        double alpha;
        void Evaluate(const double* v, int n, double* values, double* sizes) const {
            for (int j = 0; j < n; ++j) {
                const C z(alpha, v[j]);
                const C term =
                    std::exp(logMoment(z + 1.0) - z * logK) / (z * (z + 1.0)) * kInversePi;
                values[j] = std::real(term);
                sizes[j] = std::abs(term);
            }
        }
    } integrand{logMoment, logK, alpha};

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
    // Parity: call - put = M(1) - k M(0).
    const double forward = mean - k * weight;
    if (putSide) return {result.sum + forward, result.sum, mean, report.converged};
    return {result.sum, result.sum - forward, mean, report.converged};
}

}  // namespace heston
