// SheetPrinter: an evaluated sheet as an aligned text table, with Excel's column letters
// and row numbers; numbers right-aligned with up to 10 significant digits (17, enough to
// give back the exact double, when full precision is asked for), everything else
// left-aligned.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "AddinModule.h"
#include "Evaluator.h"

namespace runner {

// The text a cell shows: numbers with up to 10 significant digits, TRUE/FALSE, error names,
// "(null)" for a null result; empty cells and nil results show nothing.
std::string DisplayText(const SheetValue& value, int significantDigits = 10);

void PrintSheet(std::ostream& out, const Sheet& sheet, int significantDigits = 10);
void PrintRegistrations(std::ostream& out, const std::vector<RegisteredFunction>& functions);

}  // namespace runner
