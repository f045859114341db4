// Asian options on simulated paths: the plain simulation lands within a few standard errors of
// the closed forms (European with one fixing, geometric with many), the control variate keeps
// the arithmetic price and cuts its standard error, strikes share one set of paths, and the
// geometric average is the closed form with standard error 0.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "contour/ContourPricer.h"
#include "pathsimulation/AsianOption.h"
#include "pathsimulation/GeometricAsianPrice.h"

namespace {

using heston::AsianAverage;
using heston::kCall;
using heston::kPut;
using heston::ModelParameters;
using heston::SimulatedPrice;
using heston::StrikeOption;

const ModelParameters kModel{0.04, 0.05, 1.5, 0.5, -0.7};
const std::vector<StrikeOption> kOptions = {{kCall, 80}, {kCall, 100}, {kPut, 100}, {kCall, 120}};

std::vector<double> Monthly(int months) {
    std::vector<double> times;
    for (int i = 1; i <= months; ++i) times.push_back(i / 12.0);
    return times;
}

heston::SimulationSettings Settings(std::int64_t paths) {
    heston::SimulationSettings settings;
    settings.paths = paths;
    return settings;
}

TEST(AsianOption, PlainSimulationMeetsTheClosedForms) {
    // One fixing: the European option.
    const std::vector<SimulatedPrice> european = heston::SimulatedAsianPrices(
        100, kOptions, {1.0}, 0.03, 0.01, kModel, AsianAverage::kArithmetic, Settings(20000));
    // Twelve fixings, geometric.
    const std::vector<double> fixings = Monthly(12);
    const std::vector<SimulatedPrice> geometric = heston::SimulatedAsianPrices(
        100, kOptions, fixings, 0.03, 0.01, kModel, AsianAverage::kGeometric, Settings(20000));
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        const StrikeOption& o = kOptions[i];
        EXPECT_NEAR(european[i].price,
                    heston::EuropeanPrice(o.optionType, 100, o.strike, 1.0, 0.03, 0.01, kModel),
                    3.0 * european[i].standardError)
            << o.strike;
        EXPECT_NEAR(
            geometric[i].price,
            heston::GeometricAsianPrice(o.optionType, 100, o.strike, fixings, 0.03, 0.01, kModel),
            3.0 * geometric[i].standardError)
            << o.strike;
    }
}

TEST(AsianOption, ControlVariateKeepsThePriceAndCutsTheError) {
    const std::vector<double> fixings = Monthly(12);
    const auto plain = heston::SimulatedAsianPrices(100, kOptions, fixings, 0.03, 0.01, kModel,
                                                    AsianAverage::kArithmetic, Settings(20000));
    const auto controlled = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, kModel,
                                                AsianAverage::kArithmetic, Settings(20000));
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        const double both = std::hypot(plain[i].standardError, controlled[i].standardError);
        EXPECT_NEAR(controlled[i].price, plain[i].price, 3.0 * both) << i;
        EXPECT_LT(controlled[i].standardError, 0.2 * plain[i].standardError) << i;
        // The arithmetic average is at least the geometric one, path by path.
        if (kOptions[i].optionType == kCall) {
            EXPECT_GT(controlled[i].price,
                      heston::GeometricAsianPrice(kCall, 100, kOptions[i].strike, fixings, 0.03,
                                                  0.01, kModel));
        }
    }
}

TEST(AsianOption, StrikesShareOnePathSetAndTheGeometricOneIsExact) {
    const std::vector<double> fixings = Monthly(6);
    const auto all = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, kModel,
                                         AsianAverage::kArithmetic, Settings(2000));
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        const auto alone = heston::AsianPrices(100, {kOptions[i]}, fixings, 0.03, 0.01, kModel,
                                               AsianAverage::kArithmetic, Settings(2000));
        EXPECT_EQ(alone[0].price, all[i].price);
        EXPECT_EQ(alone[0].standardError, all[i].standardError);
    }
    const auto geometric = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, kModel,
                                               AsianAverage::kGeometric, Settings(2000));
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        EXPECT_EQ(geometric[i].standardError, 0.0);
        EXPECT_EQ(geometric[i].price,
                  heston::GeometricAsianPrice(kOptions[i].optionType, 100, kOptions[i].strike,
                                              fixings, 0.03, 0.01, kModel));
    }
    // Another seed gives other paths.
    heston::SimulationSettings other = Settings(2000);
    other.seed = 2;
    const auto reseeded = heston::AsianPrices(100, kOptions, fixings, 0.03, 0.01, kModel,
                                              AsianAverage::kArithmetic, other);
    EXPECT_NE(reseeded[1].price, all[1].price);
}

}  // namespace
