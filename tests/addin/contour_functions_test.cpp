// The contour pricer's five worksheet functions through the add-in as Excel calls them, in
// both modes: registration after the nine, prices and Greeks against Black-Scholes where the
// variance is deterministic, the Black inversion, array shapes and their failures, the
// conventions for option types and parameters, and a calibration that recovers the parameters
// of a surface priced at known ones.
#include <cmath>
#include <string>
#include <vector>

#include "../support/black_scholes_reference.h"
#include "AddinSession.h"

namespace {

using addintest::AddinSession;
using runner::Sheet;
using runner::SheetValue;
using test_support::BlackScholesOption;
using test_support::ExactNormalCdf;
using test_support::ExactNormalDensity;

constexpr int kNum = 36;  // #NUM!

void ExpectNumber(const SheetValue& value, double expected, double relative,
                  const std::string& what) {
    ASSERT_EQ(value.kind, SheetValue::Number) << what << ": " << runner::DisplayText(value);
    EXPECT_NEAR(value.number, expected, relative * std::max(1.0, std::fabs(expected))) << what;
}

void ExpectText(const SheetValue& value, const std::string& expected) {
    ASSERT_EQ(value.kind, SheetValue::Text) << runner::DisplayText(value);
    EXPECT_EQ(value.text, expected);
}

void ExpectError(const SheetValue& value, int code, const std::string& what) {
    ASSERT_EQ(value.kind, SheetValue::Error) << what << ": " << runner::DisplayText(value);
    EXPECT_EQ(value.error, code) << what;
}

// The cell at zero-based (row, column), empty beyond the evaluated sheet.
SheetValue CellAt(const Sheet& sheet, int row, int column) {
    if (row >= static_cast<int>(sheet.size()) || column >= static_cast<int>(sheet[row].size()))
        return SheetValue();
    return sheet[row][column];
}

// Parameters in A1:A5: v0 = theta = 0.04, kappa 2, sigma 0, rho 0 (Black-Scholes, vol 0.2).
const char kBlackScholesParameters[] = "0.04\n0.04\n2\n0\n0\n";

class ContourFunctions : public AddinSession {
  protected:
    void SetUp() override {
        AddinSession::SetUp();
        ASSERT_EQ(Open(), 1);
    }
};

TEST_P(ContourFunctions, RegisterAfterTheNineThreadSafeOnlyInExcel12) {
    const std::vector<runner::RegisteredFunction> functions = runner::RegisteredFunctions();
    ASSERT_EQ(functions.size(), 18u);  // the functions added since follow, tested in their files
    EXPECT_EQ(functions[8].worksheetName, "heston_weightBSvega");
    const char* const names[] = {"heston_Price", "heston_Greeks", "heston_ModelImpliedVol",
                                 "heston_BlackImpliedVol", "heston_Calibrate"};
    const char* const argumentsExcel12[] = {"QQBQQQQQQQQ$", "QQBQQQQQQQQ$", "QQBQQQQQQ$",
                                            "QQQBQQQQ$", "QBQQQQQQQQQQQQQ$"};
    for (int i = 0; i < 5; ++i) {
        const runner::RegisteredFunction& got = functions[9 + i];
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(got.worksheetName, names[i]);
        EXPECT_EQ(got.exportName, std::string("xl") + names[i]);
        EXPECT_EQ(got.category, functions[0].category);
        std::string type = argumentsExcel12[i];
        if (!IsExcel12()) {
            type.pop_back();  // no "$"
            for (char& c : type) c = c == 'Q' ? 'P' : c;
        }
        EXPECT_EQ(got.typeText, type);
        EXPECT_EQ(got.argumentHelp.size(), type.size() - (IsExcel12() ? 2 : 1));
        EXPECT_LE(got.description.size(), 255u);
        for (const std::string& help : got.argumentHelp) {
            EXPECT_LE(help.size(), 255u);
            EXPECT_EQ(help.substr(help.size() - 2), ". ");
        }
    }
    EXPECT_EQ(functions[13].argumentText,
              "Spot, Strikes, Maturities, OptionTypes, Prices, Rates, DividendYields, Weights, "
              "ErrorMeasure, InitialGuess, LowerBounds, UpperBounds, MaxEvaluations, Model");
    EXPECT_NE(functions[13].argumentHelp[11].find("2, 2, 20, 5, 0.999"), std::string::npos);
}

TEST_P(ContourFunctions, PricesGreeksAndSmileMeetBlackScholesWithDividends) {
    const Sheet sheet = Evaluate(std::string(kBlackScholesParameters) +
                                 "=heston_Price(\"C\",100,110,1.5,0.03,0.01,A1:A5)\n"
                                 "=heston_Price(\"put\",100,90,0.5,0.02,0.04,A1:A5)\n"
                                 "=heston_ModelImpliedVol(2,100,130,2,0.03,0.01,A1:A5)\n"
                                 "=heston_Greeks(1,100,110,1.5,0.03,0.01,A1:A5)\n");
    const BlackScholesOption call{100, 110, 0.03, 1.5, 0.2, 0.01};
    const BlackScholesOption put{100, 90, 0.02, 0.5, 0.2, 0.04};
    ExpectNumber(At(sheet, "A6"), call.Call(), 1e-12, "call");
    ExpectNumber(At(sheet, "A7"), put.Put(), 1e-12, "put");
    ExpectNumber(At(sheet, "A8"), 0.2, 1e-10, "smile of constant variance");

    // Greeks: the variance path theta + (v0 - theta) e^{-kappa t} is deterministic, so the
    // price depends on v0 and theta only through the total variance.
    const double T = 1.5, kappa = 2.0;
    const double perTotalVariance = call.Vega() / (2.0 * 0.2 * T);
    const double v0Share = (1.0 - std::exp(-kappa * T)) / kappa;
    const char* const rows[] = {"price",     "delta",        "gamma",  "theta",
                                "rho",       "dividend rho", "d/d v0", "d/d theta",
                                "d/d kappa", "d/d sigma",    "d/d rho"};
    const double expected[] = {
        call.Call(),
        std::exp(-call.q * T) * ExactNormalCdf(call.D1()),
        std::exp(-call.q * T) * ExactNormalDensity(call.D1()) / (100 * 0.2 * std::sqrt(T)),
        -(call.Vega() * 0.2 / (2 * T) +
          call.r * call.K * std::exp(-call.r * T) * ExactNormalCdf(call.D2()) -
          call.q * call.S * std::exp(-call.q * T) * ExactNormalCdf(call.D1())),
        call.K * T * std::exp(-call.r * T) * ExactNormalCdf(call.D2()),
        -call.S * T * std::exp(-call.q * T) * ExactNormalCdf(call.D1()),
        perTotalVariance * v0Share,
        perTotalVariance * (T - v0Share),
        0.0,
        0.0,
        0.0};
    for (int i = 0; i < 11; ++i) {
        const std::string row = std::to_string(9 + i);
        ExpectText(At(sheet, "A" + row), rows[i]);
        ExpectNumber(At(sheet, "B" + row), expected[i], 1e-9, rows[i]);
    }
}

TEST_P(ContourFunctions, BlackInversionRecoversTheVolatility) {
    const BlackScholesOption a{100, 120, 0.03, 0.25, 0.35, 0.01};
    const BlackScholesOption b{100, 80, 0.01, 3.0, 0.12, 0.02};
    char csv[512];
    std::snprintf(csv, sizeof csv,
                  "=heston_BlackImpliedVol(\"Call\",%.17g,100,120,0.25,0.03,0.01)\n"
                  "=heston_BlackImpliedVol(\"P\",%.17g,100,80,3,0.01,0.02)\n"
                  "=heston_BlackImpliedVol(\"C\",200,100,120,0.25,0.03,0.01)\n",
                  a.Call(), b.Put());
    const Sheet sheet = Evaluate(csv);
    ExpectNumber(At(sheet, "A1"), 0.35, 1e-13, "call");
    ExpectNumber(At(sheet, "A2"), 0.12, 1e-13, "put");
    // A call price above the spot has no implied volatility: a single cell says why.
    ASSERT_EQ(At(sheet, "A3").kind, SheetValue::Text);
}

TEST_P(ContourFunctions, OptionTypesInEveryFormAndCase) {
    const Sheet sheet = Evaluate(std::string(kBlackScholesParameters) +
                                 "1,C,c,Call,CALL,2,P,p,Put,pUT,3,X,,0.99\n"
                                 "=heston_Price(A6:N6,100,100,1,0.02,0,A1:A5)\n");
    const BlackScholesOption bs{100, 100, 0.02, 1, 0.2, 0};
    for (int j = 0; j < 5; ++j)
        ExpectNumber(CellAt(sheet, 6, j), bs.Call(), 1e-12, "call form " + std::to_string(j));
    for (int j = 5; j < 10; ++j)
        ExpectNumber(CellAt(sheet, 6, j), bs.Put(), 1e-12, "put form " + std::to_string(j));
    for (int j = 10; j < 14; ++j)
        ExpectError(CellAt(sheet, 6, j), kNum, "bad type " + std::to_string(j));
}

TEST_P(ContourFunctions, ColumnOfStrikesAndRowOfMaturitiesGiveAMatrix) {
    const Sheet sheet =
        Evaluate(std::string(kBlackScholesParameters) +
                 "80,0.5,1,2\n"
                 "100\n"
                 "120\n"
                 "-5\n"
                 "=heston_Price(\"C\",100,A6:A9,B6:D6,0.02,0.01,A1:A5),,,,"
                 "=heston_ModelImpliedVol(\"C\",100,A6:A9,B6:D6,0.02,0.01,A1:A5)\n");
    const double strikes[] = {80, 100, 120};
    const double maturities[] = {0.5, 1, 2};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const BlackScholesOption bs{100, strikes[i], 0.02, maturities[j], 0.2, 0.01};
            ExpectNumber(CellAt(sheet, 9 + i, j), bs.Call(), 1e-12, "price");
            ExpectNumber(CellAt(sheet, 9 + i, 4 + j), 0.2, 1e-9, "smile");
        }
    }
    // The negative strike's row is #NUM!, the rest computed.
    for (int j = 0; j < 3; ++j) {
        ExpectError(CellAt(sheet, 12, j), kNum, "negative strike, price");
        ExpectError(CellAt(sheet, 12, 4 + j), kNum, "negative strike, smile");
    }
}

