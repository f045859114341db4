// The contour pricer's price integrand on vectors of nodes.
#include "contour/ContourKernel.h"

#include <cmath>

#include "contour/LogMoment.h"
#include "vectormath/Complex.h"
#include "vectormath/ComplexArithmetic.h"
#include "vectormath/VectorMath.h"
#include "vectormath/VectorPack.h"

// Four-lane vectors pass between the inline helpers below only inside the AVX2 loop.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {
namespace contour {

namespace {

namespace vm = vmath;
using vm::Broadcast;
using vm::ComplexParts;
using vm::MaskOf;
using vm::Select;
using vm::Splat;

template <class V>
using C = ComplexParts<V>;

template <class V>
HESTON_VMATH_INLINE C<V> Add(const C<V>& a, const C<V>& b) {
    return {a.re + b.re, a.im + b.im};
}
template <class V>
HESTON_VMATH_INLINE C<V> Sub(const C<V>& a, const C<V>& b) {
    return {a.re - b.re, a.im - b.im};
}
template <class V>
HESTON_VMATH_INLINE C<V> Scale(const C<V>& a, V x) {
    return {a.re * x, a.im * x};
}
template <class V>
HESTON_VMATH_INLINE C<V> Pick(MaskOf<V> mask, const C<V>& a, const C<V>& b) {
    return {Select(mask, a.re, b.re), Select(mask, a.im, b.im)};
}
template <class V>
HESTON_VMATH_INLINE V Norm(const C<V>& a) {
    return a.re * a.re + a.im * a.im;
}
template <class V>
HESTON_VMATH_INLINE bool AnyLane(MaskOf<V> mask) {
    bool any = false;
    for (int lane = 0; lane < vm::kLanes<V>; ++lane) any = any || mask[lane] != 0;
    return any;
}
template <class V>
HESTON_VMATH_INLINE C<V> Constant(double re) {
    return {Splat<V>(re), Splat<V>(0.0)};
}

// a / b as a conj(b) / |b|^2, for divisors of magnitude between 1e-140 and 1e140 and
// numerators below 1e140 (other lanes are cleared), where neither |b|^2 nor the products can
// overflow or lose precision to underflow: one real division instead of the two of Smith's
// formula, at the cost of an ulp or two.
template <class V>
HESTON_VMATH_INLINE C<V> Divide(const C<V>& a, const C<V>& b, MaskOf<V>& plain) {
    const V big = vm::Max(vm::Abs(b.re), vm::Abs(b.im));
    const V high = Splat<V>(vm::kOperandHigh);
    plain &= (big > Splat<V>(vm::kOperandLow)) & (big < high) & (vm::Abs(a.re) < high) &
             (vm::Abs(a.im) < high);
    const V inverse = Splat<V>(1.0) / Norm(b);
    return {(a.re * b.re + a.im * b.im) * inverse, (a.im * b.re - a.re * b.im) * inverse};
}

// magnitude * exp(i angle). A zero magnitude needs no angle; other angles beyond the range of
// the sine and cosine kernel clear the lane.
template <class V>
HESTON_VMATH_INLINE C<V> PolarOrZero(V magnitude, V angle, MaskOf<V>& plain) {
    const MaskOf<V> vanished = magnitude == Splat<V>(0.0);
    return vm::Polar(magnitude, Select(vanished, Splat<V>(0.0), angle), plain);
}

// (exp(z) - 1)/z for |z| < 0.1: the Taylor series to z^11, whose remainder is below 2e-22.
template <class V>
HESTON_VMATH_INLINE C<V> ExpM1OverXSeries(const C<V>& z) {
    static constexpr double kInverseFactorial[12] = {1.0,
                                                     1.0 / 2.0,
                                                     1.0 / 6.0,
                                                     1.0 / 24.0,
                                                     1.0 / 120.0,
                                                     1.0 / 720.0,
                                                     1.0 / 5040.0,
                                                     1.0 / 40320.0,
                                                     1.0 / 362880.0,
                                                     1.0 / 3628800.0,
                                                     1.0 / 39916800.0,
                                                     1.0 / 479001600.0};
    C<V> sum = Constant<V>(kInverseFactorial[11]);
    for (int n = 10; n >= 0; --n) {
        sum = vm::Mul(sum, z);
        sum.re = sum.re + Splat<V>(kInverseFactorial[n]);
    }
    return sum;
}

// log(1 + y)/y for |y| < 1e-3: the Taylor series to y^5, whose remainder is below 2e-19.
template <class V>
HESTON_VMATH_INLINE C<V> Log1POverXSeries(const C<V>& y) {
    static constexpr double kCoefficient[6] = {1.0,        -1.0 / 2.0, 1.0 / 3.0,
                                               -1.0 / 4.0, 1.0 / 5.0,  -1.0 / 6.0};
    C<V> sum = Constant<V>(kCoefficient[5]);
    for (int n = 4; n >= 0; --n) {
        sum = vm::Mul(sum, y);
        sum.re = sum.re + Splat<V>(kCoefficient[n]);
    }
    return sum;
}

// Principal log(1 + y): its real component is 0.5 log1p(w), with w = |1 + y|^2 - 1 computed without
// cancellation, and log1p(w) = log(u) w / (u - 1) with u = 1 + w rounded (exact when u = 1).
template <class V>
HESTON_VMATH_INLINE C<V> Log1P(const C<V>& y, MaskOf<V>& plain) {
    const V one = Splat<V>(1.0);
    const V w = y.re * (Splat<V>(2.0) + y.re) + y.im * y.im;
    const V u = one + w;
    const MaskOf<V> ok = (u >= Splat<V>(vm::kSmallestNormal)) & (u <= Splat<V>(vm::kHuge));
    plain &= ok;
    const V logU = vm::Log(Select(ok, u, one));
    const MaskOf<V> exact = u == one;
    const V log1pW = Select(exact, w, logU * (w / Select(exact, one, u - one)));
    const V x = one + y.re;
    const MaskOf<V> origin = (x == Splat<V>(0.0)) & (y.im == Splat<V>(0.0));
    return {Splat<V>(0.5) * log1pW, vm::Atan2(y.im, Select(origin, one, x))};
}

// ln M(s) = theta A(s) + v0 B(s) at s = nu - i v lane by lane; plain loses the lanes to be
// redone by the scalar code.
template <class V>
HESTON_VMATH_INLINE C<V> LogMomentLanes(const ModelParameters& model, double maturity, V nu, V v,
                                        MaskOf<V>& plain) {
    const double kappa = model.kappa, sigma = model.sigma, rho = model.rho;
    const V zero = Splat<V>(0.0), one = Splat<V>(1.0);
    const V T = Splat<V>(maturity);
    // a = s^2 - s = s (s - 1), beta = kappa - rho sigma s.
    const C<V> a{nu * nu - nu - v * v, v * (one - (nu + nu))};
    const C<V> beta{Splat<V>(kappa) - Splat<V>(rho * sigma) * nu, Splat<V>(rho * sigma) * v};
    const double sigma2 = sigma * sigma;
    const C<V> discriminant = Sub(vm::Mul(beta, beta), Scale(a, Splat<V>(sigma2)));
    const C<V> d = vm::Sqrt(discriminant, plain);
    const C<V> dT = Scale(d, T);
    const C<V> e = PolarOrZero(vm::Exp(zero - dT.re), zero - dT.im, plain);
    // E = (1 - e)/d, by the series where d T is small.
    const MaskOf<V> smallDT = Norm(dT) < Splat<V>(0.01);
    C<V> E = Divide(Pick(smallDT, Constant<V>(1.0), C<V>{one - e.re, zero - e.im}),
                    Pick(smallDT, Constant<V>(1.0), d), plain);
    if (AnyLane<V>(smallDT)) {
        E = Pick(smallDT, Scale(ExpM1OverXSeries(C<V>{zero - dT.re, zero - dT.im}), T), E);
    }
    // B = a E / (beta E + 1 + e).
    C<V> denominator = vm::Mul(beta, E);
    denominator.re = denominator.re + one + e.re;
    denominator.im = denominator.im + e.im;
    const C<V> B = Divide(vm::Mul(a, E), denominator, plain);
    // P = a / (beta + d) or (beta - d) / sigma^2, whichever does not cancel.
    const C<V> sum = Add(beta, d);
    const C<V> difference = Sub(beta, d);
    const V sumNorm = Norm(sum);
    plain &= sumNorm > zero;  // kappa = sigma = 0: the scalar code's special case
    const MaskOf<V> useSum = sumNorm >= Norm(difference);
    const C<V> viaSum =
        Divide(Pick(useSum, a, Constant<V>(1.0)), Pick(useSum, sum, Constant<V>(1.0)), plain);
    const V inverseSigma2 = Splat<V>(sigma2 > 0.0 ? 1.0 / sigma2 : 0.0);
    const C<V> P = Pick(useSum, viaSum, Scale(difference, inverseSigma2));
    // A = kappa P (T - E log(1 + y)/y), y = sigma^2 P E / 2.
    const C<V> y = Scale(vm::Mul(P, E), Splat<V>(0.5 * sigma2));
    // For |y| >= 1e-3 (where sigma > 0), P E log(1 + y)/y = 2 log(1 + y) / sigma^2.
    const MaskOf<V> smallY = Norm(y) < Splat<V>(1e-6);
    const C<V> logTerm = Scale(Log1P(Pick(smallY, Constant<V>(1.0), y), plain),
                               Splat<V>(sigma2 > 0.0 ? 2.0 / sigma2 : 0.0));
    C<V> A{P.re * T - logTerm.re, P.im * T - logTerm.im};
    if (AnyLane<V>(smallY)) {
        const C<V> EL = vm::Mul(E, Log1POverXSeries(y));
        A = Pick(smallY, vm::Mul(P, C<V>{T - EL.re, zero - EL.im}), A);
    }
    A = Scale(A, Splat<V>(kappa));
    const V theta = Splat<V>(model.theta), v0 = Splat<V>(model.v0);
    return {theta * A.re + v0 * B.re, theta * A.im + v0 * B.im};
}

// The kernel at the nodes of the vector v.
template <class V>
HESTON_VMATH_INLINE void KernelLanes(const KernelLine& line, V v, MaskOf<V>& plain, V& value,
                                     V& size) {
    const V nu = Splat<V>(line.nu);
    const C<V> logMoment = LogMomentLanes(line.model, line.maturity, nu, v, plain);
    // exp(-s k + ln M) / (s (s - 1)).
    const V zRe = logMoment.re - Splat<V>(line.nu * line.k);
    const V zIm = logMoment.im + v * Splat<V>(line.k);
    const C<V> a{nu * nu - nu - v * v, v * (Splat<V>(1.0) - (nu + nu))};
    const C<V> inverse = Divide(Constant<V>(1.0), a, plain);
    const V magnitude = vm::Exp(zRe);
    const C<V> kernel = vm::Mul(PolarOrZero(magnitude, zIm, plain), inverse);
    value = kernel.re;
    // |kernel| = exp(Re z) / |a|, whose square root is taken off the long chain to exp(Re z).
    size = magnitude * vm::Sqrt(Norm(inverse));
    plain &= vm::FiniteLanes(size);
}

// The same kernel in scalar arithmetic (the characteristic exponent of
// LogMoment.h), for the lanes the vector code cannot serve.
void ScalarKernel(const KernelLine& line, double v, double* value, double* size) {
    const Complex s{line.nu, -v};
    const ModelParameters& m = line.model;
    const HestonExponent<Complex> x =
        HestonCharacteristicExponent(s, Complex{m.kappa, 0.0}, Complex{m.sigma, 0.0},
                                     Complex{m.rho, 0.0}, Complex{line.maturity, 0.0});
    const Complex z = -s * line.k + (m.theta * x.perTheta + m.v0 * x.perV0);
    const Complex kernel = Exp(z) / (s * (s - 1.0));
    *value = kernel.re;
    *size = std::sqrt(kernel.re * kernel.re + kernel.im * kernel.im);
}

// The kernel at up to kLanes<V> nodes v[0 .. lanes - 1] in one vector (or pack) V; unused
// lanes repeat the first node.
template <class V>
HESTON_VMATH_INLINE void KernelGroup(const KernelLine& line, const double* v, int lanes,
                                     double* values, double* sizes) {
    constexpr int kLanes = vm::kLanes<V>;
    double nodes[kLanes];
    for (int lane = 0; lane < kLanes; ++lane) nodes[lane] = v[lane < lanes ? lane : 0];
    const V at = vm::Load<V>(nodes);
    MaskOf<V> plain = at == at;
    V value, size;
    KernelLanes(line, at, plain, value, size);
    for (int lane = 0; lane < lanes; ++lane) {
        if (plain[lane]) {
            values[lane] = value[lane];
            sizes[lane] = size[lane];
        } else {
            ScalarKernel(line, v[lane], values + lane, sizes + lane);
        }
    }
}

// The nodes in groups of a pack of two vectors (VectorPack.h): the kernel is one long chain of
// dependent operations, and the two halves' chains overlap, so that a group of eight nodes
// (four with two-lane vectors) costs little more than one vector of four (two). Smaller
// remainders take one vector of Lanes, or of two lanes. A node gives the same bits whichever
// way it is grouped.
template <class Lanes>
HESTON_VMATH_INLINE void KernelsV(const KernelLine& line, const double* v, int n, double* values,
                                  double* sizes) {
    using Packed = vm::Pack<Lanes>;
    constexpr int kPacked = vm::kLanes<Packed>;
    constexpr int kSingle = vm::kLanes<Lanes>;
    for (int i = 0; i < n;) {
        const int rest = n - i;
        const int lanes = rest < kPacked ? rest : kPacked;
        if (lanes > kSingle) {
            KernelGroup<Packed>(line, v + i, lanes, values + i, sizes + i);
        } else if (lanes > 2) {
            KernelGroup<Lanes>(line, v + i, lanes, values + i, sizes + i);
        } else {
            KernelGroup<vm::V2>(line, v + i, lanes, values + i, sizes + i);
        }
        i += lanes;
    }
}

template <class V>
HESTON_VMATH_INLINE void LogMomentsV(const ModelParameters& model, double maturity, double nu,
                                     const double* v, int n, double* re, double* im) {
    constexpr int kLanes = vm::kLanes<V>;
    for (int i = 0; i < n; i += kLanes) {
        const int lanes = n - i < kLanes ? n - i : kLanes;
        double nodes[kLanes];
        for (int lane = 0; lane < kLanes; ++lane) nodes[lane] = v[i + (lane < lanes ? lane : 0)];
        const V at = vm::Load<V>(nodes);
        MaskOf<V> plain = at == at;
        const C<V> logMoment = LogMomentLanes(model, maturity, Splat<V>(nu), at, plain);
        for (int lane = 0; lane < lanes; ++lane) {
            if (plain[lane]) {
                re[i + lane] = logMoment.re[lane];
                im[i + lane] = logMoment.im[lane];
            } else {
                const HestonExponent<Complex> x = HestonCharacteristicExponent(
                    Complex{nu, -v[i + lane]}, Complex{model.kappa, 0.0}, Complex{model.sigma, 0.0},
                    Complex{model.rho, 0.0}, Complex{maturity, 0.0});
                const Complex z = model.theta * x.perTheta + model.v0 * x.perV0;
                re[i + lane] = z.re;
                im[i + lane] = z.im;
            }
        }
    }
}

void KernelsSse2(const KernelLine& line, const double* v, int n, double* values, double* sizes) {
    KernelsV<vm::V2>(line, v, n, values, sizes);
}

void LogMomentsSse2(const ModelParameters& model, double maturity, double nu, const double* v,
                    int n, double* re, double* im) {
    LogMomentsV<vm::V2>(model, maturity, nu, v, n, re, im);
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"), flatten)) void LogMomentsAvx2(const ModelParameters& model,
                                                             double maturity, double nu,
                                                             const double* v, int n, double* re,
                                                             double* im) {
    LogMomentsV<vm::V4>(model, maturity, nu, v, n, re, im);
}

__attribute__((target("avx2"), flatten)) void KernelsAvx2(const KernelLine& line, const double* v,
                                                          int n, double* values, double* sizes) {
    KernelsV<vm::V4>(line, v, n, values, sizes);
}
#endif

#if HESTON_VMATH_AVX2
// Asked on first use rather than at static initialisation, when the processor's features may
// not be known yet.
bool UseAvx2() {
    static const bool avx2 = vm::HasAvx2();
    return avx2;
}
#endif

}  // namespace

HESTON_REALIGN_STACK void LogMoments(const ModelParameters& model, double maturity, double nu,
                                     const double* v, int n, double* re, double* im) {
#if HESTON_VMATH_AVX2
    if (UseAvx2()) return LogMomentsAvx2(model, maturity, nu, v, n, re, im);
#endif
    LogMomentsSse2(model, maturity, nu, v, n, re, im);
}

HESTON_REALIGN_STACK void PriceKernels(const KernelLine& line, const double* v, int n,
                                       double* values, double* sizes) {
#if HESTON_VMATH_AVX2
    if (UseAvx2()) return KernelsAvx2(line, v, n, values, sizes);
#endif
    KernelsSse2(line, v, n, values, sizes);
}

}  // namespace contour
}  // namespace heston
