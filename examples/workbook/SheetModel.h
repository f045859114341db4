// SheetModel: the cells of one worksheet of the demonstration workbook, before evaluation.
//
// A cell holds a number, a text, a formula calling the add-in (evaluated by xllhost; an array
// formula covers arrayRows x arrayColumns cells from its own) or a formula of the spreadsheet's
// own arithmetic (a difference, a root mean square), whose value the workbook writer computes
// from the add-in's values as the spreadsheet would. Cells also carry their look: a style and
// a number format.
#pragma once

#include <map>
#include <ostream>
#include <string>

namespace demo {

// Zero-based row and column.
struct Position {
    int row = 0;
    int col = 0;
};

inline bool operator<(Position a, Position b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
}

// "B7"; "$B$7" when absolute.
std::string CellName(Position position, bool absolute = false);
// "A13:A116" ("$A$13:$A$116" when absolute); one cell name when first equals last.
std::string RangeName(Position first, Position last, bool absolute = false);

enum class Style { Plain, Title, Heading, ColumnHeader, Input, Result, Note };

struct Cell {
    enum Kind { Empty, Number, Text, AddinFormula, SheetFormula };
    // What a SheetFormula computes: first - second, or the root mean square of the cells
    // from first to second (one column).
    enum Arithmetic { Difference, RootMeanSquare };

    Kind kind = Empty;
    double number = 0.0;
    std::string text;  // Text; for formulas the source with its leading "="
    int arrayRows = 1;
    int arrayColumns = 1;
    Arithmetic arithmetic = Difference;
    Position first;
    Position second;
    Style style = Style::Plain;
    std::string format;  // number format, e.g. "0.0000"; empty for the general format

    static Cell MakeNumber(double value, Style style = Style::Input, std::string format = "");
    static Cell MakeText(std::string text, Style style = Style::Plain);
    static Cell MakeAddinFormula(std::string source, std::string format = "", int arrayRows = 1,
                                 int arrayColumns = 1);
    static Cell MakeDifference(Position minuend, Position subtrahend, std::string format = "");
    static Cell MakeRootMeanSquare(Position first, Position last, std::string format = "");
};

class SheetModel {
  public:
    void Set(Position position, Cell cell);
    // An empty cell for positions never set.
    const Cell& At(Position position) const;
    const std::map<Position, Cell>& Cells() const { return cells_; }
    int RowCount() const;
    int ColumnCount() const;

    // The sheet as xllhost reads it: numbers, texts and add-in formulas. The spreadsheet's own
    // formulas are left out (xllhost calls only the add-in), so no add-in formula may refer to
    // one, except a difference of two numbers: that one is known before the add-in runs, and
    // xllhost gets its value.
    void WriteXllhostCsv(std::ostream& out) const;

  private:
    bool IsDifferenceOfNumbers(const Cell& cell) const;

    std::map<Position, Cell> cells_;
};

}  // namespace demo