TEST_P(ContourFunctions, SingleCellsNameTheArgumentAndItsProblem) {
    const Sheet sheet = Evaluate(std::string(kBlackScholesParameters) +
                                 "=heston_Price(\"X\",100,100,1,0.02,0,A1:A5)\n"
                                 "=heston_Price(\"C\",100,\"a\",1,0.02,0,A1:A5)\n"
                                 "=heston_Price(\"C\",100,100,1,0.02,0,A1:A4)\n"
                                 "=heston_Price(\"C\",100,100,1,0.02,,A1:A5)\n"
                                 "=heston_Price(\"C\",100,-1,1,0.02,0,A1:A5)\n"
                                 "=heston_Price(\"C\",100,A1:A3,A1:A2,0.02,0,A1:A5)\n");
    ExpectText(At(sheet, "A6"),
               "OptionType: use 1, \"C\" or \"Call\" for a call and 2, \"P\" or \"Put\" for a "
               "put, not the text \"X\"");
    ExpectText(At(sheet, "A7"), "Strike: a number is needed, not the text \"a\"");
    ExpectText(At(sheet, "A8"),
               "Parameters: five numbers are needed (v0, theta, kappa, sigma, rho), found 4");
    ExpectText(At(sheet, "A9"), "DividendYield: a number is needed, not an empty cell");
    // The pricer's own reason for a value out of range.
    ASSERT_EQ(At(sheet, "A10").kind, SheetValue::Text);
    EXPECT_NE(At(sheet, "A10").text.find("strike"), std::string::npos) << At(sheet, "A10").text;
    ExpectText(At(sheet, "A11"),
               "Strike (3 x 1) and Maturity (2 x 1) cannot be combined: give ranges of one shape, "
               "single values, or a column and a row");
}

