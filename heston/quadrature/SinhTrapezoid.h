// SinhTrapezoid: the integral over [0, inf) of functions that are analytic near
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
// A sum far smaller than its integrand's mass (an integrand that oscillates and cancels, such
// as a price far out of the money whose line is off its saddle point) would keep only the
// digits that the mass leaves it; components the caller marks as values must also agree to
// 1e-8 of their own sum, so that they keep their relative accuracy. The first sum has step
// 1/4, where the pricer's integrands are first close to their limit, so that the second sum
// can already be the last. The range of t is cut where the integrand's modulus (supplied by
// the caller, so that zeros of an oscillating real part do not stop it) has fallen below 1e-16
// of the mass so far, or below the absolute tolerance, on two successive nodes. Nothing
// depends on an upper limit of v. An integrand whose tail decays slowly and keeps oscillating
// defeats the rule (the step grows with t); the results say so, and OscillatoryTail.h takes
// over.
//
// The integrand is a function object with a member
//     void Evaluate(const double* v, int n, double* values, double* sizes)
// that writes, for each of the n nodes v[j], the `count` real components to integrate at
// values[count * j .. count * j + count - 1] and the size of the integrand there at sizes[j] (a
// bound of the components' scale, for the truncation). Nodes come in groups of up to
// kQuadratureBatch, so that the integrand can evaluate several at once: the first sum's nodes
// four at a time while looking for the cut, each call with the second sum's four nodes between
// them (the second sum is always needed). The sums do not depend on how the nodes are grouped.
// Each component stops refining at the first step where it has converged, so a component's
// result does not depend on which other components are integrated with it.
#pragma once

#include <cmath>
#include <cstddef>

