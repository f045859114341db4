// American and European exercise on the finite-difference grid: Oosterlee's American puts, the
// Fourier pricer for European exercise, a converged reference for a longer-dated put, and the
// American call without dividends, which is never exercised early.
#include <gtest/gtest.h>

#include <cmath>

#include "contour/ContourPricer.h"
#include "finitedifference/FiniteDifferencePricer.h"

namespace {

using heston::ExerciseStyle;
using heston::FiniteDifferenceOption;
using heston::FiniteDifferencePrice;
using heston::ModelParameters;

FiniteDifferenceOption Vanilla(int type, double strike, double maturity, double rate,
                               double dividendYield, ExerciseStyle exercise) {
    FiniteDifferenceOption o;
    o.optionType = type;
    o.strike = strike;
    o.maturity = maturity;
    o.rate = rate;
    o.dividendYield = dividendYield;
    o.exercise = exercise;
    return o;
}

// C. W. Oosterlee, "On multigrid for linear complementarity problems with application to
// American-style options", Electron. Trans. Numer. Anal. 15, 2003: K = 10, r = 0.1, T = 0.25,
// kappa = 5, theta = 0.16, sigma = 0.9, rho = 0.1.
TEST(FiniteDifferenceAmerican, OosterleesPutsAtTheDefaultGrid) {
    const double spots[5] = {8, 9, 10, 11, 12};
    const double v0[2] = {0.0625, 0.25};
    const double reference[2][5] = {{2.000000, 1.107621, 0.520030, 0.213677, 0.082044},
                                    {2.078372, 1.333640, 0.795983, 0.448277, 0.242813}};
    for (int a = 0; a < 2; ++a) {
        const ModelParameters model{v0[a], 0.16, 5.0, 0.9, 0.1};
        for (int k = 0; k < 5; ++k) {
            const double price = FiniteDifferencePrice(
                spots[k], Vanilla(heston::kPut, 10, 0.25, 0.1, 0.0, ExerciseStyle::American),
                model);
            EXPECT_NEAR(price, reference[a][k], 2e-4) << "v0 " << v0[a] << " S " << spots[k];
        }
    }
}

TEST(FiniteDifferenceAmerican, EuropeanExerciseOnTheGridMatchesTheFourierPricer) {
    struct Case {
        double spot, strike, maturity, rate, yield;
        ModelParameters model;
    };
    // Oosterlee's set; a long maturity with Feller's condition failing and strong negative
    // correlation; a dividend yield above the rate; ten years and a very volatile year, whose
    // wide spot axes take more spot points.
    const Case cases[] = {
        {9.0, 10.0, 0.25, 0.1, 0.0, {0.0625, 0.16, 5.0, 0.9, 0.1}},
        {11.0, 10.0, 0.25, 0.1, 0.0, {0.25, 0.16, 5.0, 0.9, 0.1}},
        {100.0, 100.0, 1.0, 0.05, 0.0, {0.04, 0.04, 2.5, 0.66, -0.8}},
        {100.0, 110.0, 0.5, 0.01, 0.04, {0.09, 0.06, 1.5, 0.4, -0.5}},
        {100.0, 120.0, 10.0, 0.02, 0.0, {0.09, 0.04, 0.5, 0.3, -0.5}},
        {50.0, 60.0, 1.0, 0.05, 0.0, {0.3, 0.2, 2.0, 1.2, -0.3}},
    };
    for (const Case& c : cases) {
        for (int type : {heston::kCall, heston::kPut}) {
            const double grid = FiniteDifferencePrice(
                c.spot,
                Vanilla(type, c.strike, c.maturity, c.rate, c.yield, ExerciseStyle::European),
                c.model);
            const double fourier =
                heston::EuropeanPrice(type, c.spot, c.strike, c.maturity, c.rate, c.yield, c.model);
            EXPECT_NEAR(grid, fourier, 2e-5 * c.spot)
                << "type " << type << " S " << c.spot << " K " << c.strike;
        }
    }
}

// QuantLib's test put: S = K = 100, T = 1, r = 0.05, v0 = theta = 0.04, kappa = 2.5,
// sigma = 0.66, rho = -0.8 (its suite expects 5.66032, a coarse-grid value). Reference 5.67538:
// the grids k x (50, 128, 64) for k = 1, 2, 4, 8 give 5.674542, 5.675258, 5.675377, 5.675376.
TEST(FiniteDifferenceAmerican, LongerDatedPutAgainstAConvergedReference) {
    const ModelParameters model{0.04, 0.04, 2.5, 0.66, -0.8};
    const FiniteDifferenceOption put =
        Vanilla(heston::kPut, 100, 1.0, 0.05, 0.0, ExerciseStyle::American);
    EXPECT_NEAR(FiniteDifferencePrice(100, put, model), 5.67538, 1e-3);
    EXPECT_NEAR(FiniteDifferencePrice(100, put, model, {100, 256, 128}), 5.67538, 2.5e-4);
}

TEST(FiniteDifferenceAmerican, CallWithoutDividendsIsNeverExercisedEarly) {
    const ModelParameters model{0.0625, 0.16, 5.0, 0.9, 0.1};
    for (double spot : {9.0, 11.0}) {
        const double american = FiniteDifferencePrice(
            spot, Vanilla(heston::kCall, 10, 0.25, 0.1, 0.0, ExerciseStyle::American), model);
        const double european = FiniteDifferencePrice(
            spot, Vanilla(heston::kCall, 10, 0.25, 0.1, 0.0, ExerciseStyle::European), model);
        EXPECT_NEAR(american, european, 1e-8 * spot);
        // With a high dividend yield early exercise is worth something.
        const double withYield = FiniteDifferencePrice(
            spot, Vanilla(heston::kCall, 10, 0.25, 0.1, 0.2, ExerciseStyle::American), model);
        EXPECT_GT(withYield, heston::EuropeanPrice(heston::kCall, spot, 10, 0.25, 0.1, 0.2, model));
    }
}

}  // namespace
