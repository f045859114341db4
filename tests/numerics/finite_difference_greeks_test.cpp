// Greeks of the finite-difference pricer: the grid's delta, gamma and d/d v0 against central
// differences of fine-grid prices, every Greek of European exercise against the Fourier
// pricer's exact derivatives, the knock-in's by parity, and the same numbers on any thread
// count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "contour/ContourPricer.h"
#include "finitedifference/FiniteDifferencePricer.h"
#include "thread_runner.h"

namespace {

using heston::ExerciseStyle;
using heston::FiniteDifferenceGreeks;
using heston::FiniteDifferenceOption;
using heston::FiniteDifferencePrice;
using heston::Greeks;
using heston::ModelParameters;

const ModelParameters kOosterlee{0.0625, 0.16, 5.0, 0.9, 0.1};

FiniteDifferenceOption Put(ExerciseStyle exercise) {
    FiniteDifferenceOption o;
    o.optionType = heston::kPut;
    o.strike = 10;
    o.maturity = 0.25;
    o.rate = 0.1;
    o.dividendYield = 0.02;
    o.exercise = exercise;
    return o;
}

TEST(FiniteDifferenceGreeks, GridGreeksMatchDifferencesOfFineGridPrices) {
    const FiniteDifferenceOption american = Put(ExerciseStyle::American);
    const Greeks g = FiniteDifferenceGreeks(10.0, american, kOosterlee);
    // Fine grid: two to three times the default's nodes per axis; the spot and v0 are grid
    // lines. Each bumped spot gets a grid of its own, whose differences from the others' are
    // divided by h^2 in gamma: h = 0.1 keeps that noise and the difference's own h^2 error
    // both near 2e-4 of gamma (against a grid twice as fine again).
    const heston::FiniteDifferenceGrid fine{100, 400, 64};
    const double h = 0.1;
    const double up = FiniteDifferencePrice(10.0 + h, american, kOosterlee, fine);
    const double mid = FiniteDifferencePrice(10.0, american, kOosterlee, fine);
    const double down = FiniteDifferencePrice(10.0 - h, american, kOosterlee, fine);
    ModelParameters high = kOosterlee, low = kOosterlee;
    const double hv = 0.1 * kOosterlee.v0;
    high.v0 += hv;
    low.v0 -= hv;
    const double dV0 = (FiniteDifferencePrice(10.0, american, high, fine) -
                        FiniteDifferencePrice(10.0, american, low, fine)) /
                       (2.0 * hv);
    EXPECT_NEAR(g.delta, (up - down) / (2.0 * h), 1e-3 * std::fabs(g.delta));
    EXPECT_NEAR(g.gamma, (up - 2.0 * mid + down) / (h * h), 1e-3 * g.gamma);
    EXPECT_NEAR(g.dV0, dV0, 1e-3 * g.dV0);
}

TEST(FiniteDifferenceGreeks, EuropeanGreeksMatchTheFourierPricer) {
    const Greeks fd = FiniteDifferenceGreeks(10.0, Put(ExerciseStyle::European), kOosterlee);
    const Greeks exact =
        heston::EuropeanGreeks(heston::kPut, 10.0, 10.0, 0.25, 0.1, 0.02, kOosterlee);
    EXPECT_NEAR(fd.price, exact.price, 2e-4);
    EXPECT_NEAR(fd.delta, exact.delta, 2e-4);
    EXPECT_NEAR(fd.gamma, exact.gamma, 1e-3 * exact.gamma);
    EXPECT_NEAR(fd.theta, exact.theta, 1e-3 * std::fabs(exact.theta));
    EXPECT_NEAR(fd.rho, exact.rho, 1e-3 * std::fabs(exact.rho));
    EXPECT_NEAR(fd.dividendRho, exact.dividendRho, 1e-3 * std::fabs(exact.dividendRho));
    EXPECT_NEAR(fd.dV0, exact.dV0, 1e-3 * exact.dV0);
    EXPECT_NEAR(fd.dTheta, exact.dTheta, 1e-3 * std::fabs(exact.dTheta));
    // The smaller parameter derivatives to within 1e-4 of the price's scale.
    EXPECT_NEAR(fd.dKappa, exact.dKappa, 1e-4);
    EXPECT_NEAR(fd.dSigma, exact.dSigma, 1e-4);
    EXPECT_NEAR(fd.dRho, exact.dRho, 1e-4);
}

TEST(FiniteDifferenceGreeks, KnockedOutAndKnockedInGreeks) {
    FiniteDifferenceOption o = Put(ExerciseStyle::European);
    o.barrier.type = heston::BarrierType::DownOut;
    o.barrier.lower = 9.0;
    o.barrier.rebate = 0.5;
    // On the barrier: the rebate, paid now, with no sensitivity at all.
    const Greeks out = FiniteDifferenceGreeks(9.0, o, kOosterlee);
    EXPECT_EQ(out.price, 0.5);
    EXPECT_EQ(out.delta, 0.0);
    EXPECT_EQ(out.gamma, 0.0);
    EXPECT_EQ(out.rho, 0.0);
    EXPECT_EQ(out.dV0, 0.0);
    // Knock-in + knock-out without rebates is the vanilla, Greek by Greek.
    o.barrier.rebate = 0.0;
    const Greeks ko = FiniteDifferenceGreeks(10.0, o, kOosterlee);
    o.barrier.type = heston::BarrierType::DownIn;
    const Greeks ki = FiniteDifferenceGreeks(10.0, o, kOosterlee);
    const Greeks vanilla =
        heston::EuropeanGreeks(heston::kPut, 10.0, 10.0, 0.25, 0.1, 0.02, kOosterlee);
    EXPECT_NEAR(ko.price + ki.price, vanilla.price, 1e-12);
    EXPECT_NEAR(ko.delta + ki.delta, vanilla.delta, 1e-12);
    EXPECT_NEAR(ko.dSigma + ki.dSigma, vanilla.dSigma, 1e-12);
}

TEST(FiniteDifferenceGreeks, SameBitsOnAnyThreadCount) {
    FiniteDifferenceOption o = Put(ExerciseStyle::American);
    o.barrier.type = heston::BarrierType::UpOut;
    o.barrier.upper = 12.0;
    o.barrier.rebate = 0.1;
    const heston::FiniteDifferenceGrid coarse{20, 60, 12};
    const Greeks serial = FiniteDifferenceGreeks(10.0, o, kOosterlee, coarse);
    for (int threads : {2, 7}) {
        test_support::ThreadRunner runner(threads);
        const Greeks parallel = FiniteDifferenceGreeks(10.0, o, kOosterlee, coarse, runner);
        EXPECT_EQ(std::memcmp(&serial, &parallel, sizeof serial), 0) << threads << " threads";
    }
}

}  // namespace
