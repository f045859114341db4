// VectorMath: branch-free exp, log, sin/cos and atan2 on vectors of doubles (two lanes in SSE2
// code, four in AVX2 code, and packs of two such vectors, VectorPack.h), for the loops of the
// closed-form price that evaluate the characteristic function on a grid.
//
// Each kernel is the classic argument reduction plus a minimax polynomial (the coefficients of
// the Sun fdlibm routines, which are within one ulp of the true function), written with
// selects instead of branches so that all lanes run the same instructions. The results differ
// from the C library's in the last bit, never more (tests/numerics/vector_math_test.cpp
// measures the largest ulp error over wide ranges).
//
// Warnings: every kernel has a domain (stated at it) outside which its result is meaningless;
// callers check the arguments and redo such lanes with the C library. Nothing here handles
// NaN: a NaN argument gives an unspecified lane. The code relies on IEEE double rounding
// without contraction into fused multiply-adds (the build is ISO C++, which keeps them apart).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "vectormath/Inline.h"
#include "vectormath/VectorPack.h"

// Four-lane vectors pass between these inline functions only inside AVX2 code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {
namespace vmath {

// Two lanes (SSE2, every x86 build) and four (AVX2, chosen at run time).
using V2 = double __attribute__((vector_size(16)));
using V4 = double __attribute__((vector_size(32)));

// The lane mask of a comparison: all ones or all zeros per 64-bit lane.
template <class Vd>
using MaskOf = decltype(Vd{} < Vd{});

// Unsigned 64-bit lanes of a vector of the given size, for logical shifts.
template <int Bytes>
struct UnsignedLanes;
template <>
struct UnsignedLanes<16> {
    using type = std::uint64_t __attribute__((vector_size(16)));
};
template <>
struct UnsignedLanes<32> {
    using type = std::uint64_t __attribute__((vector_size(32)));
};

template <class Vd>
constexpr int kLanes = sizeof(Vd) / sizeof(double);

template <class Vd>
HESTON_VMATH_INLINE Vd Splat(double x) {
    return Vd{} + x;
}

// kLanes<Vd> doubles from p (no alignment needed). A pack loads its halves one by one, so that
// each is one vector load and never a copy through the stack.
template <class Vd>
HESTON_VMATH_INLINE Vd Load(const double* p) {
    if constexpr (IsPack<Vd>::value) {
        using H = decltype(Vd{}.lo);
        return Vd{Load<H>(p), Load<H>(p + sizeof(H) / sizeof(double))};
    } else {
        Vd v;
        __builtin_memcpy(&v, p, sizeof v);
        return v;
    }
}

// The first count doubles at p (1 <= count <= kLanes<Vd>) in the first lanes, the other lanes
// `pad`, built in registers from scalar loads: a vector load of doubles that were just stored
// one by one (the nodes a quadrature has just written) would wait until the stores retire.
template <class Vd>
HESTON_VMATH_INLINE Vd LoadFirst(const double* p, int count, double pad) {
    if constexpr (IsPack<Vd>::value) {
        using H = decltype(Vd{}.lo);
        constexpr int half = static_cast<int>(sizeof(H) / sizeof(double));
        return Vd{LoadFirst<H>(p, count < half ? count : half, pad),
                  count > half ? LoadFirst<H>(p + half, count - half, pad) : H{} + pad};
    } else if constexpr (sizeof(Vd) == 2 * sizeof(double)) {
        return Vd{p[0], count > 1 ? p[1] : pad};
    } else {
        if (count == 4) return Vd{p[0], p[1], p[2], p[3]};
        return Vd{p[0], count > 1 ? p[1] : pad, count > 2 ? p[2] : pad, pad};
    }
}

template <class Vd>
HESTON_VMATH_INLINE void Store(double* p, Vd v) {
    if constexpr (IsPack<Vd>::value) {
        Store(p, v.lo);
        Store(p + sizeof(v.lo) / sizeof(double), v.hi);
    } else {
        __builtin_memcpy(p, &v, sizeof v);
    }
}

// Lane-wise mask ? a : b, the mask being all ones or all zeros per lane.
template <class Vd>
HESTON_VMATH_INLINE Vd Select(MaskOf<Vd> mask, Vd a, Vd b) {
    using Vi = MaskOf<Vd>;
    return (Vd)(((Vi)a & mask) | ((Vi)b & ~mask));
}

template <class Vd>
HESTON_VMATH_INLINE Vd Abs(Vd x) {
    using Vi = MaskOf<Vd>;
    return (Vd)((Vi)x & (Vi{} + 0x7fffffffffffffffLL));
}

// x with the sign bit of s.
template <class Vd>
HESTON_VMATH_INLINE Vd CopySign(Vd x, Vd s) {
    using Vi = MaskOf<Vd>;
    const Vi sign = Vi{} + std::numeric_limits<std::int64_t>::min();
    return (Vd)(((Vi)x & ~sign) | ((Vi)s & sign));
}

template <class Vd>
HESTON_VMATH_INLINE Vd Max(Vd a, Vd b) {
    return Select(a > b, a, b);
}

template <class Vd>
HESTON_VMATH_INLINE Vd Min(Vd a, Vd b) {
    return Select(a < b, a, b);
}

HESTON_VMATH_INLINE V2 Sqrt(V2 x) {
#if defined(__SSE2__)
    return __builtin_ia32_sqrtpd(x);
#else
    return V2{std::sqrt(x[0]), std::sqrt(x[1])};
#endif
}

// AVX2 code is built for x86 with GCC. The AVX2 loops rely on GCC flattening the forced-inline
// helpers into them; clang refuses to pass four-lane vectors through helpers not compiled for
// AVX2, so a clang build keeps to the SSE2 loops (same values, two points at a time). Under SEH
// unwinding (64-bit Windows) the stack cannot be realigned to 32 bytes, and older GCC spilled
// 32-byte vectors there with aligned moves; GCC 12, checked, spills with unaligned ones.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__) && \
    (!defined(__SEH__) || __GNUC__ >= 12)
#define HESTON_VMATH_AVX2 1
#else
#define HESTON_VMATH_AVX2 0
#endif

// 64-bit lanes shifted right by n bits, zeros shifted in.
template <class Vi>
HESTON_VMATH_INLINE Vi ShiftRightLogical(Vi x, int n) {
    using Unsigned = typename UnsignedLanes<sizeof(Vi)>::type;
    return (Vi)((Unsigned)x >> n);
}

template <class H>
HESTON_VMATH_INLINE Pack<H> ShiftRightLogical(Pack<H> x, int n) {
    return {ShiftRightLogical(x.lo, n), ShiftRightLogical(x.hi, n)};
}

#if HESTON_VMATH_AVX2
// Whether this processor (and its operating system) runs AVX2 code.
inline bool HasAvx2() {
    return __builtin_cpu_supports("avx2");
}

// Not forced inline: it enters the AVX2 loops when they are flattened.
__attribute__((target("avx2"))) inline V4 Sqrt(V4 x) {
    return __builtin_ia32_sqrtpd256(x);
}
#endif

template <class H>
HESTON_VMATH_INLINE Pack<H> Sqrt(Pack<H> x) {
    return {Sqrt(x.lo), Sqrt(x.hi)};
}

// Max and Min of two-lane vectors in one instruction each: the processor's maximum (minimum)
// returns its first operand where it is greater (less) and its second otherwise, NaNs and
// zeros of either sign included, which is exactly the selection of the forms above.
#if defined(__SSE2__)
HESTON_VMATH_INLINE V2 Max(V2 a, V2 b) {
    return __builtin_ia32_maxpd(a, b);
}

HESTON_VMATH_INLINE V2 Min(V2 a, V2 b) {
    return __builtin_ia32_minpd(a, b);
}
#endif

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"))) inline V4 Max(V4 a, V4 b) {
    return __builtin_ia32_maxpd256(a, b);
}

