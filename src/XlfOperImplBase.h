// XlfOperImplBase: the value operations written once over both record forms.
//
// RecordOps<Traits, Storage> is the layer's one record writer and reader: the Excel-4 form
// (XLOPER, 8-bit counted strings) and the Excel-12 form (XLOPER12, wide counted strings)
// differ only in the pieces gathered in Excel4Form and Excel12Form (RecordForms.h). The
// traits add where a value's diagnostics are reported from and the few choices in which
// XlfOper4 differs from XlfOperImpl4. XlfOperImpl4, XlfOperImpl12 and XlfOper4 are thin
// layers over it; ResultRecord.h writes worksheet results with it.
//
// Warnings:
// - Every record and buffer written here comes from Storage (RecordStorage.h): the temporary
//   memory of XlfExcel unless another policy is given.
// - Reads of a null record give xlretInvXloper; writers require a record.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CellMatrix.h"
#include "RecordForms.h"
#include "RecordStorage.h"
#include "VectorOrder.h"
#include "XlRecords.h"
#include "XlfExcel.h"
#include "XlfException.h"
#include "XlfOper.h"
#include "XlfOperImpl.h"
#include "XlfRangeRef.h"

namespace xlf {
namespace detail {

// "attempt to perform an xltypeMulti operation on a value of type " + type word.
[[noreturn]] void ThrowNotArray(int typeWord);
// Row or column outside the array: writing or pointing there would leave the array.
[[noreturn]] void ThrowOutsideArray(int row, int column, int rows, int columns);
// std::length_error: an array of this shape does not fit an Excel-4 record.
[[noreturn]] void ThrowTooLargeForExcel4(std::size_t rows, std::size_t columns);

// Host code check shared by XlfOper and XlfOper4; only the message for bit 4 without a
// context differs between the two.
int CheckHostCode(int code, const std::string* context, const char* invalidCountMessage);

// The operations on records of one form. Traits is the form plus: kFile, kFreeLine,
// kCStringLine, kWideStringLine (where diagnostics are reported from); kWideCellIsWide (a
// wide-text cell is written as a wide string) or else kWideCellAsText (as its narrowed
// text; with neither, as an empty string); and kElementFailureThrows (a failed array-element read
// in a double vector throws instead of returning its code).
template <class Traits, class Storage = TemporaryPool>
struct RecordOps {
    using R = typename Traits::Record;
    using MultiRef = typename Traits::MultiRef;

    static void SetNil(R& r) {
        std::memset(static_cast<void*>(&r), 0, sizeof r);
        r.xltype = xltypeNil;
    }
    static R* NewRecord() {
        R* r = static_cast<R*>(Storage::Allocate(sizeof(R)));
        if (r) SetNil(*r);
        return r;
    }
    static int TypeWord(const R* r) { return r ? static_cast<int>(r->xltype) : 0; }

    // Host-allocated memory goes back once: the bit is cleared before xlFree is asked.
    static void Release(R* r) {
        if (!r || !(r->xltype & xlbitXLFree)) return;
        r->xltype &= static_cast<decltype(r->xltype)>(~xlbitXLFree);
        FreeHostMemory(r);
    }
    static void FreeHostMemory(R* r) {
        R* arguments[1] = {r};
        if (Traits::Call(xlFree, nullptr, 1, arguments) != xlretSuccess)
            WriteDiagnostic(Traits::kFile, Traits::kFreeLine, "Call to xlFree failed");
    }
    static int Coerce(const R* r, int typeMask, R* result) {
        R mask;
        SetNil(mask);
        WriteShort(mask, static_cast<short>(typeMask));
        R* arguments[2] = {const_cast<R*>(r), &mask};
        return Traits::Call(xlCoerce, result, 2, arguments);
    }

