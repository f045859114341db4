// VectorPack: two vectors worked as one wider vector, for the loops of the closed-form price.
//
// The kernels of VectorMath.h and the complex arithmetic built on them are long chains of
// dependent operations (a division waits for a square root, which waits for a product, ...).
// With one vector per loop iteration the processor spends most of each iteration waiting for
// the previous result while its other execution units idle. A Pack holds two independent
// vectors, and each of its operations is the same operation on both halves, issued one after
// the other, so that the two chains run side by side. Every lane computes exactly the same
// operations, in the same order and with the same roundings, as it would in a single vector:
// packing changes the speed, never a value.
//
// Pack<V2> is four points in SSE2 registers, Pack<V4> eight in AVX2 registers, and packs nest
// (Pack<Pack<V2>> is eight points in SSE2 registers).
#pragma once

#include <type_traits>

#include "vectormath/Inline.h"

// Vectors of four lanes pass between these inline functions only inside AVX2 code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {
namespace vmath {

template <class H>
struct Pack {
    H lo;
    H hi;

    // Pack{} is all zeros, as a vector's H{} is.
    Pack() = default;
    constexpr Pack(H low, H high) : lo(low), hi(high) {}

    // The bits of a pack of the same size reinterpreted, as a cast between vectors does.
    template <class O, class = std::enable_if_t<sizeof(O) == sizeof(H)>>
    explicit Pack(const Pack<O>& other) : lo((H)other.lo), hi((H)other.hi) {}

    // Lane i (lanes 0 .. n - 1 of the low half, then those of the high half).
    auto operator[](int i) const {
        constexpr int half = static_cast<int>(sizeof(H) / 8);
        return i < half ? lo[i] : hi[i - half];
    }
};

// Binary operators between packs, and between a pack and a scalar (applied to every lane, as
// with a vector), and the compound assignments.
// Whether a type is a pack.
template <class T>
struct IsPack : std::false_type {};
template <class H>
struct IsPack<Pack<H>> : std::true_type {};

#define HESTON_PACK_BINARY(op)                                                          \
    template <class H>                                                                  \
    HESTON_VMATH_INLINE Pack<H> operator op(const Pack<H>& a, const Pack<H>& b) {       \
        return {a.lo op b.lo, a.hi op b.hi};                                            \
    }                                                                                   \
    template <class H, class S, class = std::enable_if_t<std::is_arithmetic<S>::value>> \
    HESTON_VMATH_INLINE Pack<H> operator op(const Pack<H>& a, S s) {                    \
        return {a.lo op s, a.hi op s};                                                  \
    }                                                                                   \
    template <class H>                                                                  \
    HESTON_VMATH_INLINE Pack<H>& operator op##=(Pack<H>& a, const Pack<H>& b) {         \
        a.lo = a.lo op b.lo;                                                            \
        a.hi = a.hi op b.hi;                                                            \
        return a;                                                                       \
    }

HESTON_PACK_BINARY(+)
HESTON_PACK_BINARY(-)
HESTON_PACK_BINARY(*)
HESTON_PACK_BINARY(/)
HESTON_PACK_BINARY(&)
HESTON_PACK_BINARY(|)
HESTON_PACK_BINARY(^)
HESTON_PACK_BINARY(<<)
HESTON_PACK_BINARY(>>)
#undef HESTON_PACK_BINARY

template <class H>
HESTON_VMATH_INLINE Pack<H> operator~(const Pack<H>& a) {
    return {~a.lo, ~a.hi};
}

// Comparisons give a pack of the halves' lane masks.
#define HESTON_PACK_COMPARE(op)                                                \
    template <class H>                                                         \
    HESTON_VMATH_INLINE auto operator op(const Pack<H>& a, const Pack<H>& b) { \
        using Mask = decltype(a.lo op b.lo);                                   \
        return Pack<Mask>{a.lo op b.lo, a.hi op b.hi};                         \
    }

HESTON_PACK_COMPARE(<)
HESTON_PACK_COMPARE(>)
HESTON_PACK_COMPARE(<=)
HESTON_PACK_COMPARE(>=)
HESTON_PACK_COMPARE(==)
HESTON_PACK_COMPARE(!=)
#undef HESTON_PACK_COMPARE

}  // namespace vmath
}  // namespace heston

#pragma GCC diagnostic pop
