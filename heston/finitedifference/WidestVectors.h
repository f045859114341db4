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
#pragma once

#include "vectormath/VectorMath.h"

namespace heston {
namespace finitedifference {

#if HESTON_VMATH_AVX2
template <class Body>
__attribute__((target("avx2"), flatten)) void RunAvx2(const Body& body) {
    body();
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

}  // namespace finitedifference
}  // namespace heston