    // ---- writers ----
    static void WriteDouble(R& r, double value) {
        r.xltype = xltypeNum;
        r.val.num = value;
    }
    static void WriteBool(R& r, bool value) {
        r.xltype = xltypeBool;
        r.val.xbool = value ? 1 : 0;
    }
    static void WriteShort(R& r, short value) {
        r.xltype = xltypeInt;
        r.val.w = value;  // sign-extended in the 32-bit field of XLOPER12
    }
    static void WriteError(R& r, std::uint16_t code) {
        r.xltype = xltypeErr;
        r.val.err = code;  // zero-extended
    }
    static void WriteIntOrError(R& r, short value, bool isError) {
        if (!isError) return WriteShort(r, value);
        r.xltype = xltypeErr;
        r.val.err = static_cast<decltype(r.val.err)>(value);
    }
    static void WriteCString(R& r, const char* text) {
        Traits::template WriteCString<Storage>(r, text, Traits::kFile, Traits::kCStringLine);
    }
    static void WriteWideString(R& r, const std::wstring& text) {
        Traits::template WriteWideString<Storage>(r, text, Traits::kFile, Traits::kWideStringLine);
    }
    // An Excel-4 array counts rows in 16 bits, and its Excel has 256 columns: a larger shape
    // would wrap into a wrong, smaller array, so it is refused before anything is written.
    static void CheckArrayShape(std::size_t rows, std::size_t columns) {
        if (!Traits::kWide && (rows > Traits::kMostRows || columns > Traits::kMostColumns))
            ThrowTooLargeForExcel4(rows, columns);
    }
    static void WriteArrayShape(R& r, int rows, int columns) {
        if (rows > 0 && columns > 0) CheckArrayShape(std::size_t(rows), std::size_t(columns));
        const std::size_t count =
            rows > 0 && columns > 0 ? std::size_t(rows) * std::size_t(columns) : 0;
        R* elements = count ? static_cast<R*>(Storage::Allocate(count * sizeof(R))) : nullptr;
        for (std::size_t k = 0; k < count; ++k) SetNil(elements[k]);
        r.xltype = xltypeMulti;
        r.val.array.lparray = elements;
        r.val.array.rows = static_cast<decltype(r.val.array.rows)>(rows);
        r.val.array.columns = static_cast<decltype(r.val.array.columns)>(columns);
    }
    // False when no reference record could be had.
    static bool WriteRangeRef(R& r, const XlfRangeRef& range) {
        MultiRef* multi = static_cast<MultiRef*>(Storage::Allocate(sizeof(MultiRef)));
        if (!multi) return false;
        Traits::SetArea(*multi, range.rowBegin, range.rowEnd - 1, range.colBegin, range.colEnd - 1);
        r.xltype = xltypeRef;
        r.val.mref.lpmref = multi;
        r.val.mref.idSheet = static_cast<IDSHEET>(static_cast<std::uint32_t>(range.sheetId));
        return true;
    }

