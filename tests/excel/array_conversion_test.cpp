// Arrays and references to and from vectors, numeric matrices and cell matrices, in both
// record forms, against the substitute host.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "XlfExcel.h"
#include "XlfOper.h"
#include "host_session.h"

namespace {

using xlf::CellMatrix;
using xlf::MatrixCell;
using xlf::XlfExcel;
using xlf::XlfOper;

class ArrayConversionTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { excel12_ = ConnectToHost(GetParam()).IsExcel12(); }
    void TearDown() override {
        XlfExcel::Current().ReleaseTemporary(false);
        EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);
        EXPECT_EQ(xlhost::Host::Instance().InvalidFrees(), 0u);
    }
    // An array of the given numbers, row by row.
    static XlfOper Numbers(int rows, int columns, const std::vector<double>& values) {
        XlfOper array;
        array.WriteArrayShape(rows, columns);
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < columns; ++j)
                array.WriteElement(i, j, XlfOper(values[i * columns + j]));
        return array;
    }
    bool excel12_ = false;
};

TEST_P(ArrayConversionTest, VectorOrderLaysOutTheArray) {
    const XlfOper square = Numbers(2, 2, {1, 2, 3, 4});
    EXPECT_EQ(square.ToDoubleVector(xlf::RowMajor), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(square.ToDoubleVector(xlf::ColumnMajor), (std::vector<double>{1, 3, 2, 4}));
    int code = 0;
    EXPECT_TRUE(square.ToDoubleVector(xlf::OneDimensional, &code).empty());
    EXPECT_EQ(code, xlretFailed);
    try {
        Numbers(2, 3, {1, 2, 3, 4, 5, 6}).ToArray("strikes", xlf::OneDimensional);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "command failed, strikes conversion to double vector");
    }

    for (xlf::VectorOrder order : {xlf::OneDimensional, xlf::RowMajor, xlf::ColumnMajor}) {
        SCOPED_TRACE(order);
        EXPECT_EQ(Numbers(1, 3, {5, 6, 7}).ToDoubleVector(order), (std::vector<double>{5, 6, 7}));
        EXPECT_EQ(Numbers(3, 1, {5, 6, 7}).ToDoubleVector(order), (std::vector<double>{5, 6, 7}));
    }
    XlfOper missing;
    if (excel12_)
        missing.Xloper12Pointer()->xltype = xltypeMissing;
    else
        missing.Xloper4Pointer()->xltype = xltypeMissing;
    EXPECT_TRUE(missing.ToDoubleVector().empty());
    EXPECT_EQ(XlfOper(2.5).ToDoubleVector(), std::vector<double>{2.5});
}

// Elements that are not numbers are converted by the host; a failure ends the read with the
// host's code and the elements read so far.
TEST_P(ArrayConversionTest, NonNumberElementsAreCoerced) {
    XlfOper array;
    array.WriteArrayShape(3, 1);
    array.WriteElement(0, 0, XlfOper(std::wstring(L"1.5")));
    array.WriteElement(1, 0, XlfOper(true));
    array.WriteElement(2, 0, XlfOper(std::wstring(L"x")));
    int code = 0;
    const std::vector<double> read = array.ToDoubleVector(xlf::OneDimensional, &code);
    EXPECT_EQ(code, xlretFailed);
    EXPECT_EQ(read, (std::vector<double>{1.5, 1.0, 0.0}));
}

