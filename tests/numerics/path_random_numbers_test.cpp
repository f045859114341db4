// The path simulation's random numbers: Philox4x32-10 against the known-answer vectors its
// authors published, the uniforms' antithetic exactness and range, and the normal quantile
// against the normal distribution function of the C library.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "pathsimulation/InverseNormal.h"
#include "pathsimulation/Philox.h"

#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

using heston::PhiloxBlock;

TEST(Philox, KnownAnswers) {
    struct Case {
        PhiloxBlock counter;
        std::uint64_t key;
        PhiloxBlock expected;
    };
    const Case cases[] = {
        {{{0, 0, 0, 0}}, 0, {{0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}}},
        {{{0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff}},
         0xffffffffffffffffull,
         {{0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}}},
        {{{0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344}},
         0x299f31d0a4093822ull,
         {{0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}}},
    };
    for (const Case& c : cases) {
        const PhiloxBlock got = heston::Philox4x32(c.counter, c.key);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(got.word[i], c.expected.word[i]) << i;
    }
}

TEST(Philox, UniformsAreInsideTheIntervalAndTheirPartnersExact) {
    const double smallest = heston::Uniform52(0, 0);
    const double largest = heston::Uniform52(0xffffffffu, 0xffffffffu);
    EXPECT_EQ(smallest, 0x1p-53);
    EXPECT_EQ(largest, 1.0 - 0x1p-53);
    for (std::uint32_t k = 0; k < 1000; ++k) {
        const PhiloxBlock r =
            heston::Philox4x32(heston::PathCounter(k, heston::PathStream::kDiffusion, 7), 42);
        const double u = heston::Uniform52(r.word[0], r.word[1]);
        ASSERT_GT(u, 0.0);
        ASSERT_LT(u, 1.0);
        // 1 - u is exact: adding u back gives exactly 1, and (1 - u) - 1 gives exactly -u.
        const double partner = 1.0 - u;
        EXPECT_EQ(partner + u, 1.0);
        EXPECT_EQ(1.0 - partner, u);
    }
    // Different streams and pairs give different draws.
    const PhiloxBlock a =
        heston::Philox4x32(heston::PathCounter(3, heston::PathStream::kDiffusion, 5), 1);
    const PhiloxBlock b =
        heston::Philox4x32(heston::PathCounter(3, heston::PathStream::kJumps, 5), 1);
    const PhiloxBlock c = heston::Philox4x32(
        heston::PathCounter(3, heston::PathStream::kDiffusion, 1ull << 32 | 5), 1);
    EXPECT_NE(a.word[0], b.word[0]);
    EXPECT_NE(a.word[0], c.word[0]);
}

double Quantile(double p) {
    using V2 = heston::vmath::V2;
    return heston::InverseNormal(V2{p, p})[0];
}

TEST(InverseNormal, InvertsTheNormalDistributionToRounding) {
    // Phi(z) = p checked through erfc in the tail where p is small: the relative error of p
    // caused by an error dz is phi(z) dz / p.
    double worst = 0.0;
    for (double p : {1e-300, 0x1p-53, 1e-12, 1e-6, 0.001, 0.02425, 0.075, 0.0751, 0.2, 0.4999, 0.5,
                     0.6, 0.924, 0.93, 0.99, 1.0 - 0x1p-53}) {
        const double z = Quantile(p);
        const double tail =
            p < 0.5 ? 0.5 * std::erfc(-z / std::sqrt(2.0)) : 0.5 * std::erfc(z / std::sqrt(2.0));
        const double target = p < 0.5 ? p : 1.0 - p;
        worst = std::max(worst, std::fabs(tail - target) / target);
        EXPECT_NEAR(tail, target, 1e-13 * target) << p;
    }
    std::printf("largest relative error of the probability: %.2e\n", worst);
    EXPECT_EQ(Quantile(0.5), 0.0);
    // Symmetry, exactly, for the generator's uniforms (whose 1 - u is exact): the antithetic
    // normal is the negated one.
    for (std::uint32_t k = 0; k < 2000; ++k) {
        const PhiloxBlock r =
            heston::Philox4x32(heston::PathCounter(k, heston::PathStream::kDiffusion, 3), 9);
        const double u = heston::Uniform52(r.word[0] >> (k % 32), r.word[1]);
        ASSERT_EQ(Quantile(1.0 - u), -Quantile(u)) << u;
    }
}

}  // namespace