    // ---- arrays ----
    static int Rows(const R& r) {
        if (!(r.xltype & xltypeMulti)) ThrowNotArray(static_cast<int>(r.xltype));
        return static_cast<int>(r.val.array.rows);
    }
    static int Columns(const R& r) {
        if (!(r.xltype & xltypeMulti)) ThrowNotArray(static_cast<int>(r.xltype));
        return static_cast<int>(r.val.array.columns);
    }
    static R* ElementAt(const R& r, int row, int column) {
        const int rows = Rows(r), columns = Columns(r);
        if (row < 0 || column < 0 || row >= rows || column >= columns)
            ThrowOutsideArray(row, column, rows, columns);
        return r.val.array.lparray + std::size_t(row) * columns + column;
    }
    static void WriteElement(R& r, int row, int column, const R* value) {
        R* slot = ElementAt(r, row, column);
        const int type = TypeWord(value);
        switch (type) {
            case xltypeNum:
                slot->val.num = value->val.num;
                break;
            case xltypeStr:
                Traits::template CopyString<Storage>(*slot, *value);
                break;
            case xltypeBool:
            case xltypeErr:
            case xltypeInt:
                slot->val.w = value->val.w;
                break;
            default:
                throw XlfException("attempt to set a matrix element to a value of type " +
                                   std::to_string(type));
        }
        slot->xltype = value->xltype;
    }
    // Rows of the matrix, at most 255 columns; an empty cell becomes an empty string.
    static void WriteCellMatrix(R& r, const CellMatrix& matrix) {
        const std::uint32_t rows = matrix.Rows();
        if (rows > 0) CheckArrayShape(rows, matrix.Columns());
        const std::uint32_t columns = matrix.Columns() < 255 ? matrix.Columns() : 255;
        WriteArrayShape(r, static_cast<int>(rows), static_cast<int>(columns));
        R* slot = r.val.array.lparray;
        for (std::uint32_t i = 0; i < rows; ++i) {
            for (std::uint32_t j = 0; j < columns; ++j, ++slot) {
                const MatrixCell& cell = matrix.Cell(i, j);
                if (cell.IsNumber())
                    WriteDouble(*slot, cell.AsNumber());
                else if (cell.IsText())
                    WriteCString(*slot, cell.AsText().c_str());
                else if (cell.IsWideText() && Traits::kWideCellIsWide)
                    WriteWideString(*slot, cell.WideText());
                else if (cell.IsWideText() && Traits::kWideCellAsText)
                    WriteCString(*slot, cell.AsText().c_str());
                else if (cell.IsBoolean())
                    WriteBool(*slot, cell.AsBoolean());
                else if (cell.IsError())
                    WriteIntOrError(*slot, static_cast<short>(cell.ErrorCode()), true);
                else
                    WriteCString(*slot, "");
            }
        }
    }
    // Numbers straight into a new array, row by row; nothing when the matrix is empty.
    static void WriteNumbers(R& r, const double* values, std::uint32_t rows, std::uint32_t columns,
                             std::size_t rowStride) {
        if (rows == 0 || columns == 0) return;
        CheckArrayShape(rows, columns);
        const std::uint32_t kept = columns < 255 ? columns : 255;
        WriteArrayShape(r, static_cast<int>(rows), static_cast<int>(kept));
        R* slot = r.val.array.lparray;
        for (std::uint32_t i = 0; i < rows; ++i)
            for (std::uint32_t j = 0; j < kept; ++j, ++slot)
                WriteDouble(*slot, values[i * rowStride + j]);
    }

    // ---- worksheet results ----
    // A worksheet function's result, built from its cells: a 1 x 1 matrix becomes a single
    // value, a larger one an array, and an empty matrix an empty text. A number that is not
    // finite becomes #NUM! (Excel holds no infinities or NaN), an empty cell an empty text,
    // and a text longer than the form counts is cut to its first kMaxString characters (no
    // terminating NUL is counted). A shape beyond the form's largest array becomes a text
    // that says so. Every piece comes from Storage.
    static void WriteResult(R& r, const CellMatrix& cells) {
        const std::uint32_t rows = cells.Rows(), columns = cells.Columns();
        if (rows == 0 || columns == 0) return WriteResult(r, CellMatrix(""));
        if (rows > Traits::kMostRows || columns > Traits::kMostColumns) {
            return WriteResult(
                r, CellMatrix(
                       "The result has more rows or columns than an array of this Excel holds"));
        }
        if (rows == 1 && columns == 1) return WriteResultCell(r, cells.Cell(0, 0));
        std::memset(static_cast<void*>(&r), 0, sizeof r);
        WriteArrayShape(r, static_cast<int>(rows), static_cast<int>(columns));
        R* slot = r.val.array.lparray;
        for (std::uint32_t i = 0; i < rows; ++i)
            for (std::uint32_t j = 0; j < columns; ++j, ++slot)
                WriteResultCell(*slot, cells.Cell(i, j));
    }
    static void WriteResultCell(R& r, const MatrixCell& cell) {
        std::memset(static_cast<void*>(&r), 0, sizeof r);
        if (cell.IsNumber()) {
            if (std::isfinite(cell.AsNumber()))
                WriteDouble(r, cell.AsNumber());
            else
                WriteError(r, xlerrNum);
        } else if (cell.IsBoolean()) {
            WriteBool(r, cell.AsBoolean());
        } else if (cell.IsError()) {
            // The cell's code whole, as the record's error field holds it.
            r.xltype = xltypeErr;
            r.val.err = static_cast<decltype(r.val.err)>(cell.ErrorCode());
        } else {
            const bool text = cell.IsText() || cell.IsWideText();
            const std::size_t length = text ? CellTextLength(cell) : 0;
            const std::size_t kept = length < Traits::kMaxString ? length : Traits::kMaxString;
            using Char = typename Traits::Char;
            Char* buffer = static_cast<Char*>(Storage::Allocate((kept + 1) * sizeof(Char)));
            buffer[0] = static_cast<Char>(kept);
            if (kept > 0) Traits::CopyCellText(cell, buffer + 1, kept);
            r.xltype = xltypeStr;
            r.val.str = buffer;
        }
    }

