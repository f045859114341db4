// Barrier options on the finite-difference grid: single barriers against Reiner and
// Rubinstein's formulas at vanishing volatility of variance, what a spot beyond a barrier is
// worth, double barriers, discrete observations, American knock-outs and the refusal of American
// knock-ins.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "barrier_reference.h"
#include "black_scholes_reference.h"
#include "contour/ContourPricer.h"
#include "finitedifference/FiniteDifferencePricer.h"

namespace {

using heston::BarrierType;
using heston::ExerciseStyle;
using heston::FiniteDifferenceOption;
using heston::FiniteDifferencePrice;
using heston::ModelParameters;
using test_support::ReferenceBarrier;

constexpr double kVol = 0.25, kRate = 0.05, kYield = 0.02, kMaturity = 0.5, kSpot = 100.0;
// Constant variance kVol^2: sigma so small that the Heston price is the Black-Scholes price
// to far below the tolerances.
const ModelParameters kConstantVariance{kVol * kVol, kVol* kVol, 1.0, 1e-4, 0.0};

FiniteDifferenceOption BarrierOption(int type, double strike, BarrierType barrier, double lower,
                                     double upper, double rebate, int observations = 0) {
    FiniteDifferenceOption o;
    o.optionType = type;
    o.strike = strike;
    o.maturity = kMaturity;
    o.rate = kRate;
    o.dividendYield = kYield;
    o.barrier.type = barrier;
    o.barrier.lower = lower;
    o.barrier.upper = upper;
    o.barrier.rebate = rebate;
    o.barrier.observations = observations;
    return o;
}

double Reference(ReferenceBarrier type, int optionType, double strike, double barrier,
                 double rebate, double spot = kSpot) {
    return test_support::ReinerRubinsteinPrice(type, optionType == heston::kCall, spot, strike,
                                               barrier, rebate, kRate, kYield, kMaturity, kVol);
}

TEST(FiniteDifferenceBarrier, SingleBarriersWithRebateMatchReinerRubinstein) {
    struct Case {
        BarrierType type;
        ReferenceBarrier reference;
        int optionType;
        double strike, barrier;
    };
    // Strikes on both sides of the barrier, calls and puts, every single type.
    const Case cases[] = {
        {BarrierType::DownOut, ReferenceBarrier::DownOut, heston::kCall, 100, 90},
        {BarrierType::DownOut, ReferenceBarrier::DownOut, heston::kCall, 85, 90},
        {BarrierType::DownOut, ReferenceBarrier::DownOut, heston::kPut, 100, 90},
        {BarrierType::UpOut, ReferenceBarrier::UpOut, heston::kCall, 100, 120},
        {BarrierType::UpOut, ReferenceBarrier::UpOut, heston::kPut, 100, 110},
        {BarrierType::UpOut, ReferenceBarrier::UpOut, heston::kPut, 115, 110},
        {BarrierType::DownIn, ReferenceBarrier::DownIn, heston::kCall, 100, 90},
        {BarrierType::DownIn, ReferenceBarrier::DownIn, heston::kPut, 100, 90},
        {BarrierType::UpIn, ReferenceBarrier::UpIn, heston::kCall, 100, 110},
        {BarrierType::UpIn, ReferenceBarrier::UpIn, heston::kPut, 95, 110},
    };
    for (const Case& c : cases) {
        for (double rebate : {0.0, 3.0}) {
            const double price = FiniteDifferencePrice(
                kSpot, BarrierOption(c.optionType, c.strike, c.type, c.barrier, c.barrier, rebate),
                kConstantVariance);
            EXPECT_NEAR(price, Reference(c.reference, c.optionType, c.strike, c.barrier, rebate),
                        1e-4 * kSpot)
                << "type " << static_cast<int>(c.type) << " option " << c.optionType << " K "
                << c.strike << " H " << c.barrier << " rebate " << rebate;
        }
    }
}

// QuantLib's test up-and-out call: S = K = 100, barrier 135, T = 1, r = 0.05, v0 = theta =
// 0.04, kappa = 2.5, sigma = 0.66, rho = -0.8 (its suite expects 9.1530, a coarse-grid value).
// Reference 9.15501: the grids k x (100, 300, 40) for k = 1, 2, 4, 8 give 9.147881, 9.153750,
// 9.154844, 9.154989, extrapolated (the finer grids' convergence is in the benchmarks).
TEST(FiniteDifferenceBarrier, UpAndOutCallAgainstAConvergedReference) {
    const ModelParameters model{0.04, 0.04, 2.5, 0.66, -0.8};
    FiniteDifferenceOption o = BarrierOption(heston::kCall, 100, BarrierType::UpOut, 0, 135, 0.0);
    o.maturity = 1.0;
    o.rate = 0.05;
    o.dividendYield = 0.0;
    EXPECT_NEAR(FiniteDifferencePrice(100, o, model), 9.15501, 1e-2);
}

TEST(FiniteDifferenceBarrier, SpotBeyondTheBarrierHasKnockedUnderContinuousMonitoring) {
    const ModelParameters model{0.04, 0.05, 2.0, 0.5, -0.6};
    // Knock-outs are worth their rebate, on the barrier too.
    for (double spot : {80.0, 90.0}) {
        EXPECT_EQ(
            FiniteDifferencePrice(
                spot, BarrierOption(heston::kCall, 100, BarrierType::DownOut, 90, 0, 2.5), model),
            2.5);
    }
    EXPECT_EQ(
        FiniteDifferencePrice(
            130, BarrierOption(heston::kPut, 100, BarrierType::DoubleOut, 80, 120, 1.0), model),
        1.0);
    // Knock-ins are the vanilla option.
    const double vanilla =
        heston::EuropeanPrice(heston::kPut, 125, 100, kMaturity, kRate, kYield, model);
    EXPECT_EQ(FiniteDifferencePrice(
                  125, BarrierOption(heston::kPut, 100, BarrierType::UpIn, 0, 120, 4.0), model),
              vanilla);
    EXPECT_EQ(
        FiniteDifferencePrice(
            125, BarrierOption(heston::kPut, 100, BarrierType::DoubleIn, 80, 120, 4.0), model),
        vanilla);
}

TEST(FiniteDifferenceBarrier, DoubleBarrierWithAFarSideIsTheSingleBarrier) {
    // The upper barrier is so far that it is never reached in practice.
    const double out = FiniteDifferencePrice(
        kSpot, BarrierOption(heston::kCall, 100, BarrierType::DoubleOut, 90, 400, 3.0),
        kConstantVariance);
    EXPECT_NEAR(out, Reference(ReferenceBarrier::DownOut, heston::kCall, 100, 90, 3.0),
                1e-4 * kSpot);
    const double in = FiniteDifferencePrice(
        kSpot, BarrierOption(heston::kPut, 100, BarrierType::DoubleIn, 90, 400, 3.0),
        kConstantVariance);
    EXPECT_NEAR(in, Reference(ReferenceBarrier::DownIn, heston::kPut, 100, 90, 3.0), 1e-4 * kSpot);
    // Both sides close: in + out = vanilla + discounted rebate weighed by never knocking in.
    const ModelParameters model{0.04, 0.05, 2.0, 0.5, -0.6};
    const double dko = FiniteDifferencePrice(
        kSpot, BarrierOption(heston::kCall, 100, BarrierType::DoubleOut, 85, 125, 0.0), model);
    const double dki = FiniteDifferencePrice(
        kSpot, BarrierOption(heston::kCall, 100, BarrierType::DoubleIn, 85, 125, 0.0), model);
    EXPECT_NEAR(dko + dki,
                heston::EuropeanPrice(heston::kCall, kSpot, 100, kMaturity, kRate, kYield, model),
                1e-12 * kSpot);
    EXPECT_GT(dko, 0.0);
    EXPECT_GT(dki, 0.0);
}

TEST(FiniteDifferenceBarrier, DiscreteObservationsKnockOnlyOnTheirDates) {
    // One observation, at maturity: a spot below the barrier today does not knock; the value is
    // the call plus the rebate where the final spot is at or below the barrier.
    const double spot = 85.0, barrier = 90.0, rebate = 3.0;
    const double price = FiniteDifferencePrice(
        spot, BarrierOption(heston::kCall, 100, BarrierType::DownOut, barrier, 0, rebate, 1),
        kConstantVariance);
    const double d2 = test_support::BlackScholesD1(spot, barrier, kRate, kMaturity, kVol, kYield) -
                      kVol * std::sqrt(kMaturity);
    const double expected =
        test_support::BlackScholesCall(spot, 100, kRate, kMaturity, kVol, kYield) +
        rebate * std::exp(-kRate * kMaturity) * test_support::ExactNormalCdf(-d2);
    EXPECT_NEAR(price, expected, 1e-4 * spot);
    // More observations knock more often: the knock-out falls towards the continuous one.
    const double continuous = Reference(ReferenceBarrier::DownOut, heston::kCall, 100, 90, 0.0);
    double previous = 1e300;
    for (int n : {4, 12, 50}) {
        const double discrete = FiniteDifferencePrice(
            kSpot, BarrierOption(heston::kCall, 100, BarrierType::DownOut, 90, 0, 0.0, n),
            kConstantVariance);
        EXPECT_LT(discrete, previous) << n;
        EXPECT_GT(discrete, continuous) << n;
        previous = discrete;
    }
}

TEST(FiniteDifferenceBarrier, AmericanKnockOutsExerciseInsideTheBarriers) {
    const ModelParameters model{0.0625, 0.16, 5.0, 0.9, 0.1};
    FiniteDifferenceOption o = BarrierOption(heston::kPut, 10, BarrierType::UpOut, 0, 13, 0.0);
    o.maturity = 0.25;
    o.rate = 0.1;
    o.dividendYield = 0.0;
    const double european = FiniteDifferencePrice(9.0, o, model);
    o.exercise = ExerciseStyle::American;
    const double american = FiniteDifferencePrice(9.0, o, model);
    FiniteDifferenceOption plain = o;
    plain.barrier = heston::Barrier{};
    const double americanVanilla = FiniteDifferencePrice(9.0, plain, model);
    EXPECT_GT(american, european + 1e-3);
    EXPECT_LT(american, americanVanilla);
    EXPECT_GE(american, 1.0);  // at least the exercise value K - S
    // Deep in the money the knock-out put is exercised: its value is the payoff.
    EXPECT_NEAR(FiniteDifferencePrice(7.0, o, model), 3.0, 1e-12);
}

TEST(FiniteDifferenceBarrier, RefusesAmericanKnockInsAndBadBarriersNamingTheInput) {
    const ModelParameters model{0.04, 0.05, 2.0, 0.5, -0.6};
    auto message = [&](FiniteDifferenceOption o) {
        try {
            FiniteDifferencePrice(kSpot, o, model);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    FiniteDifferenceOption knockIn =
        BarrierOption(heston::kPut, 100, BarrierType::DownIn, 90, 0, 0.0);
    knockIn.exercise = ExerciseStyle::American;
    EXPECT_NE(message(knockIn).find("exercise"), std::string::npos) << message(knockIn);
    const std::string crossed =
        message(BarrierOption(heston::kPut, 100, BarrierType::DoubleOut, 120, 80, 0.0));
    EXPECT_NE(crossed.find("barrier"), std::string::npos) << crossed;
    EXPECT_NE(
        message(BarrierOption(heston::kPut, 100, BarrierType::UpOut, 0, -5, 0.0)).find("barrier"),
        std::string::npos);
    EXPECT_NE(
        message(BarrierOption(heston::kPut, 100, BarrierType::UpOut, 0, 120, -1.0)).find("rebate"),
        std::string::npos);
}

}  // namespace
