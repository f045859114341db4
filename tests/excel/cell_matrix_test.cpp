// Tests of RealMatrix, MatrixCell and CellMatrix: shapes, cell kinds, accessor failures,
// narrowing and lower-casing of texts, and the two ways of joining matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "CellMatrix.h"

namespace {

using xlf::CellMatrix;
using xlf::MatrixCell;
using xlf::RealMatrix;

// Runs the call and returns the text of the `const char*` it throws, or a marker when it
// throws nothing or something else.
std::string ThrownText(const std::function<void()>& call) {
    try {
        call();
    } catch (const char* text) {
        return text;
    } catch (...) {
        return "<other exception>";
    }
    return "<no exception>";
}

void ExpectAllZero(const RealMatrix& m) {
    for (std::uint32_t i = 0; i < m.Rows(); ++i)
        for (std::uint32_t j = 0; j < m.Columns(); ++j)
            EXPECT_EQ(m[i][j], 0.0) << "element (" << i << ", " << j << ")";
}

void ExpectEmptyCells(const CellMatrix& m, std::uint32_t fromRow, std::uint32_t toRow,
                      std::uint32_t fromColumn, std::uint32_t toColumn) {
    for (std::uint32_t i = fromRow; i < toRow; ++i)
        for (std::uint32_t j = fromColumn; j < toColumn; ++j)
            EXPECT_TRUE(m.Cell(i, j).IsEmpty()) << "cell (" << i << ", " << j << ")";
}

TEST(RealMatrix, NewAndResizedMatricesAreZeroAndResizeToSameShapeKeepsContents) {
    RealMatrix m(2, 3);
    EXPECT_EQ(m.Rows(), 2u);
    EXPECT_EQ(m.Columns(), 3u);
    ExpectAllZero(m);

    m[0][0] = 1.5;
    m[1][2] = -4.0;
    m.Resize(2, 3);
    EXPECT_EQ(m[0][0], 1.5);
    EXPECT_EQ(m[1][2], -4.0);
    // Rows are contiguous: row 1 starts right after the three elements of row 0.
    EXPECT_EQ(m[1], m[0] + 3);

    m.Resize(3, 2);
    EXPECT_EQ(m.Rows(), 3u);
    EXPECT_EQ(m.Columns(), 2u);
    ExpectAllZero(m);
}

TEST(RealMatrix, CopyAndAssignmentCopyElementsIntoIndependentStorage) {
    RealMatrix source(2, 2);
    source[0][1] = 7.0;
    source[1][0] = -2.0;

    RealMatrix copy(source);
    source[0][1] = 99.0;
    EXPECT_EQ(copy[0][1], 7.0);
    EXPECT_EQ(copy[1][0], -2.0);

    RealMatrix sameShape(2, 2);
    sameShape = copy;
    EXPECT_EQ(sameShape[0][1], 7.0);

    RealMatrix otherShape(5, 1);
    otherShape = copy;
    EXPECT_EQ(otherShape.Rows(), 2u);
    EXPECT_EQ(otherShape.Columns(), 2u);
    EXPECT_EQ(otherShape[1][0], -2.0);
    EXPECT_EQ(otherShape[0][0], 0.0);

    RealMatrix& alias = otherShape;
    otherShape = alias;
    EXPECT_EQ(otherShape[0][1], 7.0);
    EXPECT_EQ(otherShape[1][0], -2.0);
}

TEST(RealMatrix, MatricesWithoutElementsCopyAssignAndResize) {
    RealMatrix noRows(0, 4);
    RealMatrix noColumns(3, 0);
    RealMatrix copy(noRows);
    EXPECT_EQ(copy.Rows(), 0u);
    EXPECT_EQ(copy.Columns(), 4u);

    RealMatrix filled(2, 2);
    filled[1][1] = 3.0;
    filled = noColumns;
    EXPECT_EQ(filled.Rows(), 3u);
    EXPECT_EQ(filled.Columns(), 0u);

    noColumns.Resize(1, 1);
    EXPECT_EQ(noColumns[0][0], 0.0);
    noColumns = noRows;
    EXPECT_EQ(noColumns.Rows(), 0u);
}

TEST(MatrixCell, ConstructorsMakeTheKindOfTheirArgument) {
    EXPECT_TRUE(MatrixCell().IsEmpty());
    EXPECT_EQ(MatrixCell(std::string("abc")).NarrowText(), "abc");
    EXPECT_EQ(MatrixCell("xy").NarrowText(), "xy");
    EXPECT_EQ(MatrixCell(static_cast<const char*>(nullptr)).NarrowText(), "");
    EXPECT_EQ(MatrixCell(std::wstring(L"w")).WideText(), L"w");
    EXPECT_EQ(MatrixCell(2.25).AsNumber(), 2.25);
    EXPECT_EQ(MatrixCell(-3).AsNumber(), -3.0);
    EXPECT_TRUE(MatrixCell(true).AsBoolean());
    EXPECT_FALSE(MatrixCell(false).AsBoolean());

    // The kind numbering skips 4.
    EXPECT_EQ(static_cast<int>(MatrixCell("t").Kind()), 0);
    EXPECT_EQ(static_cast<int>(MatrixCell(std::wstring(L"t")).Kind()), 1);
    EXPECT_EQ(static_cast<int>(MatrixCell(1.0).Kind()), 2);
    EXPECT_EQ(static_cast<int>(MatrixCell(true).Kind()), 3);
    EXPECT_EQ(static_cast<int>(MatrixCell(15u, true).Kind()), 5);
    EXPECT_EQ(static_cast<int>(MatrixCell().Kind()), 6);

    // Exactly one predicate holds for each kind.
    const std::vector<MatrixCell> cells = {MatrixCell("t"),       MatrixCell(std::wstring(L"t")),
                                           MatrixCell(1.0),       MatrixCell(true),
                                           MatrixCell(15u, true), MatrixCell()};
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const MatrixCell& c = cells[k];
        const int held =
            c.IsText() + c.IsWideText() + c.IsNumber() + c.IsBoolean() + c.IsError() + c.IsEmpty();
        EXPECT_EQ(held, 1) << "cell " << k;
    }
}