    // ---- scalar reads ----
    // Takes the value directly when the type word has one of the direct bits, otherwise
    // coerces it through the host into a local record and reads that.
    template <class Direct>
    static int ReadScalar(const R* r, int directBits, int mask, Direct direct) {
        if (!r) return xlretInvXloper;
        if (r->xltype & directBits) {
            direct(*r);
            return xlretSuccess;
        }
        R local;
        SetNil(local);
        int code = Coerce(r, mask, &local);
        if (code == xlretSuccess) {
            if (local.xltype & directBits)
                direct(local);
            else
                code = xlretFailed;  // the host answered with another type
        }
        Release(&local);
        return code;
    }
    static int ReadDouble(const R* r, double& value) {
        return ReadScalar(r, xltypeInt | xltypeNum, xltypeNum, [&](const R& v) {
            value = (v.xltype & xltypeInt) ? double(v.val.w) : v.val.num;
        });
    }
    // Truncation toward zero to 32 bits, of which the low 16 remain; NaN and numbers outside
    // the 32-bit range give the x86 "integer indefinite" 0x80000000, whose low bits are 0.
    static int ReadShort(const R* r, short& value) {
        return ReadScalar(r, xltypeNum, xltypeNum, [&](const R& v) {
            const double t = std::trunc(v.val.num);
            const std::int32_t whole = (t >= -2147483648.0 && t <= 2147483647.0)
                                           ? static_cast<std::int32_t>(t)
                                           : INT32_MIN;
            value = static_cast<short>(static_cast<std::uint16_t>(whole & 0xFFFF));
        });
    }
    static int ReadBool(const R* r, bool& value) {
        return ReadScalar(r, xltypeBool, xltypeBool, [&](const R& v) { value = v.val.xbool != 0; });
    }
    static int ReadCString(const R* r, char*& text) {
        return ReadScalar(r, xltypeStr, xltypeStr,
                          [&](const R& v) { text = Traits::template ReadCString<Storage>(v); });
    }
    static int ReadWideString(const R* r, std::wstring& text) {
        return ReadScalar(r, xltypeStr, xltypeStr,
                          [&](const R& v) { text = Traits::ReadWideString(v); });
    }
    static int ReadErrorCode(const R* r, std::uint16_t& code) {
        return ReadScalar(r, xltypeErr, xltypeErr,
                          [&](const R& v) { code = static_cast<std::uint16_t>(v.val.err); });
    }
    // The first area of the reference; further areas are ignored.
    static int ReadRangeRef(const R* r, XlfRangeRef& range) {
        bool valid = true;
        int code = ReadScalar(r, xltypeRef, xltypeRef, [&](const R& v) {
            const MultiRef* multi = v.val.mref.lpmref;
            if (!multi || multi->count == 0) {
                valid = false;
                return;
            }
            range.rowBegin = multi->reftbl[0].rwFirst;
            range.rowEnd = multi->reftbl[0].rwLast + 1;
            range.colBegin = multi->reftbl[0].colFirst;
            range.colEnd = multi->reftbl[0].colLast + 1;
            range.sheetId = static_cast<std::int32_t>(v.val.mref.idSheet);
        });
        return code == xlretSuccess && !valid ? xlretInvXloper : code;
    }

