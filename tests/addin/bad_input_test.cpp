// Bad input never brings the host down: every argument of every worksheet function is
// replaced in turn by NaN, infinities, huge and negative counts, texts, empty and error
// cells, missing values and ranges of the wrong shape or length, and every call must come
// back with a cell value. Counts beyond the range of int are used as "huge": a count inside
// that range really allocates or loops that many times (see the report on huge counts).
#include <limits>
#include <string>
#include <vector>

#include "AddinSession.h"

namespace {

using addintest::AddinSession;
using runner::Argument;
using runner::CellPosition;
using runner::SheetValue;

Argument Number(double value) {
    Argument argument;
    argument.kind = Argument::Number;
    argument.number = value;
    return argument;
}

Argument Text(const std::string& value) {
    Argument argument;
    argument.kind = Argument::Text;
    argument.text = value;
    return argument;
}

Argument Range(const std::string& first, const std::string& last) {
    Argument argument;
    argument.kind = Argument::Range;
    runner::ParseCellName(first, argument.first);
    runner::ParseCellName(last, argument.last);
    if (first == last) argument.kind = Argument::Reference;
    return argument;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Rows 1-5: bounds, guess and a three-option table (as in the worksheet function tests);
// row 6: a text, an empty cell and an error; row 7: numbers.
const char kInputs[] =
    "0.01,0.5,0.05,90,0.5,1,12.5,0.03,1,100\n"
    "0.01,0.5,0.05,100,0.5,2,5.8,0.03,1\n"
    "0.5,5,2,110,1,1,6.1,0.03,1\n"
    "0.1,1,0.4\n"
    "-0.9,0.5,-0.5\n"
    "abc,,#N/A\n"
    "1,2,3\n";

std::vector<Argument> BadScalars() {
    return {Number(kNaN),      Number(kInf),     Number(-kInf),     Number(1e300),
            Number(-1e300),    Number(-5),       Number(0),         Number(-2.9),
            Text("abc"),       Argument(),       Range("A6", "A6"), Range("B6", "B6"),
            Range("C6", "C6"), Range("A1", "B2")};
}

std::vector<Argument> BadArrays() {
    return {Range("A6", "C7"), Range("D1", "D2"), Range("A6", "A7"),
            Range("B6", "B7"), Range("C6", "C7"), Argument(),
            Number(kNaN),      Text("abc"),       Range("A1", "A1")};
}

struct Baseline {
    const char* name;
    std::vector<Argument> arguments;
};

std::vector<Baseline> Baselines() {
    const std::vector<Argument> market = {Number(100),  Number(100), Number(1),    Number(0.05),
                                          Number(-0.5), Number(2),   Number(0.04), Number(0),
                                          Number(0.3),  Number(0.04)};
    std::vector<Argument> mc = market;
    mc.push_back(Number(10));
    mc.push_back(Number(5));
    const std::vector<Argument> table = {Range("D1", "D3"), Range("E1", "E3"), Range("F1", "F3"),
                                         Range("G1", "G3"), Range("J1", "J1"), Range("H1", "H3"),
                                         Range("I1", "I3")};
    std::vector<Argument> levMar = {Range("A1", "A5"), Range("B1", "B5"), Range("C1", "C5")};
    levMar.insert(levMar.end(), table.begin(), table.end());
    levMar.push_back(Number(3));
    std::vector<Argument> de = {Range("A1", "A5"), Range("B1", "B5")};
    de.insert(de.end(), table.begin(), table.end());
    de.push_back(Number(1));
    const std::vector<Argument> bs = {Number(100), Number(95), Number(0.04), Number(0.75),
                                      Number(9.5), Number(1),  Number(0)};
    std::vector<Argument> iv = bs;
    iv.push_back(Number(1e-8));
    return {{"heston_EuropeanCallPrice", market}, {"heston_EuropeanPutPrice", market},
            {"heston_RandomVars", {Number(3)}},   {"heston_EuropeanCallPriceMC", mc},
            {"heston_EuropeanPutPriceMC", mc},    {"heston_CalibrateLevMar", levMar},
            {"heston_CalibrateDE", de},           {"heston_impliedVol", iv},
            {"heston_weightBSvega", bs}};
}

class BadInput : public AddinSession {};

TEST_P(BadInput, EveryFunctionAnswersEveryBadArgumentWithACellValue) {
    ASSERT_EQ(Open(), 1);
    runner::Sheet sheet = Evaluate(kInputs);
    // The workbook text cannot hold an error; put one in C6 for the evaluator and the host.
    sheet[5].resize(3);
    sheet[5][2] = SheetValue::MakeError(xlerrNA);
    xlhost::Host::Instance().SetCell(5, 2, xlhost::Value::Error(xlerrNA));

    const auto functions = runner::RegisteredFunctions();
    int calls = 0;
    for (runner::ReferenceMode mode :
         {runner::ReferenceMode::Values, runner::ReferenceMode::SheetReferences}) {
        runner::Evaluator evaluator(*addin_, functions, mode);
        for (const Baseline& baseline : Baselines()) {
            const auto good = evaluator.Call(baseline.name, baseline.arguments, sheet);
            ASSERT_NE(good.values.front().kind, SheetValue::Error)
                << baseline.name << " fails on good input: " << runner::DisplayText(good.values[0]);
            for (std::size_t i = 0; i < baseline.arguments.size(); ++i) {
                const bool isArray =
                    baseline.arguments[i].kind == Argument::Range &&
                    std::string(baseline.name).find("Calibrate") != std::string::npos;
                const std::vector<Argument> bad = isArray ? BadArrays() : BadScalars();
                for (const Argument& value : bad) {
                    std::vector<Argument> arguments = baseline.arguments;
                    arguments[i] = value;
                    const auto result = evaluator.Call(baseline.name, arguments, sheet);
                    ++calls;
                    ASSERT_FALSE(result.values.empty());
                    for (const SheetValue& cell : result.values) {
                        EXPECT_NE(cell.kind, SheetValue::Empty)
                            << baseline.name << " argument " << i;
                        EXPECT_NE(cell.kind, SheetValue::Pending) << baseline.name;
                    }
                }
            }
        }
    }
    EXPECT_GT(calls, 500);
}

INSTANTIATE_TEST_SUITE_P(BothModes, BadInput,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