TEST(MatrixCell, CodeWithErrorFlagMakesNumberOrErrorCell) {
    const MatrixCell number(7u, false);
    EXPECT_TRUE(number.IsNumber());
    EXPECT_EQ(number.AsNumber(), 7.0);

    const MatrixCell error(7u, true);
    EXPECT_TRUE(error.IsError());
    EXPECT_EQ(error.ErrorCode(), 7u);
    EXPECT_EQ(ThrownText([&] { error.AsNumber(); }), "non number cell asked to be a number");
}

TEST(MatrixCell, AccessorsOnAnotherKindThrowTheirTextAndLeaveTheCellUnchanged) {
    const MatrixCell number(4.0);
    const MatrixCell text("abc");
    const std::string notString = "non string cell asked to be a string";

    EXPECT_EQ(ThrownText([&] { number.NarrowText(); }), notString);
    EXPECT_EQ(ThrownText([&] { MatrixCell(std::wstring(L"w")).NarrowText(); }), notString);
    EXPECT_EQ(ThrownText([&] { number.AsText(); }), notString);
    EXPECT_EQ(ThrownText([&] { number.LowerCaseText(); }), notString);
    EXPECT_EQ(ThrownText([&] { number.LowerCaseWideText(); }), notString);
    EXPECT_EQ(ThrownText([&] { text.WideText(); }), "non wstring cell asked to be a wstring");
    EXPECT_EQ(ThrownText([&] { text.CopyWideText(); }), notString);
    EXPECT_EQ(ThrownText([&] { text.AsNumber(); }), "non number cell asked to be a number");
    EXPECT_EQ(ThrownText([&] { text.AsCount(); }), "non number cell asked to be a number");
    EXPECT_EQ(ThrownText([&] { MatrixCell().AsNumber(); }), "non number cell asked to be a number");
    EXPECT_EQ(ThrownText([&] { number.AsBoolean(); }), "non boolean cell asked to be a bool");
    EXPECT_EQ(ThrownText([&] { MatrixCell(true).ErrorCode(); }),
              "non error cell asked to be an error");

    EXPECT_EQ(number.AsNumber(), 4.0);
    EXPECT_EQ(text.NarrowText(), "abc");
}

TEST(MatrixCell, WideTextNarrowsToTheLowEightBitsOfEachCharacter) {
    const MatrixCell wide(std::wstring{wchar_t(0x0041), wchar_t(0x0142)});
    const std::string narrow = wide.AsText();
    ASSERT_EQ(narrow.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(narrow[0]), 0x41);
    EXPECT_EQ(static_cast<unsigned char>(narrow[1]), 0x42);
    EXPECT_EQ(wide.CopyWideText(), wide.WideText());
    EXPECT_EQ(MatrixCell("plain").AsText(), "plain");
}

