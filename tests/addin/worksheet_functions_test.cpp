// The nine worksheet functions called through the add-in as Excel calls them, in both modes:
// results against Black-Scholes references and identities, the conversions of counts and
// ranges, the function-wizard short cut and every kind of failure value.
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/black_scholes_reference.h"
#include "AddinSession.h"

namespace {

using addintest::AddinSession;
using runner::ReferenceMode;
using runner::Sheet;
using runner::SheetValue;
using test_support::BlackScholesOption;

void ExpectNumber(const SheetValue& value, double expected, double tolerance,
                  const std::string& what) {
    ASSERT_EQ(value.kind, SheetValue::Number) << what << ": " << runner::DisplayText(value);
    EXPECT_NEAR(value.number, expected, tolerance) << what;
}

void ExpectText(const SheetValue& value, const std::string& expected) {
    ASSERT_EQ(value.kind, SheetValue::Text) << runner::DisplayText(value);
    EXPECT_EQ(value.text, expected);
}

// A small, consistent observation table with a parameter block: rows 1-5 hold the bounds
// (A, B) and the initial guess (C); rows 1-3 the strikes, maturities, types, prices, rates
// and weights in D to I; J1 the spot.
const char kCalibrationInputs[] =
    "0.01,0.5,0.05,90,0.5,1,12.5,0.03,1,100\n"
    "0.01,0.5,0.05,100,0.5,2,5.8,0.03,1\n"
    "0.5,5,2,110,1,1,6.1,0.03,1\n"
    "0.1,1,0.4\n"
    "-0.9,0.5,-0.5\n";

class WorksheetFunctions : public AddinSession {
  protected:
    void SetUp() override {
        AddinSession::SetUp();
        ASSERT_EQ(Open(), 1);
    }

