// The Bates model on the worksheet, through the add-in as Excel calls it, in both modes: the
// optional last argument Jumps of heston_Price, heston_Greeks and heston_ModelImpliedVol
// against the independent Bates reference and Merton's series, the Heston numbers bit for bit
// when Jumps is left out or has lambda = 0, the three extra rows of the Greeks against high-
// order differences of the reference, jumps refused by name on the finite-difference grid,
// bad jumps named, heston_Calibrate's Model "Bates" on a small surface, and the same results
// from 8 threads.
#include <cmath>
#include <string>
#include <vector>

#include "../support/black_scholes_reference.h"
#include "AddinSession.h"
#include "ParallelCalls.h"
#include "bates_reference.h"

namespace {

using addintest::AddinSession;
using runner::Sheet;
using runner::SheetValue;

constexpr int kNum = 36;  // #NUM!

// A1:A5 Heston (v0, theta, kappa, sigma, rho); B1:B3 jumps (lambda, muJ, deltaJ) as a column,
// C1:E1 the same as a row, F1:F3 lambda = 0 with sizes; G1:G3 strikes, G4 a bad one; H1:J1
// maturities from one day to thirty years; K1:K3 a negative lambda, L1:L2 two numbers only,
// M1:M3 a negative deltaJ, N1:N3 a text; O1:O5 Merton's model (sigma = 0, v0 = theta); P1:P3
// empty; Q1:S1 a small finite-difference grid.
const char kInputs[] =
    "0.04,0.5,0.5,-0.2,0.15,0,80,0.00273972602739726,1,30,-1,1,1,1,0.04,,20,64,32\n"
    "0.05,-0.2,,,,-0.2,100,,,,0,0,0,x,0.04\n"
    "1.5,0.15,,,,0.15,120,,,,0.1,,-0.1,0.1,2\n"
    "0.5,,,,,,x,,,,,,,,0\n"
    "-0.7,,,,,,,,,,,,,,0\n";

const double kStrikes[] = {80, 100, 120};
const double kMaturities[] = {1.0 / 365.0, 1, 30};

reference::BatesReference Reference(double strike, double maturity) {
    return reference::BatesReference{100, strike, maturity, 0.03, 0.01, 0.04, 0.05,
                                     1.5, 0.5,    -0.7,     0.5,  -0.2, 0.15};
}

double Number(const SheetValue& value, const std::string& what = "") {
    EXPECT_EQ(value.kind, SheetValue::Number) << what << ": " << runner::DisplayText(value);
    return value.number;
}

std::string Text(const SheetValue& value) {
    EXPECT_EQ(value.kind, SheetValue::Text) << runner::DisplayText(value);
    return value.text;
}

// The cell at zero-based (row, column), empty beyond the evaluated sheet.
SheetValue CellAt(const Sheet& sheet, int row, int column) {
    if (row >= static_cast<int>(sheet.size()) || column >= static_cast<int>(sheet[row].size()))
        return SheetValue();
    return sheet[row][column];
}

class BatesFunctions : public AddinSession {
  protected:
    void SetUp() override {
        AddinSession::SetUp();
        ASSERT_EQ(Open(), 1);
    }
};

TEST_P(BatesFunctions, JumpsAndModelComeLastAndOptional) {
    int found = 0;
    for (const runner::RegisteredFunction& f : runner::RegisteredFunctions()) {
        const std::string last = f.argumentText.substr(f.argumentText.rfind(',') + 2);
        const std::string& help = f.argumentHelp.back();
        SCOPED_TRACE(f.worksheetName);
        if (f.worksheetName == "heston_Price" || f.worksheetName == "heston_Greeks" ||
            f.worksheetName == "heston_ModelImpliedVol" ||
            f.worksheetName == "heston_BarrierPrice" || f.worksheetName == "heston_BarrierGreeks") {
            ++found;
            EXPECT_EQ(last, "Jumps");
            EXPECT_EQ(help.find(" Optional: lambda, muJ, deltaJ"), 0u) << help;
        }
        if (f.worksheetName == "heston_Calibrate") {
            ++found;
            EXPECT_EQ(last, "Model");
            EXPECT_EQ(help.find(" Optional: \"Heston\" (default) or \"Bates\""), 0u) << help;
            // The default jump bounds are stated with the others.
            const std::vector<std::string>& all = f.argumentHelp;
            EXPECT_NE(all[10].find("(Bates: then 0, -1, 0.001)"), std::string::npos) << all[10];
            EXPECT_NE(all[11].find("(Bates: then 5, 0.5, 1)"), std::string::npos) << all[11];
        }
    }
    EXPECT_EQ(found, 6);
}

TEST_P(BatesFunctions, JumpsPriceAsTheBatesReference) {
    const Sheet sheet =
        Evaluate(std::string(kInputs) +
                 "=heston_Price(\"C\",100,G1:G3,H1:J1,0.03,0.01,A1:A5,,,B1:B3)\n\n\n"
                 "=heston_Price(\"P\",100,G1:G3,H1:J1,0.03,0.01,A1:A5,,,C1:E1)\n\n\n"
                 "=heston_ModelImpliedVol(\"C\",100,G1:G3,H1:J1,0.03,0.01,A1:A5,B1:B3)\n\n\n"
                 "=heston_Price(\"C\",100,105,0.5,0.03,0.01,A1:A5,\"European\",,B1:B3),"
                 "=heston_ModelImpliedVol(2,100,105,0.5,0.03,0.01,A1:A5,B1:B3),"
                 "=heston_Price(\"P\",100,110,0.5,0.03,0.01,O1:O5,,,B1:B3)\n");
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const std::string what =
                "K " + std::to_string(kStrikes[i]) + ", T " + std::to_string(kMaturities[j]);
            reference::BatesReference exact = Reference(kStrikes[i], kMaturities[j]);
            const reference::BatesReference::CallAndPut prices = exact.Prices();
            const double call = static_cast<double>(prices.call);
            const double put = static_cast<double>(prices.put);
            EXPECT_NEAR(Number(CellAt(sheet, 5 + i, j), what), call, 1e-10 * 100) << what;
            EXPECT_NEAR(Number(CellAt(sheet, 8 + i, j), what), put, 1e-10 * 100) << what;
            // The smile: Black's price at the model's implied volatility is the Bates price.
            const double vol = Number(CellAt(sheet, 11 + i, j), what);
            EXPECT_NEAR(
                test_support::BlackScholesCall(100, kStrikes[i], 0.03, kMaturities[j], vol, 0.01),
                call, 1e-9 * 100)
                << what;
        }
    }
    reference::BatesReference single = Reference(105, 0.5);
    const reference::BatesReference::CallAndPut prices = single.Prices();
    EXPECT_NEAR(Number(At(sheet, "A15")), static_cast<double>(prices.call), 1e-8);
    EXPECT_NEAR(test_support::BlackScholesPut(100, 105, 0.03, 0.5, Number(At(sheet, "B15")), 0.01),
                static_cast<double>(prices.put), 1e-8);
    // Merton's jump-diffusion (sigma = 0) by its series, free of quadrature.
    const reference::BatesReference merton{100, 110, 0.5, 0.03, 0.01, 0.04, 0.04,
                                           2,   0,   0,   0.5,  -0.2, 0.15};
    EXPECT_NEAR(Number(At(sheet, "C15")), static_cast<double>(merton.MertonPrice(2)), 1e-8);
}

