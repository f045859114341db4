// DoubleExponentialQuadrature: the integral over [0, inf) of functions that are analytic near
// the real axis and decay at least exponentially, to near machine precision, by the
// trapezoidal rule after the substitution
//     v = scale * sinh(t),   t >= 0,
// with the step halved until the sums of two successive steps agree.
//
// References:
//   H. Takahasi and M. Mori, "Double exponential formulas for numerical integration",
//     Publ. RIMS Kyoto Univ. 9 (1974) 721-741 (substitutions that make the integrand decay
//     double-exponentially, after which the trapezoidal rule converges geometrically in the
//     number of nodes).
//   L. Andersen and M. Lake, "Robust high-precision option pricing by Fourier transforms:
//     contour deformations and double-exponential quadrature", 2018 (the rule for Fourier
//     option prices, with truncation taken from the integrand's own decay).
//
// An integrand that decays like exp(-c v) decays like exp(-c scale e^t / 2) in t, and one that
// decays like a Gaussian of width about `scale` (the pricer's integrands near the saddle
// point) is sampled about evenly over its bulk: the rule keeps the fast convergence of the
// trapezoidal rule on Gaussians, where the stronger sinh(pi/2 sinh t) substitution would crowd
// the bulk into a few nodes. The error then falls roughly as the square of the previous error
// each time the step is halved: once two successive sums agree to 1e-8 of the integrand's
// absolute mass (or to the caller's absolute tolerance), the finer sum is exact to rounding.
// The range of t is cut where the integrand's modulus (supplied by the caller, so that zeros
// of an oscillating real part do not stop it) has fallen below 1e-18 of the mass so far, or
// below the absolute tolerance, on two successive nodes. Nothing depends on an upper limit
// of v.
//
// The integrand is a function object `double f(double v, double* values)` that writes the
// `count` real components to integrate at v and returns the size of the integrand there (a
// bound of the components' scale, for the truncation). Each component stops refining at the
// first step where it has converged, so the first component's value does not depend on which
// other components are integrated with it.
#pragma once

#include <cmath>
#include <cstddef>

namespace heston {

// The nodes sinh(t) and weights cosh(t) at t = i * kStep for i = 0 .. kNodeCount - 1: the
// finest step; coarser steps use every 2^j-th node.
struct DoubleExponentialNodes {
    static constexpr int kLevels = 6;                 // halvings after the first step
    static constexpr double kFirstStep = 0.5;         // step of the first sum
    static constexpr double kStep = kFirstStep / 64;  // kFirstStep / 2^kLevels
    static constexpr int kNodeCount = 44 * 128 + 1;   // t up to 44: v/scale up to 6e18
    double abscissa[kNodeCount];
    double weight[kNodeCount];
};

const DoubleExponentialNodes& SinhNodes();

// Result of IntegrateDoubleExponential: how many times the integrand was evaluated and
// whether every component met the tolerance.
struct QuadratureReport {
    int evaluations;
    bool converged;
};

// sums[c] = integral over [0, inf) of component c; work holds 3 * count doubles.
template <typename Integrand>
QuadratureReport IntegrateDoubleExponential(Integrand& f, double scale, double absoluteTolerance,
                                            std::size_t count, double* sums, double* values,
                                            double* work) {
    const DoubleExponentialNodes& nodes = SinhNodes();
    constexpr int kCoarse = 1 << DoubleExponentialNodes::kLevels;
    constexpr double kRelativeTolerance = 1e-8;
    constexpr double kNegligible = 1e-18;

    double* raw = work;               // running sum of terms over all nodes so far
    double* mass = work + count;      // running sum of |terms|
    double* done = work + 2 * count;  // 1 once the component has converged
    for (std::size_t c = 0; c < count; ++c) raw[c] = mass[c] = done[c] = 0.0;

    // First step: outward from t = 0 until the integrand is negligible.
    int evaluations = 0;
    int last = 0;
    double sizeMass = 0.0;
    int quiet = 0;
    for (int i = 0; i < DoubleExponentialNodes::kNodeCount; i += kCoarse) {
        const double weight = scale * nodes.weight[i] * (i == 0 ? 0.5 : 1.0);
        const double size = f(scale * nodes.abscissa[i], values) * weight;
        ++evaluations;
        for (std::size_t c = 0; c < count; ++c) {
            const double term = values[c] * weight;
            raw[c] += term;
            mass[c] += std::fabs(term);
        }
        last = i;
        if (!(size > kNegligible * sizeMass && size > 1e-3 * absoluteTolerance)) {
            if (++quiet == 2 || !(size == size)) break;
        } else {
            quiet = 0;
        }
        sizeMass += size;
    }
    double step = DoubleExponentialNodes::kFirstStep;
    for (std::size_t c = 0; c < count; ++c) sums[c] = step * raw[c];

    bool converged = false;
    for (int level = 1, stride = kCoarse / 2; level <= DoubleExponentialNodes::kLevels;
         ++level, stride /= 2) {
        for (int i = stride; i <= last; i += 2 * stride) {
            const double weight = scale * nodes.weight[i];
            f(scale * nodes.abscissa[i], values);
            ++evaluations;
            for (std::size_t c = 0; c < count; ++c) {
                if (done[c] != 0.0) continue;
                const double term = values[c] * weight;
                raw[c] += term;
                mass[c] += std::fabs(term);
            }
        }
        step *= 0.5;
        converged = true;
        for (std::size_t c = 0; c < count; ++c) {
            if (done[c] != 0.0) continue;
            const double sum = step * raw[c];
            const double change = std::fabs(sum - sums[c]);
            const bool agrees =
                change <= kRelativeTolerance * step * mass[c] || change <= absoluteTolerance;
            sums[c] = sum;
            if (agrees && level >= 2) {
                done[c] = 1.0;
            } else {
                converged = false;
            }
        }
        if (converged) break;
    }
    return {evaluations, converged};
}

}  // namespace heston
