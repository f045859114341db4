// Calibration by Differential Evolution: input checks, the objective's penalties, the
// degenerate results, and recovery of known parameters from prices the model generated.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "calibration/Calibration.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "quote_table.h"

namespace {

using Vector = std::vector<double>;

using Table = test_support::QuoteTable;

// Parameters in calibration order v, theta, kappa, sigma, rho; 2 kappa theta > sigma^2.
const Vector kTrue = {0.04, 0.06, 1.5, 0.4, -0.6};
// Lower bounds near zero: strategy 0 starts from a best vector of zeros, so the first
// trials are 0.9 (x_r1 - x_r2) and some must land inside the bounds.
const Vector kLower = {0.005, 0.005, 0.2, 0.05, -0.9};
const Vector kUpper = {0.1, 0.1, 3.0, 0.8, 0.2};
constexpr double kSpot = 100.0;

double ModelPrice(const Vector& p, double K, double T, double r, int type) {
    return test_support::ModelPrice(heston::FromCalibrationVector(p.data()), kSpot, K, T, r, type,
                                    1e-6);
}

// Out-of-the-money puts below the spot, calls above, at two maturities.
Table ModelTable(const Vector& p) {
    return test_support::ModelTable(kSpot, {0.5, 2.0}, {80.0, 95.0, 105.0, 120.0},
                                    heston::FromCalibrationVector(p.data()), 1e-6);
}

Vector Calibrate(const Vector& lower, const Vector& upper, const Table& t, int generations) {
    return heston_CalibrateDE(lower, upper, t.strike, t.maturity, t.type, t.observed, kSpot, t.rate,
                              t.weight, generations);
}

// The message thrown as a plain character string, or "" when nothing is thrown.
std::string Thrown(const Vector& lower, const Vector& upper, const Table& t) {
    try {
        Calibrate(lower, upper, t, 1);
    } catch (const char* message) {
        return message;
    }
    return "";
}

}  // namespace

TEST(DECalibration, MismatchedInputsAreRejectedWithTheirMessagesAndNothingIsStored) {
    const Table stored = ModelTable(kTrue);
    Heston::SetCalibrationData(kLower, kUpper, stored.strike, stored.maturity, stored.type,
                               stored.observed, 42.0, stored.rate, stored.weight);

    const std::string observation = "Mismatch in the observation data";
    const std::string parameters = "Mismatch in the heston parameter inputs.";
    // Each of the six observation arrays one short; the observation check comes first.
    for (Vector Table::*member : {&Table::strike, &Table::maturity, &Table::type, &Table::observed,
                                  &Table::rate, &Table::weight}) {
        Table t = stored;
        (t.*member).pop_back();
        EXPECT_EQ(Thrown(kLower, kUpper, t), observation);
        EXPECT_EQ(Thrown({0, 0, 0, 0}, kUpper, t), observation);
    }
    Table longer = stored;
    longer.strike.push_back(100.0);
    EXPECT_EQ(Thrown({1, 2, 3, 4, 5, 6}, kUpper, longer), observation);

    for (const Vector& bound : {Vector{0, 0, 0, 0}, Vector{0, 0, 0, 0, 0, 0}}) {
        EXPECT_EQ(Thrown(bound, kUpper, stored), parameters);
        EXPECT_EQ(Thrown(kLower, bound, stored), parameters);
        EXPECT_EQ(Thrown(bound, bound, stored), parameters);
    }
    EXPECT_EQ(Heston::calibrationData.spot, 42.0) << "a rejected call stored its inputs";
}

TEST(DECalibration, ObjectivePenalisesLeavingTheBoundsAndBreakingFellerByTheBestCost) {
    // One option observed 0.5 above the model price with weight 2: squared error 0.5.
    const Vector p = {0.04, 0.05, 2.0, 0.3, -0.5};
    const double model = ModelPrice(p, 110.0, 1.0, 0.01, 1);
    Heston heston(5, 50);
    const Vector lower = {0.01, 0.01, 0.5, 0.1, -0.9};
    const Vector upper = {0.1, 0.1, 4.0, 0.8, 0.5};
    heston.Initialise(lower.data(), upper.data(), 0, 0.9, 1.0);
    heston.Run(0);  // sets the penalty, the best cost, to 1e20
    Heston::SetCalibrationData(lower, upper, {110.0}, {1.0}, {1.9}, {model + 0.5}, kSpot, {0.01},
                               {2.0});
    bool stop = false;
    auto cost = [&](Vector x) { return heston.Evaluate(x.data(), stop); };

    EXPECT_NEAR(cost(p), 0.5, 1e-12);  // type 1.9 truncates to a call
    EXPECT_EQ(heston.evaluationCount, 1);
    Vector onBounds = lower;
    onBounds[2] = 4.0;  // 2 * 4 * 0.01 = 0.08 > 0.01: Feller holds
    EXPECT_LT(cost(onBounds), 1e19) << "a value equal to a bound is inside";
    Vector outside = p;
    outside[0] = 0.2;   // above v's upper bound
    outside[4] = -1.0;  // below rho's lower bound
    EXPECT_NEAR(cost(outside), 2e20, 1e6);
    // 2 kappa theta equal to sigma^2 is penalised: 2 * 2 * 0.04 = 0.16 = 0.4^2.
    EXPECT_NEAR(cost({0.04, 0.04, 2.0, 0.4, -0.5}), 1e20, 1e6);
    EXPECT_FALSE(stop);
    EXPECT_EQ(heston.evaluationCount, 4);
}

