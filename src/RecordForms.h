// RecordForms: the two record forms the layer writes and reads, over the layouts' traits
// shared with the host (RecordTraits.h).
//
// Excel4Form   XLOPER, strings of a count byte and 8-bit characters; Excel-4 mode.
// Excel12Form  XLOPER12, strings of a count character and wide characters; Excel-12 mode.
//
// Each form adds to its layout's traits how requests reach the host, the largest array
// Excel holds in that mode, and how texts are written, read and copied. Members that need
// memory take it from the Storage policy they are given (RecordStorage.h). Record operations
// written once over both forms are RecordOps (XlfOperImplBase.h).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "CellMatrix.h"
#include "RecordTraits.h"
#include "XlRecords.h"
#include "XlfExcel.h"

namespace xlf {
namespace detail {

// Writes one diagnostic line "..\..\src\<file>(<line>): <text>" to std::cerr.
void WriteDiagnostic(const char* file, int line, const char* text);

// wcstombs / mbstowcs with a fallback for texts the runtime's code page cannot convert: each
// character is then taken by its low 8 bits ('?' beyond), each byte widened unchanged.
std::size_t NarrowInto(char* out, const wchar_t* text, std::size_t count, std::size_t limit);
std::size_t WidenInto(wchar_t* out, const char* text, std::size_t count, std::size_t limit);

// The length of a text cell's text, in characters of either width.
inline std::size_t CellTextLength(const MatrixCell& cell) {
    return cell.IsWideText() ? cell.WideText().size() : cell.NarrowText().size();
}

// Excel-4 records: XLOPER, strings of a count byte and 8-bit characters.
struct Excel4Form : xlrecords::RecordTraits<XLOPER> {
    // The largest array the layer writes in Excel-4 mode (rows are counted in 16 bits).
    static constexpr std::uint32_t kMostRows = 65535;
    static constexpr std::uint32_t kMostColumns = 255;

    static int Call(int function, Record* result, int count, Record** arguments) {
        return XlfExcel::Current().CallHost4v(function, result, count, arguments);
    }
    static void SetArea(MultiRef& multi, std::int32_t row, std::int32_t rowLast, std::int32_t col,
                        std::int32_t colLast) {
        multi.count = 1;
        multi.reftbl[0] = MakeRef(row, rowLast, col, colLast);
    }
    static std::size_t Count(const Record& r) { return r.val.str ? Length(r.val.str[0]) : 0; }
    static const char* Chars(const Record& r) { return r.val.str ? r.val.str + 1 : ""; }

    // Counts the terminating NUL, so at most 254 characters fit.
    template <class Storage>
    static void WriteCString(Record& r, const char* text, const char* file, int line) {
        std::size_t n = text ? std::strlen(text) : 0;
        if (n > 254) {
            WriteDiagnostic(file, line, "String truncated to 254 bytes");
            n = 254;
        }
        char* buffer = static_cast<char*>(Storage::Allocate(n + 2));
        buffer[0] = static_cast<char>(n + 1);
        if (n) std::memcpy(buffer + 1, text, n);
        buffer[n + 1] = '\0';
        r.val.str = buffer;
        r.xltype = xltypeStr;
    }
    template <class Storage>
    static void WriteWideString(Record& r, const std::wstring& text, const char* file, int line) {
        std::size_t n = text.size();
        if (n >= 256) {
            WriteDiagnostic(file, line, "String truncated to 255 bytes");
            n = 255;
        }
        char* buffer = static_cast<char*>(Storage::Allocate(n + 1));
        std::memset(buffer, 0, n + 1);
        buffer[0] = static_cast<char>(n);
        NarrowInto(buffer + 1, text.data(), n, n);
        r.val.str = buffer;
        r.xltype = xltypeStr;
    }
    // The first count characters of a text cell, as a result's text: wide texts keep the low
    // 8 bits of each character, as the layer narrows them.
    static void CopyCellText(const MatrixCell& cell, Char* out, std::size_t count) {
        if (cell.IsWideText()) {
            const std::wstring& text = cell.WideText();
            for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char>(text[i] & 0xFF);
        } else {
            std::memcpy(out, cell.NarrowText().data(), count);
        }
    }
    template <class Storage>
    static char* ReadCString(const Record& r) {
        const std::size_t n = Count(r);
        char* buffer = static_cast<char*>(Storage::Allocate(n + 1));
        if (n) std::memcpy(buffer, Chars(r), n);
        buffer[n] = '\0';
        return buffer;
    }
    static std::wstring ReadWideString(const Record& r) {
        const std::size_t n = Count(r);
        std::wstring text(n, L'\0');
        text.resize(WidenInto(&text[0], Chars(r), n, n));
        return text;
    }
    static MatrixCell StringCell(const Record& r) {
        return MatrixCell(std::string(Chars(r), Count(r)));
    }
    static bool CellBool(const Record& r) { return r.val.xbool != 0; }
    template <class Storage>
    static void CopyString(Record& slot, const Record& value) {
        const std::size_t n = Count(value);
        char* buffer = static_cast<char*>(Storage::Allocate(n + 1));
        buffer[0] = static_cast<char>(n);
        if (n) std::memcpy(buffer + 1, Chars(value), n);
        slot.val.str = buffer;
    }
};

// Excel-12 records: XLOPER12, strings of a count character and wide characters.
struct Excel12Form : xlrecords::RecordTraits<XLOPER12> {
    // The largest array the layer writes in Excel-12 mode: a whole sheet.
    static constexpr std::uint32_t kMostRows = 1048576;
    static constexpr std::uint32_t kMostColumns = 16384;