    // A one-cell reference record to (range.rowBegin + row, range.colBegin + col), built in
    // caller-provided storage.
    static void CellReference(const XlfRangeRef& range, std::int32_t row, std::int32_t col, R& cell,
                              MultiRef& multi) {
        SetNil(cell);
        Traits::SetArea(multi, range.rowBegin + row, range.rowBegin + row, range.colBegin + col,
                        range.colBegin + col);
        cell.xltype = xltypeRef;
        cell.val.mref.lpmref = &multi;
        cell.val.mref.idSheet = static_cast<IDSHEET>(static_cast<std::uint32_t>(range.sheetId));
    }

    // ---- array reads ----
    static int ReadDoubleVector(const R* r, std::vector<double>& vector, VectorOrder order) {
        if (!r) return xlretInvXloper;
        if (r->xltype == xltypeMissing) {
            vector.clear();
            return xlretSuccess;
        }
        if (r->xltype & xltypeNum) {
            double value = 0.0;
            const int code = ReadDouble(r, value);
            if (code == xlretSuccess) vector.assign(1, value);
            return code;
        }
        const bool isArray = (r->xltype & xltypeMulti) != 0;
        XlfRangeRef range;
        std::int32_t rows = 0, columns = 0;
        if (isArray) {
            rows = static_cast<std::int32_t>(r->val.array.rows);
            columns = static_cast<std::int32_t>(r->val.array.columns);
            // Excel never sends such a record, but a broken host must not make the read
            // follow a null element pointer or size a vector by a negative count.
            if (rows < 0 || columns < 0 || (!r->val.array.lparray && rows > 0 && columns > 0))
                return xlretInvXloper;
        } else {
            const int code = ReadRangeRef(r, range);
            if (code != xlretSuccess) return code;
            rows = range.NbRows();
            columns = range.NbCols();
            if (rows < 0 || columns < 0) return xlretInvXloper;
        }
        if (rows != 1 && columns != 1 && order == OneDimensional) return xlretFailed;
        vector.assign(std::size_t(rows) * std::size_t(columns), 0.0);
        for (std::int32_t i = 0; i < rows; ++i) {
            for (std::int32_t j = 0; j < columns; ++j) {
                const std::size_t index =
                    order == RowMajor ? std::size_t(i) * columns + j : std::size_t(j) * rows + i;
                double value = 0.0;
                int code;
                if (isArray) {
                    const R& element = r->val.array.lparray[std::size_t(i) * columns + j];
                    if (element.xltype == xltypeNum) {
                        vector[index] = element.val.num;
                        continue;
                    }
                    code = ReadDouble(&element, value);
                    if (code != xlretSuccess && Traits::kElementFailureThrows)
                        code = CheckHostCode(code, nullptr, "invalid number of arguments");
                } else {
                    R cell;
                    MultiRef multi;
                    CellReference(range, i, j, cell, multi);
                    code = ReadDouble(&cell, value);
                }
                vector[index] = value;
                if (code != xlretSuccess && !(isArray && Traits::kElementFailureThrows))
                    return code;
            }
        }
        return xlretSuccess;
    }

    static R Unowned(const R& r) {
        R copy = r;
        copy.xltype &= static_cast<decltype(copy.xltype)>(~xlbitXLFree);
        return copy;
    }

