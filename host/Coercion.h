// Coercion.h - the host's conversions of one value between the scalar types, as Excel's
// xlCoerce performs them (see ExcelHost.h for the rules).
#ifndef COERCION_H
#define COERCION_H

#include <cstdint>
#include <string>

#include "HostValue.h"

namespace xlhost {

// Converts a scalar value to the scalar type target (xltypeNum, xltypeStr, xltypeBool or
// xltypeInt); wide selects the 32-bit integer range of XLOPER12 over the 16-bit one of
// XLOPER. Returns false when Excel would not convert.
bool ConvertScalar(const Value& value, std::uint32_t target, bool wide, Value* converted);

// Excel's general number format: up to 15 significant digits, exponent when needed.
std::wstring FormatNumber(double number);

}  // namespace xlhost

#endif  // COERCION_H