TEST(DECalibration, DegenerateSearchesReturnZerosOrTheFirstAcceptableCandidate) {
    const Table table = ModelTable(kTrue);
    EXPECT_EQ(Calibrate(kLower, kUpper, table, 0), Vector(5, 0.0));
    EXPECT_EQ(Calibrate(kLower, kUpper, table, -2), Vector(5, 0.0));

    // sigma at least 1 with 2 kappa theta at most 0.6: Feller never holds, nothing is accepted,
    // and the untouched zero best vector must not be reported as a fit.
    const std::string nothing =
        "No parameters within the bounds satisfying the Feller condition were found";
    auto thrownBy = [&](const Vector& lower, const Vector& upper, int generations) {
        try {
            Calibrate(lower, upper, table, generations);
        } catch (const char* message) {
            return std::string(message);
        }
        return std::string("(nothing thrown)");
    };
    EXPECT_EQ(thrownBy({0.01, 0.01, 0.5, 1.0, -0.9}, {0.1, 0.1, 3.0, 2.0, 0.0}, 3), nothing);
    // Bounds away from zero: while the best vector is still zero every trial is
    // 0.9 (x_r1 - x_r2), and for v within [0.05, 0.1] that is at most 0.045, below the lower
    // bound, so no trial is ever accepted however many generations run.
    const Vector farLower = {0.05, 0.03, 0.5, 0.1, -0.9};
    const Vector farUpper = {0.1, 0.1, 2.5, 0.5, -0.3};
    EXPECT_EQ(thrownBy(farLower, farUpper, 2), nothing);
    // Without a generation nothing was searched: the solver's initial best vector, all zeros.
    EXPECT_EQ(Calibrate(farLower, farUpper, table, 0), Vector(5, 0.0));

    // An empty table costs only penalties: the result is some candidate inside the bounds
    // that satisfies Feller.
    const Vector fit = Calibrate(kLower, kUpper, Table{}, 40);
    for (int j = 0; j < 5; ++j) {
        EXPECT_GE(fit[j], kLower[j]);
        EXPECT_LE(fit[j], kUpper[j]);
    }
    EXPECT_GT(2.0 * fit[2] * fit[1] - fit[3] * fit[3], 0.0);
}

TEST(DECalibration, RecoversKnownParametersFromModelPrices) {
    const Table table = ModelTable(kTrue);
    const Vector fit = Calibrate(kLower, kUpper, table, 60);

    // Kappa and sigma trade off against each other on eight prices; v, theta and rho are
    // well determined.
    const Vector tolerance = {0.003, 0.005, 0.3, 0.05, 0.03};
    const char* names[5] = {"v", "theta", "kappa", "sigma", "rho"};
    for (int j = 0; j < 5; ++j) {
        EXPECT_NEAR(fit[j], kTrue[j], tolerance[j]) << names[j];
        EXPECT_GE(fit[j], kLower[j]) << names[j];
        EXPECT_LE(fit[j], kUpper[j]) << names[j];
    }
    EXPECT_GT(2.0 * fit[2] * fit[1] - fit[3] * fit[3], 0.0) << "Feller condition";

    double squares = 0.0;
    for (std::size_t i = 0; i < table.strike.size(); ++i) {
        const double e = ModelPrice(fit, table.strike[i], table.maturity[i], table.rate[i],
                                    static_cast<int>(table.type[i])) -
                         table.observed[i];
        squares += e * e;
    }
    const double rms = std::sqrt(squares / table.strike.size());
    EXPECT_LT(rms, 0.02);
    std::printf("fit v %.5f theta %.5f kappa %.4f sigma %.4f rho %.4f, rms price error %.2e\n",
                fit[0], fit[1], fit[2], fit[3], fit[4], rms);
}