TEST_P(ContourFunctions, ParametersAreTheFirstFiveNumbersOfTheirRange) {
    // A row with a label, and a column ending in a calibration's diagnostics.
    const Sheet sheet = Evaluate(
        "v0,0.04,0.04,2,0,0\n"
        "0.04\n0.04\n2\n0\n0\n0.001\n25\nconverged\n"
        "=heston_Price(1,100,100,1,0.02,0,A1:F1)\n"
        "=heston_Price(1,100,100,1,0.02,0,A2:A9)\n"
        "=nosuch(),0.04\n"
        "=heston_Price(1,100,100,1,0.02,0,A12:B12)\n");
    const BlackScholesOption bs{100, 100, 0.02, 1, 0.2, 0};
    ExpectNumber(At(sheet, "A10"), bs.Call(), 1e-12, "row with a label");
    ExpectNumber(At(sheet, "A11"), bs.Call(), 1e-12, "calibration column");
    ExpectText(At(sheet, "A13"),
               "Parameters: holds the error value #NAME? among its first five numbers");
}

TEST_P(ContourFunctions, FunctionWizardGetsTrueWithoutComputing) {
    simulated::AddWindow(reinterpret_cast<HWND>(0x777), "bosa_sdm_XL9",
                         reinterpret_cast<HWND>(0x1234));
    const Sheet sheet = Evaluate("=heston_Price(\"X\",100,100,1,0.02,0,1)\n");
    ASSERT_EQ(At(sheet, "A1").kind, SheetValue::Bool);
    EXPECT_TRUE(At(sheet, "A1").boolean);
}

