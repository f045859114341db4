// The finite-difference worksheet functions through the add-in in both modes: registration of
// heston_BarrierPrice and heston_BarrierGreeks, American prices of heston_Price and
// heston_Greeks against the library, barrier prices against Reiner and Rubinstein's formulas at
// constant variance, arrays, and the texts that name a bad argument.
#include <cmath>
#include <string>

#include "AddinSession.h"
#include "barrier_reference.h"
#include "finitedifference/FiniteDifferencePricer.h"

namespace {

using addintest::AddinSession;
using runner::Sheet;
using runner::SheetValue;

void ExpectNumber(const SheetValue& value, double expected, double tolerance,
                  const std::string& what) {
    ASSERT_EQ(value.kind, SheetValue::Number) << what << ": " << runner::DisplayText(value);
    EXPECT_NEAR(value.number, expected, tolerance) << what;
}

void ExpectTextStart(const SheetValue& value, const std::string& start) {
    ASSERT_EQ(value.kind, SheetValue::Text) << runner::DisplayText(value);
    EXPECT_EQ(value.text.rfind(start, 0), 0u) << value.text;
}

class FiniteDifferenceFunctions : public AddinSession {
  protected:
    void SetUp() override {
        AddinSession::SetUp();
        ASSERT_EQ(Open(), 1);
    }
};

TEST_P(FiniteDifferenceFunctions, RegisterAfterTheContourFunctions) {
    const std::vector<runner::RegisteredFunction> functions = runner::RegisteredFunctions();
    ASSERT_EQ(functions.size(), 18u);
    EXPECT_EQ(functions[14].worksheetName, "heston_BarrierPrice");
    EXPECT_EQ(functions[15].worksheetName, "heston_BarrierGreeks");
    for (int i = 14; i < 16; ++i) {
        std::string type = "QQQQQBQQQQQQQQQ$";
        if (!IsExcel12()) {
            type.pop_back();
            for (char& c : type) c = c == 'Q' ? 'P' : c;
        }
        EXPECT_EQ(functions[i].typeText, type);
        EXPECT_LE(functions[i].description.size(), 255u);
        for (const std::string& help : functions[i].argumentHelp) EXPECT_LE(help.size(), 255u);
    }
}

TEST_P(FiniteDifferenceFunctions, AmericanAndBarrierPrices) {
    // A1:A5 Oosterlee's parameters (v0 = 0.0625); A6:A10 constant variance 0.0625.
    const Sheet sheet = Evaluate(
        "0.0625\n0.16\n5\n0.9\n0.1\n0.0625\n0.0625\n1\n0.0001\n0\n"
        "=heston_Price(\"P\",10,10,0.25,0.1,0,A1:A5,\"american\")\n"
        "=heston_Price(\"P\",10,10,0.25,0.1,0,A1:A5,\"American\")\n"
        "=heston_BarrierPrice(\"C\",\"downout\",90,3,100,100,0.5,0.05,0.02,A6:A10)\n"
        "=heston_BarrierPrice(\"C\",\"UpIn\",110,3,100,100,0.5,0.05,0.02,A6:A10)\n"
        "=heston_Greeks(\"P\",10,10,0.25,0.1,0,A1:A5,\"American\")\n");
    ExpectNumber(At(sheet, "A11"), 0.520030, 2e-4, "American put");
    heston::FiniteDifferenceOption put;
    put.optionType = heston::kPut;
    put.strike = 10;
    put.maturity = 0.25;
    put.rate = 0.1;
    put.exercise = heston::ExerciseStyle::American;
    const heston::ModelParameters model{0.0625, 0.16, 5.0, 0.9, 0.1};
    ExpectNumber(At(sheet, "A12"), heston::FiniteDifferencePrice(10, put, model), 0.0, "again");
    using test_support::ReferenceBarrier;
    ExpectNumber(At(sheet, "A13"),
                 test_support::ReinerRubinsteinPrice(ReferenceBarrier::DownOut, true, 100, 100, 90,
                                                     3, 0.05, 0.02, 0.5, 0.25),
                 1e-2, "down-and-out call");
    ExpectNumber(At(sheet, "A14"),
                 test_support::ReinerRubinsteinPrice(ReferenceBarrier::UpIn, true, 100, 100, 110, 3,
                                                     0.05, 0.02, 0.5, 0.25),
                 1e-2, "up-and-in call");
    const heston::Greeks greeks = heston::FiniteDifferenceGreeks(10, put, model);
    ExpectNumber(At(sheet, "B15"), greeks.price, 0.0, "Greeks: price");
    ExpectNumber(At(sheet, "B16"), greeks.delta, 0.0, "Greeks: delta");
    ExpectNumber(At(sheet, "B25"), greeks.dRho, 0.0, "Greeks: d/d rho, bit for bit on the pool");
}

TEST_P(FiniteDifferenceFunctions, ArraysAndBadArguments) {
    const Sheet sheet = Evaluate(
        "0.04\n0.05\n2\n0.5\n-0.6\n"
        "=heston_BarrierPrice(\"P\",\"DownOut\",80,0,100,90,0.5,0.02,0,A1:A5)\n"
        "=heston_BarrierPrice(\"P\",\"Sideways\",80,0,100,100,0.5,0.02,0,A1:A5)\n"
        "=heston_BarrierPrice(\"P\",\"DoubleOut\",80,0,100,100,0.5,0.02,0,A1:A5)\n"
        "=heston_BarrierPrice(\"P\",\"DoubleOut\",A2:A1,0,100,100,0.5,0.02,0,A1:A5)\n"
        "=heston_BarrierPrice(\"P\",\"DownIn\",80,0,100,100,0.5,0.02,0,A1:A5,\"American\")\n"
        "=heston_Price(\"P\",100,100,0.5,0.02,0,A1:A5,\"Bermudan\")\n"
        "=heston_Price(\"P\",100,100,0.5,0.02,0,A1:A5,\"American\",\"10,3,20\")\n"
        "=heston_BarrierPrice(\"P\",\"DownOut\",80,0,100,100,0.5,0.02,0,A1:A5,,2.5)\n");
    heston::FiniteDifferenceOption o;
    o.optionType = heston::kPut;
    o.strike = 90;
    o.maturity = 0.5;
    o.rate = 0.02;
    o.barrier.type = heston::BarrierType::DownOut;
    o.barrier.lower = 80;
    const heston::ModelParameters model{0.04, 0.05, 2.0, 0.5, -0.6};
    ExpectNumber(At(sheet, "A6"), heston::FiniteDifferencePrice(100, o, model), 0.0,
                 "single option");
    ExpectTextStart(At(sheet, "A7"), "BarrierType:");
    ExpectTextStart(At(sheet, "A8"), "Barrier: a double barrier needs two numbers");
    ExpectTextStart(At(sheet, "A10"), "Exercise: American knock-ins");
    ExpectTextStart(At(sheet, "A11"), "Exercise:");
    ExpectTextStart(At(sheet, "A12"), "Grid:");
    ExpectTextStart(At(sheet, "A13"), "Monitoring:");
}

TEST_P(FiniteDifferenceFunctions, ArraysOnThePoolAreTheSingleOptionsAndGridCellsWork) {
    // A1:A5 parameters, B1:B3 strikes, C1:E1 the grid as cells, F1:G1 crossed barriers.
    // An array of options runs one option per task on the pool; each must be the number of the
    // same option alone, bit for bit, and the library's on the same grid.
    const Sheet sheet = Evaluate(
        "0.04,90,20,48,12,120,80\n0.05,100\n2,110\n0.5\n-0.6\n"
        "=heston_BarrierPrice(\"P\",\"DownOut\",80,0.5,100,B1:B3,0.5,0.02,0,A1:A5,"
        "\"American\",,C1:E1)\n\n\n"
        "=heston_BarrierPrice(\"P\",\"DownOut\",80,0.5,100,90,0.5,0.02,0,A1:A5,\"American\",,"
        "C1:E1)\n"
        "=heston_BarrierPrice(\"P\",\"DownOut\",80,0.5,100,100,0.5,0.02,0,A1:A5,\"American\",,"
        "C1:E1)\n"
        "=heston_BarrierPrice(\"P\",\"DownOut\",80,0.5,100,110,0.5,0.02,0,A1:A5,\"American\",,"
        "C1:E1)\n"
        "=heston_Price(\"C\",100,B1:B3,1,0.02,0.05,A1:A5,\"American\",C1:E1)\n\n\n"
        "=heston_Price(\"C\",100,100,1,0.02,0.05,A1:A5,\"American\",C1:E1)\n"
        "=heston_BarrierPrice(\"P\",\"DoubleOut\",F1:G1,0,100,100,0.5,0.02,0,A1:A5)\n"
        "=heston_Price(\"C\",100,100,1,0.02,0.05,A1:A5,\"American\",C1:D1)\n");
    const heston::ModelParameters model{0.04, 0.05, 2.0, 0.5, -0.6};
    heston::FiniteDifferenceOption o;
    o.optionType = heston::kPut;
    o.maturity = 0.5;
    o.rate = 0.02;
    o.exercise = heston::ExerciseStyle::American;
    o.barrier.type = heston::BarrierType::DownOut;
    o.barrier.lower = 80;
    o.barrier.rebate = 0.5;
    const char* arrayCells[] = {"A6", "A7", "A8"};
    const char* singleCells[] = {"A9", "A10", "A11"};
    const double strikes[] = {90, 100, 110};
    for (int k = 0; k < 3; ++k) {
        o.strike = strikes[k];
        const double library = heston::FiniteDifferencePrice(100, o, model, {20, 48, 12});
        ExpectNumber(At(sheet, singleCells[k]), library, 0.0, "single option");
        ExpectNumber(At(sheet, arrayCells[k]), library, 0.0, "array element on the pool");
    }
    ASSERT_EQ(At(sheet, "A13").kind, SheetValue::Number);
    ExpectNumber(At(sheet, "A15"), At(sheet, "A13").number, 0.0, "American call in an array");
    ExpectTextStart(At(sheet, "A16"), "Barrier: the lower barrier must be below the upper");
    ExpectTextStart(At(sheet, "A17"), "Grid: three whole numbers");
}

INSTANTIATE_TEST_SUITE_P(BothModes, FiniteDifferenceFunctions,
                         ::testing::Values(addintest::kExcel12, addintest::kExcel4),
                         addintest::ModeName);

}  // namespace
