// CellValuesFile: an evaluated sheet as a machine-readable file, for programs that build on
// what the add-in computed (the demonstration workbook's writer reads it).
//
//   value <TAB> A1 <TAB> number|text|bool|error|nil|null <TAB> what the cell holds
//   call  <TAB> E5 <TAB> rows <TAB> columns <TAB> seconds
//
// One "value" line per filled cell, row by row, left to right: numbers with 17 significant
// digits (the exact double; "nan", "inf" or "-inf" when not finite), texts with backslash,
// tab, line feed and carriage return escaped as \\ \t \n \r, booleans TRUE or FALSE, errors
// by their name (#VALUE!, ...), nil and null results with an empty third field. One "call"
// line per formula, in the order of evaluation: the size of its result and the wall-clock
// seconds of its call.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Evaluator.h"

namespace runner {

struct FormulaCall {
    CellPosition cell;
    int rows = 1;
    int columns = 1;
    double seconds = 0.0;
};

// The escaped form of a text, as the file holds it.
std::string EscapeCellText(const std::string& text);

void WriteCellValues(std::ostream& out, const Sheet& sheet, const std::vector<FormulaCall>& calls);

}  // namespace runner