TEST_P(BatesFunctions, OmittedOrZeroJumpsGiveTheHestonNumbersBitForBit) {
    // Each block: without Jumps, with lambda = 0 (F1:F3), with an empty range (P1:P3).
    const Sheet sheet =
        Evaluate(std::string(kInputs) +
                 "=heston_Price(\"C\",100,G1:G3,H1:J1,0.03,0.01,A1:A5),,,"
                 "=heston_Price(\"C\",100,G1:G3,H1:J1,0.03,0.01,A1:A5,,,F1:F3),,,"
                 "=heston_Price(\"C\",100,G1:G3,H1:J1,0.03,0.01,A1:A5,,,P1:P3)\n\n\n"
                 "=heston_ModelImpliedVol(\"P\",100,G1:G3,I1:J1,0.03,0.01,A1:A5),,,"
                 "=heston_ModelImpliedVol(\"P\",100,G1:G3,I1:J1,0.03,0.01,A1:A5,F1:F3),,,"
                 "=heston_ModelImpliedVol(\"P\",100,G1:G3,I1:J1,0.03,0.01,A1:A5,P1:P3)\n\n\n"
                 "=heston_Greeks(1,100,105,0.5,0.03,0.01,A1:A5),,"
                 "=heston_Greeks(1,100,105,0.5,0.03,0.01,A1:A5,,,F1:F3),,"
                 "=heston_Greeks(1,100,105,0.5,0.03,0.01,A1:A5,,,P1:P3),,"
                 "=heston_Price(2,100,95,2,0.03,0.01,A1:A5),"
                 "=heston_Price(2,100,95,2,0.03,0.01,A1:A5,,,F1:F3),"
                 "=heston_ModelImpliedVol(2,100,95,2,0.03,0.01,A1:A5),"
                 "=heston_ModelImpliedVol(2,100,95,2,0.03,0.01,A1:A5,F1:F3)\n");
    // Prices of three maturities, the smile of two (a one-day Heston put far from the money
    // has no implied volatility).
    for (int block : {5, 8}) {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < (block == 5 ? 3 : 2); ++j) {
                const double heston = Number(CellAt(sheet, block + i, j));
                EXPECT_EQ(Number(CellAt(sheet, block + i, 3 + j)), heston) << block << i << j;
                EXPECT_EQ(Number(CellAt(sheet, block + i, 6 + j)), heston) << block << i << j;
            }
        }
    }
    // Greeks: the Heston table has eleven rows; with lambda = 0 the same eleven numbers and
    // the three jump rows; an empty Jumps range is left out.
    for (int row = 11; row < 22; ++row) {
        const double heston = Number(CellAt(sheet, row, 1));
        EXPECT_EQ(Number(CellAt(sheet, row, 3)), heston) << row;
        EXPECT_EQ(Number(CellAt(sheet, row, 5)), heston) << row;
    }
    EXPECT_EQ(CellAt(sheet, 22, 1).kind, SheetValue::Empty);
    EXPECT_EQ(Text(CellAt(sheet, 22, 2)), "d/d lambda");
    EXPECT_EQ(CellAt(sheet, 22, 5).kind, SheetValue::Empty);
    EXPECT_EQ(Number(At(sheet, "H12")), Number(At(sheet, "G12")));
    EXPECT_EQ(Number(At(sheet, "J12")), Number(At(sheet, "I12")));
}

