// DemoSummary: the demonstration's one-screen result: the fits side by side, heston_Calibrate's
// fit in implied vols first and the Bates fit last, with their parameters (the Bates fit's
// Heston part), their root mean square errors in price and in implied volatility, their
// iterations, the status a calibration gives of itself, and the time each calibration took
// inside the add-in.
#pragma once

#include <ostream>

#include "CellValues.h"
#include "DemoLayout.h"

namespace demo {

// values holds the add-in's values and those of the sheet's own formulas. Throws
// std::runtime_error when a fit did not give numbers (the cell's text says why).
void PrintDemoSummary(std::ostream& out, const DemoLayout& layout, const CellValues& values);

}  // namespace demo