    // Puts the add-in's random stream back at its start, so two calls draw the same numbers.
    void RestartRandomStream() {
        FARPROC restart = addin_->EntryPoint("_Z18RuntimeRandRestartv");
        ASSERT_NE(restart, nullptr);
        reinterpret_cast<void (*)()>(restart)();
    }
};

TEST_P(WorksheetFunctions, ClosedFormPricesMeetBlackScholesAndParity) {
    // With sigma -> 0 and v = theta the variance stays at 0.04: Black-Scholes with vol 0.2.
    const Sheet sheet = Evaluate(
        "=heston_EuropeanCallPrice(100,100,1,0.05,-0.5,2,0.04,0,0.001,0.04)\n"
        "=heston_EuropeanPutPrice(100,100,1,0.05,-0.5,2,0.04,0,0.001,0.04)\n"
        "=heston_EuropeanCallPrice(100,110,0.5,0.03,-0.7,1.5,0.06,0,0.6,0.03)\n"
        "=heston_EuropeanPutPrice(100,110,0.5,0.03,-0.7,1.5,0.06,0,0.6,0.03)\n");
    const BlackScholesOption bs{100, 100, 0.05, 1, 0.2};
    ExpectNumber(At(sheet, "A1"), bs.Call(), 2e-3, "call in the Black-Scholes limit");
    ExpectNumber(At(sheet, "A2"), bs.Put(), 2e-3, "put in the Black-Scholes limit");
    ASSERT_EQ(At(sheet, "A3").kind, SheetValue::Number);
    ASSERT_EQ(At(sheet, "A4").kind, SheetValue::Number);
    ExpectNumber(At(sheet, "A3"), At(sheet, "A4").number + 100 - 110 * std::exp(-0.03 * 0.5), 1e-6,
                 "put-call parity");
}

TEST_P(WorksheetFunctions, ImpliedVolAndVegaRecoverBlackScholesInputs) {
    const BlackScholesOption call{100, 95, 0.04, 0.75, 0.25};
    const BlackScholesOption put{100, 105, 0.04, 0.75, 0.3};
    const std::string csv = std::to_string(call.Call()) + "," + std::to_string(put.Put()) +
                            "\n=heston_impliedVol(100,95,0.04,0.75,A1,1.9,0,1e-10)"
                            "\n=heston_impliedVol(100,105,0.04,0.75,B1,0,0,1e-10)"
                            "\n=heston_weightBSvega(100,95,0.04,0.75,A1,1,0)"
                            "\n=heston_weightBSvega(100,105,0.04,0.75,B1,-0.9,0)\n";
    const Sheet sheet = Evaluate(csv);
    // The prices were rounded to 6 decimals by the text; vol moves 1e-6 / vega at most.
    ExpectNumber(At(sheet, "A2"), 0.25, 1e-6, "call implied vol (type 1.9 is a call)");
    ExpectNumber(At(sheet, "A3"), 0.3, 1e-6, "put implied vol");
    ExpectNumber(At(sheet, "A4"), call.Vega(), 1e-4 * call.Vega(), "call vega");
    ExpectNumber(At(sheet, "A5"), put.Vega(), 1e-4 * put.Vega(), "put vega (type -0.9 is 0)");
}

TEST_P(WorksheetFunctions, CountsAreTruncatedTowardZero) {
    Sheet sheet = Evaluate("=heston_RandomVars(2.7),=heston_RandomVars(0)\n");
    EXPECT_EQ(At(sheet, "A1").kind, SheetValue::Number);
    EXPECT_EQ(At(sheet, "A2").kind, SheetValue::Number);
    EXPECT_EQ(At(sheet, "A3").kind, SheetValue::Empty) << "2.7 draws two numbers";
    EXPECT_EQ(At(sheet, "B1").kind, SheetValue::Nil) << "no numbers leave the result empty";

    std::string lengthError;
    try {
        std::vector<double> tooLong(static_cast<std::size_t>(-1));
    } catch (const std::length_error& error) {
        lengthError = error.what();
    }
    ExpectText(At(Evaluate("=heston_RandomVars(-1)\n"), "A1"), lengthError);

    // 1000.9 simulations of 10.7 steps are 1000 of 10; -0.5 steps are 0.
    const std::string mc = "=heston_EuropeanCallPriceMC(100,100,1,0.05,-0.5,2,0.04,0,0.3,0.04,";
    RestartRandomStream();
    const SheetValue fractional = At(Evaluate(mc + "1000.9,10.7)\n"), "A1");
    RestartRandomStream();
    const SheetValue whole = At(Evaluate(mc + "1000,10)\n"), "A1");
    ASSERT_EQ(fractional.kind, SheetValue::Number);
    ASSERT_EQ(whole.kind, SheetValue::Number);
    EXPECT_EQ(fractional.number, whole.number);
    RestartRandomStream();
    const SheetValue negativeSteps = At(Evaluate(mc + "10,-0.5)\n"), "A1");
    RestartRandomStream();
    const SheetValue zeroSteps = At(Evaluate(mc + "10,0)\n"), "A1");
    EXPECT_EQ(runner::DisplayText(negativeSteps), runner::DisplayText(zeroSteps));

    // The simulated price is the closed form within the sampling error of 1000 paths.
    const Sheet prices = Evaluate(
        "=heston_EuropeanCallPrice(100,100,1,0.05,-0.5,2,0.04,0,0.3,0.04)\n" + mc + "2000,50)\n");
    ASSERT_EQ(At(prices, "A2").kind, SheetValue::Number);
    ExpectNumber(At(prices, "A1"), At(prices, "A2").number, 1.5, "Monte Carlo vs closed form");
}

TEST_P(WorksheetFunctions, FunctionWizardGetsTrueFromEveryFunction) {
    // The wizard is a top-level window whose parent is Excel's main window (0x1234).
    simulated::AddWindow(reinterpret_cast<HWND>(0x777), "BOSA_SDM_XL9",
                         reinterpret_cast<HWND>(0x1234));
    const Sheet sheet = Evaluate(
        "=heston_EuropeanCallPrice(),=heston_EuropeanPutPrice(\"x\"),=heston_RandomVars(-1),"
        "=heston_EuropeanCallPriceMC(),=heston_EuropeanPutPriceMC(),"
        "=heston_CalibrateLevMar(),=heston_CalibrateDE(A2:C3),=heston_impliedVol(),"
        "=heston_weightBSvega()\n"
        "1,2,3\n"
        "4,5,6\n");
    for (const char* cell : {"A1", "C1", "D1", "E1", "F1", "G1", "H1", "I1"}) {
        const SheetValue value = At(sheet, cell);
        EXPECT_EQ(value.kind, SheetValue::Bool) << cell << ": " << runner::DisplayText(value);
        EXPECT_TRUE(value.boolean) << cell;
    }
    // A text for a number is refused by Excel itself, before the add-in is called.
    EXPECT_EQ(runner::DisplayText(At(sheet, "B1")), "#VALUE!");
}

TEST_P(WorksheetFunctions, CalibrationFailuresShowTheirTexts) {
    const std::string inputs = kCalibrationInputs;
    const Sheet sheet = Evaluate(
        inputs +
        "1,2,3\n"
        "4,5,6\n"
        "=heston_CalibrateDE(A1:A5,B1:B5,A6:C7,E1:E3,F1:F3,G1:G3,J1,H1:H3,I1:I3,1)\n"
        "=heston_CalibrateLevMar(A1:A5,B1:B5,C1:C5,A6:C7,E1:E3,F1:F3,G1:G3,J1,H1:H3,I1:I3,5)\n"
        "=heston_CalibrateDE(A1:A4,B1:B5,D1:D3,E1:E3,F1:F3,G1:G3,J1,H1:H3,I1:I3,1)\n"
        "=heston_CalibrateLevMar(A1:A4,B1:B4,C1:C4,D1:D3,E1:E3,F1:F3,G1:G3,J1,H1:H3,I1:I3,5)\n"
        "=heston_CalibrateLevMar(A1:A5,B1:B5,C1:C5,D1:D3,E1:E2,F1:F3,G1:G3,J1,H1:H3,I1:I3,5)\n");
    ExpectText(At(sheet, "A8"), "command failed, strikeArray conversion to double vector");
    ExpectText(At(sheet, "A9"), "command failed, strikeArray conversion to double vector");
    ExpectText(At(sheet, "A10"), "Mismatch in the heston parameter inputs.");
    ExpectText(At(sheet, "A11"), "Mismatch in the heston parameter inputs.");
    ExpectText(At(sheet, "A12"), "Mismatch in the observation data");
}

TEST_P(WorksheetFunctions, RangesReadAlikeAsArraysAndAsReferences) {
    const std::string csv = std::string(kCalibrationInputs) +
                            "=heston_CalibrateLevMar(A1:A5,B1:B5,C1:C5,D1:D3,E1:E3,F1:F3,G1:G3,"
                            "J1,H1:H3,I1:I3,30)\n";
    const Sheet values = Evaluate(csv, ReferenceMode::Values);
    const Sheet references = Evaluate(csv, ReferenceMode::References);
    const Sheet sheetReferences = Evaluate(csv, ReferenceMode::SheetReferences);
    for (int row = 6; row <= 10; ++row) {
        const std::string cell = "A" + std::to_string(row);
        const SheetValue fitted = At(values, cell);
        ASSERT_EQ(fitted.kind, SheetValue::Number) << cell << ": " << runner::DisplayText(fitted);
        EXPECT_EQ(runner::DisplayText(At(references, cell)), runner::DisplayText(fitted));
        EXPECT_EQ(runner::DisplayText(At(sheetReferences, cell)), runner::DisplayText(fitted));
    }
    // Each fitted parameter lies within its bounds.
    for (int i = 0; i < 5; ++i) {
        const double value = At(values, "A" + std::to_string(6 + i)).number;
        EXPECT_GE(value, At(values, "A" + std::to_string(1 + i)).number);
        EXPECT_LE(value, At(values, "B" + std::to_string(1 + i)).number);
    }
}

TEST_P(WorksheetFunctions, UncalculatedArgumentGivesTheNullResult) {
    xlhost::Host::Instance().FailRequest(xlCoerce, xlretUncalced);
    const std::string csv = std::string(kCalibrationInputs) +
                            "=heston_CalibrateDE(A1:A5,B1:B5,D1:D3,E1:E3,F1:F3,G1:G3,J1,H1:H3,"
                            "I1:I3,1)\n";
    for (ReferenceMode mode : {ReferenceMode::References, ReferenceMode::SheetReferences}) {
        EXPECT_EQ(At(Evaluate(csv, mode), "A6").kind, SheetValue::Null);
    }
    xlhost::Host::Instance().ClearFailures();
}

INSTANTIATE_TEST_SUITE_P(BothModes, WorksheetFunctions,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
