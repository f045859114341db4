// Workbook: a small worksheet read from CSV, as the xllhost program evaluates it.
//
// One CSV line is one row, one field one cell (row 1 is the first line, column A the first
// field). A cell is empty, a number, a text, or a formula "=name(arg, ...)" whose arguments
// are numbers, quoted texts, cell references (B3, $B$3), ranges (A1:A8) or nothing at all
// (an omitted argument). Commas inside a formula's parentheses or inside double quotes do
// not end the field; a quoted field may hold "" for one quotation mark.
//
// Namespace runner: the workbook runner of host/workbook (reading, evaluating and printing a
// workbook through an add-in loaded into the substitute host), which the xllhost program and
// the end-to-end tests drive.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace runner {

// Zero-based row and column.
struct CellPosition {
    int row = 0;
    int col = 0;
};

// "A1" style name of a position, and its parser (false when text is no cell name).
std::string CellName(CellPosition position);
bool ParseCellName(const std::string& text, CellPosition& position);

struct Argument {
    enum Kind { Missing, Number, Text, Reference, Range };
    Kind kind = Missing;
    double number = 0.0;
    std::string text;
    CellPosition first;  // Reference and Range
    CellPosition last;   // Range (equal to first for a Reference)
};

struct Formula {
    std::string name;
    std::vector<Argument> arguments;
};

struct InputCell {
    enum Kind { Empty, Number, Text, Formula };
    Kind kind = Empty;
    double number = 0.0;
    std::string text;  // Text; the formula's source for Formula
    runner::Formula formula;
};

struct Workbook {
    std::vector<std::vector<InputCell>> rows;

    int RowCount() const { return static_cast<int>(rows.size()); }
    int ColumnCount() const;
};

// Throws std::runtime_error naming the line and column of the first malformed cell.
Workbook ParseWorkbook(std::istream& input);
// One formula text (with its leading "="), for tests and error messages.
Formula ParseFormula(const std::string& text);

}  // namespace runner
