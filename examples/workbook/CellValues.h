// CellValues: what the add-in computed for each cell, read from the file xllhost writes with
// --values (one "value" line per filled cell, one "call" line per formula; see
// host/workbook/CellValuesFile.h).
#pragma once

#include <istream>
#include <map>
#include <string>

#include "SheetModel.h"

namespace demo {

struct CellValue {
    enum Kind { Missing, Number, Text, Bool, Error, Nil };
    Kind kind = Missing;
    double number = 0.0;
    std::string text;  // Text; the error's name for Error; TRUE or FALSE for Bool
};

struct FormulaCall {
    int rows = 1;
    int columns = 1;
    double seconds = 0.0;
};

class CellValues {
  public:
    // Throws std::runtime_error naming the line of a malformed entry.
    static CellValues Read(std::istream& in);

    // Missing for a cell the file does not hold.
    const CellValue& At(Position position) const;
    // The cell's number; throws std::runtime_error naming the cell and what it holds instead.
    double Number(Position position) const;
    // The call of the formula in that cell; throws when the file has none.
    const FormulaCall& Call(Position position) const;

    void Set(Position position, CellValue value) { values_[position] = std::move(value); }

  private:
    std::map<Position, CellValue> values_;
    std::map<Position, FormulaCall> calls_;
};

// "A1" to a position; false when the text is no cell name.
bool ParseCellName(const std::string& text, Position& position);

}  // namespace demo
