// The process-wide uniform stream of the Differential Evolution solver, checked draw for draw
// against an independent generator that starts, like the solver's, with the process: the
// first values of a fresh process, the order of the seeding draws and the number of draws
// each trial generator takes at crossover rates 0 and 1.
//
// Every test here keeps the mirror in step with the solver's stream, so the file passes both
// when each test runs in its own process and when all run in one.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "optimisation/DESolver.h"

namespace {

// L'Ecuyer's combined generator with a 32-entry Bays-Durham shuffle, in 64-bit arithmetic
// instead of Schrage's decomposition.
class MirrorGenerator {
  public:
    double Draw(double lo, double hi) {
        if (y_ == 0) s1_ = 3;
        s1_ = 40014 * s1_ % 2147483563;
        s2_ = 40692 * s2_ % 2147483399;
        const std::int64_t slot = y_ / 67108862;
        y_ = table_[slot] - s2_;
        table_[slot] = s1_;
        if (y_ < 1) y_ += 2147483562;
        double u = y_ * 4.656613057391769e-10;
        if (u > 0.99999988) u = 0.99999988;
        return lo + u * (hi - lo);
    }
    // A member index different from target and from every index in taken.
    int Index(int target, int population, const std::vector<int>& taken) {
        for (;;) {
            const int index = static_cast<int>(Draw(0.0, population));
            bool clash = index == target;
            for (int t : taken) clash = clash || index == t;
            if (!clash) return index;
        }
    }

  private:
    std::int64_t s1_ = 0, s2_ = 123456789, y_ = 0;
    std::int64_t table_[32] = {};
};

// Starts with the process, as the solver's stream does.
MirrorGenerator mirror;

// Next draws of the solver and the mirror agree only if both took equally many draws.
void ExpectInStep() {
    const double mirrored = mirror.Draw(0.0, 1.0);
    EXPECT_EQ(DESolver::UniformDraw(0.0, 1.0), mirrored) << "solver and mirror out of step";
}

class Probe : public DESolver {
  public:
    using DESolver::DESolver;
    double Evaluate(const double*, bool&) override { return 0.0; }
    void Trial(int target) {
        void (DESolver::*const make)(int) = MakeTrial;
        (this->*make)(target);
    }
    void SetBest(const std::vector<double>& b) {
        for (int j = 0; j < dimension; ++j) bestVector[j] = b[j];
    }
    const double* Member(int i) const { return populationMatrix + i * dimension; }
};

constexpr int kD = 4;
constexpr int kP = 7;
const int kIndexCount[10] = {2, 3, 2, 4, 5, 2, 3, 2, 4, 5};

// Seeds a probe and mirrors the P x D seeding draws, member by member.
void Seed(Probe& probe, int code, double F, double CR) {
    const double lower[kD] = {-1.0, 0.0, 10.0, 5.0};
    const double upper[kD] = {1.0, 2.0, 20.0, -5.0};
    probe.Initialise(lower, upper, code, F, CR);
    for (int i = 0; i < kP; ++i) {
        for (int j = 0; j < kD; ++j) {
            ASSERT_EQ(probe.Member(i)[j], mirror.Draw(lower[j], upper[j])) << i << "," << j;
        }
    }
    probe.SetBest({0.25, -0.5, 12.0, 3.0});
}

// The component a scheme (code mod 5) gives at full crossover, from mirrored indices.
double Mutant(const Probe& probe, int code, int target, const std::vector<int>& r, int c,
              double F) {
    auto x = [&](int k) { return probe.Member(r[k])[c]; };
    const double b = probe.BestVector()[c];
    const double t = probe.Member(target)[c];
    switch (code % 5) {
        case 0:
            return b + F * (x(0) - x(1));
        case 1:
            return x(0) + F * (x(1) - x(2));
        case 2:
            return t + F * (b - t) + F * (x(0) - x(1));
        case 3:
            return b + F * (x(0) + x(1) - x(2) - x(3));
        default:
            return x(0) + F * (x(1) + x(2) - x(3) - x(4));
    }
}

}  // namespace

