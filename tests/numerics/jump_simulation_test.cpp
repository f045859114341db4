// Jumps in the path engine (the Bates model): lambda = 0 is the Heston simulation bit for bit
// whatever the jump sizes; paths with jumps are the same bits on 1, 2 and 7 threads and at both
// vector widths; with one fixing the plain simulation lands within three standard errors of the
// independent Bates European price (the discounted forward among them) and the Asian price with
// its control variate is the geometric closed form, equal to that European price to 1e-12 of
// the spot; with twelve fixings the simulated geometric average meets its closed form; the
// simulated forward start meets its closed form; bad jumps are refused by name.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "bates_reference.h"
#include "pathsimulation/AsianOption.h"
#include "pathsimulation/ForwardStartPrice.h"
#include "pathsimulation/ForwardStartSimulation.h"
#include "pathsimulation/GeometricAsianPrice.h"
#include "thread_runner.h"

namespace {

using heston::AsianAverage;
using heston::BatesParameters;
using heston::JumpParameters;
using heston::kCall;
using heston::kPut;
using heston::ModelParameters;
using heston::StrikeOption;

const ModelParameters kHeston{0.04, 0.05, 1.5, 0.5, -0.7};
// Rare large crashes, and frequent small jumps.
const JumpParameters kCrashes{0.5, -0.2, 0.15};
const JumpParameters kFrequent{5.0, 0.02, 0.05};
const std::vector<StrikeOption> kOptions = {{kCall, 80}, {kCall, 100}, {kPut, 100}, {kPut, 120}};

heston::SimulationSettings Settings(std::int64_t paths) {
    heston::SimulationSettings settings;
    settings.paths = paths;
    return settings;
}

std::vector<double> Monthly(int months) {
    std::vector<double> times;
    for (int i = 1; i <= months; ++i) times.push_back(i / 12.0);
    return times;
}

double BatesEuropean(int type, double strike, double maturity, double rate, double yield,
                     const BatesParameters& p) {
    reference::BatesReference r{100.0,          strike,       maturity,       rate,
                                yield,          p.heston.v0,  p.heston.theta, p.heston.kappa,
                                p.heston.sigma, p.heston.rho, p.jumps.lambda, p.jumps.muJ,
                                p.jumps.deltaJ};
    return static_cast<double>(r.Price(type));
}

TEST(JumpSimulation, NoJumpsAreTheHestonSimulationBitForBit) {
    const BatesParameters none{kHeston, {0.0, -0.3, 0.4}};
    const std::vector<double> fixings = Monthly(6);
    for (AsianAverage average : {AsianAverage::kArithmetic, AsianAverage::kGeometric}) {
        const auto heston = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, kHeston,
                                                average, Settings(3001));
        const auto bates =
            heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, none, average, Settings(3001));
        for (std::size_t i = 0; i < kOptions.size(); ++i) {
            EXPECT_EQ(bates[i].price, heston[i].price);
            EXPECT_EQ(bates[i].standardError, heston[i].standardError);
        }
    }
    const auto heston = heston::SimulatedForwardStartPrices(100, {{kCall, 1.0}}, 0.5, 1.0, 0.03,
                                                            0.01, kHeston, Settings(3001));
    const auto bates = heston::SimulatedForwardStartPrices(100, {{kCall, 1.0}}, 0.5, 1.0, 0.03,
                                                           0.01, none, Settings(3001));
    EXPECT_EQ(bates[0].price, heston[0].price);
    EXPECT_EQ(bates[0].standardError, heston[0].standardError);
    EXPECT_EQ(heston::ForwardStartPrice(kPut, 100, 1.1, 0.5, 1.0, 0.03, 0.01, none),
              heston::ForwardStartPrice(kPut, 100, 1.1, 0.5, 1.0, 0.03, 0.01, kHeston));
}

TEST(JumpSimulation, SameBitsOnOneTwoAndSevenThreadsAndBothWidths) {
    const BatesParameters model{kHeston, kFrequent};
    const std::vector<double> fixings = {0.25, 0.5, 0.75, 1.0};
    const auto serial = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, model,
                                            AsianAverage::kArithmetic, Settings(6001));
    for (int threads : {1, 2, 7}) {
        test_support::ThreadRunner runner(threads);
        const auto parallel =
            heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, model,
                                AsianAverage::kArithmetic, Settings(6001), runner);
        for (std::size_t i = 0; i < kOptions.size(); ++i) {
            EXPECT_EQ(parallel[i].price, serial[i].price) << threads;
            EXPECT_EQ(parallel[i].standardError, serial[i].standardError) << threads;
        }
    }
    heston::SimulationSettings sse2 = Settings(6001);
    sse2.width = heston::VectorWidth::kSse2;
    const auto narrow = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, model,
                                            AsianAverage::kArithmetic, sse2);
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        EXPECT_EQ(narrow[i].price, serial[i].price);
        EXPECT_EQ(narrow[i].standardError, serial[i].standardError);
    }
}