// Twelve calls priced at known parameters, then fitted from no guess, in each measure; the
// fitted column feeds heston_Price directly.
TEST_P(ContourFunctions, CalibrationRecoversTheParametersOfItsSurface) {
    const Sheet sheet = Evaluate(
        "0.04,80,0.25,=heston_Price(\"C\",100,B1:B12,C1:C12,0.02,0.01,A1:A5),"
        "=heston_Calibrate(100,B1:B12,C1:C12,\"C\",D1:D12,0.02,0.01),"
        "=heston_Calibrate(100,B1:B12,C1:C12,1,D1:D12,0.02,0.01,,\"vol\"),"
        "=heston_Calibrate(100,B1:B12,C1:C12,1,D1:D12,0.02,0.01,,\"Relative\",A1:A5)\n"
        "0.06,90,0.25\n"
        "1.5,100,0.25\n"
        "0.5,110,0.25\n"
        "-0.6,80,1\n"
        ",90,1\n,100,1\n,110,1\n,80,2\n,90,2\n,100,2\n,110,2\n"
        "=heston_Price(\"C\",100,105,1.5,0.02,0.01,E1:E8),"
        "=heston_Price(\"C\",100,105,1.5,0.02,0.01,A1:A5)\n");
    const double truth[] = {0.04, 0.06, 1.5, 0.5, -0.6};
    for (int column = 4; column <= 6; ++column) {
        SCOPED_TRACE(column);
        for (int j = 0; j < 5; ++j)
            ExpectNumber(CellAt(sheet, j, column), truth[j], 1e-5, "parameter");
        ExpectNumber(CellAt(sheet, 5, column), 0.0, 1e-7, "rmse");
        ASSERT_EQ(CellAt(sheet, 6, column).kind, SheetValue::Number);
        EXPECT_GT(CellAt(sheet, 6, column).number, 0.0);
        ExpectText(CellAt(sheet, 7, column), "converged");
    }
    ExpectNumber(At(sheet, "A13"), At(sheet, "B13").number, 1e-8, "price at the fit");
}

TEST_P(ContourFunctions, CalibrationRefusesInconsistentTablesWithAText) {
    const Sheet sheet = Evaluate(
        "80,0.25,5\n90,0.25,3\n100,0.25,1\n"
        "=heston_Calibrate(100,A1:A3,B1:B2,1,C1:C3,0.02,0)\n"
        "=heston_Calibrate(100,A1:A3,B1:B3,1,C1:C3,0.02,0,,\"price2\")\n"
        "=heston_Calibrate(100,A1:A3,B1:B3,\"Z\",C1:C3,0.02,0)\n"
        "=heston_Calibrate(100,A1:A3,B1:B3,1,C1:C3,0.02,0,-1)\n"
        "=heston_Calibrate(100,A1:A3,B1:B3,1,C1:C3,0.02,0,,,A1:A3)\n"
        "=heston_Calibrate(100,A1:A3,B1:B3,1,C1:C3,0.02,0,,,,,,0)\n");
    ExpectText(At(sheet, "A4"),
               "Maturities has 2 values and Prices 3: give one value per option (or a single "
               "value where one serves all)");
    ExpectText(At(sheet, "A5"),
               "ErrorMeasure: use \"price\", \"relative\" or \"vol\", or leave it out for "
               "\"price\"");
    ExpectText(At(sheet, "A6"),
               "OptionTypes: use 1, \"C\" or \"Call\" for a call and 2, \"P\" or \"Put\" for a "
               "put, not the text \"Z\" (option 1)");
    ExpectText(At(sheet, "A7"), "option 1: the weight must be a number >= 0");
    ExpectText(At(sheet, "A8"),
               "InitialGuess: five numbers are needed (v0, theta, kappa, sigma, rho), found 3");
    ExpectText(At(sheet, "A9"), "MaxEvaluations: a whole number of at least 1 is needed");
}

INSTANTIATE_TEST_SUITE_P(BothModes, ContourFunctions,
                         ::testing::Values(addintest::kExcel12, addintest::kExcel4),
                         addintest::ModeName);

}  // namespace