TEST(MatrixCell, LowerCaseFormsLowerBeforeNarrowingAndWidenBytesUnsigned) {
    EXPECT_EQ(MatrixCell("MiXeD 1").LowerCaseText(), "mixed 1");
    EXPECT_EQ(MatrixCell("MiXeD 1").LowerCaseWideText(), L"mixed 1");
    EXPECT_EQ(MatrixCell(std::wstring(L"ABC")).LowerCaseText(), "abc");
    EXPECT_EQ(MatrixCell(std::wstring(L"ABC")).LowerCaseWideText(), L"abc");

    // 0x0141 has no lower case for tolower; narrowed afterwards it becomes 'A', still upper.
    EXPECT_EQ(MatrixCell(std::wstring{wchar_t(0x0141)}).LowerCaseText(), "A");
    EXPECT_EQ(MatrixCell(std::wstring{wchar_t(0x0141), L'Q'}).LowerCaseWideText(),
              (std::wstring{wchar_t(0x0141), L'q'}));

    // A byte from 0x80 up widens to the character of the same value.
    EXPECT_EQ(MatrixCell("\xC9Z").LowerCaseWideText(), (std::wstring{wchar_t(0xC9), L'z'}));
}

TEST(MatrixCell, AsCountTruncatesTowardsZeroWithinTheUnsignedRange) {
    EXPECT_EQ(MatrixCell(3.9).AsCount(), 3u);
    EXPECT_EQ(MatrixCell(0.2).AsCount(), 0u);
    EXPECT_EQ(MatrixCell(-0.7).AsCount(), 0u);
    EXPECT_EQ(MatrixCell(4294967295.0).AsCount(), 4294967295u);
    // Outside the range a plain conversion is undefined; the count stays at the bounds.
    EXPECT_EQ(MatrixCell(-5.0).AsCount(), 0u);
    EXPECT_EQ(MatrixCell(1e12).AsCount(), 4294967295u);
    EXPECT_EQ(MatrixCell(std::numeric_limits<double>::quiet_NaN()).AsCount(), 0u);
}

TEST(MatrixCell, ClearEmptiesEveryKind) {
    for (MatrixCell cell : {MatrixCell("t"), MatrixCell(2.0), MatrixCell(9u, true),
                            MatrixCell(std::wstring(L"w")), MatrixCell(true)}) {
        cell.Clear();
        EXPECT_TRUE(cell.IsEmpty());
        EXPECT_EQ(ThrownText([&] { cell.AsText(); }), "non string cell asked to be a string");
    }
}

TEST(CellMatrix, ConstructorsGiveTheirShapesAndCells) {
    EXPECT_EQ(CellMatrix().Rows(), 0u);
    EXPECT_EQ(CellMatrix().Columns(), 0u);

    const CellMatrix blank(2, 3);
    EXPECT_EQ(blank.Rows(), 2u);
    EXPECT_EQ(blank.Columns(), 3u);
    ExpectEmptyCells(blank, 0, 2, 0, 3);

    EXPECT_EQ(CellMatrix(1.5).Cell(0, 0).AsNumber(), 1.5);
    EXPECT_EQ(CellMatrix(-2).Cell(0, 0).AsNumber(), -2.0);
    EXPECT_EQ(CellMatrix(std::uint32_t{4000000000u}).Cell(0, 0).AsNumber(), 4e9);
    EXPECT_EQ(CellMatrix(std::string("s")).Cell(0, 0).NarrowText(), "s");
    EXPECT_EQ(CellMatrix("p").Cell(0, 0).NarrowText(), "p");
    EXPECT_EQ(CellMatrix(std::wstring(L"w")).Cell(0, 0).WideText(), L"w");
    for (const CellMatrix& single : {CellMatrix(1.5), CellMatrix("p"), CellMatrix(3)}) {
        EXPECT_EQ(single.Rows(), 1u);
        EXPECT_EQ(single.Columns(), 1u);
    }

    const CellMatrix column(std::vector<double>{1.0, 2.0, 3.0});
    EXPECT_EQ(column.Rows(), 3u);
    EXPECT_EQ(column.Columns(), 1u);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(column.Cell(i, 0).AsNumber(), i + 1.0);

    const CellMatrix none(std::vector<double>{});
    EXPECT_EQ(none.Rows(), 0u);
    EXPECT_EQ(none.Columns(), 1u);

    RealMatrix real(2, 2);
    real[0][1] = 5.0;
    real[1][0] = 6.0;
    const CellMatrix fromReal(real);
    EXPECT_EQ(fromReal.Rows(), 2u);
    EXPECT_EQ(fromReal.Columns(), 2u);
    EXPECT_EQ(fromReal.Cell(0, 0).AsNumber(), 0.0);
    EXPECT_EQ(fromReal.Cell(0, 1).AsNumber(), 5.0);
    EXPECT_EQ(fromReal.Cell(1, 0).AsNumber(), 6.0);
}

