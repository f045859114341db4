// RecordCodec.h - reads XLOPER/XLOPER12 records into host values and writes host values
// into records, with every auxiliary piece of a result in one block that the host counts.
//
// One template over the records' shared traits (RecordTraits.h) serves both layouts. Strings
// longer than a record can count (255 8-bit characters, 32767 wide ones) are cut.
#ifndef RECORDCODEC_H
#define RECORDCODEC_H

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "HostValue.h"
#include "RecordTraits.h"
#include "XlRecords.h"

namespace xlhost {

using xlrecords::RecordTraits;

// Types ignoring the ownership bits (0x1000, 0x4000 and the Excel-owned 0x8000).
inline std::uint32_t PlainType(std::uint32_t type) {
    return type & 0x0fffu;
}

// The auxiliary memory a record points to (string, array or reference table), or null.
template <class Oper>
void* AuxiliaryMemory(const Oper& record) {
    switch (PlainType(record.xltype)) {
        case xltypeStr:
            return record.val.str;
        case xltypeMulti:
            return record.val.array.lparray;
        case xltypeRef:
            return record.val.mref.lpmref;
        default:
            return nullptr;
    }
}

// Reads a record; false when its type is unknown or its memory missing.
template <class Oper>
bool ReadRecord(const Oper& record, Value* value, bool allowArray = true) {
    typedef RecordTraits<Oper> Traits;
    *value = Value();
    value->type = PlainType(record.xltype);
    switch (value->type) {
        case xltypeNum:
            value->num = record.val.num;
            return true;
        case xltypeBool:
            value->boolean = record.val.xbool != 0;
            return true;
        case xltypeErr:
            value->err = record.val.err;
            return true;
        case xltypeInt:
            value->integer = record.val.w;
            return true;
        case xltypeNil:
        case xltypeMissing:
            return true;
        case xltypeStr: {
            const typename Traits::Char* str = record.val.str;
            if (str == nullptr) return false;
            const std::size_t count = Traits::Length(str[0]);
            for (std::size_t i = 1; i <= count; ++i) value->str.push_back(Traits::ToWide(str[i]));
            return true;
        }
        case xltypeSRef: {
            const auto& ref = record.val.sref.ref;
            value->areas.push_back({ref.rwFirst, ref.rwLast, ref.colFirst, ref.colLast});
            return true;
        }
        case xltypeRef: {
            value->sheet = record.val.mref.idSheet;
            const auto* table = record.val.mref.lpmref;
            if (table == nullptr) return true;
            for (std::size_t i = 0; i < table->count; ++i) {
                const auto& ref = table->reftbl[i];
                value->areas.push_back({ref.rwFirst, ref.rwLast, ref.colFirst, ref.colLast});
            }
            return true;
        }
        case xltypeMulti: {
            if (!allowArray) return false;
            value->rows = record.val.array.rows;
            value->columns = record.val.array.columns;
            if (value->rows < 0 || value->columns < 0) return false;
            const std::size_t size = static_cast<std::size_t>(value->rows) * value->columns;
            if (size > 0 && record.val.array.lparray == nullptr) return false;
            value->elements.resize(size);
            for (std::size_t i = 0; i < size; ++i) {
                if (!ReadRecord(record.val.array.lparray[i], &value->elements[i], false))
                    return false;
            }
            return true;
        }
        default:
            return false;
    }
}

// Bytes a value's strings and arrays occupy in its block, beyond the record itself.
template <class Oper>
std::size_t BlockBytes(const Value& value) {
    typedef RecordTraits<Oper> Traits;
    switch (value.type) {
        case xltypeStr:
            // Count, characters, and a terminating zero for callers that print the text.
            return (std::min(value.str.size(), Traits::kMaxString) + 2) *
                   sizeof(typename Traits::Char);
        case xltypeRef:
            return sizeof(typename Traits::MultiRef) +
                   std::max<std::size_t>(value.areas.size(), 1) * sizeof(typename Traits::Ref);
        case xltypeMulti: {
            std::size_t bytes = value.elements.size() * sizeof(Oper);
            for (const auto& element : value.elements) bytes += BlockBytes<Oper>(element);
            return bytes;
        }
        default:
            return 0;
    }
}

// Writes value into record; auxiliary pieces are carved from *cursor, which advances.
template <class Oper>
void WriteRecord(const Value& value, IDSHEET currentSheet, Oper* record, char** cursor) {
    typedef RecordTraits<Oper> Traits;
    typedef typename Traits::Char Char;
    std::memset(static_cast<void*>(record), 0, sizeof(Oper));
    record->xltype = static_cast<decltype(record->xltype)>(value.type);
    switch (value.type) {
        case xltypeNum:
            record->val.num = value.num;
            break;
        case xltypeBool:
            record->val.xbool = value.boolean ? 1 : 0;
            break;
        case xltypeErr:
            record->val.err = static_cast<decltype(record->val.err)>(value.err);
            break;
        case xltypeInt:
            record->val.w = static_cast<decltype(record->val.w)>(value.integer);
            break;
        case xltypeStr: {
            const std::size_t count = std::min(value.str.size(), Traits::kMaxString);
            auto* str = reinterpret_cast<Char*>(*cursor);
            str[0] = static_cast<Char>(count);
            for (std::size_t i = 0; i < count; ++i) str[i + 1] = Traits::FromWide(value.str[i]);
            str[count + 1] = 0;
            record->val.str = str;
            *cursor += BlockBytes<Oper>(value);
            break;
        }
        case xltypeSRef: {
            record->val.sref.count = 1;
            if (!value.areas.empty()) {
                const Area& area = value.areas.front();
                record->val.sref.ref =
                    Traits::MakeRef(area.rowFirst, area.rowLast, area.colFirst, area.colLast);
            }
            break;
        }
        case xltypeRef: {
            auto* table = reinterpret_cast<typename Traits::MultiRef*>(*cursor);
            table->count = static_cast<std::uint16_t>(value.areas.size());
            for (std::size_t i = 0; i < value.areas.size(); ++i) {
                const Area& area = value.areas[i];
                table->reftbl[i] =
                    Traits::MakeRef(area.rowFirst, area.rowLast, area.colFirst, area.colLast);
            }
            record->val.mref.lpmref = table;
            record->val.mref.idSheet = value.sheet != 0 ? value.sheet : currentSheet;
            *cursor += BlockBytes<Oper>(value);
            break;
        }
        case xltypeMulti: {
            auto* elements = reinterpret_cast<Oper*>(*cursor);
            *cursor += value.elements.size() * sizeof(Oper);
            for (std::size_t i = 0; i < value.elements.size(); ++i) {
                new (&elements[i]) Oper;
                WriteRecord(value.elements[i], currentSheet, &elements[i], cursor);
            }
            record->val.array.lparray = elements;
            record->val.array.rows = static_cast<decltype(record->val.array.rows)>(value.rows);
            record->val.array.columns =
                static_cast<decltype(record->val.array.columns)>(value.columns);
            break;
        }
        default:
            break;
    }
}

}  // namespace xlhost

#endif  // RECORDCODEC_H
