// ComplexArithmetic: complex numbers as pairs of real parts, with one double per part (scalar
// form) or one vector of points per part (vector form, two lanes in SSE2 code, four in AVX2
// code, or packs of two vectors), for the characteristic functions of both pricers: the closed
// form's exponent on its grid and the contour pricer's log-moment along its line.
//
// The arithmetic is written out so that it compiles to plain multiplications instead of the
// general routines that guard every complex product and quotient against overflow. Inside a
// range of magnitudes where the plain formulas neither overflow nor lose precision to
// underflow, they are used as they stand. Outside it, the scalar form hands the operation to
// the standard library's careful routines, and the vector form clears the lane's bit in a mask
// `plain`, so that the caller evaluates that point again with the scalar form. The scalar
// operations take the same mask argument (a bool they leave alone), so that one formula written
// with these operations serves both forms.
//
// The scalar and vector forms agree to rounding, not bit for bit: the vector quotient
// multiplies by one reciprocal where the scalar one divides twice, and the vector kernels of
// VectorMath.h may differ from the C library in the last bit. Every lane of the vector form
// computes the same operations whatever the width, so two lanes, four lanes and packs give the
// same bits.
#pragma once

#include <cmath>
#include <complex>

#include "vectormath/VectorMath.h"

// Four-lane vectors pass between these inline functions only inside AVX2 code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {
namespace vmath {

// A complex number with parts of type T: double, or a vector of doubles (one point per lane).
template <class T>
struct ComplexParts {
    T re;
    T im;
};

using Cx = ComplexParts<double>;

// The mask of lanes evaluated by the plain formulas: a bool for a double, which nothing clears.
template <class T>
using PlainMask = vmath::MaskOf<T>;

// Magnitudes (squared) inside which the plain formulas neither overflow nor lose precision to
// underflow; anything outside goes through the standard library's careful routines.
constexpr double kTiny = 1e-290;
constexpr double kHuge = 1e290;
constexpr double kOperandLow = 1e-140;
constexpr double kOperandHigh = 1e140;
constexpr double kSmallestNormal = 2.2250738585072014e-308;
constexpr double kLargestFinite = 1.7976931348623157e308;

// ---- Real helpers that let one formula serve both forms ----

// x in every lane; a double is x itself (so that a negative zero stays negative).
template <class T>
HESTON_VMATH_INLINE T Broadcast(double x) {
    return vmath::Splat<T>(x);
}

template <>
HESTON_VMATH_INLINE double Broadcast<double>(double x) {
    return x;
}

// -x. The vector form computes 0 - x, which turns a zero into +0 where the scalar -x gives -0.
HESTON_VMATH_INLINE double Negate(double x) {
    return -x;
}

template <class V>
HESTON_VMATH_INLINE V Negate(V x) {
    return Broadcast<V>(0.0) - x;
}

// The real exponential: the C library's, or the vector kernel (valid over the whole range in
// which it does not overflow or underflow, with the limits it saturates to beyond).
HESTON_VMATH_INLINE double RealExp(double x) {
    return std::exp(x);
}

template <class V>
HESTON_VMATH_INLINE V RealExp(V x) {
    return vmath::Exp(x);
}

// Lanes whose values are finite; the scalar form checks nothing.
HESTON_VMATH_INLINE bool FiniteLanes(double) {
    return true;
}

template <class V>
HESTON_VMATH_INLINE PlainMask<V> FiniteLanes(V x) {
    return vmath::Abs(x) <= Broadcast<V>(kLargestFinite);
}

// Lane-wise mask ? a : b; for a double, the one value chosen.
HESTON_VMATH_INLINE double Select(bool mask, double a, double b) {
    return mask ? a : b;
}

// Whether any lane of the mask is set.
HESTON_VMATH_INLINE bool AnyLane(bool mask) {
    return mask;
}

// The real square root: the C library's, or the processor's on every lane (both correctly
// rounded).
HESTON_VMATH_INLINE double RealSqrt(double x) {
    return std::sqrt(x);
}

template <class V>
HESTON_VMATH_INLINE V RealSqrt(V x) {
    return vmath::Sqrt(x);
}

// ---- Scalar form ----

inline bool Plain(double squaredMagnitude) {
    return squaredMagnitude > kTiny && squaredMagnitude < kHuge;
}

inline Cx FromStd(const std::complex<double>& z) {
    return {z.real(), z.imag()};
}

// Smith's quotient, with the operations in the order of the compiler's general routine (which
// adds only scaling for operands near the ends of the range, sent there instead). The naive
// formula is cheaper but loses digits to cancellation that the prices would show.
inline Cx Div(const Cx& a, const Cx& b, bool& /*plain*/) {
    const double c = b.re;
    const double d = b.im;
    const double big = std::fmax(std::fabs(c), std::fabs(d));
    if (big > kOperandLow && big < kOperandHigh && std::fabs(a.re) < kOperandHigh &&
        std::fabs(a.im) < kOperandHigh && std::fabs(a.re) + std::fabs(a.im) > kOperandLow) {
        if (std::fabs(c) < std::fabs(d)) {
            const double ratio = c / d;
            const double denom = (c * ratio) + d;
            if (std::fabs(ratio) > kSmallestNormal) {
                return {((a.re * ratio) + a.im) / denom, ((a.im * ratio) - a.re) / denom};
            }
            return {((c * (a.re / d)) + a.im) / denom, ((c * (a.im / d)) - a.re) / denom};
        }
        const double ratio = d / c;
        const double denom = (d * ratio) + c;
        if (std::fabs(ratio) > kSmallestNormal) {
            return {((a.im * ratio) + a.re) / denom, (a.im - (a.re * ratio)) / denom};
        }
        return {((d * (a.im / c)) + a.re) / denom, (a.im - (d * (a.re / c))) / denom};
    }
    return FromStd(std::complex<double>(a.re, a.im) / std::complex<double>(b.re, b.im));
}

// Principal square root (non-negative real part), without cancellation in either part.
inline Cx Sqrt(const Cx& z, bool& /*plain*/) {
    const double m2 = z.re * z.re + z.im * z.im;
    if (!Plain(m2)) return FromStd(std::sqrt(std::complex<double>(z.re, z.im)));
    const double m = std::sqrt(m2);
    if (z.re >= 0.0) {
        const double t = std::sqrt(0.5 * (m + z.re));
        return {t, z.im / (2.0 * t)};
    }
    const double t = std::sqrt(0.5 * (m - z.re));
    return {std::fabs(z.im) / (2.0 * t), std::copysign(t, z.im)};
}

// Principal logarithm (imaginary part in (-pi, pi]).
inline Cx Log(const Cx& z, bool& /*plain*/) {
    const double m2 = z.re * z.re + z.im * z.im;
    if (!Plain(m2)) return FromStd(std::log(std::complex<double>(z.re, z.im)));
    return {0.5 * std::log(m2), std::atan2(z.im, z.re)};
}

// magnitude * exp(i angle).
inline Cx Polar(double magnitude, double angle, bool& /*plain*/) {
    return {magnitude * std::cos(angle), magnitude * std::sin(angle)};
}

// a / b for the scalar form: Smith's quotient (Div), whose vector counterpart below saves a
// division.
inline Cx DivByNorm(const Cx& a, const Cx& b, bool& plain) {
    return Div(a, b, plain);
}

// magnitude * exp(i angle), with a zero magnitude giving zero whatever the angle.
inline Cx PolarOrZero(double magnitude, double angle, bool& plain) {
    return Polar(magnitude, magnitude == 0.0 ? 0.0 : angle, plain);
}

// Principal log(1 + y), accurate for small |y|: 0.5 log1p(|1 + y|^2 - 1) and the angle of 1 + y.
inline Cx Log1P(const Cx& y, bool& /*plain*/) {
    return {0.5 * std::log1p(y.re * (2.0 + y.re) + y.im * y.im), std::atan2(y.im, 1.0 + y.re)};
}

// ---- Both forms ----

template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Mul(const ComplexParts<T>& a, const ComplexParts<T>& b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Add(const ComplexParts<T>& a, const ComplexParts<T>& b) {
    return {a.re + b.re, a.im + b.im};
}

template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Sub(const ComplexParts<T>& a, const ComplexParts<T>& b) {
    return {a.re - b.re, a.im - b.im};
}

// a times the real x.
template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Scale(const ComplexParts<T>& a, T x) {
    return {a.re * x, a.im * x};
}

// |a|^2.
template <class T>
HESTON_VMATH_INLINE T Norm(const ComplexParts<T>& a) {
    return a.re * a.re + a.im * a.im;
}

// The real x as a complex number.
template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Real(double x) {
    return {Broadcast<T>(x), Broadcast<T>(0.0)};
}

// Lane-wise mask ? a : b.
template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Pick(PlainMask<T> mask, const ComplexParts<T>& a,
                                         const ComplexParts<T>& b) {
    return {Select(mask, a.re, b.re), Select(mask, a.im, b.im)};
}

// Horner's scheme for the complex polynomial sum of c[n] z^n, n = 0 .. N - 1.
template <int N, class T>
HESTON_VMATH_INLINE ComplexParts<T> RealPolynomial(const double (&c)[N], const ComplexParts<T>& z) {
    ComplexParts<T> sum = Real<T>(c[N - 1]);
    for (int n = N - 2; n >= 0; --n) {
        sum = Mul(sum, z);
        sum.re = sum.re + Broadcast<T>(c[n]);
    }
    return sum;
}

// (exp(z) - 1)/z for |z| < 0.1: the Taylor series to z^11, whose remainder is below 2e-22.
template <class T>
HESTON_VMATH_INLINE ComplexParts<T> ExpM1OverXSeries(const ComplexParts<T>& z) {
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
    return RealPolynomial(kInverseFactorial, z);
}

// The derivative of (exp(z) - 1)/z for |z| < 0.1: sum over n >= 1 of n z^(n-1) / (n+1)!, to
// n = 11 (remainder below 3e-18 of the value 1/2 at 0).
template <class T>
HESTON_VMATH_INLINE ComplexParts<T> ExpM1OverXSlopeSeries(const ComplexParts<T>& z) {
    static constexpr double kCoefficient[11] = {
        1.0 / 2.0,       2.0 / 6.0,         3.0 / 24.0,        4.0 / 120.0,
        5.0 / 720.0,     6.0 / 5040.0,      7.0 / 40320.0,     8.0 / 362880.0,
        9.0 / 3628800.0, 10.0 / 39916800.0, 11.0 / 479001600.0};
    return RealPolynomial(kCoefficient, z);
}

// log(1 + y)/y for |y| < 1e-3: the Taylor series to y^5, whose remainder is below 2e-19.
template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Log1POverXSeries(const ComplexParts<T>& y) {
    static constexpr double kCoefficient[6] = {1.0,        -1.0 / 2.0, 1.0 / 3.0,
                                               -1.0 / 4.0, 1.0 / 5.0,  -1.0 / 6.0};
    return RealPolynomial(kCoefficient, y);
}

// The derivative of log(1 + y)/y for |y| < 1e-3: sum over n >= 1 of (-1)^n n y^(n-1) / (n+1),
// to n = 7 (remainder below 1e-21 of the value -1/2 at 0).
template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Log1POverXSlopeSeries(const ComplexParts<T>& y) {
    static constexpr double kCoefficient[7] = {-1.0 / 2.0, 2.0 / 3.0, -3.0 / 4.0, 4.0 / 5.0,
                                               -5.0 / 6.0, 6.0 / 7.0, -7.0 / 8.0};
    return RealPolynomial(kCoefficient, y);
}

// ---- Vector form: each operation clears the lanes of `plain` it cannot serve ----

template <class V>
HESTON_VMATH_INLINE PlainMask<V> PlainLanes(V squaredMagnitude) {
    return (squaredMagnitude > Broadcast<V>(kTiny)) & (squaredMagnitude < Broadcast<V>(kHuge));
}

// Smith's quotient as the scalar Div, both orientations at once, with one reciprocal of the
// denominator.
template <class V>
HESTON_VMATH_INLINE ComplexParts<V> Div(const ComplexParts<V>& a, const ComplexParts<V>& b,
                                        PlainMask<V>& plain) {
    const V ac = vmath::Abs(b.re);
    const V ad = vmath::Abs(b.im);
    const V aRe = vmath::Abs(a.re);
    const V aIm = vmath::Abs(a.im);
    const V big = vmath::Max(ac, ad);
    const V low = Broadcast<V>(kOperandLow);
    const V high = Broadcast<V>(kOperandHigh);
    plain &= (big > low) & (big < high) & (aRe < high) & (aIm < high) & (aRe + aIm > low);
    const PlainMask<V> imagBigger = ac < ad;
    const V larger = vmath::Select(imagBigger, b.im, b.re);
    const V smaller = vmath::Select(imagBigger, b.re, b.im);
    const V ratio = smaller / larger;
    plain &= vmath::Abs(ratio) > Broadcast<V>(kSmallestNormal);
    const V inverse = Broadcast<V>(1.0) / (smaller * ratio + larger);
    const V x = vmath::Select(imagBigger, a.im, a.re);
    const V y = vmath::Select(imagBigger, a.re, a.im);
    const V im = (y - x * ratio) * inverse;
    return {(x + y * ratio) * inverse, vmath::Select(imagBigger, Broadcast<V>(0.0) - im, im)};
}

// Principal square root, as the scalar Sqrt with both branches computed and selected.
template <class V>
HESTON_VMATH_INLINE ComplexParts<V> Sqrt(const ComplexParts<V>& z, PlainMask<V>& plain) {
    const V m2 = z.re * z.re + z.im * z.im;
    plain &= PlainLanes(m2);
    const V m = vmath::Sqrt(m2);
    const V t = vmath::Sqrt(Broadcast<V>(0.5) * (m + vmath::Abs(z.re)));
    const V u = z.im / (Broadcast<V>(2.0) * t);
    const PlainMask<V> nonNegative = z.re >= Broadcast<V>(0.0);
    return {vmath::Select(nonNegative, t, vmath::Abs(u)),
            vmath::Select(nonNegative, u, vmath::CopySign(t, z.im))};
}

// Principal logarithm.
template <class V>
HESTON_VMATH_INLINE ComplexParts<V> Log(const ComplexParts<V>& z, PlainMask<V>& plain) {
    const V m2 = z.re * z.re + z.im * z.im;
    const PlainMask<V> ok = PlainLanes(m2);
    plain &= ok;
    // Lanes outside the range get a harmless argument; they are redone anyway.
    return {Broadcast<V>(0.5) * vmath::Log(vmath::Select(ok, m2, Broadcast<V>(1.0))),
            vmath::Atan2(vmath::Select(ok, z.im, Broadcast<V>(0.0)),
                         vmath::Select(ok, z.re, Broadcast<V>(1.0)))};
}

// magnitude * exp(i angle); angles beyond the range of the sine and cosine kernel are redone.
template <class V>
HESTON_VMATH_INLINE ComplexParts<V> Polar(V magnitude, V angle, PlainMask<V>& plain) {
    const PlainMask<V> angleOk = vmath::Abs(angle) <= Broadcast<V>(vmath::kSinCosLimit);
    plain &= angleOk;
    V sine, cosine;
    vmath::SinCos(vmath::Select(angleOk, angle, Broadcast<V>(0.0)), sine, cosine);
    return {magnitude * cosine, magnitude * sine};
}

// a / b as a conj(b) / |b|^2, for divisors of magnitude between 1e-140 and 1e140 and
// numerators below 1e140 (other lanes are cleared), where neither |b|^2 nor the products can
// overflow or lose precision to underflow: one real division instead of the two of Smith's
// quotient, at the cost of an ulp or two.
template <class V>
HESTON_VMATH_INLINE ComplexParts<V> DivByNorm(const ComplexParts<V>& a, const ComplexParts<V>& b,
                                              PlainMask<V>& plain) {
    const V big = vmath::Max(vmath::Abs(b.re), vmath::Abs(b.im));
    const V high = Broadcast<V>(kOperandHigh);
    plain &= (big > Broadcast<V>(kOperandLow)) & (big < high) & (vmath::Abs(a.re) < high) &
             (vmath::Abs(a.im) < high);
    const V inverse = Broadcast<V>(1.0) / Norm(b);
    return {(a.re * b.re + a.im * b.im) * inverse, (a.im * b.re - a.re * b.im) * inverse};
}

// magnitude * exp(i angle). A zero magnitude needs no angle; other angles beyond the range of
// the sine and cosine kernel clear the lane.
template <class V>
HESTON_VMATH_INLINE ComplexParts<V> PolarOrZero(V magnitude, V angle, PlainMask<V>& plain) {
    const PlainMask<V> vanished = magnitude == Broadcast<V>(0.0);
    return Polar(magnitude, vmath::Select(vanished, Broadcast<V>(0.0), angle), plain);
}

// Principal log(1 + y): its real part is 0.5 log1p(w), with w = |1 + y|^2 - 1 computed
// without cancellation, and log1p(w) = log(u) w / (u - 1) with u = 1 + w rounded, exact when
// u = 1 (D. Goldberg, "What every computer scientist should know about floating-point
// arithmetic", ACM Computing Surveys 23 (1991) 5-48, Theorem 4), so that log(1 + y) keeps its
// relative accuracy for small y. Lanes where u is not a positive normal number are cleared.
template <class V>
HESTON_VMATH_INLINE ComplexParts<V> Log1P(const ComplexParts<V>& y, PlainMask<V>& plain) {
    const V one = Broadcast<V>(1.0);
    const V w = y.re * (Broadcast<V>(2.0) + y.re) + y.im * y.im;
    const V u = one + w;
    const PlainMask<V> ok = (u >= Broadcast<V>(kSmallestNormal)) & (u <= Broadcast<V>(kHuge));
    plain &= ok;
    const V logU = vmath::Log(vmath::Select(ok, u, one));
    const PlainMask<V> exact = u == one;
    const V log1pW = vmath::Select(exact, w, logU * (w / vmath::Select(exact, one, u - one)));
    const V x = one + y.re;
    const PlainMask<V> origin = (x == Broadcast<V>(0.0)) & (y.im == Broadcast<V>(0.0));
    return {Broadcast<V>(0.5) * log1pW, vmath::Atan2(y.im, vmath::Select(origin, one, x))};
}

}  // namespace vmath
}  // namespace heston

#pragma GCC diagnostic pop
