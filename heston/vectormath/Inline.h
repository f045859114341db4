// Inline: the one force-inline macro of the vector code.
//
// The kernels of VectorMath.h, the packs of VectorPack.h and the complex arithmetic built on
// them are always inlined, so that each takes the instruction set of the loop that uses it: a
// loop compiled for AVX2 (target("avx2"), flatten) gets them as AVX2 code, the same helpers in
// an SSE2 loop as SSE2 code.
#pragma once

#define HESTON_VMATH_INLINE inline __attribute__((always_inline))
