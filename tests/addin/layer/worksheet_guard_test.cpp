// The frame of every worksheet function: the function-wizard short cut, the six exception
// handlers in order, and what remains when temporary memory fails while the result or the
// error value is built, against the layer over the substitute host in both modes.
#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "../../excel/host_session.h"
#include "CellMatrix.h"
#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "WorksheetArguments.h"
#include "WorksheetGuard.h"
#include "XlfExcel.h"
#include "XlfException.h"
#include "XlfOper.h"

namespace {

using addin::GuardedWorksheetCall;
using xlf::XlfExcel;
using xlf::XlfOper;

class WorksheetGuard : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { ConnectToHost(GetParam()); }
    void TearDown() override {
        simulated::Reset();
        delete &XlfExcel::Current();
    }

    template <typename Thrown>
    static LPXLFOPER Throwing(Thrown thrown) {
        return GuardedWorksheetCall([&]() -> XlfOper { throw thrown; });
    }

    static std::string Text(LPXLFOPER result) {
        EXPECT_NE(result, nullptr);
        return result != nullptr ? XlfOper(result).ToCString() : "";
    }
};

TEST_P(WorksheetGuard, HandlersTurnEachExceptionIntoItsCellValue) {
    EXPECT_EQ(Throwing(xlf::XlfException("layer")), nullptr);
    EXPECT_EQ(Throwing(xlf::XlfExceptionUncalculated()), nullptr);
    EXPECT_EQ(Text(Throwing(std::runtime_error("standard"))), "standard");
    EXPECT_EQ(Text(Throwing(std::string("string"))), "string");
    EXPECT_EQ(Text(Throwing("characters")), "characters");

    xlf::CellMatrix matrix(2, 1);
    matrix.Cell(0, 0) = xlf::MatrixCell(1.5);
    matrix.Cell(1, 0) = xlf::MatrixCell(2.5);
    const XlfOper array(Throwing(matrix));
    ASSERT_TRUE(array.IsArrayValue());
    EXPECT_EQ(array.RowCount(), 2);
    EXPECT_EQ(array.ElementAt(1, 0).ToDouble(), 2.5);

    const XlfOper unknown(Throwing(42));
    ASSERT_TRUE(unknown.IsErrorValue());
    std::uint16_t code = 0;
    EXPECT_EQ(unknown.ReadErrorCode(code), 0);
    EXPECT_EQ(code, xlerrValue);
}

// The body's result cannot be had: the handler's text takes its place. When the text cannot
// be had either, the static #VALUE! record of the mode comes back, and the next call, with
// memory back, is served normally.
TEST_P(WorksheetGuard, FailingPoolGivesTheErrorTextThenTheStaticErrorRecord) {
    XlfExcel& excel = XlfExcel::Current();
    excel.FailTemporaryRequests(0, 1);
    EXPECT_EQ(Text(GuardedWorksheetCall([] { return XlfOper(1.0); })), std::bad_alloc().what());

    // A column whose record was had but not its elements.
    excel.FailTemporaryRequests(1, 1);
    EXPECT_EQ(Text(GuardedWorksheetCall([] {
                  XlfOper column;
                  column.Assign(std::vector<double>{1.0, 2.0});
                  return column;
              })),
              std::bad_alloc().what());

    for (int built = 0; built < 3; ++built) {
        excel.FailTemporaryRequests(built, 1000);
        const LPXLFOPER result = GuardedWorksheetCall([] {
            XlfOper a(1.0), b(2.0);
            return XlfOper("three");
        });
        ASSERT_NE(result, nullptr) << built;
        const std::uint32_t typeWord = GetParam() == std::string("12.0")
                                           ? static_cast<XLOPER12*>(result)->xltype
                                           : static_cast<XLOPER*>(result)->xltype;
        const int code = GetParam() == std::string("12.0") ? static_cast<XLOPER12*>(result)->val.err
                                                           : static_cast<XLOPER*>(result)->val.err;
        EXPECT_EQ(typeWord, static_cast<std::uint32_t>(xltypeErr)) << built;
        EXPECT_EQ(code, xlerrValue) << built;
        // The same record every time, outside temporary memory.
        EXPECT_EQ(result, addin::StaticErrorResult());
    }
    // Every other handler's value fails the same way.
    excel.FailTemporaryRequests(0, 1000);
    EXPECT_EQ(Throwing(std::string("text")), addin::StaticErrorResult());
    EXPECT_EQ(Throwing("text"), addin::StaticErrorResult());
    EXPECT_EQ(Throwing(42), addin::StaticErrorResult());
    EXPECT_EQ(Throwing(xlf::CellMatrix(2, 2)), addin::StaticErrorResult());
    EXPECT_EQ(Throwing(xlf::XlfException("layer")), nullptr);

    excel.FailTemporaryRequests(0, 0);
    const XlfOper recovered(GuardedWorksheetCall([] { return XlfOper(4.5); }));
    EXPECT_EQ(recovered.ToDouble(), 4.5);
}

TEST_P(WorksheetGuard, FunctionWizardShortCutsTheBody) {
    simulated::AddWindow(reinterpret_cast<HWND>(0x777), "bosa_sdm_XL9",
                         reinterpret_cast<HWND>(0x1234));
    bool ran = false;
    const XlfOper result(GuardedWorksheetCall([&] {
        ran = true;
        return XlfOper(1.0);
    }));
    EXPECT_FALSE(ran);
    ASSERT_TRUE(result.IsBoolValue());
    EXPECT_TRUE(result.ToBool());
}

TEST_P(WorksheetGuard, MissingLinkToExcelGivesNullInsteadOfUnwinding) {
    delete &XlfExcel::Current();
    simulated::FailLoadLibrary("XLCALL32.DLL");
    bool ran = false;
    EXPECT_EQ(GuardedWorksheetCall([&] {
                  ran = true;
                  return XlfOper(1.0);
              }),
              nullptr);
    EXPECT_FALSE(ran);
    simulated::ClearFailures();
}

TEST(TruncateToInt, TowardZeroAndIndefiniteOutsideTheRange) {
    EXPECT_EQ(addin::TruncateToInt(2.9), 2);
    EXPECT_EQ(addin::TruncateToInt(-2.9), -2);
    EXPECT_EQ(addin::TruncateToInt(-0.5), 0);
    EXPECT_EQ(addin::TruncateToInt(2147483647.9), 2147483647);
    EXPECT_EQ(addin::TruncateToInt(-2147483648.9), -2147483647 - 1);
    // No int value: the x86 conversion's "integer indefinite", as in the Windows build.
    EXPECT_EQ(addin::TruncateToInt(2147483648.0), -2147483647 - 1);
    EXPECT_EQ(addin::TruncateToInt(1e300), -2147483647 - 1);
    EXPECT_EQ(addin::TruncateToInt(std::numeric_limits<double>::quiet_NaN()), -2147483647 - 1);
    EXPECT_EQ(addin::TruncateToInt(-std::numeric_limits<double>::infinity()), -2147483647 - 1);
}

INSTANTIATE_TEST_SUITE_P(BothModes, WorksheetGuard, ::testing::Values("11.0", "12.0"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "12.0" ? "Excel12" : "Excel4";
                         });

}  // namespace
