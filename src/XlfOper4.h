// XlfOper4: a handle on one Excel-4 value (XLOPER), whatever mode the add-in runs in.
//
// Registration builds the arguments of xlfRegister with it, since they always travel through
// Excel4v, and reads the number xlfRegister returns. It behaves as XlfOper does in Excel-4
// mode, without virtual dispatch, and its requests (xlFree, xlCoerce) always go through
// Excel4v, so it is sound in Excel-12 mode too. It differs from XlfOper in these points:
// - CheckReturnCode says "invalid number of argument" for code 4 without a context.
// - In a double-vector read, an array element that is not exactly a number and fails to
//   convert throws as XlfOper::CheckReturnCode does, even when a return-code pointer is given.
// - Writing a CellMatrix turns a wide-text cell, like an empty one, into an empty string.
// - No wide strings, no type predicates, no type names.
//
// Warning: copies share one record, as XlfOper's do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CellMatrix.h"
#include "VectorOrder.h"
#include "XlRecords.h"
#include "XlfRangeRef.h"

namespace xlf {

class XlfOper4 {
  public:
    XlfOper4();  // xltypeNil
    // A record received from Excel or an element of an array: neither copied nor allocated.
    XlfOper4(XLOPER* record);
    XlfOper4(const XlfOper4& other);  // shares the record
    XlfOper4(double value);
    XlfOper4(const char* text);
    XlfOper4(const std::string& text);
    XlfOper4(short value);
    XlfOper4(short value, bool isError);
    XlfOper4(bool value);
    // Gives back Excel-owned memory of the record this value held, then shares other's.
    XlfOper4& operator=(const XlfOper4& other);
    ~XlfOper4();

    static int CheckReturnCode(int code);
    static int CheckReturnCode(int code, const std::string& context);

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
    const char* ToCString(int* err = nullptr) const;
    const char* ToCString(const std::string& context, int* err = nullptr) const;
    XlfRangeRef ToRangeRef(int* err = nullptr) const;

    XlfOper4& Assign(const CellMatrix& matrix);
    XlfOper4& Assign(const RealMatrix& matrix);
    XlfOper4& Assign(const std::vector<double>& column);
    XlfOper4& Assign(const XlfRangeRef& range);
    XlfOper4& WriteArrayShape(std::uint16_t rows, std::uint16_t columns);
    XlfOper4& WriteElement(std::uint16_t row, std::uint16_t column, const XlfOper4& value);

    XlfOper4 ElementAt(std::uint16_t row, std::uint16_t column) const;
    int RowCount() const;
    int ColumnCount() const;

    int TypeCode() const;
    XLOPER* HostPointer() const { return record_; }

  private:
    int ReadDoubleVector(std::vector<double>& vector, VectorOrder order) const;
    int ReadDouble(double& value) const;
    int ReadShort(short& value) const;
    int ReadBool(bool& value) const;
    int ReadCString(char*& text) const;
    int ReadCellMatrix(CellMatrix& matrix) const;
    int ReadMatrix(RealMatrix& matrix) const;
    int ReadRangeRef(XlfRangeRef& range) const;
    int ReadErrorCode(std::uint16_t& code) const;

    XLOPER* record_ = nullptr;
};

}  // namespace xlf
