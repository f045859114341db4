#include "XlfRangeRef.h"

#include "XlfOper.h"
#include "XlfOper4.h"

namespace xlf {

XlfOper XlfRangeRef::Element(std::int32_t row, std::int32_t col) const {
    XlfOper cell;
    cell.WriteRangeRef(XlfRangeRef(rowBegin + row, rowBegin + row + 1, colBegin + col,
                                   colBegin + col + 1, sheetId));
    return cell;
}

XlfOper4 XlfRangeRef::Element4(std::int32_t row, std::int32_t col) const {
    XlfOper4 cell;
    cell.Assign(XlfRangeRef(rowBegin + row, rowBegin + row + 1, colBegin + col, colBegin + col + 1,
                            sheetId));
    return cell;
}

}  // namespace xlf