    static MatrixCell ElementCell(const R& element) {
        switch (element.xltype) {
            case xltypeNum:
                return MatrixCell(element.val.num);
            case xltypeBool:
                return MatrixCell(Traits::CellBool(element));
            case xltypeErr:
                return MatrixCell(static_cast<std::uint32_t>(element.val.err), true);
            case xltypeStr:
                return Traits::StringCell(element);
            case xltypeMissing:
            case xltypeNil:
                return MatrixCell();
            default:
                throw "cell contains neither number nor string nor boolean nor empty";
        }
    }

    // A referenced cell is fetched by coercing its one-cell reference to its value, then
    // examined by type. A number, error, boolean or text fills the cell of that kind (text
    // in the form's own string kind, as for arrays); an empty cell stays empty. Any other
    // outcome ends the read with xlretInvXloper.
    static int ReadReferencedCell(const XlfRangeRef& range, std::int32_t row, std::int32_t col,
                                  MatrixCell& out) {
        R cell, value;
        MultiRef multi;
        CellReference(range, row, col, cell, multi);
        SetNil(value);
        int code =
            Coerce(&cell, xltypeNum | xltypeStr | xltypeBool | xltypeErr | xltypeNil, &value);
        if (code == xlretSuccess) {
            switch (value.xltype & ~xlbitXLFree) {
                case xltypeNum:
                    out = MatrixCell(value.val.num);
                    break;
                case xltypeInt:
                    out = MatrixCell(static_cast<double>(value.val.w));
                    break;
                case xltypeBool:
                    out = MatrixCell(value.val.xbool != 0);
                    break;
                case xltypeErr:
                    out = MatrixCell(static_cast<std::uint32_t>(value.val.err), true);
                    break;
                case xltypeStr:
                    out = Traits::StringCell(value);
                    break;
                case xltypeMissing:
                case xltypeNil:
                    out = MatrixCell();
                    break;
                default:
                    code = xlretInvXloper;
            }
        }
        Release(&value);
        return code;
    }

    // The host-owned bit does not change what a value holds: an array the host returned
    // reads as an array, not as a reference.
    static int ReadCellMatrix(const R* r, CellMatrix& matrix) {
        if (!r) return xlretInvXloper;
        switch (r->xltype & ~xlbitXLFree) {
            case xltypeMissing:
            case xltypeNil:
                matrix = CellMatrix(1, 1);
                return xlretSuccess;
            case xltypeNum:
            case xltypeBool:
            case xltypeErr:
            case xltypeStr:
                matrix = CellMatrix(1, 1);
                matrix.Cell(0, 0) = ElementCell(Unowned(*r));
                return xlretSuccess;
            case xltypeMulti: {
                const std::uint32_t rows = r->val.array.rows, columns = r->val.array.columns;
                if (!r->val.array.lparray && rows > 0 && columns > 0) return xlretInvXloper;
                CellMatrix result(rows, columns);
                for (std::uint32_t i = 0; i < rows; ++i)
                    for (std::uint32_t j = 0; j < columns; ++j)
                        result.Cell(i, j) = ElementCell(r->val.array.lparray[i * columns + j]);
                matrix = std::move(result);
                return xlretSuccess;
            }
            default:
                break;
        }
        XlfRangeRef range;
        int code = ReadRangeRef(r, range);
        if (code != xlretSuccess) return code;
        if (range.NbRows() < 0 || range.NbCols() < 0) return xlretInvXloper;
        CellMatrix result(static_cast<std::uint32_t>(range.NbRows()),
                          static_cast<std::uint32_t>(range.NbCols()));
        for (std::int32_t i = 0; i < range.NbRows(); ++i) {
            for (std::int32_t j = 0; j < range.NbCols(); ++j) {
                code = ReadReferencedCell(range, i, j, result.Cell(i, j));
                if (code != xlretSuccess) return code;
            }
        }
        matrix = std::move(result);
        return xlretSuccess;
    }