__attribute__((target("avx2"))) inline V4 Min(V4 a, V4 b) {
    return __builtin_ia32_minpd256(a, b);
}
#endif

// Whether any lane of a comparison's mask is set: the sign bits gathered in one instruction.
HESTON_VMATH_INLINE bool AnyLane(MaskOf<V2> mask) {
#if defined(__SSE2__)
    return __builtin_ia32_movmskpd((V2)mask) != 0;
#else
    return mask[0] != 0 || mask[1] != 0;
#endif
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"))) inline bool AnyLane(MaskOf<V4> mask) {
    return __builtin_ia32_movmskpd256((V4)mask) != 0;
}
#endif

template <class H>
HESTON_VMATH_INLINE bool AnyLane(Pack<H> mask) {
    return AnyLane(mask.lo | mask.hi);
}

template <class H>
HESTON_VMATH_INLINE Pack<H> Max(Pack<H> a, Pack<H> b) {
    return {Max(a.lo, b.lo), Max(a.hi, b.hi)};
}

template <class H>
HESTON_VMATH_INLINE Pack<H> Min(Pack<H> a, Pack<H> b) {
    return {Min(a.lo, b.lo), Min(a.hi, b.hi)};
}

// 1.5 * 2^52: adding and subtracting it rounds |x| < 2^51 to the nearest integer, and the bits
// of the sum hold that integer in their low half.
constexpr double kRoundMagic = 6755399441055744.0;

