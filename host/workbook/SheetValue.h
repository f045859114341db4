// SheetValue: what one cell of an evaluated workbook shows, and a call's result as a block
// of cells (one cell for a single value, rows x columns for an array).
#pragma once

#include <string>
#include <vector>

namespace runner {

struct SheetValue {
    enum Kind {
        Empty,   // nothing in the cell
        Number,  // also integers returned by a function
        Text,
        Bool,
        Error,    // error holds the Excel error code, or one of the host's codes below
        Nil,      // a function returned an empty value
        Null,     // a function returned a null pointer
        Pending,  // a formula not evaluated yet
    };
    Kind kind = Empty;
    double number = 0.0;
    std::string text;
    bool boolean = false;
    int error = 0;

    static SheetValue MakeNumber(double value);
    static SheetValue MakeText(const std::string& value);
    static SheetValue MakeBool(bool value);
    static SheetValue MakeError(int code);
    static SheetValue Make(Kind kind);
};

// Errors of the host itself, beside Excel's codes: an array result that would overwrite
// filled cells, and an unknown or unsupported argument or result type.
constexpr int kSpillError = -1;

struct CallResult {
    int rows = 1;
    int columns = 1;
    std::vector<SheetValue> values;  // row by row

    static CallResult Single(const SheetValue& value);
    const SheetValue& At(int row, int col) const { return values[row * columns + col]; }
};

// Excel's display text of an error code ("#VALUE!", ...).
std::string ErrorName(int code);

}  // namespace runner
