// The path-dependent options' worksheet functions through the add-in as Excel calls them, in
// both modes: registration after the others (thread-safe in Excel-12 mode, "&" nowhere, as
// no version Excel-12 mode is chosen for knows it), prices against the library, a column of
// strikes from one set of paths, texts naming bad arguments, the same results from 8 threads,
// Esc, and no callback at all when the host says the call runs on a compute cluster; with the
// Jumps argument, Bates prices against independent references and bad jumps named.
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "AddinSession.h"
#include "ParallelCalls.h"
#include "bates_reference.h"

namespace {

using addintest::AddinSession;
using runner::Sheet;
using runner::SheetValue;

// Parameters in A1:A5 (v0, theta, kappa, sigma, rho), fixings in B1:B6, strikes in C1:C3.
const char kInputs[] =
    "0.04,0.25,90\n"
    "0.05,0.5,100\n"
    "1.5,0.75,110\n"
    "0.5,1,\n"
    "-0.7,1.25,\n"
    ",1.5,\n";
// A1:A5 Heston parameters, B1:B6 fixings, C1:C3 strikes, D1:D5 parameters with sigma = 0 and
// v0 = theta (Merton's jump-diffusion, volatility 0.2), E1:E2 moneyness levels, K1 one fixing.
// Jumps (lambda, muJ, deltaJ): F1:F3 a column, G1:I1 the same as a row, J1:J3 no jumps with
// sizes; bad ones: M negative lambda, N negative deltaJ, O a text, P a mean factor beyond a
// double, Q too many jumps per step.
const char kJumpInputs[] =
    "0.04,0.25,90,0.04,0.9,0.5,0.5,-0.2,0.15,0,1,,-1,1,1,1,1e6\n"
    "0.05,0.5,100,0.04,1.1,-0.2,,,,-0.2,,,0,0,x,800,0\n"
    "1.5,0.75,110,2,,0.15,,,,0.15,,,0.1,-0.1,0.1,0.1,0.001\n"
    "0.5,1,,0\n"
    "-0.7,1.25,,0\n"
    ",1.5\n";

const std::vector<double> kFixings = {0.25, 0.5, 0.75, 1.0, 1.25, 1.5};

double NormalCdf(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

// Black-Scholes (the Heston model with sigma = 0 and v0 = theta): the call on the geometric
// average of the spot at the times t, lognormal with the mean and variance of its log.
double GeometricAsianCall(double s, double k, const std::vector<double>& t, double r, double q,
                          double vol) {
    const double n = static_cast<double>(t.size());
    double meanTime = 0.0, covariance = 0.0;
    for (double ti : t) {
        meanTime += ti / n;
        for (double tj : t) covariance += std::min(ti, tj) / (n * n);
    }
    const double mean = std::log(s) + (r - q - 0.5 * vol * vol) * meanTime;
    const double sd = vol * std::sqrt(covariance);
    const double d1 = (mean - std::log(k) + sd * sd) / sd;
    return std::exp(-r * t.back()) *
           (std::exp(mean + 0.5 * sd * sd) * NormalCdf(d1) - k * NormalCdf(d1 - sd));
}

// The forward-start call under Black-Scholes: S exp(-q t0) times the call of spot 1, strike k.
double ForwardStartCall(double s, double k, double t0, double t, double r, double q, double vol) {
    const double tau = t - t0;
    const double d1 = (-std::log(k) + (r - q + 0.5 * vol * vol) * tau) / (vol * std::sqrt(tau));
    const double d2 = d1 - vol * std::sqrt(tau);
    return s * std::exp(-q * t0) *
           (std::exp(-q * tau) * NormalCdf(d1) - k * std::exp(-r * tau) * NormalCdf(d2));
}

double Number(const SheetValue& value) {
    EXPECT_EQ(value.kind, SheetValue::Number) << runner::DisplayText(value);
    return value.number;
}

std::string Text(const SheetValue& value) {
    EXPECT_EQ(value.kind, SheetValue::Text) << runner::DisplayText(value);
    return value.text;
}

class PathSimulationFunctions : public AddinSession {
  protected:
    void SetUp() override {
        AddinSession::SetUp();
        ASSERT_EQ(Open(), 1);
    }
};

TEST_P(PathSimulationFunctions, RegisterThreadSafeInExcel12AndNeverClusterSafe) {
    const std::vector<runner::RegisteredFunction> functions = runner::RegisteredFunctions();
    int found = 0;
    for (const runner::RegisteredFunction& f : functions) {
        // No version that selects Excel-12 mode knows "&"; Excel-4 mode never registers it.
        EXPECT_EQ(f.typeText.find('&'), std::string::npos) << f.worksheetName;
        std::string expected;
        if (f.worksheetName == "heston_AsianPrice") expected = "QQBQQBBQQQQQ$";
        if (f.worksheetName == "heston_ForwardStartPrice") expected = "QQBQQQQQQQ$";
        if (expected.empty()) continue;
        ++found;
        if (!IsExcel12()) {
            expected.pop_back();
            for (char& c : expected) c = c == 'Q' ? 'P' : c;
        }
        EXPECT_EQ(f.typeText, expected);
        EXPECT_EQ(f.exportName, "xl" + f.worksheetName);
        EXPECT_LE(f.description.size(), 255u);
        for (const std::string& help : f.argumentHelp) EXPECT_LE(help.size(), 255u);
        if (f.worksheetName == "heston_AsianPrice") {
            EXPECT_NE(f.argumentHelp[8].find("default 100000"), std::string::npos);
            EXPECT_NE(f.argumentHelp[9].find("default 1"), std::string::npos);
            EXPECT_NE(f.argumentHelp[7].find("\"Arithmetic\" (default"), std::string::npos);
        }
        // Jumps comes last, optional.
        EXPECT_EQ(f.argumentText.substr(f.argumentText.rfind(',') + 1), " Jumps");
        EXPECT_EQ(f.argumentHelp.back().find(" Optional: lambda, muJ, deltaJ"), 0u)
            << f.argumentHelp.back();
    }
    EXPECT_EQ(found, 2);
}

TEST_P(PathSimulationFunctions, ClosedFormsMeetBlackScholesAndStrikesShareOnePathSet) {
    // D1:D5: v0 = theta = 0.04, sigma = 0: Black-Scholes with volatility 0.2.
    const Sheet sheet = Evaluate(
        "0.04,0.25,90,0.04,0.9\n0.05,0.5,100,0.04,1.1\n1.5,0.75,110,2\n0.5,1,,0\n-0.7,1.25,,0\n"
        ",1.5\n"
        "=heston_AsianPrice(\"C\",100,C1:C3,B1:B6,0.03,0.01,A1:A5,,4000,7)\n\n\n"
        "=heston_AsianPrice(\"C\",100,C2,B1:B6,0.03,0.01,A1:A5,,4000,7)\n"
        "=heston_AsianPrice(\"C\",100,C2,B1:B6,0.03,0.01,A1:A5,,4000,8)\n"
        "=heston_AsianPrice(1,100,95,B1:B6,0.03,0.01,D1:D5,\"geometric\")\n"
        "=heston_ForwardStartPrice(\"C\",100,0.9,0.5,1.5,0.03,0.01,D1:D5)\n"
        "=heston_ForwardStartPrice(1,100,E1:E2,0.5,1.5,0.03,0.01,D1:D5)\n\n"
        "=heston_AsianPrice(\"C\",100,C1:C3,B1:B6,0.03,0.01,A1:A5)\n");
    // One row per strike, price then standard error; the middle strike alone, with the same
    // seed, gives the same bits as in the column.
    for (int row = 7; row <= 9; ++row) {
        EXPECT_GT(Number(At(sheet, "A" + std::to_string(row))), 0.0);
        EXPECT_GT(Number(At(sheet, "B" + std::to_string(row))), 0.0);
    }
    EXPECT_GT(Number(At(sheet, "A7")), Number(At(sheet, "A8")));
    EXPECT_EQ(Number(At(sheet, "A10")), Number(At(sheet, "A8")));
    EXPECT_EQ(Number(At(sheet, "B10")), Number(At(sheet, "B8")));
    EXPECT_NE(Number(At(sheet, "A11")), Number(At(sheet, "A8")));  // another seed
    EXPECT_NEAR(Number(At(sheet, "A11")), Number(At(sheet, "A8")),
                4.0 * std::hypot(Number(At(sheet, "B11")), Number(At(sheet, "B8"))));
    EXPECT_NEAR(Number(At(sheet, "A12")), GeometricAsianCall(100, 95, kFixings, 0.03, 0.01, 0.2),
                1e-10);
    EXPECT_EQ(Number(At(sheet, "B12")), 0.0);
    EXPECT_NEAR(Number(At(sheet, "A13")), ForwardStartCall(100, 0.9, 0.5, 1.5, 0.03, 0.01, 0.2),
                1e-10);
    // A range of moneyness levels gives a column.
    EXPECT_NEAR(Number(At(sheet, "A14")), ForwardStartCall(100, 0.9, 0.5, 1.5, 0.03, 0.01, 0.2),
                1e-10);
    EXPECT_NEAR(Number(At(sheet, "A15")), ForwardStartCall(100, 1.1, 0.5, 1.5, 0.03, 0.01, 0.2),
                1e-10);
    // The default 100000 paths: a smaller standard error than 4000 paths give.
    EXPECT_LT(Number(At(sheet, "B18")), 0.3 * Number(At(sheet, "B9")));
}

TEST_P(PathSimulationFunctions, BadArgumentsAreNamed) {
    const std::string asian = "=heston_AsianPrice(1,100,100,";
    const Sheet sheet = Evaluate(
        std::string(kInputs) + asian + "B2:B1,0.03,0,A1:A5)\n" +  // a range read row by row
        asian + "\"x\",0.03,0,A1:A5)\n" + asian + "B1:B6,0.03,0,A1:A5,,0)\n" + asian +
        "B1:B6,0.03,0,A1:A5,,1e300)\n" + asian + "B1:B6,0.03,0,A1:A5,\"median\")\n" +
        "=heston_AsianPrice(1,100,100,-1,0.03,0,A1:A5)\n" +
        "=heston_ForwardStartPrice(1,100,0,0.5,1,0.03,0,A1:A5)\n" +
        "=heston_ForwardStartPrice(1,100,1,1.5,1,0.03,0,A1:A5)\n" +
        "=heston_AsianPrice(1,100,-5,B1:B6,0.03,0,A1:A5)\n" +
        "=heston_AsianPrice(1,100,C1:C3,B1:B6,0.03,0,A1:A5,,-3)\n");
    // B2:B1 is the same range as B1:B2 in Excel: ascending, and priced.
    EXPECT_EQ(At(sheet, "A7").kind, SheetValue::Number) << runner::DisplayText(At(sheet, "A7"));
    EXPECT_EQ(Text(At(sheet, "A8")), "FixingTimes: a number is needed, not the text \"x\"");
    EXPECT_EQ(Text(At(sheet, "A9")), "Paths: a whole number of at least 1 is needed, not 0");
    EXPECT_EQ(Text(At(sheet, "A10")),
              "Paths: too large for memory and time, at most 1099511627776");
    EXPECT_EQ(Text(At(sheet, "A11")),
              "Average: use \"Arithmetic\" or \"Geometric\", or leave it out for \"Arithmetic\"");
    EXPECT_EQ(Text(At(sheet, "A12")), "FixingTimes: times in years cannot be negative, found -1");
    EXPECT_EQ(Text(At(sheet, "A13")), "Moneyness must be positive and finite");
    EXPECT_EQ(Text(At(sheet, "A14")), "ResetTime must not be after Maturity");
    EXPECT_EQ(Text(At(sheet, "A15")), "Strike: must be positive");
    EXPECT_EQ(Text(At(sheet, "A16")), "Paths: a whole number of at least 1 is needed, not -3");
}

TEST_P(PathSimulationFunctions, DescendingFixingsAndABadStrikeInAColumn) {
    const Sheet sheet = Evaluate(
        "0.5,1\n1,0.5\n-2\n0.04\n0.05\n1.5\n0.5\n-0.7\n"
        "=heston_AsianPrice(1,100,100,B1:B2,0.03,0,A4:A8)\n"
        "=heston_AsianPrice(1,100,A1:A3,A1:A2,0.03,0,A4:A8,,100)\n");
    EXPECT_EQ(Text(At(sheet, "A9")), "FixingTimes: times must be ascending, found 0.5 after 1");
    // Strikes 0.5 and 1 priced; -2 marked #NUM! in its row, both cells.
    EXPECT_EQ(At(sheet, "A10").kind, SheetValue::Number);
    EXPECT_EQ(At(sheet, "B11").kind, SheetValue::Number);
    EXPECT_EQ(At(sheet, "A12").kind, SheetValue::Error);
    EXPECT_EQ(At(sheet, "B12").kind, SheetValue::Error);
}

TEST_P(PathSimulationFunctions, OnAClusterNoCallbackIsMade) {
    xlhost::Host& host = xlhost::Host::Instance();
    host.SetRunningOnCluster(true);
    const std::size_t earlier = host.Requests().size();
    const Sheet sheet = Evaluate(std::string(kInputs) +
                                 "=heston_AsianPrice(\"C\",100,100,B1:B6,0.03,0,A1:A5,,200000)\n"
                                 "=heston_ForwardStartPrice(1,100,1,0.5,1,0.03,0,A1:A5)\n");
    EXPECT_EQ(At(sheet, "A7").kind, SheetValue::Number) << runner::DisplayText(At(sheet, "A7"));
    EXPECT_EQ(At(sheet, "A8").kind, SheetValue::Number) << runner::DisplayText(At(sheet, "A8"));
    // Each call asked once whether it runs on a cluster, and nothing else: no wizard check,
    // no Esc polling during the simulation.
    std::vector<int> callbacks;
    const std::vector<int> requests = host.Requests();
    for (std::size_t i = earlier; i < requests.size(); ++i) {
        if (requests[i] != xlFree) callbacks.push_back(requests[i]);
    }
    EXPECT_EQ(callbacks, std::vector<int>(2, xlRunningOnCluster));
    host.SetRunningOnCluster(false);

    // Off the cluster the same simulation polls Esc, and stops within 0.2 s of it.
    host.SetAbortAfter(2);
    const std::size_t before = host.AbortRequests();
    const Sheet stopped = Evaluate(std::string(kInputs) +
                                   "=heston_AsianPrice(\"C\",100,100,B1:B6,0.03,0,A1:A5,,1e12)\n");
    const auto returned = std::chrono::steady_clock::now();
    EXPECT_EQ(Text(At(stopped, "A7")), "Calculation cancelled");
    EXPECT_EQ(host.AbortRequests() - before, 2u);
    EXPECT_LT(returned - host.AbortAnsweredAt(), std::chrono::milliseconds(200));
    host.SetAbortAfter(0);
}

TEST_P(PathSimulationFunctions, EightThreadsGiveTheResultsOfOne) {
    if (!IsExcel12()) GTEST_SKIP() << "thread-safe only in Excel-12 mode";
    std::istringstream input(
        std::string(kJumpInputs) +
        "=heston_AsianPrice(\"C\",100,C1:C3,B1:B6,0.03,0.01,A1:A5,,2000)\n\n\n"
        "=heston_AsianPrice(\"C\",100,C1:C3,B1:B6,0.03,0.01,A1:A5,,2000,5,F1:F3)\n\n\n"
        "=heston_AsianPrice(\"P\",100,100,B1:B6,0.03,0.01,A1:A5,\"Geometric\")\n"
        "=heston_ForwardStartPrice(\"C\",100,C1:C3,0.5,1.5,0.03,0.01,A1:A5)\n"
        "=heston_ForwardStartPrice(\"C\",100,C1:C3,0.5,1.5,0.03,0.01,A1:A5,F1:F3)\n"
        "=heston_EuropeanCallPrice(100,100,1,0.02,-0.6,1.5,0.06,0,0.5,0.04)\n");
    const runner::Workbook workbook = runner::ParseWorkbook(input);
    const auto functions = runner::RegisteredFunctions();
    runner::Evaluator evaluator(*addin_, functions, runner::ReferenceMode::Values);
    const Sheet sheet = evaluator.Evaluate(workbook);
    const auto calls = runner::ThreadedCalls(workbook, evaluator, functions, sheet);
    const runner::ParallelReport report = runner::CallFromThreads(evaluator, calls, sheet, 8, 2);
    EXPECT_EQ(report.threadSafeCalls, 5u * 2u * 8u);
    EXPECT_EQ(report.differing, 0u) << report.firstDifference;
}

TEST_P(PathSimulationFunctions, JumpsPriceUnderTheBatesModel) {
    const std::string asian = "=heston_AsianPrice(\"C\",100,C1:C3,B1:B6,0.03,0.01,A1:A5,,400,7,";
    const Sheet sheet = Evaluate(
        std::string(kJumpInputs) +
        "=heston_AsianPrice(\"C\",100,C2,K1,0.03,0.01,A1:A5,\"Geometric\",,,F1:F3)\n"
        "=heston_AsianPrice(\"P\",100,C2,K1,0.03,0.01,A1:A5,,500,3,G1:I1)\n"
        "=heston_ForwardStartPrice(\"C\",100,E1:E2,0.5,1.5,0.03,0.01,D1:D5,F1:F3)\n\n" +
        asian + "F1:F3)\n\n\n" + asian + "G1:I1)\n\n\n" + asian + "J1:J3)\n\n\n" + asian + ")\n");
    // One fixing: the European price under Bates, by the independent reference.
    reference::BatesReference european{100, 100, 1,    0.03, 0.01, 0.04, 0.05,
                                       1.5, 0.5, -0.7, 0.5,  -0.2, 0.15};
    const reference::BatesReference::CallAndPut exact = european.Prices();
    EXPECT_NEAR(Number(At(sheet, "A7")), static_cast<double>(exact.call), 1e-10);
    EXPECT_EQ(Number(At(sheet, "B7")), 0.0);
    // The arithmetic average of one fixing is the geometric one: the closed form, error 0.
    EXPECT_NEAR(Number(At(sheet, "A8")), static_cast<double>(exact.put), 1e-10);
    EXPECT_EQ(Number(At(sheet, "B8")), 0.0);
    // Forward starts under Merton's jumps: S exp(-q t0) times Merton's price of spot 1.
    for (int row : {9, 10}) {
        const double k = row == 9 ? 0.9 : 1.1;
        reference::BatesReference merton{1, k, 1.0, 0.03, 0.01, 0.04, 0.04,
                                         2, 0, 0,   0.5,  -0.2, 0.15};
        EXPECT_NEAR(Number(At(sheet, "A" + std::to_string(row))),
                    100 * std::exp(-0.01 * 0.5) * static_cast<double>(merton.MertonPrice(1)),
                    1e-10);
    }
    for (int row = 11; row <= 13; ++row) {
        const std::string r = std::to_string(row), asRow = std::to_string(row + 3),
                          none = std::to_string(row + 6), heston = std::to_string(row + 9);
        // Jumps as a column or as a row: the same numbers.
        EXPECT_EQ(Number(At(sheet, "A" + r)), Number(At(sheet, "A" + asRow)));
        EXPECT_EQ(Number(At(sheet, "B" + r)), Number(At(sheet, "B" + asRow)));
        // lambda = 0 is the Heston model, bit for bit; jumps change the price.
        EXPECT_EQ(Number(At(sheet, "A" + none)), Number(At(sheet, "A" + heston)));
        EXPECT_EQ(Number(At(sheet, "B" + none)), Number(At(sheet, "B" + heston)));
        EXPECT_NE(Number(At(sheet, "A" + r)), Number(At(sheet, "A" + heston)));
    }
}

TEST_P(PathSimulationFunctions, BadJumpsAreNamed) {
    const std::string asian = "=heston_AsianPrice(1,100,100,B1:B6,0.03,0,A1:A5,,100,1,";
    const std::string forward = "=heston_ForwardStartPrice(1,100,E1:E2,0.5,1,0.03,0,A1:A5,";
    const Sheet sheet =
        Evaluate(std::string(kJumpInputs) + asian + "F1:F2)\n" + asian + "G1:J1)\n" + asian +
                 "M1:M3)\n" + asian + "N1:N3)\n" + asian + "O1:O3)\n" + asian + "P1:P3)\n" +
                 forward + "N1:N3)\n" + asian + "Q1:Q3)\n");
    EXPECT_EQ(Text(At(sheet, "A7")),
              "Jumps: three numbers are needed (lambda, muJ, deltaJ), found 2");
    EXPECT_EQ(Text(At(sheet, "A8")),
              "Jumps: three numbers are needed (lambda, muJ, deltaJ), found 4");
    EXPECT_EQ(Text(At(sheet, "A9")),
              "Jumps: lambda, the jumps per year, cannot be negative, found -1");
    EXPECT_EQ(
        Text(At(sheet, "A10")),
        "Jumps: deltaJ, the standard deviation of a log jump, cannot be negative, found -0.1");
    EXPECT_EQ(Text(At(sheet, "A11")), "Jumps: a number is needed, not the text \"x\"");
    EXPECT_EQ(Text(At(sheet, "A12")),
              "Jumps: muJ + deltaJ^2 / 2 must be below 700 (the mean jump factor overflows)");
    // An argument that applies to every option of a range: one text, not #NUM! per cell.
    EXPECT_EQ(
        Text(At(sheet, "A13")),
        "Jumps: deltaJ, the standard deviation of a log jump, cannot be negative, found -0.1");
    EXPECT_EQ(Text(At(sheet, "A14")),
              "Jumps: lambda is too large for the simulation: more than 10000 jumps expected in "
              "a time step");
}

INSTANTIATE_TEST_SUITE_P(BothModes, PathSimulationFunctions,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
