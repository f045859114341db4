#include "XlfOper4.h"

#include "XlfOperImplBase.h"

namespace xlf {
namespace {

struct Oper4Traits : detail::Excel4Form {
    static constexpr const char* kFile = "XlfOper4";
    static constexpr int kFreeLine = 81;
    static constexpr int kCStringLine = 968;
    static constexpr int kWideStringLine = 0;  // XlfOper4 writes no wide strings
    static constexpr bool kWideCellIsWide = false;
    static constexpr bool kWideCellAsText = false;
    static constexpr bool kElementFailureThrows = true;
};

using Ops = detail::RecordOps<Oper4Traits>;

XLOPER* NewRecord() {
    return Ops::NewRecord();
}

void Report(int code, int* err) {
    if (err)
        *err = code;
    else
        XlfOper4::CheckReturnCode(code);
}

void Report(int code, const std::string& context, int* err) {
    if (err)
        *err = code;
    else
        XlfOper4::CheckReturnCode(code, context);
}

}  // namespace

XlfOper4::XlfOper4() : record_(NewRecord()) {}

XlfOper4::XlfOper4(XLOPER* record) : record_(record) {}

XlfOper4::XlfOper4(const XlfOper4& other) : record_(other.record_) {}

XlfOper4::XlfOper4(double value) : record_(NewRecord()) {
    if (record_) Ops::WriteDouble(*record_, value);
}

XlfOper4::XlfOper4(const char* text) : record_(NewRecord()) {
    if (record_) Ops::WriteCString(*record_, text);
}

XlfOper4::XlfOper4(const std::string& text) : XlfOper4(text.c_str()) {}

XlfOper4::XlfOper4(short value) : record_(NewRecord()) {
    if (record_) Ops::WriteShort(*record_, value);
}

XlfOper4::XlfOper4(short value, bool isError) : record_(NewRecord()) {
    if (record_) Ops::WriteIntOrError(*record_, value, isError);
}

XlfOper4::XlfOper4(bool value) : record_(NewRecord()) {
    if (record_) Ops::WriteBool(*record_, value);
}

XlfOper4& XlfOper4::operator=(const XlfOper4& other) {
    if (record_ != other.record_) {
        Ops::Release(record_);
        record_ = other.record_;
    }
    return *this;
}

XlfOper4::~XlfOper4() {
    Ops::Release(record_);
}

int XlfOper4::CheckReturnCode(int code) {
    return detail::CheckHostCode(code, nullptr, "invalid number of argument");
}

int XlfOper4::CheckReturnCode(int code, const std::string& context) {
    return detail::CheckHostCode(code, &context, "invalid number of argument");
}

double XlfOper4::ToDouble(int* err) const {
    double value = 0.0;
    Report(ReadDouble(value), err);
    return value;
}

double XlfOper4::ToDouble(const std::string& context, int* err) const {
    double value = 0.0;
    Report(ReadDouble(value), "Conversion to double " + context, err);
    return value;
}

std::vector<double> XlfOper4::ToDoubleVector(VectorOrder order, int* err) const {
    std::vector<double> vector;
    Report(ReadDoubleVector(vector, order), err);
    return vector;
}

std::vector<double> XlfOper4::ToDoubleVector(const std::string& context, VectorOrder order,
                                             int* err) const {
    std::vector<double> vector;
    Report(ReadDoubleVector(vector, order), context + " conversion to double vector", err);
    return vector;
}

std::vector<double> XlfOper4::ToArray(VectorOrder order, int* err) const {
    return ToDoubleVector(order, err);
}

std::vector<double> XlfOper4::ToArray(const std::string& context, VectorOrder order,
                                      int* err) const {
    return ToDoubleVector(context, order, err);
}

short XlfOper4::ToShort(int* err) const {
    short value = 0;
    Report(ReadShort(value), err);
    return value;
}

short XlfOper4::ToShort(const std::string& context, int* err) const {
    short value = 0;
    Report(ReadShort(value), context + " conversion to short failed", err);
    return value;
}

bool XlfOper4::ToBool(int* err) const {
    bool value = false;
    Report(ReadBool(value), err);
    return value;
}

bool XlfOper4::ToBool(const std::string& context, int* err) const {
    bool value = false;
    Report(ReadBool(value), context + " conversion to bool failed", err);
    return value;
}

RealMatrix XlfOper4::ToMatrix(int* err) const {
    RealMatrix matrix(0, 0);
    Report(ReadMatrix(matrix), " conversion to matrix failed", err);
    return matrix;
}

RealMatrix XlfOper4::ToMatrix(const std::string& context, int* err) const {
    RealMatrix matrix(0, 0);
    Report(ReadMatrix(matrix), context + " conversion to matrix failed", err);
    return matrix;
}

CellMatrix XlfOper4::ToCellMatrix(int* err) const {
    CellMatrix matrix;
    Report(ReadCellMatrix(matrix), " conversion to cell matrix failed", err);
    return matrix;
}

CellMatrix XlfOper4::ToCellMatrix(const std::string& context, int* err) const {
    CellMatrix matrix;
    Report(ReadCellMatrix(matrix), context + " conversion to cell matrix failed", err);
    return matrix;
}

const char* XlfOper4::ToCString(int* err) const {
    char* text = nullptr;
    Report(ReadCString(text), err);
    return text;
}

const char* XlfOper4::ToCString(const std::string& context, int* err) const {
    char* text = nullptr;
    Report(ReadCString(text), context + " conversion to char* failed", err);
    return text;
}

XlfRangeRef XlfOper4::ToRangeRef(int* err) const {
    XlfRangeRef range;
    Report(ReadRangeRef(range), err);
    return range;
}

XlfOper4& XlfOper4::Assign(const CellMatrix& matrix) {
    if (record_) Ops::WriteCellMatrix(*record_, matrix);
    return *this;
}

XlfOper4& XlfOper4::Assign(const RealMatrix& matrix) {
    if (record_ && matrix.Rows() && matrix.Columns())
        Ops::WriteNumbers(*record_, matrix[0], matrix.Rows(), matrix.Columns(), matrix.Columns());
    return *this;
}

XlfOper4& XlfOper4::Assign(const std::vector<double>& column) {
    if (record_ && !column.empty())
        Ops::WriteNumbers(*record_, column.data(), static_cast<std::uint32_t>(column.size()), 1, 1);
    return *this;
}

XlfOper4& XlfOper4::Assign(const XlfRangeRef& range) {
    if (record_ && !Ops::WriteRangeRef(*record_, range)) record_ = nullptr;
    return *this;
}

XlfOper4& XlfOper4::WriteArrayShape(std::uint16_t rows, std::uint16_t columns) {
    if (record_) Ops::WriteArrayShape(*record_, rows, columns);
    return *this;
}

XlfOper4& XlfOper4::WriteElement(std::uint16_t row, std::uint16_t column, const XlfOper4& value) {
    if (!record_) detail::ThrowNotArray(0);
    Ops::WriteElement(*record_, row, column, value.record_);
    return *this;
}

XlfOper4 XlfOper4::ElementAt(std::uint16_t row, std::uint16_t column) const {
    if (!record_) detail::ThrowNotArray(0);
    return XlfOper4(Ops::ElementAt(*record_, row, column));
}

int XlfOper4::RowCount() const {
    if (!record_) detail::ThrowNotArray(0);
    return Ops::Rows(*record_);
}

int XlfOper4::ColumnCount() const {
    if (!record_) detail::ThrowNotArray(0);
    return Ops::Columns(*record_);
}

int XlfOper4::TypeCode() const {
    return Ops::TypeWord(record_);
}

int XlfOper4::ReadDoubleVector(std::vector<double>& vector, VectorOrder order) const {
    return Ops::ReadDoubleVector(record_, vector, order);
}
int XlfOper4::ReadDouble(double& value) const {
    return Ops::ReadDouble(record_, value);
}
int XlfOper4::ReadShort(short& value) const {
    return Ops::ReadShort(record_, value);
}
int XlfOper4::ReadBool(bool& value) const {
    return Ops::ReadBool(record_, value);
}
int XlfOper4::ReadCString(char*& text) const {
    return Ops::ReadCString(record_, text);
}
int XlfOper4::ReadCellMatrix(CellMatrix& matrix) const {
    return Ops::ReadCellMatrix(record_, matrix);
}
int XlfOper4::ReadMatrix(RealMatrix& matrix) const {
    return Ops::ReadMatrix(record_, matrix);
}
int XlfOper4::ReadRangeRef(XlfRangeRef& range) const {
    return Ops::ReadRangeRef(record_, range);
}
int XlfOper4::ReadErrorCode(std::uint16_t& code) const {
    return Ops::ReadErrorCode(record_, code);
}

}  // namespace xlf