template <class Vd>
HESTON_VMATH_INLINE Vd RoundToInteger(Vd x) {
    const Vd magic = Splat<Vd>(kRoundMagic);
    return (x + magic) - magic;
}

// The integer of an integral double |k| < 2^51, as a 64-bit lane.
template <class Vd>
HESTON_VMATH_INLINE MaskOf<Vd> ToInteger(Vd k) {
    using Vi = MaskOf<Vd>;
    const Vd magic = Splat<Vd>(kRoundMagic);
    return (Vi)(k + magic) - (Vi)magic;
}

// exp(x). Domain: any x that is not NaN; below about -745 the result underflows to 0 and above
// about 709.78 it is infinite, as in the C library.
template <class Vd>
HESTON_VMATH_INLINE Vd Exp(Vd x) {
    using Vi = MaskOf<Vd>;
    const Vd xc = Min(Max(x, Splat<Vd>(-1400.0)), Splat<Vd>(710.0));
    const Vd ln2Hi = Splat<Vd>(6.93147180369123816490e-01);
    const Vd ln2Lo = Splat<Vd>(1.90821492927058770002e-10);
    const Vd k = RoundToInteger(xc * Splat<Vd>(1.44269504088896338700e+00));
    // ln2Hi has 32 significant bits, so k ln2Hi and the difference are exact.
    const Vd hi = xc - k * ln2Hi;
    const Vd lo = k * ln2Lo;
    const Vd r = hi - lo;
    const Vd t = r * r;
    const Vd c = r - t * (Splat<Vd>(1.66666666666666019037e-01) +
                          t * (Splat<Vd>(-2.77777777770155933842e-03) +
                               t * (Splat<Vd>(6.61375632143793436117e-05) +
                                    t * (Splat<Vd>(-1.65339022054652515390e-06) +
                                         t * Splat<Vd>(4.13813679705723846039e-08)))));
    const Vd one = Splat<Vd>(1.0);
    const Vd y = one - ((lo - (r * c) / (Splat<Vd>(2.0) - c)) - hi);
    // 2^k in two factors, each a normal number for every k of the clamped range, so that
    // results near the ends of the range underflow gradually or overflow as they should.
    const Vd k1 = RoundToInteger(k * Splat<Vd>(0.5));
    const Vd k2 = k - k1;
    const Vi bias = Vi{} + 1023;
    const Vd scale1 = (Vd)((ToInteger(k1) + bias) << 52);
    const Vd scale2 = (Vd)((ToInteger(k2) + bias) << 52);
    return (y * scale1) * scale2;
}

