// SheetArithmetic: the values of the sheet's own formulas (differences and root mean squares,
// see SheetModel.h), computed from the add-in's values as the spreadsheet computes them, so
// that those cells carry cached values too.
#pragma once

#include "CellValues.h"
#include "SheetModel.h"

namespace demo {

// Adds the value of every SheetFormula cell of the sheet to values: a number, or #VALUE!
// when an operand is not a number (as the spreadsheet shows it).
void ComputeSheetFormulas(const SheetModel& sheet, CellValues& values);

}  // namespace demo