// d/dx of f by the sixth-order central difference.
template <class F>
double Derivative(F f, double x, double h) {
    return (f(x + 3 * h) - 9 * f(x + 2 * h) + 45 * f(x + h) - 45 * f(x - h) + 9 * f(x - 2 * h) -
            f(x - 3 * h)) /
           (60 * h);
}

TEST_P(BatesFunctions, GreeksAddTheJumpDerivatives) {
    const Sheet sheet = Evaluate(std::string(kInputs) +
                                 "=heston_Greeks(\"C\",100,105,0.75,0.03,0.01,A1:A5,,,B1:B3),,"
                                 "=heston_Greeks(\"P\",100,G1:G4,0.75,0.03,0.01,A1:A5,,,B1:B3)\n");
    const char* const names[] = {"price",     "delta",        "gamma",   "theta",
                                 "rho",       "dividend rho", "d/d v0",  "d/d theta",
                                 "d/d kappa", "d/d sigma",    "d/d rho", "d/d lambda",
                                 "d/d muJ",   "d/d deltaJ"};
    for (int row = 0; row < 14; ++row) {
        EXPECT_EQ(Text(CellAt(sheet, 5 + row, 0)), names[row]);
        EXPECT_EQ(Text(CellAt(sheet, 5 + row, 2)), names[row]);
    }
    EXPECT_EQ(CellAt(sheet, 19, 0).kind, SheetValue::Empty);  // fourteen rows, no more

    auto call = [](double spot, double lambda, double muJ, double deltaJ) {
        reference::BatesReference r{spot, 105, 0.75, 0.03,   0.01, 0.04,  0.05,
                                    1.5,  0.5, -0.7, lambda, muJ,  deltaJ};
        return static_cast<double>(r.Price(1));
    };
    const double lambda = 0.5, muJ = -0.2, deltaJ = 0.15;
    const double expected[] = {
        call(100, lambda, muJ, deltaJ),
        Derivative([&](double s) { return call(s, lambda, muJ, deltaJ); }, 100, 0.5),
        Derivative([&](double x) { return call(100, x, muJ, deltaJ); }, lambda, 1e-2),
        Derivative([&](double x) { return call(100, lambda, x, deltaJ); }, muJ, 1e-2),
        Derivative([&](double x) { return call(100, lambda, muJ, x); }, deltaJ, 1e-2)};
    const int rows[] = {0, 1, 11, 12, 13};
    for (int k = 0; k < 5; ++k) {
        EXPECT_NEAR(Number(CellAt(sheet, 5 + rows[k], 1), names[rows[k]]), expected[k],
                    1e-7 * std::fabs(expected[k]))
            << names[rows[k]];
    }

    // A column per strike; the bad strike's column #NUM!, the others' prices those of
    // heston_Price under the same jumps.
    const Sheet prices = Evaluate(std::string(kInputs) +
                                  "=heston_Price(\"P\",100,G1:G3,0.75,0.03,0.01,A1:A5,,,B1:B3)\n");
    for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(Number(CellAt(sheet, 5, 3 + j)), Number(CellAt(prices, 5 + j, 0)), 1e-12);
        for (int row = 11; row < 14; ++row) Number(CellAt(sheet, 5 + row, 3 + j), names[row]);
    }
    for (int row = 0; row < 14; ++row) {
        ASSERT_EQ(CellAt(sheet, 5 + row, 6).kind, SheetValue::Error) << row;
        EXPECT_EQ(CellAt(sheet, 5 + row, 6).error, kNum);
    }
}

