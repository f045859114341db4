// Stopping long computations: the poll's asking, and what a stop leaves behind in the Monte
// Carlo price (the random stream after whole simulations), the Differential Evolution solver
// (whole members, finished generations counted) and both calibrations (the observation table
// stored whole), and the contour calibration's end with "Calculation cancelled"; a request that
// never says stop changes no number.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "calibration/Calibration.h"
#include "calibration/ContourCalibration.h"
#include "closedform/Heston.h"
#include "contour/ContourPricer.h"
#include "execution/StopRequest.h"
#include "montecarlo/RuntimeRand.h"
#include "optimisation/DESolver.h"
#include "thread_runner.h"

namespace {

using heston::CalculationCancelled;
using heston::StopRequest;

// Asks at every poll and says stop at the n-th question (never when n is 0).
StopRequest StopAtQuestion(int n, int* asked) {
    StopRequest request;
    request.interval = std::chrono::steady_clock::duration::zero();
    request.shouldStop = [n, asked] { return ++*asked == n; };
    return request;
}

struct Table {
    std::vector<double> strikes, maturities, types, prices, rates, weights;
};

// Six calls priced by the closed form at v 0.04, theta 0.05, kappa 1.5, sigma 0.4, rho -0.6.
Table ModelTable() {
    Table table;
    for (double maturity : {0.5, 1.0}) {
        for (double strike : {90.0, 100.0, 110.0}) {
            table.strikes.push_back(strike);
            table.maturities.push_back(maturity);
            table.types.push_back(1);
            table.prices.push_back(heston_EuropeanCallPrice(100, strike, maturity, 0.02, -0.6, 1.5,
                                                            0.05, 0, 0.4, 0.04));
            table.rates.push_back(0.02);
            table.weights.push_back(1);
        }
    }
    return table;
}

const std::vector<double> kLower = {0.01, 0.01, 0.1, 0.1, -0.95};
const std::vector<double> kUpper = {0.5, 0.5, 5.0, 1.0, 0.5};
const std::vector<double> kGuess = {0.1, 0.1, 1.0, 0.3, -0.3};

std::vector<double> LevMar(const Table& t, const StopRequest& stop) {
    return heston_CalibrateLevMar(kLower, kUpper, kGuess, t.strikes, t.maturities, t.types,
                                  t.prices, 100, t.rates, t.weights, 400, stop);
}

void ExpectTableStored(const Table& t) {
    const CalibrationData& data = Heston::calibrationData;
    EXPECT_EQ(data.spot, 100);
    EXPECT_EQ(data.lower, kLower);
    EXPECT_EQ(data.upper, kUpper);
    EXPECT_EQ(data.strike, t.strikes);
    EXPECT_EQ(data.maturity, t.maturities);
    EXPECT_EQ(data.optionType, t.types);
    EXPECT_EQ(data.observed, t.prices);
    EXPECT_EQ(data.rate, t.rates);
    EXPECT_EQ(data.weight, t.weights);
}

class Sphere : public DESolver {
  public:
    using DESolver::DESolver;
    static double Cost(const double* x) { return x[0] * x[0] + x[1] * x[1]; }
    double Evaluate(const double* x, bool&) override {
        ++evaluations;
        return Cost(x);
    }
    int evaluations = 0;
};

}  // namespace

TEST(StopPoll, AsksFirstThenOncePerIntervalAndNeverWithoutARequest) {
    int asked = 0;
    StopRequest request;
    request.shouldStop = [&] {
        ++asked;
        return false;
    };
    heston::StopPoll poll(request);
    for (int i = 0; i < 1000; ++i) EXPECT_FALSE(poll.Requested());
    EXPECT_EQ(asked, 1) << "a thousand quick polls lie within one 50 ms interval";

    StopRequest throwing;
    throwing.shouldStop = []() -> bool { throw std::runtime_error("no answer"); };
    heston::StopPoll goOn(throwing);
    EXPECT_FALSE(goOn.Requested()) << "a request that throws counts as go on";

    heston::StopPoll never{StopRequest()};
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(never.Requested());

    int count = 0;
    heston::StopPoll stopping(StopAtQuestion(3, &count));
    EXPECT_FALSE(stopping.Requested());
    EXPECT_FALSE(stopping.Requested());
    EXPECT_FALSE(stopping.Stopped());
    EXPECT_THROW(stopping.ThrowIfRequested(), CalculationCancelled);
    EXPECT_TRUE(stopping.Stopped());
    EXPECT_TRUE(stopping.Requested());
    EXPECT_EQ(count, 3) << "a stop once seen is not asked again";
    EXPECT_EQ(std::string(CalculationCancelled().what()), "Calculation cancelled");
}

