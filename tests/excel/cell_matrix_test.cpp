// Tests of RealMatrix, MatrixCell and CellMatrix: shapes, cell kinds, accessor failures,
// narrowing and lower-casing of texts, and the two ways of joining matrices.
#include <gtest/gtest.h>

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

// The text of the `const char*` the call throws, or a marker when it throws nothing else.
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

void ExpectEmptyCells(const CellMatrix& m, std::uint32_t row0, std::uint32_t row1,
                      std::uint32_t column0, std::uint32_t column1) {
    for (std::uint32_t i = row0; i < row1; ++i)
        for (std::uint32_t j = column0; j < column1; ++j)
            EXPECT_TRUE(m.Cell(i, j).IsEmpty()) << "cell (" << i << ", " << j << ")";
}

TEST(RealMatrix, ZeroFilledResizedOnlyOnNewShapeAndCopiedIndependently) {
    RealMatrix m(2, 3);
    for (std::uint32_t i = 0; i < 2; ++i)
        for (std::uint32_t j = 0; j < 3; ++j) EXPECT_EQ(m[i][j], 0.0) << i << ", " << j;
    m[0][0] = 1.5;
    m[1][2] = -4.0;
    m.Resize(2, 3);
    EXPECT_EQ(m[1][2], -4.0);

    RealMatrix copy(m);
    m[1][2] = 99.0;
    EXPECT_EQ(copy[1][2], -4.0);
    RealMatrix otherShape(5, 1);
    otherShape = copy;
    otherShape = static_cast<RealMatrix&>(otherShape);  // self-assignment keeps the elements
    EXPECT_EQ(otherShape.Rows(), 2u);
    EXPECT_EQ(otherShape.Columns(), 3u);
    EXPECT_EQ(otherShape[0][0], 1.5);
    EXPECT_EQ(otherShape[1][2], -4.0);

    m.Resize(3, 2);
    EXPECT_EQ(m.Rows(), 3u);
    EXPECT_EQ(m[0][0], 0.0);
    EXPECT_EQ(m[2][1], 0.0);

    // Shapes without elements copy, assign and resize cleanly.
    const RealMatrix noRows(0, 4);
    RealMatrix noColumns(3, 0);
    RealMatrix empty(noRows);
    EXPECT_EQ(empty.Columns(), 4u);
    copy = noColumns;
    EXPECT_EQ(copy.Rows(), 3u);
    noColumns.Resize(1, 1);
    EXPECT_EQ(noColumns[0][0], 0.0);
}

TEST(MatrixCell, ConstructorsMakeTheKindOfTheirArgument) {
    EXPECT_EQ(static_cast<int>(MatrixCell("t").Kind()), 0);
    EXPECT_EQ(static_cast<int>(MatrixCell(std::wstring(L"t")).Kind()), 1);
    EXPECT_EQ(static_cast<int>(MatrixCell(1.0).Kind()), 2);
    EXPECT_EQ(static_cast<int>(MatrixCell(true).Kind()), 3);
    EXPECT_EQ(static_cast<int>(MatrixCell(15u, true).Kind()), 5);
    EXPECT_EQ(static_cast<int>(MatrixCell().Kind()), 6);

    EXPECT_EQ(MatrixCell(std::string("abc")).NarrowText(), "abc");
    EXPECT_EQ(MatrixCell(static_cast<const char*>(nullptr)).NarrowText(), "");
    EXPECT_EQ(MatrixCell(-3).AsNumber(), -3.0);
    EXPECT_FALSE(MatrixCell(false).AsBoolean());

    const MatrixCell number(7u, false);
    EXPECT_TRUE(number.IsNumber());
    EXPECT_EQ(number.AsNumber(), 7.0);
    MatrixCell error(7u, true);
    EXPECT_TRUE(error.IsError());
    EXPECT_EQ(error.ErrorCode(), 7u);
    EXPECT_EQ(ThrownText([&] { error.AsNumber(); }), "non number cell asked to be a number");
    error.Clear();
    EXPECT_TRUE(error.IsEmpty());
    EXPECT_EQ(ThrownText([&] { error.ErrorCode(); }), "non error cell asked to be an error");
}

