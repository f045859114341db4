// Philox: the counter-based random number generator Philox4x32-10, and the way the path
// simulation addresses it.
//
// Reference:
//   J. K. Salmon, M. A. Moraes, R. O. Dror and D. E. Shaw, "Parallel random numbers: as easy
//     as 1, 2, 3", Proceedings of the International Conference for High Performance Computing,
//     Networking, Storage and Analysis (SC11), 2011 (Philox: ten rounds of two 32 x 32 -> 64
//     bit multiplications and key-dependent exclusive ors on a 128-bit counter).
//
// The generator is a pure function of a 128-bit counter and a 64-bit key: the same counter
// and key give the same four 32-bit words on every platform and in every thread, so any draw
// of any path can be made by whichever thread makes that path, in any order. Only integer
// arithmetic is involved.
//
// Addressing (PathCounter): key = the seed; counter = (time step, stream, path pair low word,
// path pair high word). Stream 0 is the diffusion (the spot's and the variance's uniforms of
// one step for one antithetic pair); stream 1 is the jumps in log-spot of the Bates model
// (the uniforms of a compound Poisson count and of the normal of its sizes), so that adding
// jumps leaves every diffusion draw as it is;
// further streams are free.
#pragma once

#include <cstdint>

namespace heston {

struct PhiloxBlock {
    std::uint32_t word[4];
};

// Philox4x32 with ten rounds.
inline PhiloxBlock Philox4x32(PhiloxBlock counter, std::uint64_t seed) {
    constexpr std::uint32_t kMultiplier0 = 0xD2511F53u;
    constexpr std::uint32_t kMultiplier1 = 0xCD9E8D57u;
    constexpr std::uint32_t kWeyl0 = 0x9E3779B9u;  // golden ratio
    constexpr std::uint32_t kWeyl1 = 0xBB67AE85u;  // sqrt(3) - 1
    std::uint32_t key0 = static_cast<std::uint32_t>(seed);
    std::uint32_t key1 = static_cast<std::uint32_t>(seed >> 32);
    std::uint32_t* c = counter.word;
    for (int round = 0; round < 10; ++round) {
        const std::uint64_t product0 = std::uint64_t(kMultiplier0) * c[0];
        const std::uint64_t product1 = std::uint64_t(kMultiplier1) * c[2];
        const std::uint32_t hi0 = static_cast<std::uint32_t>(product0 >> 32);
        const std::uint32_t lo0 = static_cast<std::uint32_t>(product0);
        const std::uint32_t hi1 = static_cast<std::uint32_t>(product1 >> 32);
        const std::uint32_t lo1 = static_cast<std::uint32_t>(product1);
        const std::uint32_t next0 = hi1 ^ c[1] ^ key0;
        const std::uint32_t next2 = hi0 ^ c[3] ^ key1;
        c[0] = next0;
        c[1] = lo1;
        c[2] = next2;
        c[3] = lo0;
        key0 += kWeyl0;
        key1 += kWeyl1;
    }
    return counter;
}

// Streams of one time step of one antithetic pair.
enum class PathStream : std::uint32_t {
    kDiffusion = 0,  // spot and variance uniforms
    kJumps = 1,      // jump counts and sizes in log-spot
};

inline PhiloxBlock PathCounter(std::uint32_t step, PathStream stream, std::uint64_t pair) {
    return PhiloxBlock{{step, static_cast<std::uint32_t>(stream), static_cast<std::uint32_t>(pair),
                        static_cast<std::uint32_t>(pair >> 32)}};
}

// A uniform in (0, 1) from 52 random bits: (2k + 1) / 2^53. Both u and 1 - u are exact
// doubles, so an antithetic partner is exactly 1 - u, and neither is ever 0 or 1.
inline double Uniform52(std::uint32_t high, std::uint32_t low) {
    const std::uint64_t k = (std::uint64_t(high) << 20) ^ (low >> 12);  // 52 bits
    return static_cast<double>(2 * k + 1) * 0x1p-53;
}

}  // namespace heston
