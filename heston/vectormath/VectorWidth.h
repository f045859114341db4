// VectorWidth: which vector loops a pricer runs: the widest this processor has (AVX2, four
// lanes, in packs of two vectors) or the SSE2 ones every x86-64 processor has (two lanes).
// Every lane computes the same operations at either width; callers that promise the same values
// bit for bit at both widths are tested on both (tests/numerics/bit_identical_paths_test.cpp).
#pragma once

namespace heston {

enum class VectorWidth { kWidest, kSse2 };

}  // namespace heston
