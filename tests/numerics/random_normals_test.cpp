// Polar Box-Muller normals: draw counts and values against a hand replay of the generator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "closedform/Heston.h"
#include "montecarlo/RuntimeRand.h"

namespace {

// An independent replay of the stream: the Windows runtime's rand from its first state.
class ReplayedStream {
  public:
    int Next() {
        state = state * 214013u + 2531011u;
        ++draws;
        return static_cast<int>((state >> 16) & 0x7fff);
    }
    // One accepted polar pair: m * u1 and m * u2.
    std::vector<double> Pair() {
        double u1, u2, w;
        do {
            u1 = 2.0 * Next() / 32767.0 - 1.0;
            u2 = 2.0 * Next() / 32767.0 - 1.0;
            w = u1 * u1 + u2 * u2;
        } while (w >= 1.0);
        const double m = std::sqrt(-2.0 * std::log(w) / w);
        return {m * u1, m * u2};
    }
    std::uint64_t draws = 0;

  private:
    std::uint32_t state = 1;
};

}  // namespace

TEST(RandomNormals, DrawsOnePairMoreThanNeededForEvenCounts) {
    RuntimeRandRestart();
    ReplayedStream replay;
    Heston model;

    EXPECT_TRUE(model.RandomNormals(0).empty());
    replay.Pair();
    EXPECT_EQ(RuntimeRandDrawCount(), replay.draws) << "RandomNormals(0) draws one pair";

    const std::vector<double> one = model.RandomNormals(1);
    const std::vector<double> expectedOne = replay.Pair();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(RuntimeRandDrawCount(), replay.draws) << "RandomNormals(1) draws one pair";
    EXPECT_NEAR(one[0], expectedOne[0], 1e-15);

    const std::vector<double> four = model.RandomNormals(4);
    std::vector<double> expectedFour = replay.Pair();
    const std::vector<double> second = replay.Pair();
    expectedFour.insert(expectedFour.end(), second.begin(), second.end());
    replay.Pair();  // the surplus third pair
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(RuntimeRandDrawCount(), replay.draws) << "RandomNormals(4) draws three pairs";
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(four[i], expectedFour[i], 1e-15) << "index " << i;

    // An odd count uses both values of every pair and draws no surplus.
    const std::vector<double> three = heston_RandomVars(3);
    const std::vector<double> p1 = replay.Pair();
    ASSERT_EQ(three.size(), 3u);
    EXPECT_NEAR(three[1], p1[1], 1e-15);
    EXPECT_NEAR(three[2], replay.Pair()[0], 1e-15);
    EXPECT_EQ(RuntimeRandDrawCount(), replay.draws);
}

TEST(RandomNormals, NegativeCountThrowsLengthErrorWithoutDrawing) {
    Heston model;
    const std::uint64_t before = RuntimeRandDrawCount();
    EXPECT_THROW(model.RandomNormals(-1), std::length_error);
    EXPECT_EQ(RuntimeRandDrawCount(), before);
}
