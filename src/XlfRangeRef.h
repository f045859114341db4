// XlfRangeRef: a rectangle of cells on one sheet, with zero-based, half-open bounds.
//
// Element and Element4 build one-cell references into the rectangle for reading single cells
// through the host's coercion. Neither tests its indices against the rectangle.
#pragma once

#include <cstdint>

namespace xlf {

class XlfOper;
class XlfOper4;

class XlfRangeRef {
  public:
    XlfRangeRef() = default;
    XlfRangeRef(std::int32_t rowBegin, std::int32_t rowEnd, std::int32_t colBegin,
                std::int32_t colEnd, std::int32_t sheetId = 0)
        : rowBegin(rowBegin),
          rowEnd(rowEnd),
          colBegin(colBegin),
          colEnd(colEnd),
          sheetId(sheetId) {}

    std::int32_t NbRows() const { return rowEnd - rowBegin; }
    std::int32_t NbCols() const { return colEnd - colBegin; }

    // A one-cell reference (xltypeRef) to (rowBegin + row, colBegin + col) on sheetId, in the
    // record form of the add-in's current mode.
    XlfOper Element(std::int32_t row, std::int32_t col) const;
    // The same as an Excel-4 record, whatever the mode.
    XlfOper4 Element4(std::int32_t row, std::int32_t col) const;

    std::int32_t rowBegin = 0;
    std::int32_t rowEnd = 0;  // one past the last row
    std::int32_t colBegin = 0;
    std::int32_t colEnd = 0;  // one past the last column
    std::int32_t sheetId = 0;
};

}  // namespace xlf
