// The contour calibration: surfaces priced at known parameters give those parameters back in
// each error measure from no guess; bounds hold; weights of 0 remove an option; the
// evaluation limit; the same inputs give the same bits; and the inputs it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "calibration/ContourCalibration.h"
#include "contour/ContourPricer.h"

namespace {

using heston::CalibrateAccurately;
using heston::CalibrationErrorMeasure;
using heston::CalibrationQuote;
using heston::CalibrationStatus;
using heston::ContourCalibrationResult;
using heston::ContourCalibrationSettings;
using heston::ModelParameters;

constexpr double kSpot = 100.0;
const ModelParameters kTruth{0.05, 0.08, 2.0, 0.6, -0.7};

// Five strikes at three maturities, puts below the forward and calls above, with a rate and a
// dividend yield, priced at p.
std::vector<CalibrationQuote> Surface(const ModelParameters& p) {
    std::vector<CalibrationQuote> quotes;
    for (double maturity : {0.25, 1.0, 2.5}) {
        for (double strike : {80.0, 90.0, 100.0, 110.0, 125.0}) {
            const int type = strike < 100.0 ? heston::kPut : heston::kCall;
            const heston::BatchOption option{type, strike, maturity, 0.03, 0.01};
            const double price =
                heston::EuropeanPrice(type, kSpot, strike, maturity, 0.03, 0.01, p);
            quotes.push_back({option, price, 1.0});
        }
    }
    return quotes;
}

void ExpectParameters(const ModelParameters& got, const ModelParameters& want, double tolerance) {
    EXPECT_NEAR(got.v0, want.v0, tolerance);
    EXPECT_NEAR(got.theta, want.theta, tolerance);
    EXPECT_NEAR(got.kappa, want.kappa, tolerance * 10);
    EXPECT_NEAR(got.sigma, want.sigma, tolerance * 10);
    EXPECT_NEAR(got.rho, want.rho, tolerance);
}

TEST(ContourCalibration, RecoversKnownParametersInEachMeasureWithoutAGuess) {
    const std::vector<CalibrationQuote> quotes = Surface(kTruth);
    for (CalibrationErrorMeasure measure :
         {CalibrationErrorMeasure::Price, CalibrationErrorMeasure::Relative,
          CalibrationErrorMeasure::Vol}) {
        SCOPED_TRACE(static_cast<int>(measure));
        ContourCalibrationSettings settings;
        settings.measure = measure;
        const ContourCalibrationResult fit = CalibrateAccurately(kSpot, quotes, settings);
        EXPECT_EQ(fit.status, CalibrationStatus::Converged);
        EXPECT_EQ(heston::StatusText(fit.status), "converged");
        ExpectParameters(fit.parameters, kTruth, 1e-6);
        EXPECT_LT(fit.rmse, 1e-8);
        EXPECT_GT(fit.evaluations, 0);
        EXPECT_LE(fit.evaluations, settings.maxEvaluations);
    }
}

TEST(ContourCalibration, KeepsWithinBoundsAndIgnoresOptionsOfWeightZero) {
    std::vector<CalibrationQuote> quotes = Surface(kTruth);
    // A price far off with weight 0 changes nothing.
    quotes[7].price *= 3.0;
    quotes[7].weight = 0.0;
    ContourCalibrationSettings settings;
    settings.hasInitialGuess = true;
    settings.initialGuess = {0.1, 0.1, 1.0, 0.5, -0.5};
    const ContourCalibrationResult free = CalibrateAccurately(kSpot, quotes, settings);
    EXPECT_EQ(free.status, CalibrationStatus::Converged);
    ExpectParameters(free.parameters, kTruth, 1e-6);

    // kappa may not exceed 1: it ends on that bound and the rest stays within theirs.
    settings.upper.kappa = 1.0;
    const ContourCalibrationResult bounded = CalibrateAccurately(kSpot, quotes, settings);
    EXPECT_EQ(bounded.parameters.kappa, 1.0);
    EXPECT_GT(bounded.rmse, 1e-4);
    const double lower[] = {1e-4, 1e-4, 1e-2, 1e-2, -0.999};
    const double upper[] = {2.0, 2.0, 1.0, 5.0, 0.999};
    double x[5];
    heston::ToCalibrationVector(bounded.parameters, x);
    for (int j = 0; j < 5; ++j) {
        EXPECT_GE(x[j], lower[j]);
        EXPECT_LE(x[j], upper[j]);
    }
}

TEST(ContourCalibration, StopsAtTheEvaluationLimitAndRepeatsBitForBit) {
    const std::vector<CalibrationQuote> quotes = Surface(kTruth);
    ContourCalibrationSettings settings;
    settings.maxEvaluations = 3;
    settings.hasInitialGuess = true;
    settings.initialGuess = {0.1, 0.1, 1.0, 0.5, -0.5};
    const ContourCalibrationResult limited = CalibrateAccurately(kSpot, quotes, settings);
    EXPECT_EQ(limited.status, CalibrationStatus::EvaluationLimit);
    EXPECT_EQ(heston::StatusText(limited.status), "evaluation limit reached");
    EXPECT_EQ(limited.evaluations, 3);

    // No random stream: the global phase and the fit give the same bits every time.
    const ContourCalibrationSettings defaults;
    const ContourCalibrationResult first = CalibrateAccurately(kSpot, quotes, defaults);
    const ContourCalibrationResult second = CalibrateAccurately(kSpot, quotes, defaults);
    EXPECT_EQ(std::memcmp(&first.parameters, &second.parameters, sizeof first.parameters), 0);
    EXPECT_EQ(first.evaluations, second.evaluations);
    // At most half the evaluations go to the global phase.
    ContourCalibrationSettings few;
    few.maxEvaluations = 10;
    const ContourCalibrationResult fewer = CalibrateAccurately(kSpot, quotes, few);
    EXPECT_EQ(fewer.evaluations, 10);
    EXPECT_EQ(fewer.status, CalibrationStatus::EvaluationLimit);
}

std::string Refusal(const std::vector<CalibrationQuote>& quotes,
                    const ContourCalibrationSettings& settings) {
    try {
        CalibrateAccurately(kSpot, quotes, settings);
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "(accepted)";
}

TEST(ContourCalibration, RefusesInputsItCannotFitWithAReason) {
    const std::vector<CalibrationQuote> quotes = Surface(kTruth);
    const ContourCalibrationSettings defaults;
    EXPECT_EQ(Refusal({}, defaults), "there are no options to calibrate to");

    std::vector<CalibrationQuote> changed = quotes;
    changed[2].weight = -1.0;
    EXPECT_EQ(Refusal(changed, defaults), "option 3: the weight must be a number >= 0");
    changed = quotes;
    for (CalibrationQuote& quote : changed) quote.weight = 0.0;
    EXPECT_EQ(Refusal(changed, defaults), "all weights are 0");

    changed = quotes;
    changed[0].price = 0.0;
    ContourCalibrationSettings relative;
    relative.measure = CalibrationErrorMeasure::Relative;
    EXPECT_EQ(Refusal(changed, relative), "option 1: relative errors need a price above 0");
    changed[0].price = 150.0;  // a put on strike 80 worth more than its strike's present value
    ContourCalibrationSettings vol;
    vol.measure = CalibrationErrorMeasure::Vol;
    EXPECT_EQ(Refusal(changed, vol),
              "option 1: the price lies outside the no-arbitrage bounds, so it has no implied "
              "volatility");

    changed = quotes;
    changed[1].option.strike = -90.0;
    EXPECT_EQ(Refusal(changed, defaults).rfind("option 2: ", 0), 0u) << Refusal(changed, defaults);

    ContourCalibrationSettings bounds;
    bounds.lower.sigma = 3.0;
    bounds.upper.sigma = 2.0;
    EXPECT_EQ(Refusal(quotes, bounds), "the lower bound of sigma exceeds its upper bound");
    bounds = defaults;
    bounds.lower.theta = -0.1;
    EXPECT_EQ(Refusal(quotes, bounds), "the lower bound of theta must be at least 0");
    bounds = defaults;
    bounds.upper.rho = 1.5;
    EXPECT_EQ(Refusal(quotes, bounds), "the bounds of rho must lie within -1 and 1");
    bounds = defaults;
    bounds.hasInitialGuess = true;
    bounds.initialGuess = {0.1, 0.1, 30.0, 0.5, -0.5};
    EXPECT_EQ(Refusal(quotes, bounds), "the initial guess of kappa lies outside its bounds");
    bounds = defaults;
    bounds.maxEvaluations = 0;
    EXPECT_EQ(Refusal(quotes, bounds), "the number of evaluations must be at least 1");
}

}  // namespace