TEST_P(BatesFunctions, TheGridRefusesJumpsAndPricesLambdaZeroAsHeston) {
    const char kRefused[] =
        "Jumps: jumps are not offered for American or barrier options; leave Jumps out or set "
        "lambda to 0";
    const std::string american = "=heston_Price(\"P\",100,100,0.5,0.02,0.01,A1:A5,\"American\",";
    const std::string barrier = "(\"C\",\"UpOut\",125,1,100,100,0.5,0.02,0.01,A1:A5,,,Q1:S1,";
    const Sheet sheet =
        Evaluate(std::string(kInputs) + american + ",B1:B3)\n" +
                 "=heston_Price(\"P\",100,G1:G3,0.5,0.02,0.01,A1:A5,\"American\",,B1:B3)\n" +
                 "=heston_Greeks(\"P\",100,100,0.5,0.02,0.01,A1:A5,\"American\",,C1:E1)\n" +
                 "=heston_BarrierPrice" + barrier + "B1:B3)\n" + "=heston_BarrierGreeks" + barrier +
                 "B1:B3)\n" + american + "Q1:S1,F1:F3)," + american + "Q1:S1)\n" +
                 "=heston_BarrierPrice" + barrier + "F1:F3),=heston_BarrierPrice" + barrier +
                 ")\n" + american + ",K1:K3)\n" + "=heston_BarrierPrice" + barrier + "L1:L2)\n");
    EXPECT_EQ(Text(At(sheet, "A6")), kRefused);
    EXPECT_EQ(Text(At(sheet, "A7")), kRefused);  // an array: one text, not #NUM! per cell
    EXPECT_EQ(Text(At(sheet, "A8")), kRefused);
    EXPECT_EQ(Text(At(sheet, "A9")), kRefused);
    EXPECT_EQ(Text(At(sheet, "A10")), kRefused);
    // lambda = 0: the Heston price on the grid, bit for bit.
    EXPECT_EQ(Number(At(sheet, "A11")), Number(At(sheet, "B11")));
    EXPECT_EQ(Number(At(sheet, "A12")), Number(At(sheet, "B12")));
    // Jumps that cannot be read are named as such, before any refusal.
    EXPECT_EQ(Text(At(sheet, "A13")),
              "Jumps: lambda, the jumps per year, cannot be negative, found -1");
    EXPECT_EQ(Text(At(sheet, "A14")),
              "Jumps: three numbers are needed (lambda, muJ, deltaJ), found 2");
}

