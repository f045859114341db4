// Records the add-in cannot represent or read: results too large for Excel-4 arrays, and
// array arguments whose element pointer is null, as a broken host might send them. Each
// call comes back with a sound cell value; none wraps, crashes or leaks.
#include <string>
#include <vector>

#include "AddinSession.h"
#include "EntryPointCall.h"
#include "ValueRecords.h"

namespace {

using addintest::AddinSession;
using runner::Sheet;
using runner::SheetValue;

class MalformedRecords : public AddinSession {
  protected:
    void SetUp() override {
        AddinSession::SetUp();
        ASSERT_EQ(Open(), 1);
    }

    // Calls a calibration with every array argument valid except `broken`, which is an
    // array of five rows whose element pointer is null.
    template <class Oper>
    runner::CallResult CallWithNullElements(const std::string& exportName, int broken) {
        const bool levMar = exportName == "xlheston_CalibrateLevMar";
        // Argument positions holding doubles: the spot and the iteration limit.
        const std::vector<int> doubles = levMar ? std::vector<int>{7, 10} : std::vector<int>{6, 9};
        const int count = levMar ? 11 : 10;
        const std::vector<SheetValue> lower = {
            SheetValue::MakeNumber(0.01), SheetValue::MakeNumber(0.01), SheetValue::MakeNumber(0.5),
            SheetValue::MakeNumber(0.1), SheetValue::MakeNumber(-0.9)};
        const std::vector<SheetValue> upper = {
            SheetValue::MakeNumber(0.5), SheetValue::MakeNumber(0.5), SheetValue::MakeNumber(5),
            SheetValue::MakeNumber(1), SheetValue::MakeNumber(0.5)};
        const std::vector<SheetValue> one(5, SheetValue::MakeNumber(1));
        runner::RecordArena<Oper> arena;
        std::vector<runner::CallArgument> arguments;
        int arrayIndex = 0;
        for (int i = 0; i < count; ++i) {
            if (i == doubles[0]) {
                arguments.push_back(runner::CallArgument::Double(100));
                continue;
            }
            if (i == doubles[1]) {
                arguments.push_back(runner::CallArgument::Double(2));
                continue;
            }
            const std::vector<SheetValue>& values = arrayIndex == 0   ? lower
                                                    : arrayIndex == 1 ? upper
                                                                      : one;
            Oper* record = arena.Array(5, 1, values);
            if (arrayIndex == broken) record->val.array.lparray = nullptr;
            ++arrayIndex;
            arguments.push_back(runner::CallArgument::Pointer(record));
        }
        void* result = runner::CallEntryPoint(addin_->EntryPoint(exportName), arguments);
        return runner::ReadResult(static_cast<const Oper*>(result));
    }
};

TEST_P(MalformedRecords, ArraysBeyondExcel4RecordsBecomeATextInsteadOfAWrappedArray) {
    // A million rows only where they are refused: spilling them takes the evaluator seconds.
    const Sheet sheet = Evaluate(
        std::string(
            "=heston_RandomVars(65535),=heston_RandomVars(65536),=heston_RandomVars(70000)") +
        (IsExcel12() ? "\n" : ",=heston_RandomVars(1000000)\n"));
    ASSERT_EQ(At(sheet, "A65535").kind, SheetValue::Number);
    EXPECT_EQ(At(sheet, "A65536").kind, SheetValue::Empty);
    for (const char* cell : {"B1", "C1", "D1"}) {
        if (IsExcel12() && std::string(cell) == "D1") continue;
        if (IsExcel12()) {
            EXPECT_EQ(At(sheet, cell).kind, SheetValue::Number) << cell;
        } else {
            ASSERT_EQ(At(sheet, cell).kind, SheetValue::Text) << cell;
            EXPECT_NE(At(sheet, cell).text.find("too large for Excel 4"), std::string::npos);
            EXPECT_EQ(At(sheet, std::string(cell).substr(0, 1) + "2").kind, SheetValue::Empty)
                << "no smaller array in its place";
        }
    }
    if (IsExcel12()) {
        EXPECT_EQ(At(sheet, "C70000").kind, SheetValue::Number);
    }
}

TEST_P(MalformedRecords, NullElementPointerOfAnyCalibrationArrayIsRefusedWithoutReading) {
    for (const char* name : {"xlheston_CalibrateLevMar", "xlheston_CalibrateDE"}) {
        const int arrays = std::string(name) == "xlheston_CalibrateLevMar" ? 9 : 8;
        for (int broken = 0; broken < arrays; ++broken) {
            const runner::CallResult result = IsExcel12()
                                                  ? CallWithNullElements<XLOPER12>(name, broken)
                                                  : CallWithNullElements<XLOPER>(name, broken);
            ASSERT_EQ(result.values.size(), 1u) << name << " " << broken;
            // An invalid record is the layer's failure, shown as a null result.
            EXPECT_EQ(result.values[0].kind, SheetValue::Null) << name << " " << broken;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, MalformedRecords,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
