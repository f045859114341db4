// Levenberg-Marquardt calibration: the minimiser's budget, bounds, the Feller penalty, recovery
// of known parameters from model prices, and rejection of inconsistent input.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calibration/Calibration.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "quote_table.h"

namespace {

using Vector = std::vector<double>;

const double kSpot = 100.0;

// Parameters in calibration order v, theta, kappa, sigma, rho.
const Vector kTrue{0.05, 0.06, 1.5, 0.4, -0.6};
const Vector kGuess{0.03, 0.04, 2.5, 0.3, -0.3};
const Vector kLower{0.001, 0.001, 0.1, 0.05, -0.99};
const Vector kUpper{0.5, 0.5, 10.0, 1.5, 0.99};

// An option surface priced by the closed form at parameters p, with weight 1: calls at and
// above the spot, puts below it.
using Surface = test_support::QuoteTable;

Surface ModelSurface(const Vector& p) {
    return test_support::ModelTable(kSpot, {0.25, 0.5, 1.0, 1.5, 2.0},
                                    {70.0, 80.0, 90.0, 95.0, 100.0, 105.0, 115.0, 130.0},
                                    heston::FromCalibrationVector(p.data()), 1e-13);
}

Vector Calibrate(Heston& model, const Surface& s, const Vector& guess, int maxIterations,
                 const Vector& lower = kLower, const Vector& upper = kUpper) {
    return model.CalibrateLeastSquares(lower, upper, guess, s.strike, s.maturity, s.type,
                                       s.observed, kSpot, s.rate, s.weight, maxIterations);
}

std::string MessageOf(const Surface& s, const Vector& lower, const Vector& upper,
                      const Vector& guess) {
    try {
        heston_CalibrateLevMar(lower, upper, guess, s.strike, s.maturity, s.type, s.observed, kSpot,
                               s.rate, s.weight, 10);
    } catch (const char* message) {
        return message;
    }
    return "(nothing thrown)";
}

}  // namespace

TEST(LeastSquaresCalibration, MinimiserRejectingItsInputReturnsTheGuess) {
    Surface s = ModelSurface(kTrue);
    Heston model;
    for (int maxIterations : {0, -1}) {
        const Vector result = Calibrate(model, s, kGuess, maxIterations);
        EXPECT_EQ(model.evaluationCount, 0);
        for (int j = 0; j < 5; ++j) EXPECT_NEAR(result[j], kGuess[j], 1e-14) << "parameter " << j;
    }
    for (Vector* column : {&s.strike, &s.maturity, &s.type, &s.observed, &s.rate, &s.weight}) {
        column->resize(4);
    }
    const Vector result = Calibrate(model, s, kGuess, 100);
    EXPECT_EQ(model.evaluationCount, 0) << "fewer observations than parameters";
    for (int j = 0; j < 5; ++j) EXPECT_NEAR(result[j], kGuess[j], 1e-14) << "parameter " << j;
}

TEST(LeastSquaresCalibration, BudgetOfSixEvaluationsStopsAfterTheFirstTrialStep) {
    // lmdif evaluates the start (1), forms a forward-difference Jacobian (5) without checking
    // the budget, and tests it only after the next trial step (1): 7 evaluations in all.
    const Surface s = ModelSurface(kTrue);
    Heston model;
    const Vector result = Calibrate(model, s, kGuess, 6);
    EXPECT_EQ(model.evaluationCount, 7);
    EXPECT_NE(result, kGuess);
}

TEST(LeastSquaresCalibration, ResultStaysInsideTheBounds) {
    // Prices from rho = -0.9 and kappa = 4 pull towards values the bounds exclude.
    const Surface s = ModelSurface({0.05, 0.06, 4.0, 0.4, -0.9});
    const Vector lower{0.01, 0.01, 0.5, 0.1, -0.5};
    const Vector upper{0.2, 0.2, 2.0, 0.8, 0.5};
    Heston model;
    const Vector result = Calibrate(model, s, {0.04, 0.05, 1.0, 0.3, 0.0}, 60, lower, upper);
    for (int j = 0; j < 5; ++j) {
        EXPECT_GE(result[j], lower[j]) << "parameter " << j;
        EXPECT_LE(result[j], upper[j]) << "parameter " << j;
    }
    EXPECT_LT(result[4], -0.45) << "rho should be pressed against its lower bound";
}

