// WidestVectors: runs a loop body compiled for AVX2 where the processor has it, and for SSE2
// (every x86-64 processor) elsewhere.
//
// The time stepping's loops are element-wise sums and products over grid rows, which the
// compiler vectorises; compiled for AVX2 they handle four nodes per instruction instead of two.
// RunWidest(body) calls body through a copy of it flattened into a function compiled for AVX2
// (every call inside body that the compiler can see is inlined there and vectorised for AVX2).
// The two copies perform the same IEEE operations on each element in the same order (no
// reductions are reordered and no multiply-adds fused, the build being ISO C++), so they give
// the same bits.
//
// RunWidestLanes(body) does the same for a body that works on vectors of its own: it tells the
// body the lane count of the code it is compiled into.
#pragma once

#include "vectormath/VectorMath.h"

namespace heston {
namespace finitedifference {

// The lane counts a body may be compiled for: RunWidestLanes(body) calls body(TwoLanes{}) in
// SSE2 code and body(FourLanes{}) in AVX2 code, for loops that hold vectors themselves.
struct TwoLanes {
    static constexpr int kLanes = 2;
};
struct FourLanes {
    static constexpr int kLanes = 4;
};

#if HESTON_VMATH_AVX2
template <class Body>
__attribute__((target("avx2"), flatten)) void RunAvx2(const Body& body) {
    body();
}

template <class Body>
__attribute__((target("avx2"), flatten)) void RunAvx2Lanes(const Body& body) {
    body(FourLanes{});
}
#endif

template <class Body>
void RunWidest(const Body& body) {
#if HESTON_VMATH_AVX2
    static const bool avx2 = vmath::HasAvx2();
    if (avx2) {
        RunAvx2(body);
        return;
    }
#endif
    body();
}

template <class Body>
void RunWidestLanes(const Body& body) {
#if HESTON_VMATH_AVX2
    static const bool avx2 = vmath::HasAvx2();
    if (avx2) {
        RunAvx2Lanes(body);
        return;
    }
#endif
    body(TwoLanes{});
}

}  // namespace finitedifference
}  // namespace heston