TEST_P(ArrayConversionTest, ReferencesAreReadCellByCellThroughTheHost) {
    xlhost::Host& host = xlhost::Host::Instance();
    host.SetCell(0, 0, xlhost::Value::Number(1));
    host.SetCell(0, 1, xlhost::Value::Number(2));
    host.SetCell(1, 0, xlhost::Value::Text(L"3"));
    host.SetCell(1, 1, xlhost::Value::Bool(true));
    XlfOper range;
    range.Assign(xlf::XlfRangeRef(0, 2, 0, 2, static_cast<std::int32_t>(host.SheetId())));
    EXPECT_EQ(range.ToDoubleVector(xlf::RowMajor), (std::vector<double>{1, 2, 3, 1}));
    EXPECT_EQ(range.ToDoubleVector(xlf::ColumnMajor), (std::vector<double>{1, 3, 2, 1}));

    // Cells keep their kinds; an empty cell stays empty, text keeps the form's string kind.
    host.SetCell(1, 1, xlhost::Value::Error(xlerrDiv0));
    host.SetCell(0, 2, xlhost::Value::Bool(false));
    XlfOper wide;
    wide.Assign(xlf::XlfRangeRef(0, 2, 0, 4, static_cast<std::int32_t>(host.SheetId())));
    const CellMatrix cells = wide.ToCellMatrix();
    ASSERT_EQ(cells.Rows(), 2u);
    ASSERT_EQ(cells.Columns(), 4u);
    EXPECT_EQ(cells.Cell(0, 1).AsNumber(), 2.0);
    EXPECT_EQ(cells.Cell(1, 0).AsText(), "3");
    EXPECT_EQ(cells.Cell(1, 0).IsWideText(), excel12_);
    EXPECT_EQ(cells.Cell(1, 1).ErrorCode(), static_cast<std::uint32_t>(xlerrDiv0));
    EXPECT_FALSE(cells.Cell(0, 2).AsBoolean());
    EXPECT_TRUE(cells.Cell(0, 3).IsEmpty());

    // A reference read that fails passes the host's code on.
    host.FailRequest(xlCoerce, xlretUncalced);
    int code = 0;
    wide.ToCellMatrix(&code);
    EXPECT_EQ(code, xlretUncalced);
    wide.ToDoubleVector(xlf::RowMajor, &code);
    EXPECT_EQ(code, xlretUncalced);
}

// At most 255 columns are written, and an empty cell becomes an empty string. An Excel-4
// record refuses a wider matrix instead of cutting it (see tests/addin/layer).
TEST_P(ArrayConversionTest, CellMatrixIsWrittenCutTo255Columns) {
    const bool excel12 = xlf::XlfExcel::Current().IsExcel12();
    if (!excel12) {
        EXPECT_THROW(XlfOper(CellMatrix(2, 300)), std::length_error);
    }
    const std::uint32_t columns = excel12 ? 300 : 255;
    CellMatrix wide(2, columns);
    for (std::uint32_t j = 0; j < columns; ++j) wide.Cell(0, j) = MatrixCell(double(j));
    wide.Cell(1, 1) = MatrixCell(std::string("text"));
    wide.Cell(1, 2) = MatrixCell(std::wstring(L"w"));
    wide.Cell(1, 3) = MatrixCell(true);
    wide.Cell(1, 4) = MatrixCell(std::uint32_t(xlerrNA), true);
    const XlfOper array(wide);
    ASSERT_EQ(array.RowCount(), 2);
    ASSERT_EQ(array.ColumnCount(), 255);
    EXPECT_EQ(array.ElementAt(0, 254).ToDouble(), 254.0);
    EXPECT_EQ(array.ElementAt(1, 0).TypeCode(), xltypeStr) << "empty cell";
    EXPECT_STREQ(array.ElementAt(1, 0).ToCString(), "");
    EXPECT_STREQ(array.ElementAt(1, 1).ToCString(), "text");
    EXPECT_STREQ(array.ElementAt(1, 2).ToCString(), "w");
    EXPECT_EQ(array.ElementAt(1, 3).TypeCode(), xltypeBool);
    std::uint16_t error = 0;
    EXPECT_EQ(array.ElementAt(1, 4).ReadErrorCode(error), 0);
    EXPECT_EQ(error, xlerrNA);

    const CellMatrix back = array.ToCellMatrix();
    EXPECT_EQ(back.Columns(), 255u);
    EXPECT_EQ(back.Cell(0, 200).AsNumber(), 200.0);
    EXPECT_EQ(back.Cell(1, 1).AsText().substr(0, 4), "text");
    EXPECT_EQ(back.Cell(1, 4).ErrorCode(), static_cast<std::uint32_t>(xlerrNA));
}

