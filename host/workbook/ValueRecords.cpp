#include "ValueRecords.h"

#include <algorithm>
#include <cstring>

#include "HostValue.h"
#include "RecordTraits.h"

namespace runner {

namespace {

template <class Oper>
using Traits = xlrecords::RecordTraits<Oper>;

template <class Oper>
typename Traits<Oper>::Ref MakeRef(CellPosition first, CellPosition last) {
    return Traits<Oper>::MakeRef(first.row, last.row, first.col, last.col);
}

// Texts of the workbook are 8-bit: wider characters of a returned text show as '?'.
template <class Oper>
std::string ReadText(const typename Traits<Oper>::Char* str) {
    std::wstring text;
    const std::size_t count = Traits<Oper>::Length(str[0]);
    for (std::size_t i = 1; i <= count; ++i) text.push_back(Traits<Oper>::ToWide(str[i]));
    return xlhost::Narrow(text);
}

template <class Oper>
SheetValue ReadScalar(const Oper& record) {
    const std::uint32_t type = record.xltype & ~static_cast<std::uint32_t>(xlbitXLFree | 0x4000u);
    switch (type) {
        case xltypeNum:
            return SheetValue::MakeNumber(record.val.num);
        case xltypeInt:
            return SheetValue::MakeNumber(record.val.w);
        case xltypeBool:
            return SheetValue::MakeBool(record.val.xbool != 0);
        case xltypeErr:
            return SheetValue::MakeError(record.val.err);
        case xltypeStr: {
            if (record.val.str == nullptr) return SheetValue::MakeError(xlerrValue);
            std::string text = ReadText<Oper>(record.val.str);
            // Counted strings may carry a terminating NUL in their count.
            while (!text.empty() && text.back() == '\0') text.pop_back();
            return SheetValue::MakeText(text);
        }
        case xltypeNil:
        case xltypeMissing:
            return SheetValue::Make(SheetValue::Nil);
        default:
            return SheetValue::MakeError(xlerrValue);
    }
}

template <class Oper>
CallResult Read(const Oper* record) {
    if (record == nullptr) return CallResult::Single(SheetValue::Make(SheetValue::Null));
    if ((record->xltype & xltypeMulti) == 0) return CallResult::Single(ReadScalar(*record));
    CallResult result;
    result.rows = record->val.array.rows;
    result.columns = record->val.array.columns;
    if (result.rows <= 0 || result.columns <= 0 || record->val.array.lparray == nullptr) {
        return CallResult::Single(SheetValue::MakeError(xlerrValue));
    }
    const std::size_t count = static_cast<std::size_t>(result.rows) * result.columns;
    for (std::size_t i = 0; i < count; ++i) {
        result.values.push_back(ReadScalar(record->val.array.lparray[i]));
    }
    return result;
}

}  // namespace

template <class Oper>
Oper* RecordArena<Oper>::NewRecord(std::uint32_t type) {
    records_.emplace_back();
    Oper& record = records_.back();
    std::memset(&record, 0, sizeof(record));
    record.xltype = static_cast<decltype(record.xltype)>(type);
    return &record;
}

template <class Oper>
void RecordArena<Oper>::WriteValue(Oper& record, const SheetValue& value) {
    using Char = typename Traits<Oper>::Char;
    std::memset(&record, 0, sizeof(record));
    switch (value.kind) {
        case SheetValue::Number:
            record.xltype = xltypeNum;
            record.val.num = value.number;
            break;
        case SheetValue::Bool:
            record.xltype = xltypeBool;
            record.val.xbool = value.boolean ? 1 : 0;
            break;
        case SheetValue::Error:
            record.xltype = xltypeErr;
            record.val.err = static_cast<decltype(record.val.err)>(value.error);
            break;
        case SheetValue::Text: {
            const std::wstring text = xlhost::Widen(value.text);
            const std::size_t length = std::min(text.size(), Traits<Oper>::kMaxString);
            std::vector<Char> buffer(length + 1);
            buffer[0] = static_cast<Char>(length);
            for (std::size_t i = 0; i < length; ++i)
                buffer[i + 1] = Traits<Oper>::FromWide(text[i]);
            record.xltype = xltypeStr;
            if constexpr (sizeof(Char) == 1) {
                narrowTexts_.push_back(std::move(buffer));
                record.val.str = narrowTexts_.back().data();
            } else {
                wideTexts_.push_back(std::move(buffer));
                record.val.str = wideTexts_.back().data();
            }
            break;
        }
        default:
            record.xltype = xltypeNil;
            break;
    }
}

template <class Oper>
Oper* RecordArena<Oper>::Value(const SheetValue& value) {
    Oper* record = NewRecord(xltypeNil);
    WriteValue(*record, value);
    return record;
}

template <class Oper>
Oper* RecordArena<Oper>::Missing() {
    return NewRecord(xltypeMissing);
}

template <class Oper>
Oper* RecordArena<Oper>::Array(int rows, int columns, const std::vector<SheetValue>& values) {
    arrays_.emplace_back(values.size());
    std::vector<Oper>& elements = arrays_.back();
    for (std::size_t i = 0; i < values.size(); ++i) WriteValue(elements[i], values[i]);
    Oper* record = NewRecord(xltypeMulti);
    record->val.array.lparray = elements.data();
    record->val.array.rows = static_cast<decltype(record->val.array.rows)>(rows);
    record->val.array.columns = static_cast<decltype(record->val.array.columns)>(columns);
    return record;
}

template <class Oper>
Oper* RecordArena<Oper>::SheetReference(CellPosition first, CellPosition last) {
    Oper* record = NewRecord(xltypeSRef);
    record->val.sref.count = 1;
    record->val.sref.ref = MakeRef<Oper>(first, last);
    return record;
}

template <class Oper>
Oper* RecordArena<Oper>::Reference(IDSHEET sheet, CellPosition first, CellPosition last) {
    using MultiRef = typename Traits<Oper>::MultiRef;
    references_.emplace_back(sizeof(MultiRef));
    // A vector of char is suitably aligned for the multi-reference (operator new alignment).
    auto* areas = reinterpret_cast<MultiRef*>(references_.back().data());
    areas->count = 1;
    areas->reftbl[0] = MakeRef<Oper>(first, last);
    Oper* record = NewRecord(xltypeRef);
    record->val.mref.lpmref = areas;
    record->val.mref.idSheet = sheet;
    return record;
}

CallResult ReadResult(const XLOPER* record) {
    return Read(record);
}
CallResult ReadResult(const XLOPER12* record) {
    return Read(record);
}

template class RecordArena<XLOPER>;
template class RecordArena<XLOPER12>;

}  // namespace runner
