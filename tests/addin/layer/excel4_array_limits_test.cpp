// Arrays too large for an Excel-4 record: 16-bit row counts and 255 columns. Every way the
// layer writes an array refuses such a shape with a text instead of a wrapped, smaller
// array; Excel-12 records take them whole.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "../../excel/host_session.h"
#include "CellMatrix.h"
#include "WorksheetGuard.h"
#include "XlfOper.h"

namespace {

using xlf::CellMatrix;
using xlf::XlfOper;

const char kTooLarge[] =
    "Result of 65536 rows and 1 columns is too large for Excel 4 (at most 65535 rows and 255 "
    "columns)";

class Excel4ArrayLimits : public ::testing::Test {
  protected:
    void TearDown() override { delete &xlf::XlfExcel::Current(); }
};

TEST_F(Excel4ArrayLimits, LargestShapesAreWrittenWhole) {
    ConnectToHost("11.0");
    XlfOper column;
    column.Assign(std::vector<double>(65535, 0.5));
    EXPECT_EQ(column.RowCount(), 65535);
    EXPECT_EQ(column.ElementAt(65534, 0).ToDouble(), 0.5);

    const XlfOper row(CellMatrix(1, 255));
    EXPECT_EQ(row.ColumnCount(), 255);
    XlfOper shape;
    shape.WriteArrayShape(2, 255);
    EXPECT_EQ(shape.RowCount(), 2);
}

TEST_F(Excel4ArrayLimits, LargerShapesThrowATextAndWriteNothing) {
    ConnectToHost("11.0");
    XlfOper column(1.0);
    try {
        column.Assign(std::vector<double>(65536, 0.5));
        ADD_FAILURE() << "65536 rows were written";
    } catch (const std::length_error& error) {
        EXPECT_EQ(std::string(error.what()), kTooLarge);
    }
    EXPECT_EQ(column.ToDouble(), 1.0) << "the record keeps its value";

    EXPECT_THROW(XlfOper(CellMatrix(70000, 1)), std::length_error);
    EXPECT_THROW(XlfOper(CellMatrix(1, 256)), std::length_error);
    EXPECT_THROW(XlfOper().WriteArrayShape(1, 256), std::length_error);
    EXPECT_THROW(XlfOper().WriteArrayShape(1000000, 1), std::length_error);

    // Through the frame of a worksheet function the refusal becomes the cell's text.
    const LPXLFOPER result = addin::GuardedWorksheetCall([] {
        XlfOper numbers;
        numbers.Assign(std::vector<double>(65536, 0.5));
        return numbers;
    });
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(std::string(XlfOper(result).ToCString()), kTooLarge);
}

TEST_F(Excel4ArrayLimits, Excel12RecordsTakeLargerShapes) {
    ConnectToHost("12.0");
    XlfOper column;
    column.Assign(std::vector<double>(70000, 0.5));
    EXPECT_EQ(column.RowCount(), 70000);
    const XlfOper row(CellMatrix(1, 255));
    EXPECT_EQ(row.ColumnCount(), 255);
}

}  // namespace