TEST(UniformDraw, FreshProcessStartsWithKnownValues) {
    MirrorGenerator fresh;
    const double expected[3] = {0.6554163483, 0.2009951855, 0.8936223876};
    for (double e : expected) EXPECT_NEAR(fresh.Draw(0.0, 1.0), e, 1e-10);
    // In a fresh process (this test runs first in its executable) the solver's stream is
    // at its start too; otherwise it is at the mirror's position.
    for (int k = 0; k < 3; ++k) ExpectInStep();
}

TEST(UniformDraw, FollowsTheCombinedGeneratorAndStaysInsideTheOpenInterval) {
    for (int k = 0; k < 200000; ++k) {
        const double u = DESolver::UniformDraw(0.0, 1.0);
        ASSERT_EQ(u, mirror.Draw(0.0, 1.0)) << "draw " << k;
        ASSERT_GT(u, 0.0);
        ASSERT_LE(u, 0.99999988);
    }
    // Reversed bounds give values between them as well.
    const double x = DESolver::UniformDraw(5.0, -5.0);
    EXPECT_EQ(x, mirror.Draw(5.0, -5.0));
    EXPECT_TRUE(x > -5.0 && x < 5.0);
}

TEST(DESolverDraws, IndexSelectionRedrawsClashesAndSkipsUnwantedIndices) {
    Probe probe(1, 6);
    const int target = 2;
    int r[5];
    probe.PickDistinctIndices(target, &r[0], &r[1], &r[2], &r[3], &r[4]);
    std::vector<int> expected;
    for (int k = 0; k < 5; ++k) expected.push_back(mirror.Index(target, 6, expected));
    // Six members leave exactly the five others for five indices.
    for (int k = 0; k < 5; ++k) EXPECT_EQ(r[k], expected[k]);
    ExpectInStep();

    int a = -1, c = -1;
    probe.PickDistinctIndices(target, &a, nullptr, &c, nullptr, nullptr);
    const int ea = mirror.Index(target, 6, {});
    const int ec = mirror.Index(target, 6, {ea});
    EXPECT_EQ(a, ea);
    EXPECT_EQ(c, ec);
    ExpectInStep();
}

TEST(DESolverDraws, FullCrossoverChangesEveryComponentWithTheSchemesFormula) {
    const double F = 0.8;
    for (int code = 0; code < 10; ++code) {
        Probe probe(kD, kP);
        Seed(probe, code, F, 1.0);
        const int target = 3;
        probe.Trial(target);
        std::vector<int> r;
        for (int k = 0; k < kIndexCount[code]; ++k) r.push_back(mirror.Index(target, kP, r));
        mirror.Draw(0.0, kD);  // start component: every component changes anyway
        // Exponential: D changes and one more draw that ends the run; binomial: D draws.
        const int crossoverDraws = code < 5 ? kD + 1 : kD;
        for (int k = 0; k < crossoverDraws; ++k) mirror.Draw(0.0, 1.0);
        for (int c = 0; c < kD; ++c) {
            EXPECT_DOUBLE_EQ(probe.TrialVector()[c], Mutant(probe, code, target, r, c, F))
                << "code " << code << " component " << c;
        }
        ExpectInStep();
    }
}

TEST(DESolverDraws, ZeroCrossoverKeepsTheTargetOrChangesOnlyTheLastVisited) {
    const double F = 0.8;
    for (int code = 0; code < 10; ++code) {
        Probe probe(kD, kP);
        Seed(probe, code, F, 0.0);
        const int target = 5;
        probe.Trial(target);
        std::vector<int> r;
        for (int k = 0; k < kIndexCount[code]; ++k) r.push_back(mirror.Index(target, kP, r));
        const int start = static_cast<int>(mirror.Draw(0.0, kD));
        const int crossoverDraws = code < 5 ? 1 : kD;
        for (int k = 0; k < crossoverDraws; ++k) mirror.Draw(0.0, 1.0);
        // Binomial crossover always changes the last component it visits.
        const int changed = code < 5 ? -1 : (start + kD - 1) % kD;
        for (int c = 0; c < kD; ++c) {
            const double expected =
                c == changed ? Mutant(probe, code, target, r, c, F) : probe.Member(target)[c];
            EXPECT_DOUBLE_EQ(probe.TrialVector()[c], expected)
                << "code " << code << " component " << c;
        }
        ExpectInStep();
    }
}