    static int ReadMatrix(const R* r, RealMatrix& matrix) {
        if (!r) return xlretInvXloper;
        if (r->xltype == xltypeMissing || r->xltype == xltypeNil) {
            matrix.Resize(0, 0);
            return xlretSuccess;
        }
        CellMatrix cells;
        const int code = ReadCellMatrix(r, cells);
        if (code != xlretSuccess) return code;
        matrix = RealMatrix(cells.Rows(), cells.Columns());
        for (std::uint32_t i = 0; i < cells.Rows(); ++i) {
            for (std::uint32_t j = 0; j < cells.Columns(); ++j) {
                const MatrixCell& cell = cells.Cell(i, j);
                if (!cell.IsNumber()) return xlretFailed;
                matrix[i][j] = cell.AsNumber();
            }
        }
        return xlretSuccess;
    }
};

// The value implementation over one record form: every slot forwards to RecordOps.
template <class Traits>
class XlfOperImplBase : public XlfOperImpl {
  protected:
    using Ops = RecordOps<Traits>;
    using R = typename Traits::Record;

    static R* Rec(const XlfOper& oper) { return static_cast<R*>(RecordOf(oper)); }

  public:
    void Release(XlfOper& oper) const override { Ops::Release(Rec(oper)); }
    void FreeHostMemory(XlfOper& oper) const override {
        if (Rec(oper)) Ops::FreeHostMemory(Rec(oper));
    }
    void Share(XlfOper& oper, const XlfOper& other) const override {
        SetRecord(oper, RecordOf(other));
    }
    XlfOper ElementAt(const XlfOper& oper, int row, int column) const override {
        if (!Rec(oper)) ThrowNotArray(0);
        return XlfOper(static_cast<void*>(Ops::ElementAt(*Rec(oper), row, column)));
    }
    void* HostPointer(const XlfOper& oper) const override { return RecordOf(oper); }
    bool IsMissingValue(const XlfOper& oper) const override { return Has(oper, xltypeMissing); }
    bool IsErrorValue(const XlfOper& oper) const override { return Has(oper, xltypeErr); }
    bool IsRefValue(const XlfOper& oper) const override { return Has(oper, xltypeRef); }
    bool IsSRefValue(const XlfOper& oper) const override { return Has(oper, xltypeSRef); }
    bool IsArrayValue(const XlfOper& oper) const override { return Has(oper, xltypeMulti); }
    bool IsNumberValue(const XlfOper& oper) const override { return Has(oper, xltypeNum); }
    bool IsStringValue(const XlfOper& oper) const override { return Has(oper, xltypeStr); }
    bool IsNilValue(const XlfOper& oper) const override { return Has(oper, xltypeNil); }
    bool IsBoolValue(const XlfOper& oper) const override { return Has(oper, xltypeBool); }
    bool IsIntValue(const XlfOper& oper) const override { return Has(oper, xltypeInt); }
    int RowCount(const XlfOper& oper) const override {
        if (!Rec(oper)) ThrowNotArray(0);
        return Ops::Rows(*Rec(oper));
    }
    int ColumnCount(const XlfOper& oper) const override {
        if (!Rec(oper)) ThrowNotArray(0);
        return Ops::Columns(*Rec(oper));
    }
    void* RawPointer(const XlfOper& oper) const override { return RecordOf(oper); }
    void WriteArrayShape(XlfOper& oper, int rows, int columns) const override {
        if (Rec(oper)) Ops::WriteArrayShape(*Rec(oper), rows, columns);
    }
    void WriteIntOrError(XlfOper& oper, short value, bool isError) const override {
        if (Rec(oper)) Ops::WriteIntOrError(*Rec(oper), value, isError);
    }
    void WriteRangeRef(XlfOper& oper, const XlfRangeRef& range) const override {
        if (Rec(oper) && !Ops::WriteRangeRef(*Rec(oper), range)) SetRecord(oper, nullptr);
    }
    void WriteCellMatrix(XlfOper& oper, const CellMatrix& matrix) const override {
        if (Rec(oper)) Ops::WriteCellMatrix(*Rec(oper), matrix);
    }
    void WriteWideString(XlfOper& oper, const std::wstring& text) const override {
        if (Rec(oper)) Ops::WriteWideString(*Rec(oper), text);
    }
    void WriteCString(XlfOper& oper, const char* text) const override {
        if (Rec(oper)) Ops::WriteCString(*Rec(oper), text);
    }
    void WriteBool(XlfOper& oper, bool value) const override {
        if (Rec(oper)) Ops::WriteBool(*Rec(oper), value);
    }
    void WriteShort(XlfOper& oper, short value) const override {
        if (Rec(oper)) Ops::WriteShort(*Rec(oper), value);
    }
    void WriteDouble(XlfOper& oper, double value) const override {
        if (Rec(oper)) Ops::WriteDouble(*Rec(oper), value);
    }
    void WritePointer(XlfOper& oper, void* record) const override { SetRecord(oper, record); }
    void WriteElement(XlfOper& oper, int row, int column, const XlfOper& value) const override {
        if (!Rec(oper)) ThrowNotArray(0);
        Ops::WriteElement(*Rec(oper), row, column, Rec(value));
    }
    void WriteError(XlfOper& oper, std::uint16_t code) const override {
        if (Rec(oper)) Ops::WriteError(*Rec(oper), code);
    }
    int CoerceTo(const XlfOper& oper, int typeMask, XlfOper& result) const override {
        if (!Rec(oper) || !Rec(result)) return xlretInvXloper;
        return Ops::Coerce(Rec(oper), typeMask, Rec(result));
    }
    int AllocateRecord(XlfOper& oper) const override {
        SetRecord(oper, Ops::NewRecord());
        return Rec(oper) ? xlretSuccess : xlretInvXloper;
    }
    int ReadDoubleVector(const XlfOper& oper, std::vector<double>& vector,
                         VectorOrder order) const override {
        return Ops::ReadDoubleVector(Rec(oper), vector, order);
    }
    int ReadDouble(const XlfOper& oper, double& value) const override {
        return Ops::ReadDouble(Rec(oper), value);
    }
    int ReadShort(const XlfOper& oper, short& value) const override {
        return Ops::ReadShort(Rec(oper), value);
    }
    int ReadBool(const XlfOper& oper, bool& value) const override {
        return Ops::ReadBool(Rec(oper), value);
    }
    int ReadCString(const XlfOper& oper, char*& text) const override {
        return Ops::ReadCString(Rec(oper), text);
    }
    int ReadWideString(const XlfOper& oper, std::wstring& text) const override {
        return Ops::ReadWideString(Rec(oper), text);
    }
    int ReadCellMatrix(const XlfOper& oper, CellMatrix& matrix) const override {
        return Ops::ReadCellMatrix(Rec(oper), matrix);
    }
    int ReadMatrix(const XlfOper& oper, RealMatrix& matrix) const override {
        return Ops::ReadMatrix(Rec(oper), matrix);
    }
    int ReadRangeRef(const XlfOper& oper, XlfRangeRef& range) const override {
        return Ops::ReadRangeRef(Rec(oper), range);
    }
    int ReadErrorCode(const XlfOper& oper, std::uint16_t& code) const override {
        return Ops::ReadErrorCode(Rec(oper), code);
    }
    int TypeCode(const XlfOper& oper) const override { return Ops::TypeWord(Rec(oper)); }

  private:
    static bool Has(const XlfOper& oper, int bit) { return (Ops::TypeWord(Rec(oper)) & bit) != 0; }
};

}  // namespace detail
}  // namespace xlf
