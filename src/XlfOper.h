// XlfOper: the handle on one Excel value, in whichever record form the add-in runs.
//
// An XlfOper holds only the address of its value record (an XLOPER in Excel-4 mode, an
// XLOPER12 in Excel-12 mode) and delegates every operation to the current implementation,
// XlfOperImpl4 or XlfOperImpl12, which XlfExcel chooses once when it loads.
//
// Warnings:
// - Records the layer builds live in the temporary memory of XlfExcel: they stay valid only
//   until the next worksheet call releases that memory.
// - Copies share one record. Memory the host allocated (Excel-owned bit set) goes back to the
//   host through xlFree when the first holder is destroyed; the bit is cleared first, so it
//   goes back once, and the other holders must not read the value's text or array after that.
// - Conversions without a return-code pointer throw through CheckReturnCode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CellMatrix.h"
#include "VectorOrder.h"
#include "XlRecords.h"
#include "XlfRangeRef.h"

namespace xlf {

class XlfOperImpl;

class XlfOper {
  public:
    XlfOper();  // xltypeNil
    // An argument received from Excel: the record is neither copied nor allocated.
    XlfOper(XLOPER* record);
    XlfOper(XLOPER12* record);
    XlfOper(void* record);
    XlfOper(const XlfOper& other);  // shares the record
    XlfOper(double value);
    XlfOper(bool value);
    XlfOper(short value);
    // xltypeErr holding value when isError, else xltypeInt.
    XlfOper(short value, bool isError);
    XlfOper(const char* text);
    XlfOper(const std::string& text);
    XlfOper(const std::wstring& text);
    XlfOper(const CellMatrix& matrix);
    // Gives back Excel-owned memory of the record this value held, then shares other's.
    XlfOper& operator=(const XlfOper& other);
    ~XlfOper();

    static XlfOper MakeError(std::uint16_t code);

    // Turns a host return code into an exception (see the table in XlfOper.cpp); codes with
    // none of the tested bits are returned unchanged.
    static int CheckReturnCode(int code);
    static int CheckReturnCode(int code, const std::string& context);

    XlfOper& Assign(const CellMatrix& matrix);
    XlfOper& Assign(const RealMatrix& matrix);
    XlfOper& Assign(const std::vector<double>& column);
    XlfOper& Assign(const XlfRangeRef& range);

    // The record's address, handed to Excel as a result or a request argument.
    void* HostPointer() const;
    // The record's type word with any extra bits; 0 for a null record.
    int TypeCode() const;
    // The name of one of the ten type codes; "unknown" for anything else, including a type
    // word carrying the Excel-owned bit.
    std::string TypeCodeName() const;

    // Conversions. With a return-code pointer the code is stored and nothing is thrown.
    double ToDouble(int* err = nullptr) const;
    double ToDouble(const std::string& context, int* err = nullptr) const;
    std::vector<double> ToDoubleVector(VectorOrder order = OneDimensional,
                                       int* err = nullptr) const;
    std::vector<double> ToDoubleVector(const std::string& context,
                                       VectorOrder order = OneDimensional,
                                       int* err = nullptr) const;
    std::vector<double> ToArray(VectorOrder order = OneDimensional, int* err = nullptr) const;
    std::vector<double> ToArray(const std::string& context, VectorOrder order = OneDimensional,
                                int* err = nullptr) const;
    short ToShort(int* err = nullptr) const;
    short ToShort(const std::string& context, int* err = nullptr) const;
    bool ToBool(int* err = nullptr) const;
    bool ToBool(const std::string& context, int* err = nullptr) const;
    RealMatrix ToMatrix(int* err = nullptr) const;
    RealMatrix ToMatrix(const std::string& context, int* err = nullptr) const;
    CellMatrix ToCellMatrix(int* err = nullptr) const;
    CellMatrix ToCellMatrix(const std::string& context, int* err = nullptr) const;
    // NUL-terminated text in temporary memory.
    const char* ToCString(int* err = nullptr) const;
    const char* ToCString(const std::string& context, int* err = nullptr) const;
    std::wstring ToWideString(int* err = nullptr) const;
    XlfRangeRef ToRangeRef(int* err = nullptr) const;

    // Operations forwarded to the current implementation, named as its slots.
    void Release();
    void FreeHostMemory();
    void Share(const XlfOper& other);
    XlfOper ElementAt(int row, int column) const;
    XLOPER* Xloper4Pointer() const;
    XLOPER12* Xloper12Pointer() const;
    bool IsMissingValue() const;
    bool IsErrorValue() const;
    bool IsRefValue() const;
    bool IsSRefValue() const;
    bool IsArrayValue() const;
    bool IsNumberValue() const;
    bool IsStringValue() const;
    bool IsNilValue() const;
    bool IsBoolValue() const;
    bool IsIntValue() const;
    int RowCount() const;
    int ColumnCount() const;
    void* RawPointer() const;
    XlfOper& WriteArrayShape(int rows, int columns);
    XlfOper& WriteIntOrError(short value, bool isError);
    XlfOper& WriteRangeRef(const XlfRangeRef& range);
    XlfOper& WriteCellMatrix(const CellMatrix& matrix);
    XlfOper& WriteWideString(const std::wstring& text);
    XlfOper& WriteCString(const char* text);
    XlfOper& WriteBool(bool value);
    XlfOper& WriteShort(short value);
    XlfOper& WriteDouble(double value);
    XlfOper& WritePointer(void* record);
    XlfOper& WriteElement(int row, int column, const XlfOper& value);
    XlfOper& WriteError(std::uint16_t code);
    int CoerceTo(int typeMask, XlfOper& result) const;
    int AllocateRecord();

    // The reads behind the conversions: each returns the host return code.
    int ReadDoubleVector(std::vector<double>& vector, VectorOrder order) const;
    int ReadDouble(double& value) const;
    int ReadShort(short& value) const;
    int ReadBool(bool& value) const;
    int ReadCString(char*& text) const;
    int ReadWideString(std::wstring& text) const;
    int ReadCellMatrix(CellMatrix& matrix) const;
    int ReadMatrix(RealMatrix& matrix) const;
    int ReadRangeRef(XlfRangeRef& range) const;
    int ReadErrorCode(std::uint16_t& code) const;

  private:
    friend class XlfOperImpl;
    static const XlfOperImpl& Impl();

    void* record_ = nullptr;
};

}  // namespace xlf