TEST(CellMatrix, CellOutsideTheStoredCellsThrowsOutOfRange) {
    EXPECT_THROW(CellMatrix().Cell(0, 0), std::out_of_range);
    CellMatrix m(2, 3);
    const CellMatrix& constant = m;
    EXPECT_THROW(m.Cell(2, 0), std::out_of_range);
    EXPECT_THROW(m.Cell(0, 3), std::out_of_range);
    EXPECT_THROW(constant.Cell(1, 3), std::out_of_range);
    EXPECT_THROW(CellMatrix(std::vector<double>{}).Cell(0, 0), std::out_of_range);

    m.Cell(1, 2) = MatrixCell("set");
    EXPECT_EQ(constant.Cell(1, 2).NarrowText(), "set");
}

TEST(CellMatrix, AppendBelowPadsTheNarrowerMatrixWithEmptyCells) {
    CellMatrix tall(2, 1);
    tall.Cell(0, 0) = MatrixCell(10.0);
    tall.Cell(1, 0) = MatrixCell(11.0);
    CellMatrix wide(1, 3);
    wide.Cell(0, 0) = MatrixCell("a");
    wide.Cell(0, 1) = MatrixCell(true);
    wide.Cell(0, 2) = MatrixCell(4u, true);

    tall.AppendBelow(wide);
    EXPECT_EQ(tall.Rows(), 3u);
    EXPECT_EQ(tall.Columns(), 3u);
    EXPECT_EQ(tall.Cell(0, 0).AsNumber(), 10.0);
    EXPECT_EQ(tall.Cell(1, 0).AsNumber(), 11.0);
    ExpectEmptyCells(tall, 0, 2, 1, 3);
    EXPECT_EQ(tall.Cell(2, 0).NarrowText(), "a");
    EXPECT_TRUE(tall.Cell(2, 1).AsBoolean());
    EXPECT_EQ(tall.Cell(2, 2).ErrorCode(), 4u);
    EXPECT_EQ(wide.Columns(), 3u);

    // The other way round the appended rows are padded instead.
    CellMatrix top(1, 2);
    top.Cell(0, 1) = MatrixCell(1.0);
    top.AppendBelow(CellMatrix(7.0));
    EXPECT_EQ(top.Rows(), 2u);
    EXPECT_EQ(top.Columns(), 2u);
    EXPECT_EQ(top.Cell(1, 0).AsNumber(), 7.0);
    EXPECT_TRUE(top.Cell(1, 1).IsEmpty());

    // Appending a matrix to itself doubles it.
    top.AppendBelow(top);
    EXPECT_EQ(top.Rows(), 4u);
    EXPECT_EQ(top.Cell(2, 1).AsNumber(), 1.0);
    EXPECT_EQ(top.Cell(3, 0).AsNumber(), 7.0);
}

TEST(CellMatrix, StackVerticallyBuildsANewMatrixFromBothSources) {
    CellMatrix top(2, 1);
    top.Cell(0, 0) = MatrixCell("t0");
    top.Cell(1, 0) = MatrixCell("t1");
    CellMatrix bottom(1, 3);
    bottom.Cell(0, 2) = MatrixCell(3.0);

    const CellMatrix stacked = CellMatrix::StackVertically(top, bottom);
    EXPECT_EQ(stacked.Rows(), 3u);
    EXPECT_EQ(stacked.Columns(), 3u);
    EXPECT_EQ(stacked.Cell(0, 0).NarrowText(), "t0");
    EXPECT_EQ(stacked.Cell(1, 0).NarrowText(), "t1");
    EXPECT_EQ(stacked.Cell(2, 2).AsNumber(), 3.0);
    ExpectEmptyCells(stacked, 0, 2, 1, 3);
    ExpectEmptyCells(stacked, 2, 3, 0, 2);
    EXPECT_EQ(top.Columns(), 1u);
    EXPECT_EQ(bottom.Rows(), 1u);

    const CellMatrix empty = CellMatrix::StackVertically(CellMatrix(), CellMatrix());
    EXPECT_EQ(empty.Rows(), 0u);
    EXPECT_EQ(empty.Columns(), 0u);
}

TEST(CellMatrix, ThrownMatrixArrivesIntact) {
    try {
        throw CellMatrix(std::vector<double>{0.5, 1.5});
    } catch (const CellMatrix& caught) {
        EXPECT_EQ(caught.Rows(), 2u);
        EXPECT_EQ(caught.Cell(1, 0).AsNumber(), 1.5);
        return;
    }
    ADD_FAILURE() << "CellMatrix was not caught as itself";
}

}  // namespace