// log(x). Domain: positive normal x (finite, at least 2^-1022).
template <class Vd>
HESTON_VMATH_INLINE Vd Log(Vd x) {
    using Vi = MaskOf<Vd>;
    const Vi bits = (Vi)x;
    const Vi mantissaMask = Vi{} + 0x000fffffffffffffLL;
    const Vi mantissa = bits & mantissaMask;
    // Scale the mantissa into [sqrt(2)/2, sqrt(2)): i is 2^52 when the mantissa is at least
    // sqrt(2) - 1 above 1, and moves one power of two into the exponent.
    const Vi nearTwo = (mantissa + (Vi{} + 0x00095f6400000000LL)) & (Vi{} + 0x0010000000000000LL);
    const Vd m = (Vd)(mantissa | (nearTwo ^ (Vi{} + 0x3ff0000000000000LL)));
    // Logical shifts (the bits are those of a positive number): SSE2 and AVX2 have no
    // arithmetic shift of 64-bit lanes.
    const Vi exponent =
        ShiftRightLogical(bits, 52) - (Vi{} + 1023) + ShiftRightLogical(nearTwo, 52);
    const Vd magic = Splat<Vd>(kRoundMagic);
    const Vd k = (Vd)(exponent + (Vi)magic) - magic;

    const Vd f = m - Splat<Vd>(1.0);
    const Vd hfsq = Splat<Vd>(0.5) * f * f;
    const Vd s = f / (Splat<Vd>(2.0) + f);
    const Vd z = s * s;
    const Vd w = z * z;
    const Vd t1 =
        w * (Splat<Vd>(3.999999999940941908e-01) +
             w * (Splat<Vd>(2.222219843214978396e-01) + w * Splat<Vd>(1.531383769920937332e-01)));
    const Vd t2 =
        z *
        (Splat<Vd>(6.666666666666735130e-01) +
         w * (Splat<Vd>(2.857142874366239149e-01) +
              w * (Splat<Vd>(1.818357216161805012e-01) + w * Splat<Vd>(1.479819860511658591e-01))));
    const Vd R = t2 + t1;
    const Vd ln2Hi = Splat<Vd>(6.93147180369123816490e-01);
    const Vd ln2Lo = Splat<Vd>(1.90821492927058770002e-10);
    return k * ln2Hi - ((hfsq - (s * (hfsq + R) + k * ln2Lo)) - f);
}

// Largest |x| for SinCos: the reduction's multiples of pi/2 stay exact below it.
constexpr double kSinCosLimit = 1.0e6;

// sin(x) and cos(x). Domain: |x| <= kSinCosLimit.
template <class Vd>
HESTON_VMATH_INLINE void SinCos(Vd x, Vd& sine, Vd& cosine) {
    using Vi = MaskOf<Vd>;
    const Vd k = RoundToInteger(x * Splat<Vd>(6.36619772367581382433e-01));
    // pi/2 in four pieces, the first two of 33 bits: k times either is exact for |k| < 2^20,
    // and so is x - k p1. The second subtraction keeps its rounding error, so that arguments
    // near a multiple of pi/2 keep their relative accuracy.
    const Vd t = x - k * Splat<Vd>(1.57079632673412561417e+00);
    const Vd kp2 = k * Splat<Vd>(6.07710050630396597660e-11);
    const Vd head = t - kp2;
    const Vd back = head - t;
    const Vd error = (t - (head - back)) - (kp2 + back);
    const Vd r = head + ((error - k * Splat<Vd>(2.02226624871116645580e-21)) -
                         k * Splat<Vd>(8.47842766036889956997e-32));
    const Vd z = r * r;
    const Vd s = r + (z * r) * (Splat<Vd>(-1.66666666666666324348e-01) +
                                z * (Splat<Vd>(8.33333333332248946124e-03) +
                                     z * (Splat<Vd>(-1.98412698298579493134e-04) +
                                          z * (Splat<Vd>(2.75573137070700676789e-06) +
                                               z * (Splat<Vd>(-2.50507602534068634195e-08) +
                                                    z * Splat<Vd>(1.58969099521155010221e-10))))));
    const Vd rc = z * (Splat<Vd>(4.16666666666666019037e-02) +
                       z * (Splat<Vd>(-1.38888888888741095749e-03) +
                            z * (Splat<Vd>(2.48015872894767294178e-05) +
                                 z * (Splat<Vd>(-2.75573143513906633035e-07) +
                                      z * (Splat<Vd>(2.08757232129817482790e-09) +
                                           z * Splat<Vd>(-1.13596475577881948265e-11))))));
    const Vd hz = Splat<Vd>(0.5) * z;
    const Vd one = Splat<Vd>(1.0);
    const Vd w = one - hz;
    const Vd c = w + (((one - w) - hz) + z * rc);
    // Quadrant k mod 4: odd quadrants swap sine and cosine; sine changes sign in quadrants 2
    // and 3, cosine in 1 and 2.
    const Vi q = ToInteger(k);
    // The parity bit moved to where it reads as the double 2.0 or 0.0, so that a comparison of
    // doubles (SSE2 has none of 64-bit integers) makes the mask.
    const Vi odd = (Vd)((q & (Vi{} + 1)) << 62) != Splat<Vd>(0.0);
    const Vd sinR = Select(odd, c, s);
    const Vd cosR = Select(odd, s, c);
    const Vi sinSign = (q & (Vi{} + 2)) << 62;
    const Vi cosSign = ((q + (Vi{} + 1)) & (Vi{} + 2)) << 62;
    sine = (Vd)((Vi)sinR ^ sinSign);
    cosine = (Vd)((Vi)cosR ^ cosSign);
}

