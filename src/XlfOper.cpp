#include "XlfOper.h"

#include "XlfExcel.h"
#include "XlfOperImpl.h"
#include "XlfOperImpl12.h"
#include "XlfOperImpl4.h"

namespace xlf {

const XlfOperImpl& XlfOper::Impl() {
    // Every operation goes through the implementation chosen when XlfExcel loads; loading
    // here keeps a value made before the first load from reaching a null implementation.
    if (!XlfOperImpl::Current()) XlfExcel::Current();
    return *XlfOperImpl::Current();
}

XlfOper::XlfOper() {
    Impl().AllocateRecord(*this);
}

XlfOper::XlfOper(XLOPER* record) : record_(record) {}

XlfOper::XlfOper(XLOPER12* record) : record_(record) {}

XlfOper::XlfOper(void* record) : record_(record) {}

XlfOper::XlfOper(const XlfOper& other) {
    Impl().Share(*this, other);
}

XlfOper::XlfOper(double value) {
    Impl().AllocateRecord(*this);
    Impl().WriteDouble(*this, value);
}

XlfOper::XlfOper(bool value) {
    Impl().AllocateRecord(*this);
    Impl().WriteBool(*this, value);
}

XlfOper::XlfOper(short value) {
    Impl().AllocateRecord(*this);
    Impl().WriteShort(*this, value);
}

XlfOper::XlfOper(short value, bool isError) {
    Impl().AllocateRecord(*this);
    Impl().WriteIntOrError(*this, value, isError);
}

XlfOper::XlfOper(const char* text) {
    Impl().AllocateRecord(*this);
    Impl().WriteCString(*this, text);
}

XlfOper::XlfOper(const std::string& text) {
    Impl().AllocateRecord(*this);
    Impl().WriteCString(*this, text.c_str());
}

XlfOper::XlfOper(const std::wstring& text) {
    Impl().AllocateRecord(*this);
    Impl().WriteWideString(*this, text);
}

XlfOper::XlfOper(const CellMatrix& matrix) {
    Impl().AllocateRecord(*this);
    Impl().WriteCellMatrix(*this, matrix);
}

XlfOper& XlfOper::operator=(const XlfOper& other) {
    if (record_ != other.record_) {
        Impl().Release(*this);
        Impl().Share(*this, other);
    }
    return *this;
}

XlfOper::~XlfOper() {
    if (record_ && XlfOperImpl::Current()) XlfOperImpl::Current()->Release(*this);
}

XlfOper XlfOper::MakeError(std::uint16_t code) {
    XlfOper error;
    Impl().WriteError(error, code);
    return error;
}

int XlfOper::CheckReturnCode(int code) {
    return detail::CheckHostCode(code, nullptr, "invalid number of arguments");
}

int XlfOper::CheckReturnCode(int code, const std::string& context) {
    return detail::CheckHostCode(code, &context, "invalid number of arguments");
}

XlfOper& XlfOper::Assign(const CellMatrix& matrix) {
    return WriteCellMatrix(matrix);
}

XlfOper& XlfOper::Assign(const RealMatrix& matrix) {
    if (matrix.Rows() == 0 || matrix.Columns() == 0) return *this;
    return WriteCellMatrix(CellMatrix(matrix));
}

// A column of numbers is written straight into the array: the result is the array a
// CellMatrix column would give, without building one cell per number on the heap.
XlfOper& XlfOper::Assign(const std::vector<double>& column) {
    if (column.empty() || !record_) return *this;
    if (XlfExcel::Current().IsExcel12())
        detail::RecordOps<detail::Excel12ImplTraits>::WriteNumbers(
            *static_cast<XLOPER12*>(record_), column.data(),
            static_cast<std::uint32_t>(column.size()), 1, 1);
    else
        detail::RecordOps<detail::Excel4ImplTraits>::WriteNumbers(
            *static_cast<XLOPER*>(record_), column.data(),
            static_cast<std::uint32_t>(column.size()), 1, 1);
    return *this;
}

XlfOper& XlfOper::Assign(const XlfRangeRef& range) {
    return WriteRangeRef(range);
}

void* XlfOper::HostPointer() const {
    return Impl().HostPointer(*this);
}

int XlfOper::TypeCode() const {
    return Impl().TypeCode(*this);
}

std::string XlfOper::TypeCodeName() const {
    switch (TypeCode()) {
        case xltypeNum:
            return "xltypeNum";
        case xltypeStr:
            return "xltypeStr";
        case xltypeBool:
            return "xltypeBool";
        case xltypeRef:
            return "xltypeRef";
        case xltypeErr:
            return "xltypeErr";
        case xltypeMulti:
            return "xltypeMulti";
        case xltypeMissing:
            return "xltypeMissing";
        case xltypeNil:
            return "xltypeNil";
        case xltypeSRef:
            return "xltypeSRef";
        case xltypeInt:
            return "xltypeInt";
        default:
            return "unknown";
    }
}

namespace {

// Stores the code for the caller, or lets CheckReturnCode turn it into an exception.
void Report(int code, int* err) {
    if (err)
        *err = code;
    else
        XlfOper::CheckReturnCode(code);
}

void Report(int code, const std::string& context, int* err) {
    if (err)
        *err = code;
    else
        XlfOper::CheckReturnCode(code, context);
}

}  // namespace

double XlfOper::ToDouble(int* err) const {
    double value = 0.0;
    Report(ReadDouble(value), err);
    return value;
}

double XlfOper::ToDouble(const std::string& context, int* err) const {
    double value = 0.0;
    Report(ReadDouble(value), "Conversion to double " + context, err);
    return value;
}

std::vector<double> XlfOper::ToDoubleVector(VectorOrder order, int* err) const {
    std::vector<double> vector;
    Report(ReadDoubleVector(vector, order), err);
    return vector;
}

std::vector<double> XlfOper::ToDoubleVector(const std::string& context, VectorOrder order,
                                            int* err) const {
    std::vector<double> vector;
    Report(ReadDoubleVector(vector, order), context + " conversion to double vector", err);
    return vector;
}

std::vector<double> XlfOper::ToArray(VectorOrder order, int* err) const {
    return ToDoubleVector(order, err);
}

std::vector<double> XlfOper::ToArray(const std::string& context, VectorOrder order,
                                     int* err) const {
    return ToDoubleVector(context, order, err);
}

short XlfOper::ToShort(int* err) const {
    short value = 0;
    Report(ReadShort(value), err);
    return value;
}

short XlfOper::ToShort(const std::string& context, int* err) const {
    short value = 0;
    Report(ReadShort(value), context + " conversion to short failed", err);
    return value;
}

bool XlfOper::ToBool(int* err) const {
    bool value = false;
    Report(ReadBool(value), err);
    return value;
}

bool XlfOper::ToBool(const std::string& context, int* err) const {
    bool value = false;
    Report(ReadBool(value), context + " conversion to bool failed", err);
    return value;
}

RealMatrix XlfOper::ToMatrix(int* err) const {
    RealMatrix matrix(0, 0);
    Report(ReadMatrix(matrix), " conversion to matrix failed", err);
    return matrix;
}

RealMatrix XlfOper::ToMatrix(const std::string& context, int* err) const {
    RealMatrix matrix(0, 0);
    Report(ReadMatrix(matrix), context + " conversion to matrix failed", err);
    return matrix;
}

CellMatrix XlfOper::ToCellMatrix(int* err) const {
    CellMatrix matrix;
    Report(ReadCellMatrix(matrix), " conversion to cell matrix failed", err);
    return matrix;
}

CellMatrix XlfOper::ToCellMatrix(const std::string& context, int* err) const {
    CellMatrix matrix;
    Report(ReadCellMatrix(matrix), context + " conversion to cell matrix failed", err);
    return matrix;
}

const char* XlfOper::ToCString(int* err) const {
    char* text = nullptr;
    Report(ReadCString(text), err);
    return text;
}

const char* XlfOper::ToCString(const std::string& context, int* err) const {
    char* text = nullptr;
    Report(ReadCString(text), context + " conversion to char* failed", err);
    return text;
}

std::wstring XlfOper::ToWideString(int* err) const {
    std::wstring text;
    Report(ReadWideString(text), err);
    return text;
}

XlfRangeRef XlfOper::ToRangeRef(int* err) const {
    XlfRangeRef range;
    Report(ReadRangeRef(range), err);
    return range;
}

void XlfOper::Release() {
    Impl().Release(*this);
}
void XlfOper::FreeHostMemory() {
    Impl().FreeHostMemory(*this);
}
void XlfOper::Share(const XlfOper& other) {
    Impl().Share(*this, other);
}
XlfOper XlfOper::ElementAt(int row, int column) const {
    return Impl().ElementAt(*this, row, column);
}
XLOPER* XlfOper::Xloper4Pointer() const {
    return Impl().Xloper4Pointer(*this);
}
XLOPER12* XlfOper::Xloper12Pointer() const {
    return Impl().Xloper12Pointer(*this);
}
bool XlfOper::IsMissingValue() const {
    return Impl().IsMissingValue(*this);
}
bool XlfOper::IsErrorValue() const {
    return Impl().IsErrorValue(*this);
}
bool XlfOper::IsRefValue() const {
    return Impl().IsRefValue(*this);
}
bool XlfOper::IsSRefValue() const {
    return Impl().IsSRefValue(*this);
}
bool XlfOper::IsArrayValue() const {
    return Impl().IsArrayValue(*this);
}
bool XlfOper::IsNumberValue() const {
    return Impl().IsNumberValue(*this);
}
bool XlfOper::IsStringValue() const {
    return Impl().IsStringValue(*this);
}
bool XlfOper::IsNilValue() const {
    return Impl().IsNilValue(*this);
}
bool XlfOper::IsBoolValue() const {
    return Impl().IsBoolValue(*this);
}
bool XlfOper::IsIntValue() const {
    return Impl().IsIntValue(*this);
}
int XlfOper::RowCount() const {
    return Impl().RowCount(*this);
}
int XlfOper::ColumnCount() const {
    return Impl().ColumnCount(*this);
}
void* XlfOper::RawPointer() const {
    return Impl().RawPointer(*this);
}

XlfOper& XlfOper::WriteArrayShape(int rows, int columns) {
    Impl().WriteArrayShape(*this, rows, columns);
    return *this;
}
XlfOper& XlfOper::WriteIntOrError(short value, bool isError) {
    Impl().WriteIntOrError(*this, value, isError);
    return *this;
}
XlfOper& XlfOper::WriteRangeRef(const XlfRangeRef& range) {
    Impl().WriteRangeRef(*this, range);
    return *this;
}
XlfOper& XlfOper::WriteCellMatrix(const CellMatrix& matrix) {
    Impl().WriteCellMatrix(*this, matrix);
    return *this;
}
XlfOper& XlfOper::WriteWideString(const std::wstring& text) {
    Impl().WriteWideString(*this, text);
    return *this;
}
XlfOper& XlfOper::WriteCString(const char* text) {
    Impl().WriteCString(*this, text);
    return *this;
}
XlfOper& XlfOper::WriteBool(bool value) {
    Impl().WriteBool(*this, value);
    return *this;
}
XlfOper& XlfOper::WriteShort(short value) {
    Impl().WriteShort(*this, value);
    return *this;
}
XlfOper& XlfOper::WriteDouble(double value) {
    Impl().WriteDouble(*this, value);
    return *this;
}
XlfOper& XlfOper::WritePointer(void* record) {
    Impl().WritePointer(*this, record);
    return *this;
}
XlfOper& XlfOper::WriteElement(int row, int column, const XlfOper& value) {
    Impl().WriteElement(*this, row, column, value);
    return *this;
}
XlfOper& XlfOper::WriteError(std::uint16_t code) {
    Impl().WriteError(*this, code);
    return *this;
}
int XlfOper::CoerceTo(int typeMask, XlfOper& result) const {
    return Impl().CoerceTo(*this, typeMask, result);
}
int XlfOper::AllocateRecord() {
    return Impl().AllocateRecord(*this);
}

int XlfOper::ReadDoubleVector(std::vector<double>& vector, VectorOrder order) const {
    return Impl().ReadDoubleVector(*this, vector, order);
}
int XlfOper::ReadDouble(double& value) const {
    return Impl().ReadDouble(*this, value);
}
int XlfOper::ReadShort(short& value) const {
    return Impl().ReadShort(*this, value);
}
int XlfOper::ReadBool(bool& value) const {
    return Impl().ReadBool(*this, value);
}
int XlfOper::ReadCString(char*& text) const {
    return Impl().ReadCString(*this, text);
}
int XlfOper::ReadWideString(std::wstring& text) const {
    return Impl().ReadWideString(*this, text);
}
int XlfOper::ReadCellMatrix(CellMatrix& matrix) const {
    return Impl().ReadCellMatrix(*this, matrix);
}
int XlfOper::ReadMatrix(RealMatrix& matrix) const {
    return Impl().ReadMatrix(*this, matrix);
}
int XlfOper::ReadRangeRef(XlfRangeRef& range) const {
    return Impl().ReadRangeRef(*this, range);
}
int XlfOper::ReadErrorCode(std::uint16_t& code) const {
    return Impl().ReadErrorCode(*this, code);
}

}  // namespace xlf