TEST_P(BatesFunctions, BadJumpsAreNamedAndBadOptionsAreNumErrors) {
    const Sheet sheet =
        Evaluate(std::string(kInputs) +
                 "=heston_Price(1,100,100,1,0.03,0,A1:A5,,,L1:L2)\n"
                 "=heston_Price(1,100,100,1,0.03,0,A1:A5,,,K1:K3)\n"
                 "=heston_Greeks(1,100,G1:G3,1,0.03,0,A1:A5,,,M1:M3)\n"
                 "=heston_ModelImpliedVol(1,100,G1:G3,1,0.03,0,A1:A5,N1:N3)\n"
                 "=heston_Price(1,100,100,1,0.03,0,A1:A5,,,B1:E1)\n"
                 "=heston_Price(1,100,G1:G4,1,0.03,0,A1:A5,,,B1:B3),=heston_ModelImpliedVol(1,100,"
                 "G1:G4,1,0.03,0,A1:A5,B1:B3)\n");
    EXPECT_EQ(Text(At(sheet, "A6")),
              "Jumps: three numbers are needed (lambda, muJ, deltaJ), found 2");
    EXPECT_EQ(Text(At(sheet, "A7")),
              "Jumps: lambda, the jumps per year, cannot be negative, found -1");
    EXPECT_EQ(
        Text(At(sheet, "A8")),
        "Jumps: deltaJ, the standard deviation of a log jump, cannot be negative, found -0.1");
    EXPECT_EQ(Text(At(sheet, "A9")), "Jumps: a number is needed, not the text \"x\"");
    EXPECT_EQ(Text(At(sheet, "A10")),
              "Jumps: three numbers are needed (lambda, muJ, deltaJ), found 4");
    // The text strike of G4 is #NUM! in its cell, the strikes above it priced.
    for (int row = 11; row < 14; ++row) {
        Number(CellAt(sheet, row - 1, 0), "price");
        Number(CellAt(sheet, row - 1, 1), "vol");
    }
    for (int column : {0, 1}) {
        ASSERT_EQ(CellAt(sheet, 13, column).kind, SheetValue::Error);
        EXPECT_EQ(CellAt(sheet, 13, column).error, kNum);
    }
}

// Fifteen calls priced under known Bates parameters; the fits from no guess in two measures
// recover them, and their columns pass straight into heston_Price's Parameters and Jumps.
const char kSurface[] =
    "0.04,80,0.1,0.5,1.5,=heston_Price(\"C\",100,B1:B5,C1:E1,0.02,0.01,A1:A5,,,A6:A8)\n"
    "0.05,90\n"
    "1.5,100\n"
    "0.5,110\n"
    "-0.7,120\n"
    "0.5\n"
    "-0.2\n"
    "0.15\n";