TEST(JumpSimulation, OneFixingMeetsTheBatesEuropeanPrice) {
    for (const JumpParameters& jumps : {kCrashes, kFrequent}) {
        const BatesParameters model{kHeston, jumps};
        for (double maturity : {0.25, 2.0}) {
            // The call with a tiny strike is the discounted forward less the strike: the
            // compensator keeps the discounted spot a martingale.
            std::vector<StrikeOption> options = kOptions;
            options.push_back({kCall, 1e-6});
            const auto simulated =
                heston::SimulatedAsianPrices(100, options, {maturity}, 0.03, 0.01, model,
                                             AsianAverage::kArithmetic, Settings(20000));
            const double forward =
                100 * std::exp(-0.01 * maturity) - 1e-6 * std::exp(-0.03 * maturity);
            EXPECT_NEAR(simulated.back().price, forward, 3.0 * simulated.back().standardError);
            options.pop_back();
            const auto controlled = heston::AsianPrices(100, options, {maturity}, 0.03, 0.01, model,
                                                        AsianAverage::kArithmetic, Settings(2000));
            for (std::size_t i = 0; i < options.size(); ++i) {
                const StrikeOption& o = options[i];
                const double exact =
                    BatesEuropean(o.optionType, o.strike, maturity, 0.03, 0.01, model);
                EXPECT_GT(simulated[i].standardError, 0.0);
                EXPECT_NEAR(simulated[i].price, exact, 3.0 * simulated[i].standardError)
                    << "lambda " << jumps.lambda << " T " << maturity << " K " << o.strike;
                // With one fixing the two averages are one number: the control variate leaves
                // the geometric closed form, which is the European price.
                EXPECT_EQ(controlled[i].standardError, 0.0);
                EXPECT_NEAR(controlled[i].price, exact, 1e-12 * 100)
                    << "lambda " << jumps.lambda << " T " << maturity << " K " << o.strike;
            }
        }
    }
}

TEST(JumpSimulation, TwelveFixingsMeetTheClosedFormsOfTheGeometricAverageAndTheForwardStart) {
    const std::vector<double> fixings = Monthly(12);
    for (const JumpParameters& jumps : {kCrashes, kFrequent}) {
        const BatesParameters model{kHeston, jumps};
        const auto geometric = heston::SimulatedAsianPrices(
            100, kOptions, fixings, 0.03, 0.01, model, AsianAverage::kGeometric, Settings(20000));
        const auto plain = heston::SimulatedAsianPrices(100, kOptions, fixings, 0.03, 0.01, model,
                                                        AsianAverage::kArithmetic, Settings(20000));
        const auto controlled = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, model,
                                                    AsianAverage::kArithmetic, Settings(20000));
        for (std::size_t i = 0; i < kOptions.size(); ++i) {
            const StrikeOption& o = kOptions[i];
            EXPECT_NEAR(geometric[i].price,
                        heston::GeometricAsianPrice(o.optionType, 100, o.strike, fixings, 0.03,
                                                    0.01, model),
                        3.0 * geometric[i].standardError)
                << "lambda " << jumps.lambda << " K " << o.strike;
            // The control variate keeps the arithmetic price and cuts its error.
            EXPECT_NEAR(controlled[i].price, plain[i].price,
                        3.0 * std::hypot(plain[i].standardError, controlled[i].standardError));
            EXPECT_LT(controlled[i].standardError, 0.3 * plain[i].standardError);
        }
        const std::vector<heston::ForwardStartOption> forwards = {
            {kCall, 0.8}, {kCall, 1.0}, {kPut, 1.0}, {kPut, 1.2}};
        const auto simulated = heston::SimulatedForwardStartPrices(100, forwards, 0.5, 1.0, 0.005,
                                                                   0.03, model, Settings(20000));
        for (std::size_t i = 0; i < forwards.size(); ++i) {
            EXPECT_NEAR(
                simulated[i].price,
                heston::ForwardStartPrice(forwards[i].optionType, 100, forwards[i].moneyness, 0.5,
                                          1.0, 0.005, 0.03, model),
                3.0 * simulated[i].standardError)
                << "lambda " << jumps.lambda << " k " << forwards[i].moneyness;
        }
    }
}

std::string Refusal(const JumpParameters& jumps, int stepsPerYear = 24) {
    heston::SimulationSettings settings = Settings(100);
    settings.stepsPerYear = stepsPerYear;
    try {
        heston::AsianPrices(100, {{kCall, 100}}, {1.0}, 0.0, 0.0, BatesParameters{kHeston, jumps},
                            AsianAverage::kArithmetic, settings);
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "no error";
}

TEST(JumpSimulation, RefusesJumpsOutsideTheModelByName) {
    EXPECT_EQ(Refusal({-1.0, 0.0, 0.1}), "Jumps: lambda must be >= 0 and finite");
    EXPECT_EQ(Refusal({1.0, 0.0, -0.1}), "Jumps: deltaJ must be >= 0 and finite");
    EXPECT_EQ(Refusal({1.0, NAN, 0.1}), "Jumps: muJ must be finite");
    EXPECT_EQ(Refusal({1.0, 800.0, 0.1}),
              "Jumps: muJ + deltaJ^2 / 2 must be below 700 (the mean jump factor overflows)");
    // 1e6 jumps a year in steps of a year: 1e6 expected in a step. In steps of 1/240 year the
    // same intensity is simulated.
    EXPECT_EQ(Refusal({1e6, 0.0, 1e-3}, 1),
              "Jumps: lambda is too large for the simulation: more than 10000 jumps expected in "
              "a time step");
    EXPECT_EQ(Refusal({1e6, 0.0, 1e-3}, 240), "no error");
}

}  // namespace