TEST(StopRequestMonteCarlo, StopLeavesTheStreamAfterTheLastWholeSimulation) {
    Heston model;
    RuntimeRandRestart();
    model.MonteCarloPrice(100, 100, 1, 0.03, -0.7, 2, 0.04, 0, 0.3, 0.04, 1, 7, 25);
    const std::uint64_t sevenSimulations = RuntimeRandDrawCount();

    RuntimeRandRestart();
    int asked = 0;
    EXPECT_THROW(model.MonteCarloPrice(100, 100, 1, 0.03, -0.7, 2, 0.04, 0, 0.3, 0.04, 1, 1000, 25,
                                       StopAtQuestion(8, &asked)),
                 CalculationCancelled);
    EXPECT_EQ(RuntimeRandDrawCount(), sevenSimulations);

    // Asked before every simulation and never stopped: the same price to the last bit.
    RuntimeRandRestart();
    const double plain =
        heston_EuropeanPutPriceMC(100, 105, 0.5, 0.03, -0.7, 2, 0.04, 0, 0.3, 0.04, 300, 20);
    RuntimeRandRestart();
    asked = 0;
    const double polled = heston_EuropeanPutPriceMC(100, 105, 0.5, 0.03, -0.7, 2, 0.04, 0, 0.3,
                                                    0.04, 300, 20, StopAtQuestion(0, &asked));
    EXPECT_EQ(plain, polled);
    EXPECT_EQ(asked, 300);
}

TEST(StopRequestDifferentialEvolution, StopKeepsEveryMemberWholeAndCountsFinishedGenerations) {
    const double lower[2] = {-5, -5};
    const double upper[2] = {5, 5};
    Sphere solver(2, 8);
    solver.Initialise(lower, upper, 1, 0.7, 0.9);
    int asked = 0;
    // Three generations of eight trials, then five trials of the fourth.
    EXPECT_THROW(solver.Run(100, StopAtQuestion(3 * 8 + 6, &asked)), CalculationCancelled);
    EXPECT_EQ(solver.evaluations, 3 * 8 + 5);
    EXPECT_EQ(solver.GenerationsRun(), 3);
    for (int m = 0; m < 8; ++m) {
        EXPECT_EQ(solver.PopulationCost()[m], Sphere::Cost(solver.PopulationMatrix() + 2 * m))
            << "member " << m;
        EXPECT_GE(solver.PopulationCost()[m], solver.BestCost());
    }
    EXPECT_EQ(solver.BestCost(), Sphere::Cost(solver.BestVector()));
}

TEST(StopRequestCalibration, StopLeavesTheTableWholeAndNeverStoppingChangesNothing) {
    const Table table = ModelTable();
    const std::vector<double> plain = LevMar(table, StopRequest());
    int asked = 0;
    const std::vector<double> polled = LevMar(table, StopAtQuestion(0, &asked));
    EXPECT_EQ(plain, polled);
    EXPECT_GT(asked, 10) << "asked before every evaluation";

    asked = 0;
    EXPECT_THROW(LevMar(table, StopAtQuestion(4, &asked)), CalculationCancelled);
    ExpectTableStored(table);

    asked = 0;
    EXPECT_THROW(heston_CalibrateDE(kLower, kUpper, table.strikes, table.maturities, table.types,
                                    table.prices, 100, table.rates, table.weights, 1000,
                                    StopAtQuestion(60, &asked)),
                 CalculationCancelled);
    ExpectTableStored(table);
}

TEST(StopRequestCalibration, ContourCalibrationEndsCancelledAndNeverStoppingChangesNothing) {
    // Fifteen options priced by the contour pricer; from no guess, with and without threads.
    const heston::ModelParameters truth{0.05, 0.08, 2.0, 0.6, -0.7};
    std::vector<heston::CalibrationQuote> quotes;
    for (double maturity : {0.25, 1.0, 2.5}) {
        for (double strike : {80.0, 90.0, 100.0, 110.0, 125.0}) {
            const int type = strike < 100.0 ? heston::kPut : heston::kCall;
            quotes.push_back({{type, strike, maturity, 0.03, 0.01},
                              heston::EuropeanPrice(type, 100, strike, maturity, 0.03, 0.01, truth),
                              1.0});
        }
    }
    const heston::ContourCalibrationSettings settings;
    test_support::ThreadRunner threads(3);
    for (heston::ParallelFor* runner :
         {&heston::Serial(), static_cast<heston::ParallelFor*>(&threads)}) {
        const heston::ContourCalibrationResult plain =
            heston::CalibrateAccurately(100, quotes, settings, *runner);
        int asked = 0;
        const heston::ContourCalibrationResult polled =
            heston::CalibrateAccurately(100, quotes, settings, StopAtQuestion(0, &asked), *runner);
        EXPECT_EQ(std::memcmp(&plain.parameters, &polled.parameters, sizeof plain.parameters), 0);
        EXPECT_EQ(plain.rmse, polled.rmse);
        EXPECT_EQ(plain.evaluations, polled.evaluations);
        // Asked before the input checks, the ranking, the short runs and each evaluation of
        // the fit to the whole table.
        EXPECT_GE(asked, 4);

        // Stopped at the first question (before any evaluation), part-way, and at the last.
        for (int question : {1, asked / 2, asked}) {
            int count = 0;
            try {
                heston::CalibrateAccurately(100, quotes, settings, StopAtQuestion(question, &count),
                                            *runner);
                ADD_FAILURE() << "not stopped at question " << question;
            } catch (const CalculationCancelled& e) {
                EXPECT_EQ(std::string(e.what()), "Calculation cancelled");
                EXPECT_EQ(count, question);
            }
        }
    }
}