TEST_P(BatesFunctions, BatesCalibrationFitsItsSurfaceAndFeedsThePricer) {
    const Sheet sheet =
        Evaluate(std::string(kSurface) +
                 "=heston_Calibrate(100,B1:B5,C1:E1,\"C\",F1:H5,0.02,0.01,,,,,,,\"Bates\"),"
                 "=heston_Calibrate(100,B1:B5,C1:E1,1,F1:H5,0.02,0.01,,\"vol\",,,,,\"bates\"),"
                 "=heston_Calibrate(100,B1:B5,C1:E1,1,F1:H5,0.02,0.01,,,,,,,\"Heston\")\n"
                 "\n\n\n\n\n\n\n\n\n\n"
                 "=heston_Price(\"P\",100,105,1,0.02,0.01,A9:A13,,,A14:A16),"
                 "=heston_Price(\"P\",100,105,1,0.02,0.01,A1:A5,,,A6:A8)\n");
    const double truth[] = {0.04, 0.05, 1.5, 0.5, -0.7, 0.5, -0.2, 0.15};
    for (int column : {0, 1}) {
        SCOPED_TRACE(column);
        for (int j = 0; j < 8; ++j)
            EXPECT_NEAR(Number(CellAt(sheet, 8 + j, column), "parameter"), truth[j], 1e-6) << j;
        EXPECT_LT(Number(CellAt(sheet, 8 + 8, column), "rmse"), 1e-6);
        EXPECT_GT(Number(CellAt(sheet, 8 + 9, column), "evaluations"), 0.0);
        EXPECT_EQ(Text(CellAt(sheet, 8 + 10, column)), "converged");
    }
    // The fit in prices reproduces a price off its surface.
    EXPECT_NEAR(Number(At(sheet, "A20")), Number(At(sheet, "B20")), 1e-5);
    // Model "Heston": the eight-row column of the Heston fit.
    EXPECT_EQ(CellAt(sheet, 8 + 7, 2).kind, SheetValue::Text);
    EXPECT_EQ(CellAt(sheet, 8 + 8, 2).kind, SheetValue::Empty);
}

TEST_P(BatesFunctions, BadModelsAndShortVectorsAreNamed) {
    const std::string fit = "=heston_Calibrate(100,B1:B5,C1:E1,1,F1:H5,0.02,0.01,,,";
    const Sheet sheet =
        Evaluate(std::string(kSurface) + fit + ",,,,\"Merton\")\n" + fit + "A1:A5,,,,\"Bates\")\n" +
                 fit + ",A1:A5,,,\"Bates\")\n" + fit + ",,,,2)\n");
    const char kModel[] = "Model: use \"Heston\" or \"Bates\", or leave it out for \"Heston\"";
    EXPECT_EQ(Text(At(sheet, "A9")), kModel);
    EXPECT_EQ(Text(At(sheet, "A10")),
              "InitialGuess: eight numbers are needed (v0, theta, kappa, sigma, rho, lambda, muJ, "
              "deltaJ), found 5");
    EXPECT_EQ(Text(At(sheet, "A11")),
              "LowerBounds: eight numbers are needed (v0, theta, kappa, sigma, rho, lambda, muJ, "
              "deltaJ), found 5");
    EXPECT_EQ(Text(At(sheet, "A12")), kModel);
}

// A Bates fit cut short at 20 evaluations (the full fit is tested above; sixteen of them
// would take long under the sanitizers), Greeks, a smile surface and prices from 8 threads.
TEST_P(BatesFunctions, EightThreadsGiveTheResultsOfOne) {
    if (!IsExcel12()) GTEST_SKIP() << "thread-safe only in Excel-12 mode";
    std::istringstream input(
        std::string(kSurface) +
        "=heston_Calibrate(100,B1:B5,C1:E1,\"C\",F1:H5,0.02,0.01,,\"vol\",,,,20,\"Bates\"),"
        "=heston_Greeks(\"P\",100,B1:B5,1,0.02,0.01,A1:A5,,,A6:A8)\n"
        "\n\n\n\n\n\n\n\n\n\n\n\n\n"
        "=heston_ModelImpliedVol(\"C\",100,B1:B5,C1:E1,0.02,0.01,A1:A5,A6:A8),,,"
        "=heston_Price(\"P\",100,100,1,0.02,0.01,A1:A5,,,A6:A8)\n");
    const runner::Workbook workbook = runner::ParseWorkbook(input);
    const auto functions = runner::RegisteredFunctions();
    runner::Evaluator evaluator(*addin_, functions, runner::ReferenceMode::Values);
    const Sheet sheet = evaluator.Evaluate(workbook);
    const auto calls = runner::ThreadedCalls(workbook, evaluator, functions, sheet);
    const runner::ParallelReport report = runner::CallFromThreads(evaluator, calls, sheet, 8, 2);
    EXPECT_EQ(report.threadSafeCalls, 5u * 2u * 8u);
    EXPECT_EQ(report.differing, 0u) << report.firstDifference;
}

INSTANTIATE_TEST_SUITE_P(BothModes, BatesFunctions,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