// atan2(y, x) in (-pi, pi]. Domain: x and y finite, not both 0.
template <class Vd>
HESTON_VMATH_INLINE Vd Atan2(Vd y, Vd x) {
    using Vi = MaskOf<Vd>;
    const Vd ax = Abs(x);
    const Vd ay = Abs(y);
    const Vi swap = ay > ax;
    const Vd big = Max(ax, ay);
    const Vd small = Min(ax, ay);
    // Ratios above tan(pi/8) go through atan(a) = pi/4 + atan((a - 1) / (a + 1)), so that the
    // polynomial sees |t| <= tan(pi/8).
    const Vi reduce = small > Splat<Vd>(0.41421356237309503) * big;
    const Vd t = Select(reduce, small - big, small) / Select(reduce, small + big, big);
    const Vd z = t * t;
    const Vd w = z * z;
    const Vd s1 = z * (Splat<Vd>(3.33333333333329318027e-01) +
                       w * (Splat<Vd>(1.42857142725034663711e-01) +
                            w * (Splat<Vd>(9.09088713343650656196e-02) +
                                 w * (Splat<Vd>(6.66107313738753120669e-02) +
                                      w * (Splat<Vd>(4.97687799461593236017e-02) +
                                           w * Splat<Vd>(1.62858201153657823623e-02))))));
    const Vd s2 = w * (Splat<Vd>(-1.99999999998764832476e-01) +
                       w * (Splat<Vd>(-1.11111104054623557880e-01) +
                            w * (Splat<Vd>(-7.69187620504482999495e-02) +
                                 w * (Splat<Vd>(-5.83357013379057348645e-02) +
                                      w * Splat<Vd>(-3.65315727442169155270e-02)))));
    const Vd zero = Splat<Vd>(0.0);
    const Vd offsetHi = Select(reduce, Splat<Vd>(7.85398163397448278999e-01), zero);
    const Vd offsetLo = Select(reduce, Splat<Vd>(3.06161699786838301793e-17), zero);
    Vd a = offsetHi - ((t * (s1 + s2) - offsetLo) - t);
    a = Select(swap,
               Splat<Vd>(1.57079632679489655800e+00) - (a - Splat<Vd>(6.12323399573676603587e-17)),
               a);
    a = Select(x < zero,
               Splat<Vd>(3.1415926535897931160e+00) - (a - Splat<Vd>(1.2246467991473531772e-16)),
               a);
    return CopySign(a, y);
}

}  // namespace vmath
}  // namespace heston

#pragma GCC diagnostic pop

// Entry points that keep vectors on the stack realign it on 32-bit x86, where callers (Excel
// among them) guarantee only 4-byte alignment.
#if defined(__i386__)
#define HESTON_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define HESTON_REALIGN_STACK
#endif
