// XlfOper4: Excel-4 values in either mode, where they differ from XlfOper, and their
// requests to the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/stream_capture.h"
#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "XlfExcel.h"
#include "XlfException.h"
#include "XlfOper4.h"
#include "host_session.h"

namespace {

using xlf::CellMatrix;
using xlf::MatrixCell;
using xlf::XlfExcel;
using xlf::XlfOper4;

class XlfOper4Test : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ConnectToHost(GetParam());
        xlhost::Host::Instance().ClearRecords();
    }
    void TearDown() override {
        XlfExcel::Current().ReleaseTemporary(false);
        EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);
        EXPECT_EQ(xlhost::Host::Instance().InvalidFrees(), 0u);
    }
};

TEST_P(XlfOper4Test, RecordsAreExcel4InEveryMode) {
    EXPECT_EQ(XlfOper4().TypeCode(), xltypeNil);
    EXPECT_EQ(XlfOper4(1.5).ToDouble(), 1.5);
    EXPECT_EQ(XlfOper4(short(-7)).HostPointer()->val.w, -7);
    EXPECT_EQ(XlfOper4(short(15), true).TypeCode(), xltypeErr);
    EXPECT_EQ(XlfOper4(true).HostPointer()->val.xbool, 1);
    const XlfOper4 text(std::string(300, 't'));
    EXPECT_EQ(static_cast<unsigned char>(text.HostPointer()->val.str[0]), 255);
    EXPECT_STREQ(XlfOper4("").HostPointer()->val.str, "\x01");

    // The number xlfRegister answers reads back without a request.
    const XlfOper4 id(42.0);
    EXPECT_EQ(id.ToDouble(), 42.0);
    EXPECT_TRUE(xlhost::Host::Instance().Requests().empty());
}

TEST_P(XlfOper4Test, ReturnCodeCheckSaysArgumentInTheSingular) {
    try {
        XlfOper4::CheckReturnCode(4);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "invalid number of argument");
    }
    try {
        XlfOper4::CheckReturnCode(4, "x");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "invalid number of argument, x");
    }
    EXPECT_EQ(XlfOper4::CheckReturnCode(128), 128);
    EXPECT_THROW(XlfOper4::CheckReturnCode(3), xlf::XlfExceptionAbort);
}

// Texts and booleans are converted by the host through Excel4v, whatever the mode; what the
// host allocated goes back through Excel4v too.
TEST_P(XlfOper4Test, CoercionGoesThroughExcel4) {
    XlfOper4 array;
    array.WriteArrayShape(1, 2);
    array.WriteElement(0, 0, XlfOper4(2.5));
    array.WriteElement(0, 1, XlfOper4(true));
    EXPECT_STREQ(array.ElementAt(0, 0).ToCString(), "2.5");
    EXPECT_EQ(array.ElementAt(0, 1).ToDouble(), 1.0);
    EXPECT_STREQ(array.ElementAt(0, 1).ToCString(), "TRUE");
    EXPECT_EQ(array.ToDoubleVector(), (std::vector<double>{2.5, 1.0}));
    EXPECT_EQ(array.RowCount(), 1);
    EXPECT_EQ(array.ColumnCount(), 2);

    xlhost::Host& host = xlhost::Host::Instance();
    host.SetCell(2, 1, xlhost::Value::Number(8));
    const xlf::XlfRangeRef cell(2, 3, 1, 2, static_cast<std::int32_t>(host.SheetId()));
    EXPECT_EQ(cell.Element4(0, 0).ToDouble(), 8.0);
    XlfOper4 reference;
    reference.Assign(xlf::XlfRangeRef(2, 4, 1, 2, static_cast<std::int32_t>(host.SheetId())));
    EXPECT_EQ(reference.ToDoubleVector(), (std::vector<double>{8.0, 0.0}));
    const xlf::XlfRangeRef back = reference.ToRangeRef();
    EXPECT_EQ(back.NbRows(), 2);
    EXPECT_EQ(back.colBegin, 1);
}

// A failing element conversion throws even when a return-code pointer is given.
TEST_P(XlfOper4Test, FailedElementOfADoubleVectorThrows) {
    XlfOper4 array;
    array.WriteArrayShape(2, 1);
    array.WriteElement(0, 0, XlfOper4(1.0));
    array.WriteElement(1, 0, XlfOper4("not a number"));
    int code = -1;
    try {
        array.ToDoubleVector(xlf::OneDimensional, &code);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "command failed");
    }
    EXPECT_EQ(code, -1) << "no code stored";
}

TEST_P(XlfOper4Test, WideTextCellIsWrittenAsAnEmptyString) {
    CellMatrix cells(1, 4);
    cells.Cell(0, 0) = MatrixCell(std::wstring(L"wide"));
    cells.Cell(0, 1) = MatrixCell(std::string("narrow"));
    cells.Cell(0, 2) = MatrixCell(3.0);
    XlfOper4 array;
    array.Assign(cells);
    const char* wide = array.ElementAt(0, 0).HostPointer()->val.str;
    EXPECT_EQ(wide[0], 1);
    EXPECT_EQ(wide[1], '\0');
    EXPECT_STREQ(array.ElementAt(0, 1).ToCString(), "narrow");
    EXPECT_EQ(array.ElementAt(0, 2).ToDouble(), 3.0);
    EXPECT_STREQ(array.ElementAt(0, 3).ToCString(), "") << "empty cell";

    XlfOper4 column;
    column.Assign(std::vector<double>{4, 5});
    EXPECT_EQ(column.ToMatrix().Rows(), 2u);
    EXPECT_EQ(column.ToCellMatrix().Cell(1, 0).AsNumber(), 5.0);
}

TEST_P(XlfOper4Test, ReleasingGivesHostMemoryBackOnce) {
    { XlfOper4 plain("mine"); }
    EXPECT_TRUE(xlhost::Host::Instance().Requests().empty()) << "nothing of the host's";

    xlhost::Host::Instance().SetAddinPath("C:\\addins\\heston.xll");
    {
        XlfOper4 name;
        XLOPER* none[1] = {nullptr};
        ASSERT_EQ(XlfExcel::Current().CallHost4v(xlGetName, name.HostPointer(), 0, none), 0);
        EXPECT_EQ(name.TypeCode(), xltypeStr | xlbitXLFree);
        XlfOper4 copy(name);
        XlfOper4 assigned;
        assigned = copy;
        XlfOper4& same = assigned;  // self-assignment, through a reference
        assigned = same;
    }
    const std::vector<int> requests = xlhost::Host::Instance().Requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), xlFree), 1);

    test_support::StreamCapture cerr;
    xlhost::Host::Instance().FailRequest(xlFree, xlretFailed);
    {
        // Marked as the host's, though it is not: the failing xlFree touches nothing.
        XlfOper4 marked(1.0);
        marked.HostPointer()->xltype |= xlbitXLFree;
        XlfOper4 longText(std::string(255, 'z'));
    }
    EXPECT_EQ(cerr.Text(),
              "..\\..\\src\\XlfOper4(968): String truncated to 254 bytes\n"
              "..\\..\\src\\XlfOper4(81): Call to xlFree failed\n");
    xlhost::Host::Instance().ClearFailures();
}

INSTANTIATE_TEST_SUITE_P(Versions, XlfOper4Test, ::testing::Values("12.0", "11.0"));

}  // namespace
