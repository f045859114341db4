#include "ThreadResult.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "RecordTraits.h"
#include "XlRecords.h"
#include "XlfExcel.h"

namespace addin {

namespace {

using xlf::CellMatrix;
using xlf::MatrixCell;

// The text a cell holds, in characters of either width.
std::size_t CellTextLength(const MatrixCell& cell) {
    return cell.IsWideText() ? cell.WideText().size() : cell.NarrowText().size();
}

// The two record forms over the layouts' shared traits (record and character types, the
// longest counted string): the largest array each holds, and how a cell's text is copied.
struct Excel4Form : xlrecords::RecordTraits<XLOPER> {
    static constexpr std::uint32_t kMostRows = 65535;
    static constexpr std::uint32_t kMostColumns = 255;
    // Wide texts keep the low 8 bits of each character, as the layer narrows them.
    static void Copy(const MatrixCell& cell, Char* out, std::size_t count) {
        if (cell.IsWideText()) {
            const std::wstring& text = cell.WideText();
            for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char>(text[i] & 0xFF);
        } else {
            std::memcpy(out, cell.NarrowText().data(), count);
        }
    }
};

struct Excel12Form : xlrecords::RecordTraits<XLOPER12> {
    static constexpr std::uint32_t kMostRows = 1048576;
    static constexpr std::uint32_t kMostColumns = 16384;
    // Narrow texts widen byte by byte.
    static void Copy(const MatrixCell& cell, Char* out, std::size_t count) {
        if (cell.IsWideText()) {
            const std::wstring& text = cell.WideText();
            for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<XCHAR>(text[i]);
        } else {
            const std::string& text = cell.NarrowText();
            for (std::size_t i = 0; i < count; ++i)
                out[i] = static_cast<XCHAR>(static_cast<unsigned char>(text[i]));
        }
    }
};

// One thread's result in one form: the record, its elements and all its texts, each text a
// count followed by its characters.
template <class Form>
struct Storage {
    typename Form::Record root;
    std::vector<typename Form::Record> elements;
    std::vector<typename Form::Char> characters;
};

template <class Form>
Storage<Form>& ThisThreadsStorage() {
    thread_local Storage<Form> storage;
    return storage;
}

bool IsTextCell(const MatrixCell& cell) {
    return cell.IsText() || cell.IsWideText();
}

template <class Form>
std::size_t TextLength(const MatrixCell& cell) {
    const std::size_t length = CellTextLength(cell);
    return length < Form::kMaxString ? length : Form::kMaxString;
}

// Writes one cell into a record; texts take the next piece of the character buffer.
template <class Form>
void WriteCell(const MatrixCell& cell, typename Form::Record& record,
               typename Form::Char*& nextText) {
    std::memset(static_cast<void*>(&record), 0, sizeof record);
    if (cell.IsNumber()) {
        // Excel holds no infinities or NaN: a number that is not finite has failed.
        if (std::isfinite(cell.AsNumber())) {
            record.xltype = xltypeNum;
            record.val.num = cell.AsNumber();
        } else {
            record.xltype = xltypeErr;
            record.val.err = xlerrNum;
        }
    } else if (cell.IsBoolean()) {
        record.xltype = xltypeBool;
        record.val.xbool = cell.AsBoolean() ? 1 : 0;
    } else if (cell.IsError()) {
        record.xltype = xltypeErr;
        record.val.err = static_cast<decltype(record.val.err)>(cell.ErrorCode());
    } else {
        const std::size_t length = IsTextCell(cell) ? TextLength<Form>(cell) : 0;
        nextText[0] = static_cast<typename Form::Char>(length);
        if (length > 0) Form::Copy(cell, nextText + 1, length);
        record.xltype = xltypeStr;
        record.val.str = nextText;
        nextText += length + 1;
    }
}

template <class Form>
LPXLFOPER Write(const CellMatrix& cells) {
    Storage<Form>& storage = ThisThreadsStorage<Form>();
    const std::uint32_t rows = cells.Rows(), columns = cells.Columns();
    if (rows == 0 || columns == 0) return Write<Form>(CellMatrix(""));
    if (rows > Form::kMostRows || columns > Form::kMostColumns) {
        return Write<Form>(
            CellMatrix("The result has more rows or columns than an array of this Excel holds"));
    }
    // The character buffer is sized once, so the texts' addresses stay where they are put.
    std::size_t characters = 0;
    for (std::uint32_t i = 0; i < rows; ++i) {
        for (std::uint32_t j = 0; j < columns; ++j) {
            const MatrixCell& cell = cells.Cell(i, j);
            if (!cell.IsNumber() && !cell.IsBoolean() && !cell.IsError())
                characters += (IsTextCell(cell) ? TextLength<Form>(cell) : 0) + 1;
        }
    }
    storage.characters.assign(characters > 0 ? characters : 1, 0);
    typename Form::Char* nextText = storage.characters.data();

    if (rows == 1 && columns == 1) {
        storage.elements.clear();
        WriteCell<Form>(cells.Cell(0, 0), storage.root, nextText);
        return &storage.root;
    }
    storage.elements.resize(std::size_t(rows) * columns);
    auto* element = storage.elements.data();
    for (std::uint32_t i = 0; i < rows; ++i)
        for (std::uint32_t j = 0; j < columns; ++j)
            WriteCell<Form>(cells.Cell(i, j), *element++, nextText);
    std::memset(static_cast<void*>(&storage.root), 0, sizeof storage.root);
    storage.root.xltype = xltypeMulti;
    storage.root.val.array.lparray = storage.elements.empty() ? nullptr : storage.elements.data();
    storage.root.val.array.rows = static_cast<decltype(storage.root.val.array.rows)>(rows);
    storage.root.val.array.columns = static_cast<decltype(storage.root.val.array.columns)>(columns);
    return &storage.root;
}

}  // namespace

void ThreadResult::ReclaimPrevious() {
    xlf::XlfExcel::Current();
}

LPXLFOPER ThreadResult::Of(const CellMatrix& cells) {
    if (xlf::XlfExcel::Current().IsExcel12()) return Write<Excel12Form>(cells);
    return Write<Excel4Form>(cells);
}

LPXLFOPER ThreadResult::Text(const std::string& text) {
    return Of(CellMatrix(text));
}

LPXLFOPER ThreadResult::Text(const char* text) {
    return Of(CellMatrix(std::string(text != nullptr ? text : "")));
}

LPXLFOPER ThreadResult::Boolean(bool value) {
    CellMatrix cells(1, 1);
    cells.Cell(0, 0) = MatrixCell(value);
    return Of(cells);
}

LPXLFOPER ThreadResult::Error(std::uint16_t code) {
    CellMatrix cells(1, 1);
    cells.Cell(0, 0) = MatrixCell(static_cast<std::uint32_t>(code), true);
    return Of(cells);
}

}  // namespace addin
