// CellMatrix: worksheet data held without Excel; RealMatrix, MatrixCell and CellMatrix.
//
// RealMatrix is a dense matrix of doubles; CellMatrix a rectangle of MatrixCell values, each
// text, wide text, a number, a boolean, an Excel error code or empty. A range of mixed cells
// reads into a CellMatrix, and every array a worksheet function returns is built as one
// first. All three are copyable values owning their storage.
//
// Warnings:
// - RealMatrix element access has no bounds check.
// - MatrixCell accessors used on a cell of another kind throw a plain `const char*`, not an
//   object; the worksheet functions turn that text into the cell's result.
// - A CellMatrix can itself be thrown; the worksheet functions return it as their array.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xlf {

// Dense rows x columns matrix of doubles stored row after row, each row reached through a
// table of row pointers so that m[i][j] reads like a C array.
class RealMatrix {
  public:
    RealMatrix(std::uint32_t rows, std::uint32_t columns);
    RealMatrix(const RealMatrix& other);
    RealMatrix& operator=(const RealMatrix& other);
    ~RealMatrix() = default;

    // Takes new dimensions; the contents are kept only when both dimensions are unchanged,
    // otherwise every element becomes 0.
    void Resize(std::uint32_t rows, std::uint32_t columns);

    std::uint32_t Rows() const { return rows_; }
    std::uint32_t Columns() const { return columns_; }

    // Pointer to the first element of row i (no bounds check).
    double* operator[](std::uint32_t i) { return rowTable_[i]; }
    const double* operator[](std::uint32_t i) const { return rowTable_[i]; }

  private:
    // Allocates zero-filled storage for the given shape into the two arrays passed in; both
    // stay null when the shape holds no element.
    static void Allocate(std::uint32_t rows, std::uint32_t columns,
                         std::unique_ptr<double*[]>& rowTable, std::unique_ptr<double[]>& data);

    std::uint32_t rows_ = 0;
    std::uint32_t columns_ = 0;
    std::unique_ptr<double*[]> rowTable_;
    std::unique_ptr<double[]> data_;
};

// The kinds of cell; the numbering skips 4 and no cell of kind 4 is ever made.
enum class CellKind : std::uint32_t {
    Text = 0,
    WideText = 1,
    Number = 2,
    Boolean = 3,
    Error = 5,
    Empty = 6,
};

// One worksheet cell. Only the field belonging to the kind carries meaning, except that an
// error cell also holds its code in the number field.
class MatrixCell {
  public:
    MatrixCell();
    MatrixCell(const std::string& text);
    MatrixCell(const char* text);  // a null pointer makes an empty text
    MatrixCell(const std::wstring& text);
    MatrixCell(double number);
    MatrixCell(int number);
    // An error cell when isError is true, otherwise a number cell; both keep the code in the
    // number and the error-code fields.
    MatrixCell(std::uint32_t code, bool isError);
    MatrixCell(bool value);

    CellKind Kind() const { return kind_; }
    bool IsText() const { return kind_ == CellKind::Text; }
    bool IsWideText() const { return kind_ == CellKind::WideText; }
    bool IsNumber() const { return kind_ == CellKind::Number; }
    bool IsBoolean() const { return kind_ == CellKind::Boolean; }
    bool IsError() const { return kind_ == CellKind::Error; }
    bool IsEmpty() const { return kind_ == CellKind::Empty; }

    // Text cells only.
    std::string NarrowText() const;
    // Text or wide text; wide characters are cut to their low 8 bits.
    std::string AsText() const;
    // Wide text only, by reference.
    const std::wstring& WideText() const;
    // Wide text only, by copy.
    std::wstring CopyWideText() const;
    double AsNumber() const;
    // The number truncated towards zero; values below 0 give 0 and values beyond the
    // unsigned 32-bit range give its maximum.
    std::uint32_t AsCount() const;
    bool AsBoolean() const;
    std::uint32_t ErrorCode() const;
    // Text or wide text, lower-cased character by character with `tolower` and narrowed.
    std::string LowerCaseText() const;
    // Text or wide text, lower-cased character by character with `tolower` and widened.
    std::wstring LowerCaseWideText() const;

    // Makes the cell empty and resets every field.
    void Clear();

  private:
    CellKind kind_ = CellKind::Empty;
    std::string text_;
    std::wstring wideText_;
    double number_ = 0.0;
    bool boolean_ = false;
    std::uint32_t errorCode_ = 0;
};

// Rectangular matrix of cells. Every row holds Columns() cells, except that a matrix made
// from an empty vector of doubles has 0 rows and 1 column.
class CellMatrix {
  public:
    CellMatrix();
    CellMatrix(std::uint32_t rows, std::uint32_t columns);  // every cell empty
    explicit CellMatrix(double number);
    explicit CellMatrix(int number);
    explicit CellMatrix(std::uint32_t number);
    explicit CellMatrix(const std::string& text);
    explicit CellMatrix(const char* text);
    explicit CellMatrix(const std::wstring& text);
    // A column: element i in row i.
    explicit CellMatrix(const std::vector<double>& column);
    explicit CellMatrix(const RealMatrix& matrix);

    std::uint32_t Rows() const { return rows_; }
    std::uint32_t Columns() const { return columns_; }

    // The cell at (row, column); throws std::out_of_range outside the stored cells.
    MatrixCell& Cell(std::uint32_t row, std::uint32_t column);
    const MatrixCell& Cell(std::uint32_t row, std::uint32_t column) const;

    // Appends other's rows below this matrix's; the narrower of the two is padded on the
    // right with empty cells.
    void AppendBelow(const CellMatrix& other);

    // A new matrix with top's rows above bottom's, as wide as the wider of the two; cells
    // outside either source are empty.
    static CellMatrix StackVertically(const CellMatrix& top, const CellMatrix& bottom);

  private:
    std::vector<std::vector<MatrixCell>> cells_;
    std::uint32_t rows_ = 0;
    std::uint32_t columns_ = 0;
};

}  // namespace xlf
