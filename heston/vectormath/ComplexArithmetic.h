// ComplexArithmetic: complex numbers as pairs of real parts, with one double per part (scalar
// form) or one vector of grid points per part (vector form, two lanes in SSE2 code, four in
// AVX2 code), for the characteristic exponent of the closed-form price.
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
// VectorMath.h may differ from the C library in the last bit.
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

// ---- Both forms ----

template <class T>
HESTON_VMATH_INLINE ComplexParts<T> Mul(const ComplexParts<T>& a, const ComplexParts<T>& b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
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

}  // namespace vmath
}  // namespace heston

#pragma GCC diagnostic pop