TEST(LeastSquaresCalibration, FellerBoundaryDoublesTheResiduals) {
    // Free variables 0 map to the mid-points. theta 0.125, kappa 1, sigma 0.5 give
    // 2 kappa theta = sigma^2 = 0.25 exactly; sigma 0.25 keeps the condition.
    const Vector x{0.0, 0.0, 0.0, 0.0, 0.0};
    const Vector strike{90.0, 100.0, 110.0};
    const Vector maturity{0.5, 1.0, 2.0};
    const Vector type{1.0, 2.0, 1.9};  // 1.9 truncates to 1: a call
    const Vector observed{12.0, 7.0, 9.0};
    const Vector rate{0.01, 0.02, 0.03};
    const Vector weight{4.0, 0.25, 1.0};
    Heston model;
    for (double sigma : {0.5, 0.25}) {
        const Vector lower{0.02, 0.0625, 0.5, sigma - 0.125, -0.6};
        const Vector upper{0.06, 0.1875, 1.5, sigma + 0.125, -0.2};
        Heston::SetCalibrationData(lower, upper, strike, maturity, type, observed, kSpot, rate,
                                   weight);
        Vector fvec(3);
        int iflag = 1;
        CalibrationResiduals(3, 5, x.data(), fvec.data(), iflag);
        const double factor = sigma == 0.5 ? 2.0 : 1.0;
        for (int i = 0; i < 3; ++i) {
            const int optionType = i == 1 ? 2 : 1;
            const double price =
                model.ClosedFormPrice(kSpot, strike[i], maturity[i], rate[i], -0.4, 1.0, 0.125, 0.0,
                                      sigma, 0.04, 1e-13, 100.0, optionType);
            const double expected = factor * std::sqrt(weight[i]) * (price - observed[i]);
            EXPECT_NEAR(fvec[i], expected, 1e-12) << "sigma " << sigma << ", option " << i;
        }
        EXPECT_EQ(iflag, 1);
    }
}

TEST(LeastSquaresCalibration, RecoversParametersOfModelPrices) {
    const Surface s = ModelSurface(kTrue);
    Heston model;
    const Vector result = Calibrate(model, s, kGuess, 200);
    // Exact model prices leave nothing to fit but the parameters: lmdif converges in about 30
    // evaluations with every parameter within 1e-5 of its generating value, relatively (about
    // 2e-7 is reached; the margin covers other MINPACK builds).
    for (int j = 0; j < 5; ++j) {
        EXPECT_NEAR(result[j], kTrue[j], 1e-5 * std::fabs(kTrue[j])) << "parameter " << j;
    }
    EXPECT_LT(model.evaluationCount, 200);
}

TEST(LeastSquaresCalibration, InconsistentInputIsRejectedInOrder) {
    const Surface good = ModelSurface(kTrue);
    const Vector shortBounds{0.001, 0.001, 0.1, 0.05};
    const std::string observation = "Mismatch in the observation data";
    const std::string parameters = "Mismatch in the heston parameter inputs.";
    const std::string guess = "Initial guess must lie strictly inside its bounds";

    // Each of the six observation arrays, one entry short; the observation check comes first.
    for (int column = 0; column < 6; ++column) {
        Surface s = good;
        Vector* columns[] = {&s.strike, &s.maturity, &s.type, &s.observed, &s.rate, &s.weight};
        columns[column]->pop_back();
        EXPECT_EQ(MessageOf(s, shortBounds, kUpper, kGuess), observation) << "array " << column;
    }

    EXPECT_EQ(MessageOf(good, shortBounds, shortBounds, kGuess), parameters);
    EXPECT_EQ(MessageOf(good, kLower, kUpper, shortBounds), parameters);

    // The guess check follows both mismatch checks.
    Vector onBound = kGuess;
    onBound[2] = kUpper[2];
    EXPECT_EQ(MessageOf(good, kLower, kUpper, onBound), guess);
    Vector equalLower = kLower;
    equalLower[3] = kGuess[3];
    Vector equalUpper = kUpper;
    equalUpper[3] = kGuess[3];
    EXPECT_EQ(MessageOf(good, equalLower, equalUpper, kGuess), guess);
    Vector nanGuess = kGuess;
    nanGuess[1] = std::nan("");
    EXPECT_EQ(MessageOf(good, kLower, kUpper, nanGuess), guess);
}
