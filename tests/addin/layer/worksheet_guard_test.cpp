// The frame of every worksheet function: the function-wizard short cut and the six exception
// handlers, in order, against the layer over the substitute host in both modes.
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

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
    EXPECT_EQ(code, 15);  // #VALUE!
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
