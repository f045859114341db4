// Differential Evolution solver: seeding, the generation loop (acceptance, stop, zero
// generations), convergence of every strategy on a known minimum, and argument checks.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

#include "optimisation/DESolver.h"

namespace {

class Minimiser : public DESolver {
  public:
    using DESolver::DESolver;
    std::function<double(const double*, bool&)> cost;
    int evaluations = 0;
    double Evaluate(const double* x, bool& stop) override {
        ++evaluations;
        return cost(x, stop);
    }
};

// Shifted sphere with its minimum 0 at (1, -2, 0.5).
double Sphere(const double* x) {
    const double m[3] = {1.0, -2.0, 0.5};
    double s = 0.0;
    for (int j = 0; j < 3; ++j) s += (x[j] - m[j]) * (x[j] - m[j]);
    return s;
}

const double kLower[3] = {-5.0, -5.0, -5.0};
const double kUpper[3] = {5.0, 5.0, 5.0};

}  // namespace

TEST(DESolver, ConstructionDefaultsAndSeedingWithinBounds) {
    Minimiser solver(3, 8);
    EXPECT_EQ(solver.GenerationsRun(), 0);
    EXPECT_EQ(solver.StrategyCode(), 1);
    EXPECT_EQ(solver.BestCost(), 0.0);

    // Reversed bounds on the last component seed between them all the same.
    const double lower[3] = {0.0, -1.0, 3.0};
    const double upper[3] = {1.0, 1.0, 2.0};
    solver.Initialise(lower, upper, 7, 0.5, 0.9);
    EXPECT_EQ(solver.StrategyCode(), 7);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(solver.PopulationCost()[i], 1e20);
        for (int j = 0; j < 3; ++j) {
            const double x = solver.PopulationMatrix()[i * 3 + j];
            EXPECT_GT(x, std::fmin(lower[j], upper[j]));
            EXPECT_LT(x, std::fmax(lower[j], upper[j]));
        }
    }
    for (int j = 0; j < 3; ++j) EXPECT_EQ(solver.BestVector()[j], 0.0);
    EXPECT_EQ(solver.evaluations, 0);  // seeding evaluates nobody
}

TEST(DESolver, ZeroOrNegativeGenerationsLeaveTheSeedUntouched) {
    Minimiser solver(3, 8);
    solver.cost = [](const double* x, bool&) { return Sphere(x); };
    solver.Initialise(kLower, kUpper, 1, 0.7, 0.5);
    const std::vector<double> seeded(solver.PopulationMatrix(), solver.PopulationMatrix() + 24);
    for (int g : {0, -3}) {
        EXPECT_FALSE(solver.Run(g));
        EXPECT_EQ(solver.GenerationsRun(), 0);
        EXPECT_EQ(solver.BestCost(), 1e20);
        for (int j = 0; j < 3; ++j) EXPECT_EQ(solver.BestVector()[j], 0.0);
    }
    EXPECT_EQ(solver.evaluations, 0);
    EXPECT_EQ(std::vector<double>(solver.PopulationMatrix(), solver.PopulationMatrix() + 24),
              seeded);
}

TEST(DESolver, TrialsCostingAtLeastTheSeedCostOrNaNAreNeverAccepted) {
    for (double rejected : {1e20, 2e20, std::numeric_limits<double>::quiet_NaN()}) {
        Minimiser solver(3, 8);
        solver.cost = [rejected](const double*, bool&) { return rejected; };
        solver.Initialise(kLower, kUpper, 6, 0.7, 0.5);
        const std::vector<double> seeded(solver.PopulationMatrix(), solver.PopulationMatrix() + 24);
        solver.Run(3);
        EXPECT_EQ(solver.evaluations, 24);
        EXPECT_EQ(solver.BestCost(), 1e20);
        for (int j = 0; j < 3; ++j) EXPECT_EQ(solver.BestVector()[j], 0.0);
        EXPECT_EQ(std::vector<double>(solver.PopulationMatrix(), solver.PopulationMatrix() + 24),
                  seeded);
    }
}

TEST(DESolver, StopRequestFinishesTheCurrentGeneration) {
    Minimiser solver(3, 8);
    // Raised at the fourth evaluation of generation 2 (counting from 0).
    solver.cost = [&solver](const double* x, bool& stop) {
        if (solver.evaluations == 2 * 8 + 4) stop = true;
        return Sphere(x);
    };
    solver.Initialise(kLower, kUpper, 5, 0.7, 0.5);
    EXPECT_TRUE(solver.Run(100));
    EXPECT_EQ(solver.GenerationsRun(), 3);
    EXPECT_EQ(solver.evaluations, 3 * 8);
}

TEST(DESolver, EveryStrategyFindsTheMinimumOfASphere) {
    for (int code = 0; code < 10; ++code) {
        Minimiser solver(3, 20);
        solver.cost = [](const double* x, bool&) { return Sphere(x); };
        solver.Initialise(kLower, kUpper, code, 0.6, 0.9);
        solver.Run(300);
        // Strategies 0 and 5 start from a best vector of zeros, so every one must get there.
        EXPECT_LT(solver.BestCost(), 1e-8) << "code " << code;
        EXPECT_NEAR(solver.BestVector()[0], 1.0, 1e-4) << "code " << code;
        EXPECT_NEAR(solver.BestVector()[1], -2.0, 1e-4) << "code " << code;
        EXPECT_NEAR(solver.BestVector()[2], 0.5, 1e-4) << "code " << code;
        // The best cost is the cost of the best vector and no member is cheaper.
        EXPECT_EQ(Sphere(solver.BestVector()), solver.BestCost());
        for (int i = 0; i < 20; ++i) EXPECT_GE(solver.PopulationCost()[i], solver.BestCost());
    }
}

TEST(DESolver, RejectsUnknownStrategiesTooSmallPopulationsAndRunningUnseeded) {
    for (int code : {-1, 10, 42}) {
        Minimiser solver(3, 10);
        EXPECT_THROW(solver.Initialise(kLower, kUpper, code, 0.7, 0.5), std::invalid_argument);
        EXPECT_EQ(solver.StrategyCode(), 1) << "a rejected call changes nothing";
    }
    const int minimum[10] = {3, 4, 3, 5, 6, 3, 4, 3, 5, 6};
    for (int code = 0; code < 10; ++code) {
        Minimiser tooSmall(3, minimum[code] - 1);
        EXPECT_THROW(tooSmall.Initialise(kLower, kUpper, code, 0.7, 0.5), std::invalid_argument)
            << "code " << code;
        Minimiser enough(3, minimum[code]);
        enough.cost = [](const double* x, bool&) { return Sphere(x); };
        EXPECT_NO_THROW(enough.Initialise(kLower, kUpper, code, 0.7, 0.5)) << "code " << code;
        EXPECT_NO_THROW(enough.Run(2)) << "code " << code;
    }
    Minimiser unseeded(3, 10);
    EXPECT_THROW(unseeded.Run(1), std::logic_error);
    Minimiser empty;  // owns no arrays: may neither be seeded nor run
    EXPECT_THROW(empty.Initialise(kLower, kUpper, 0, 0.7, 0.5), std::invalid_argument);
    EXPECT_THROW(empty.Run(1), std::logic_error);
}