    static int Call(int function, Record* result, int count, Record** arguments) {
        return XlfExcel::Current().CallHost12v(function, result, count, arguments);
    }
    static void SetArea(MultiRef& multi, std::int32_t row, std::int32_t rowLast, std::int32_t col,
                        std::int32_t colLast) {
        multi.count = 1;
        multi.reftbl[0] = MakeRef(row, rowLast, col, colLast);
    }
    // The count is a 16-bit word in Excel's layout, whatever the width of XCHAR here.
    static std::size_t Count(const Record& r) { return r.val.str ? Length(r.val.str[0]) : 0; }
    static const XCHAR* Chars(const Record& r) { return r.val.str ? r.val.str + 1 : L""; }

    // The count is the text's length in bytes even when the conversion yields fewer wide
    // characters; those left over are NUL.
    template <class Storage>
    static void WriteCString(Record& r, const char* text, const char*, int) {
        const std::size_t n = text ? std::strlen(text) : 0;
        XCHAR* buffer = static_cast<XCHAR*>(Storage::Allocate((n + 1) * sizeof(XCHAR)));
        std::wstring wide(n, L'\0');
        WidenInto(&wide[0], text ? text : "", n, n);
        buffer[0] = static_cast<XCHAR>(n);
        for (std::size_t i = 0; i < n; ++i) buffer[i + 1] = static_cast<XCHAR>(wide[i]);
        r.val.str = buffer;
        r.xltype = xltypeStr;
    }
    template <class Storage>
    static void WriteWideString(Record& r, const std::wstring& text, const char*, int) {
        const std::size_t n = text.size();
        XCHAR* buffer = static_cast<XCHAR*>(Storage::Allocate((n + 1) * sizeof(XCHAR)));
        buffer[0] = static_cast<XCHAR>(n);
        for (std::size_t i = 0; i < n; ++i) buffer[i + 1] = static_cast<XCHAR>(text[i]);
        r.val.str = buffer;
        r.xltype = xltypeStr;
    }
    // The first count characters of a text cell, as a result's text: narrow texts widen byte
    // by byte.
    static void CopyCellText(const MatrixCell& cell, Char* out, std::size_t count) {
        if (cell.IsWideText()) {
            const std::wstring& text = cell.WideText();
            for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<XCHAR>(text[i]);
        } else {
            const std::string& text = cell.NarrowText();
            for (std::size_t i = 0; i < count; ++i)
                out[i] = static_cast<XCHAR>(static_cast<unsigned char>(text[i]));
        }
    }
    template <class Storage>
    static char* ReadCString(const Record& r) {
        const std::size_t n = Count(r);
        char* buffer = static_cast<char*>(Storage::Allocate(n + 1));
        std::memset(buffer, 0, n + 1);
        const std::wstring wide(Chars(r), n);
        NarrowInto(buffer, wide.data(), n, n);
        return buffer;
    }
    static std::wstring ReadWideString(const Record& r) { return std::wstring(Chars(r), Count(r)); }
    static MatrixCell StringCell(const Record& r) { return MatrixCell(ReadWideString(r)); }
    static bool CellBool(const Record& r) { return r.val.xbool > 0; }
    template <class Storage>
    static void CopyString(Record& slot, const Record& value) {
        const std::size_t n = Count(value);
        XCHAR* buffer = static_cast<XCHAR*>(Storage::Allocate((n + 1) * sizeof(XCHAR)));
        buffer[0] = static_cast<XCHAR>(n);
        for (std::size_t i = 0; i < n; ++i) buffer[i + 1] = Chars(value)[i];
        slot.val.str = buffer;
    }
};

}  // namespace detail
}  // namespace xlf
