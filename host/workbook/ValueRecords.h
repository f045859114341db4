// ValueRecords: the value records xllhost hands to a worksheet function, and the reading of
// the record it returns, in either layout (XLOPER for "P"/"R", XLOPER12 for "Q"/"U"), over
// the records' shared traits (RecordTraits.h).
//
// A RecordArena owns every record, string, array and reference it builds until it is
// destroyed, which is after the call returned and its result was read: the function may
// keep pointers into its arguments only for the duration of the call, as in Excel.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "SheetValue.h"
#include "Workbook.h"
#include "XlRecords.h"

namespace runner {

template <class Oper>
class RecordArena {
  public:
    Oper* Value(const SheetValue& value);  // a single cell's value; Empty and Pending are nil
    Oper* Missing();
    // rows x columns values, row by row.
    Oper* Array(int rows, int columns, const std::vector<SheetValue>& values);
    // A reference on the current sheet (xltypeSRef) or on a named sheet (xltypeRef).
    Oper* SheetReference(CellPosition first, CellPosition last);
    Oper* Reference(IDSHEET sheet, CellPosition first, CellPosition last);

  private:
    Oper* NewRecord(std::uint32_t type);
    void WriteValue(Oper& record, const SheetValue& value);

    std::deque<Oper> records_;
    std::deque<std::vector<Oper>> arrays_;
    std::deque<std::vector<char>> narrowTexts_;
    std::deque<std::vector<XCHAR>> wideTexts_;
    std::deque<std::vector<char>> references_;
};

// The cells a returned record shows: null gives Null; an array its elements.
CallResult ReadResult(const XLOPER* record);
CallResult ReadResult(const XLOPER12* record);

extern template class RecordArena<XLOPER>;
extern template class RecordArena<XLOPER12>;

}  // namespace runner