TEST_P(ArrayConversionTest, MatricesAndColumnsRoundTrip) {
    xlf::RealMatrix matrix(2, 3);
    for (std::uint32_t i = 0; i < 2; ++i)
        for (std::uint32_t j = 0; j < 3; ++j) matrix[i][j] = 10.0 * i + j;
    XlfOper fromMatrix;
    fromMatrix.Assign(matrix);
    const xlf::RealMatrix back = fromMatrix.ToMatrix();
    ASSERT_EQ(back.Rows(), 2u);
    ASSERT_EQ(back.Columns(), 3u);
    EXPECT_EQ(back[1][2], 12.0);
    EXPECT_EQ(back[0][1], 1.0);

    XlfOper column;
    column.Assign(std::vector<double>{1, 2, 3});
    EXPECT_EQ(column.RowCount(), 3);
    EXPECT_EQ(column.ColumnCount(), 1);
    EXPECT_EQ(column.ToDoubleVector(), (std::vector<double>{1, 2, 3}));

    XlfOper untouched;
    untouched.Assign(std::vector<double>{});
    untouched.Assign(xlf::RealMatrix(0, 4));
    EXPECT_EQ(untouched.TypeCode(), xltypeNil);
    EXPECT_EQ(untouched.ToMatrix().Rows(), 0u) << "nil reads as an empty matrix";
    const CellMatrix nilCells = untouched.ToCellMatrix();
    EXPECT_EQ(nilCells.Rows(), 1u);
    EXPECT_TRUE(nilCells.Cell(0, 0).IsEmpty());

    // A text in the array is no number: code 32. An integer element is no cell at all.
    XlfOper mixed;
    mixed.WriteArrayShape(1, 2);
    mixed.WriteElement(0, 0, XlfOper(1.0));
    mixed.WriteElement(0, 1, XlfOper("a"));
    int code = 0;
    mixed.ToMatrix(&code);
    EXPECT_EQ(code, xlretFailed);
    try {
        mixed.ToMatrix();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "command failed,  conversion to matrix failed");
    }
    mixed.WriteElement(0, 1, XlfOper(short(3)));
    try {
        mixed.ToCellMatrix();
        FAIL() << "no exception";
    } catch (const char* message) {
        EXPECT_STREQ(message, "cell contains neither number nor string nor boolean nor empty");
    }
}

// Texts inside arrays keep their characters: 200 8-bit characters of an array the host
// made in Excel-4 mode, a character beyond ASCII in Excel-12 mode.
TEST_P(ArrayConversionTest, TextsInsideArraysKeepTheirCharacters) {
    xlhost::Host& host = xlhost::Host::Instance();
    const std::string long200(200, 'q');
    host.SetCell(0, 0, xlhost::Value::Text(xlhost::Widen(long200)));
    host.SetCell(0, 1, xlhost::Value::Number(1));
    XlfOper range, array;
    range.Assign(xlf::XlfRangeRef(0, 1, 0, 2, static_cast<std::int32_t>(host.SheetId())));
    ASSERT_EQ(range.CoerceTo(xltypeMulti, array), 0);
    EXPECT_EQ(array.TypeCode(), xltypeMulti | xlbitXLFree);
    const CellMatrix cells = array.ToCellMatrix();
    ASSERT_EQ(cells.Columns(), 2u);
    EXPECT_EQ(cells.Cell(0, 0).AsText(), long200);
    EXPECT_EQ(cells.Cell(0, 1).AsNumber(), 1.0);

    if (excel12_) {
        const std::wstring accented(1, wchar_t(0x00E9));
        const CellMatrix single = XlfOper(accented).ToCellMatrix();
        ASSERT_TRUE(single.Cell(0, 0).IsWideText());
        EXPECT_EQ(single.Cell(0, 0).WideText(), accented);
        XlfOper inArray;
        inArray.WriteArrayShape(1, 1);
        inArray.WriteElement(0, 0, XlfOper(accented));
        EXPECT_EQ(inArray.ToCellMatrix().Cell(0, 0).WideText(), accented);
    } else {
        // Written back, the 8-bit text counts the NUL that ends it.
        const XlfOper written(cells);
        EXPECT_EQ(std::string(written.ElementAt(0, 0).ToCString()), long200);
        EXPECT_EQ(written.ToCellMatrix().Cell(0, 0).NarrowText(), long200 + std::string(1, '\0'));
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, ArrayConversionTest, ::testing::Values("12.0", "11.0", "14.0"));

}  // namespace