TEST(MatrixCell, AccessorsOnAnotherKindThrowTheirTextAndLeaveTheCellUnchanged) {
    const MatrixCell number(4.0);
    const MatrixCell text("abc");
    const std::string notString = "non string cell asked to be a string";
    const std::string notNumber = "non number cell asked to be a number";

    EXPECT_EQ(ThrownText([&] { number.NarrowText(); }), notString);
    EXPECT_EQ(ThrownText([&] { MatrixCell(std::wstring(L"w")).NarrowText(); }), notString);
    EXPECT_EQ(ThrownText([&] { number.AsText(); }), notString);
    EXPECT_EQ(ThrownText([&] { number.LowerCaseText(); }), notString);
    EXPECT_EQ(ThrownText([&] { number.LowerCaseWideText(); }), notString);
    EXPECT_EQ(ThrownText([&] { text.WideText(); }), "non wstring cell asked to be a wstring");
    EXPECT_EQ(ThrownText([&] { text.CopyWideText(); }), notString);
    EXPECT_EQ(ThrownText([&] { text.AsNumber(); }), notNumber);
    EXPECT_EQ(ThrownText([&] { text.AsCount(); }), notNumber);
    EXPECT_EQ(ThrownText([&] { number.AsBoolean(); }), "non boolean cell asked to be a bool");

    EXPECT_EQ(number.AsNumber(), 4.0);
    EXPECT_EQ(text.NarrowText(), "abc");
}

TEST(MatrixCell, TextsNarrowToLowBytesAndLowerBeforeNarrowing) {
    const MatrixCell wide(std::wstring{wchar_t(0x0041), wchar_t(0x0142)});
    EXPECT_EQ(wide.AsText(), "AB");  // 0x41 and the low byte of 0x0142
    EXPECT_EQ(wide.CopyWideText(), wide.WideText());

    EXPECT_EQ(MatrixCell("MiXeD 1").LowerCaseText(), "mixed 1");
    EXPECT_EQ(MatrixCell("MiXeD 1").LowerCaseWideText(), L"mixed 1");
    EXPECT_EQ(MatrixCell(std::wstring(L"ABC")).LowerCaseText(), "abc");
    // 0x0141 has no lower case for tolower; narrowed only afterwards it becomes 'A'.
    EXPECT_EQ(MatrixCell(std::wstring{wchar_t(0x0141), L'Q'}).LowerCaseText(), "Aq");
    // A byte from 0x80 up widens to the character of the same value.
    EXPECT_EQ(MatrixCell("\xC9Z").LowerCaseWideText(), (std::wstring{wchar_t(0xC9), L'z'}));
}

TEST(MatrixCell, AsCountTruncatesTowardsZeroWithinTheUnsignedRange) {
    EXPECT_EQ(MatrixCell(3.9).AsCount(), 3u);
    EXPECT_EQ(MatrixCell(-0.7).AsCount(), 0u);
    EXPECT_EQ(MatrixCell(4294967295.0).AsCount(), 4294967295u);
    EXPECT_EQ(MatrixCell(-5.0).AsCount(), 0u);
    EXPECT_EQ(MatrixCell(1e12).AsCount(), 4294967295u);
    EXPECT_EQ(MatrixCell(std::numeric_limits<double>::quiet_NaN()).AsCount(), 0u);
}

