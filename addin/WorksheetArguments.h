// WorksheetArguments: the two conversions the worksheet functions apply to Excel's arguments.
//
// Counts and option types arrive as doubles and are truncated toward zero (2.9 -> 2,
// -2.9 -> -2). Calibration ranges arrive as value records and become vectors of doubles,
// a single row or column only, named by their argument in any failure message.
#pragma once

#include <string>
#include <vector>

#include "XlfOper.h"

namespace addin {

// Truncation toward zero. A double outside the range of int (or NaN) has no int value in
// C++; it gives INT_MIN, the "integer indefinite" that the x86 conversion instruction
// returns, so such inputs behave as they do in the Windows build.
int TruncateToInt(double value);

// The range (or single number) of an argument as a vector; throws std::runtime_error
// "command failed, <name> conversion to double vector" for a two-dimensional range.
inline std::vector<double> ArrayArgument(void* record, const std::string& name) {
    return xlf::XlfOper(record).ToArray(name, xlf::OneDimensional);
}

}  // namespace addin
