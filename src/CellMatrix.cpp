#include "CellMatrix.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace xlf {

namespace {

const char* const kNotString = "non string cell asked to be a string";
const char* const kNotWideString = "non wstring cell asked to be a wstring";
const char* const kNotNumber = "non number cell asked to be a number";
const char* const kNotBoolean = "non boolean cell asked to be a bool";
const char* const kNotError = "non error cell asked to be an error";

// `tolower` is defined only for values an unsigned char can hold (and EOF): a plain char
// with its high bit set would be negative, and a wide character may exceed 255. Characters
// outside that range have no lower case in the C library's sense and pass unchanged.
int LowerCase(unsigned long c) {
    return c <= 0xFF ? std::tolower(static_cast<int>(c)) : static_cast<int>(c);
}

// Keeps the low 8 bits of each wide character.
std::string Narrow(const std::wstring& text) {
    std::string narrow(text.size(), '\0');
    std::transform(text.begin(), text.end(), narrow.begin(), [](wchar_t c) {
        return static_cast<char>(static_cast<unsigned char>(static_cast<unsigned long>(c) & 0xFF));
    });
    return narrow;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// RealMatrix

void RealMatrix::Allocate(std::uint32_t rows, std::uint32_t columns,
                          std::unique_ptr<double*[]>& rowTable, std::unique_ptr<double[]>& data) {
    const std::size_t count = static_cast<std::size_t>(rows) * columns;
    if (count == 0) {
        rowTable.reset();
        data.reset();
        return;
    }
    data.reset(new double[count]());
    rowTable.reset(new double*[rows]);
    for (std::uint32_t i = 0; i < rows; ++i) rowTable[i] = data.get() + std::size_t{i} * columns;
}

RealMatrix::RealMatrix(std::uint32_t rows, std::uint32_t columns) : rows_(rows), columns_(columns) {
    Allocate(rows_, columns_, rowTable_, data_);
}

RealMatrix::RealMatrix(const RealMatrix& other) : rows_(other.rows_), columns_(other.columns_) {
    Allocate(rows_, columns_, rowTable_, data_);
    if (data_) std::copy_n(other.data_.get(), std::size_t{rows_} * columns_, data_.get());
}

RealMatrix& RealMatrix::operator=(const RealMatrix& other) {
    if (this == &other) return *this;
    if (rows_ != other.rows_ || columns_ != other.columns_) {
        // Allocate before giving up the old storage, so that a failed allocation leaves this
        // matrix as it was rather than with dimensions that do not match its storage.
        std::unique_ptr<double*[]> rowTable;
        std::unique_ptr<double[]> data;
        Allocate(other.rows_, other.columns_, rowTable, data);
        rowTable_ = std::move(rowTable);
        data_ = std::move(data);
        rows_ = other.rows_;
        columns_ = other.columns_;
    }
    if (data_) std::copy_n(other.data_.get(), std::size_t{rows_} * columns_, data_.get());
    return *this;
}

void RealMatrix::Resize(std::uint32_t rows, std::uint32_t columns) {
    if (rows == rows_ && columns == columns_) return;
    std::unique_ptr<double*[]> rowTable;
    std::unique_ptr<double[]> data;
    Allocate(rows, columns, rowTable, data);
    rowTable_ = std::move(rowTable);
    data_ = std::move(data);
    rows_ = rows;
    columns_ = columns;
}

// ---------------------------------------------------------------------------------------
// MatrixCell

MatrixCell::MatrixCell() = default;

MatrixCell::MatrixCell(const std::string& text) : kind_(CellKind::Text), text_(text) {}

MatrixCell::MatrixCell(const char* text)
    : kind_(CellKind::Text), text_(text != nullptr ? text : "") {}

MatrixCell::MatrixCell(const std::wstring& text) : kind_(CellKind::WideText), wideText_(text) {}

MatrixCell::MatrixCell(double number) : kind_(CellKind::Number), number_(number) {}

MatrixCell::MatrixCell(int number) : kind_(CellKind::Number), number_(number) {}

MatrixCell::MatrixCell(std::uint32_t code, bool isError)
    : kind_(isError ? CellKind::Error : CellKind::Number), number_(code), errorCode_(code) {}

MatrixCell::MatrixCell(bool value) : kind_(CellKind::Boolean), boolean_(value) {}

std::string MatrixCell::NarrowText() const {
    if (!IsText()) throw kNotString;
    return text_;
}

std::string MatrixCell::AsText() const {
    if (IsText()) return text_;
    if (IsWideText()) return Narrow(wideText_);
    throw kNotString;
}

const std::wstring& MatrixCell::WideText() const {
    if (!IsWideText()) throw kNotWideString;
    return wideText_;
}

std::wstring MatrixCell::CopyWideText() const {
    if (!IsWideText()) throw kNotString;
    return wideText_;
}

double MatrixCell::AsNumber() const {
    if (!IsNumber()) throw kNotNumber;
    return number_;
}

std::uint32_t MatrixCell::AsCount() const {
    if (!IsNumber()) throw kNotNumber;
    // Converting a double outside the target's range is undefined; clamp first. NaN fails
    // both comparisons and counts as 0.
    const double truncated = std::trunc(number_);
    if (!(truncated > 0.0)) return 0;
    if (truncated >= 4294967295.0) return 4294967295u;
    return static_cast<std::uint32_t>(truncated);
}

bool MatrixCell::AsBoolean() const {
    if (!IsBoolean()) throw kNotBoolean;
    return boolean_;
}

std::uint32_t MatrixCell::ErrorCode() const {
    if (!IsError()) throw kNotError;
    return errorCode_;
}

std::string MatrixCell::LowerCaseText() const {
    if (IsText()) {
        std::string lower(text_);
        for (char& c : lower) c = static_cast<char>(LowerCase(static_cast<unsigned char>(c)));
        return lower;
    }
    if (IsWideText()) {
        std::wstring lower(wideText_);
        for (wchar_t& c : lower) {
            c = static_cast<wchar_t>(LowerCase(static_cast<unsigned long>(c)));
        }
        return Narrow(lower);
    }
    throw kNotString;
}

std::wstring MatrixCell::LowerCaseWideText() const {
    if (IsWideText()) {
        std::wstring lower(wideText_);
        for (wchar_t& c : lower) {
            c = static_cast<wchar_t>(LowerCase(static_cast<unsigned long>(c)));
        }
        return lower;
    }
    if (IsText()) {
        // Widen through unsigned char so that bytes from 0x80 up become the characters of
        // the same value rather than negative wide characters.
        std::wstring lower(text_.size(), L'\0');
        std::transform(text_.begin(), text_.end(), lower.begin(), [](char c) {
            return static_cast<wchar_t>(LowerCase(static_cast<unsigned char>(c)));
        });
        return lower;
    }
    throw kNotString;
}

void MatrixCell::Clear() {
    *this = MatrixCell();
}

// ---------------------------------------------------------------------------------------
// CellMatrix

CellMatrix::CellMatrix() = default;

CellMatrix::CellMatrix(std::uint32_t rows, std::uint32_t columns)
    : cells_(rows, std::vector<MatrixCell>(columns)), rows_(rows), columns_(columns) {}

CellMatrix::CellMatrix(double number) : cells_(1, {MatrixCell(number)}), rows_(1), columns_(1) {}

CellMatrix::CellMatrix(int number) : cells_(1, {MatrixCell(number)}), rows_(1), columns_(1) {}

CellMatrix::CellMatrix(std::uint32_t number)
    : cells_(1, {MatrixCell(static_cast<double>(number))}), rows_(1), columns_(1) {}

CellMatrix::CellMatrix(const std::string& text)
    : cells_(1, {MatrixCell(text)}), rows_(1), columns_(1) {}

CellMatrix::CellMatrix(const char* text) : cells_(1, {MatrixCell(text)}), rows_(1), columns_(1) {}

CellMatrix::CellMatrix(const std::wstring& text)
    : cells_(1, {MatrixCell(text)}), rows_(1), columns_(1) {}

CellMatrix::CellMatrix(const std::vector<double>& column)
    : rows_(static_cast<std::uint32_t>(column.size())), columns_(1) {
    cells_.reserve(column.size());
    for (double value : column) cells_.push_back({MatrixCell(value)});
}

CellMatrix::CellMatrix(const RealMatrix& matrix)
    : cells_(matrix.Rows()), rows_(matrix.Rows()), columns_(matrix.Columns()) {
    for (std::uint32_t i = 0; i < rows_; ++i) {
        cells_[i].reserve(columns_);
        for (std::uint32_t j = 0; j < columns_; ++j) cells_[i].emplace_back(matrix[i][j]);
    }
}

MatrixCell& CellMatrix::Cell(std::uint32_t row, std::uint32_t column) {
    return cells_.at(row).at(column);
}

const MatrixCell& CellMatrix::Cell(std::uint32_t row, std::uint32_t column) const {
    return cells_.at(row).at(column);
}

void CellMatrix::AppendBelow(const CellMatrix& other) {
    const std::uint32_t width = std::max(columns_, other.columns_);
    // Copy first: other may be this matrix, and a failed copy leaves this one untouched.
    std::vector<std::vector<MatrixCell>> appended(other.cells_);
    for (auto& row : appended) row.resize(width);
    for (auto& row : cells_) row.resize(width);
    cells_.insert(cells_.end(), std::make_move_iterator(appended.begin()),
                  std::make_move_iterator(appended.end()));
    rows_ = static_cast<std::uint32_t>(cells_.size());
    columns_ = width;
}

CellMatrix CellMatrix::StackVertically(const CellMatrix& top, const CellMatrix& bottom) {
    CellMatrix result(top.rows_ + bottom.rows_, std::max(top.columns_, bottom.columns_));
    std::uint32_t r = 0;
    for (const auto* source : {&top, &bottom}) {
        for (const auto& row : source->cells_) {
            std::copy(row.begin(), row.end(), result.cells_[r].begin());
            ++r;
        }
    }
    return result;
}

}  // namespace xlf