TEST(CellMatrix, ConstructorsGiveTheirShapesAndCells) {
    EXPECT_EQ(CellMatrix().Rows(), 0u);
    EXPECT_EQ(CellMatrix().Columns(), 0u);
    const CellMatrix blank(2, 3);
    EXPECT_EQ(blank.Rows(), 2u);
    EXPECT_EQ(blank.Columns(), 3u);
    ExpectEmptyCells(blank, 0, 2, 0, 3);

    for (const CellMatrix& single : {CellMatrix(1.5), CellMatrix(-2), CellMatrix(4000000000u),
                                     CellMatrix("p"), CellMatrix(std::wstring(L"w"))}) {
        EXPECT_EQ(single.Rows(), 1u);
        EXPECT_EQ(single.Columns(), 1u);
    }
    EXPECT_EQ(CellMatrix(4000000000u).Cell(0, 0).AsNumber(), 4e9);
    EXPECT_EQ(CellMatrix(std::string("s")).Cell(0, 0).NarrowText(), "s");
    EXPECT_EQ(CellMatrix(std::wstring(L"w")).Cell(0, 0).WideText(), L"w");

    const CellMatrix column(std::vector<double>{1.0, 2.0, 3.0});
    EXPECT_EQ(column.Rows(), 3u);
    EXPECT_EQ(column.Columns(), 1u);
    EXPECT_EQ(column.Cell(2, 0).AsNumber(), 3.0);
    const CellMatrix none(std::vector<double>{});
    EXPECT_EQ(none.Rows(), 0u);
    EXPECT_EQ(none.Columns(), 1u);

    RealMatrix real(2, 2);
    real[0][1] = 5.0;
    const CellMatrix fromReal(real);
    EXPECT_EQ(fromReal.Rows(), 2u);
    EXPECT_EQ(fromReal.Columns(), 2u);
    EXPECT_EQ(fromReal.Cell(0, 1).AsNumber(), 5.0);
    EXPECT_EQ(fromReal.Cell(1, 1).AsNumber(), 0.0);
}

TEST(CellMatrix, CellOutsideTheStoredCellsThrowsOutOfRange) {
    EXPECT_THROW(CellMatrix().Cell(0, 0), std::out_of_range);
    EXPECT_THROW(CellMatrix(std::vector<double>{}).Cell(0, 0), std::out_of_range);
    CellMatrix m(2, 3);
    const CellMatrix& constant = m;
    EXPECT_THROW(m.Cell(2, 0), std::out_of_range);
    EXPECT_THROW(constant.Cell(1, 3), std::out_of_range);
    m.Cell(1, 2) = MatrixCell("set");
    EXPECT_EQ(constant.Cell(1, 2).NarrowText(), "set");
}

TEST(CellMatrix, AppendBelowPadsTheNarrowerMatrixWithEmptyCells) {
    CellMatrix tall(std::vector<double>{10.0, 11.0});
    CellMatrix wide(1, 3);
    wide.Cell(0, 0) = MatrixCell("a");
    wide.Cell(0, 2) = MatrixCell(4u, true);
    tall.AppendBelow(wide);
    EXPECT_EQ(tall.Rows(), 3u);
    EXPECT_EQ(tall.Columns(), 3u);
    EXPECT_EQ(tall.Cell(0, 0).AsNumber(), 10.0);
    EXPECT_EQ(tall.Cell(1, 0).AsNumber(), 11.0);
    ExpectEmptyCells(tall, 0, 2, 1, 3);
    EXPECT_EQ(tall.Cell(2, 0).NarrowText(), "a");
    EXPECT_TRUE(tall.Cell(2, 1).IsEmpty());
    EXPECT_EQ(tall.Cell(2, 2).ErrorCode(), 4u);

    // Narrower rows appended are padded instead; appending a matrix to itself doubles it.
    CellMatrix top(1, 2);
    top.AppendBelow(CellMatrix(7.0));
    top.AppendBelow(top);
    EXPECT_EQ(top.Rows(), 4u);
    EXPECT_EQ(top.Columns(), 2u);
    EXPECT_EQ(top.Cell(3, 0).AsNumber(), 7.0);
    EXPECT_TRUE(top.Cell(3, 1).IsEmpty());
}

TEST(CellMatrix, StackVerticallyBuildsANewMatrixFromBothSources) {
    const CellMatrix top(std::vector<double>{1.0, 2.0});
    CellMatrix bottom(1, 3);
    bottom.Cell(0, 2) = MatrixCell(true);

    const CellMatrix stacked = CellMatrix::StackVertically(top, bottom);
    EXPECT_EQ(stacked.Rows(), 3u);
    EXPECT_EQ(stacked.Columns(), 3u);
    EXPECT_EQ(stacked.Cell(0, 0).AsNumber(), 1.0);
    EXPECT_EQ(stacked.Cell(1, 0).AsNumber(), 2.0);
    EXPECT_TRUE(stacked.Cell(2, 2).AsBoolean());
    ExpectEmptyCells(stacked, 0, 2, 1, 3);
    ExpectEmptyCells(stacked, 2, 3, 0, 2);
    EXPECT_EQ(top.Columns(), 1u);
}

}  // namespace