namespace heston {

// The nodes sinh(t) and weights cosh(t) at t = i * kStep for i = 0 .. kNodeCount - 1: the
// finest step; coarser steps use every 2^j-th node.
struct SinhTrapezoidNodes {
    static constexpr int kLevels = 5;                             // halvings after the first step
    static constexpr double kFirstStep = 0.25;                    // step of the first sum
    static constexpr double kStep = kFirstStep / (1 << kLevels);  // the finest step
    static constexpr int kNodeCount = 44 * 128 + 1;               // t up to 44: v/scale up to 6e18
    double abscissa[kNodeCount];
    double weight[kNodeCount];
};

const SinhTrapezoidNodes& SinhNodes();

// One component's integral: the sum, its last change (a bound of its error when it converged,
// an estimate of it otherwise) and whether it met the tolerance.
struct ComponentIntegral {
    double sum;
    double change;
    bool converged;
};

// What IntegrateSinhTrapezoid reports: how many times the integrand was evaluated and whether
// every component met the tolerance.
struct QuadratureReport {
    int evaluations;
    bool converged;
};

// When a component has converged: two successive sums agree to 1e-8 of its absolute mass, or
// to `absolute`; and, for the values (the components 0, valueStride, 2 valueStride, ... when
// valueStride > 0), to 1e-8 of their own sum as well.
struct QuadratureTolerance {
    double absolute = 0.0;
    std::size_t valueStride = 0;
};

// Nodes handed to the integrand at once, at most.
constexpr int kQuadratureBatch = 8;

// Doubles of scratch per component for IntegrateSinhTrapezoid.
constexpr int kQuadratureWork = 4;

// results[c] = integral over [0, inf) of component c; values holds kQuadratureBatch * count
// doubles and work kQuadratureWork * count.
template <typename Integrand>
QuadratureReport IntegrateSinhTrapezoid(Integrand& f, double scale,
                                        const QuadratureTolerance& tolerance, std::size_t count,
                                        ComponentIntegral* results, double* values, double* work) {
    const SinhTrapezoidNodes& nodes = SinhNodes();
    constexpr int kCoarse = 1 << SinhTrapezoidNodes::kLevels;
    constexpr int kHalf = kCoarse / 2;
    constexpr double kRelativeTolerance = 1e-8;
    constexpr double kNegligible = 1e-16;
    // The first sum's nodes are evaluated four at a time while looking for the cut, so that at
    // most three are wasted; the second sum's nodes between them come in the same call, so
    // that each call fills kQuadratureBatch nodes.
    constexpr int kFirstBatch = kQuadratureBatch / 2;
    const double absoluteTolerance = tolerance.absolute;

    double* raw = work;                 // running sum of terms over all nodes so far
    double* mass = work + count;        // running sum of |terms|
    double* middle = work + 2 * count;  // the second sum's new terms, found with the first's
    double* middleMass = work + 3 * count;
    for (std::size_t c = 0; c < count; ++c) {
        raw[c] = mass[c] = middle[c] = middleMass[c] = 0.0;
        results[c] = {0.0, HUGE_VAL, false};
    }
    double v[kQuadratureBatch], sizes[kQuadratureBatch];

    // First step: outward from t = 0 until the integrand is negligible.
    int evaluations = 0;
    int last = 0;
    double sizeMass = 0.0;
    int quiet = 0;
    bool cut = false;
    for (int first = 0; !cut && first < SinhTrapezoidNodes::kNodeCount;
         first += kFirstBatch * kCoarse) {
        int coarse = 0;
        for (int i = first; coarse < kFirstBatch && i < SinhTrapezoidNodes::kNodeCount;
             i += kCoarse) {
            v[coarse++] = scale * nodes.abscissa[i];
        }
        int n = coarse;
        for (int j = 0; j < coarse && first + j * kCoarse + kHalf < SinhTrapezoidNodes::kNodeCount;
             ++j) {
            v[n++] = scale * nodes.abscissa[first + j * kCoarse + kHalf];
        }
        f.Evaluate(v, n, values, sizes);
        evaluations += n;
        for (int j = 0; j < coarse && !cut; ++j) {
            const int i = first + j * kCoarse;
            const double weight = scale * nodes.weight[i] * (i == 0 ? 0.5 : 1.0);
            const double size = sizes[j] * weight;
            for (std::size_t c = 0; c < count; ++c) {
                const double term = values[count * j + c] * weight;
                raw[c] += term;
                mass[c] += std::fabs(term);
            }
            last = i;
            if (!(size > kNegligible * sizeMass && size > 1e-3 * absoluteTolerance)) {
                if (++quiet == 2 || !(size == size)) cut = true;
            } else {
                quiet = 0;
            }
            sizeMass += size;
        }
        // The second sum's nodes, up to the cut.
        for (int j = coarse; j < n; ++j) {
            const int i = first + (j - coarse) * kCoarse + kHalf;
            if (cut && i > last) break;
            const double weight = scale * nodes.weight[i];
            for (std::size_t c = 0; c < count; ++c) {
                const double term = values[count * j + c] * weight;
                middle[c] += term;
                middleMass[c] += std::fabs(term);
            }
        }
    }
    double step = SinhTrapezoidNodes::kFirstStep;
    for (std::size_t c = 0; c < count; ++c) results[c].sum = step * raw[c];

    bool converged = false;
    for (int level = 1, stride = kHalf; level <= SinhTrapezoidNodes::kLevels;
         ++level, stride /= 2) {
        if (level == 1) {
            // The second sum's new terms, summed apart while the first sum was found.
            for (std::size_t c = 0; c < count; ++c) {
                raw[c] += middle[c];
                mass[c] += middleMass[c];
            }
        }
        for (int i = stride; level > 1 && i <= last;) {
            int n = 0, index[kQuadratureBatch];
            for (; n < kQuadratureBatch && i <= last; i += 2 * stride) {
                index[n] = i;
                v[n++] = scale * nodes.abscissa[i];
            }
            f.Evaluate(v, n, values, sizes);
            evaluations += n;
            for (int j = 0; j < n; ++j) {
                const double weight = scale * nodes.weight[index[j]];
                for (std::size_t c = 0; c < count; ++c) {
                    if (results[c].converged) continue;
                    const double term = values[count * j + c] * weight;
                    raw[c] += term;
                    mass[c] += std::fabs(term);
                }
            }
        }
        step *= 0.5;
        converged = true;
        // valueIn counts down to the next value (0: component c is one).
        std::size_t valueIn = tolerance.valueStride > 0 ? 0 : count;
        for (std::size_t c = 0; c < count; ++c) {
            const bool value = valueIn == 0;
            valueIn = value ? tolerance.valueStride - 1 : valueIn - 1;
            ComponentIntegral& r = results[c];
            if (r.converged) continue;
            const double sum = step * raw[c];
            const double change = std::fabs(sum - r.sum);
            bool agrees = change <= kRelativeTolerance * step * mass[c];
            if (value) agrees = agrees && change <= kRelativeTolerance * std::fabs(sum);
            r.sum = sum;
            r.change = change;
            r.converged = agrees || change <= absoluteTolerance;
            converged = converged && r.converged;
        }
        if (converged) break;
    }
    return {evaluations, converged};
}

}  // namespace heston
