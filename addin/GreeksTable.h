// GreeksTable: the eleven-row table of the Greeks functions (heston_Greeks,
// heston_BarrierGreeks): a column of names, then one column of values per option.
#pragma once

#include <cmath>
#include <cstdint>

#include "CellMatrix.h"
#include "OptionArguments.h"
#include "model/PricingTypes.h"

namespace addin {

// Row names, in the order of heston::Greeks.
constexpr const char* kGreekNames[] = {"price",     "delta",        "gamma",  "theta",
                                       "rho",       "dividend rho", "d/d v0", "d/d theta",
                                       "d/d kappa", "d/d sigma",    "d/d rho"};
constexpr std::uint32_t kGreekCount = sizeof kGreekNames / sizeof kGreekNames[0];

// The table for `options` options: the names in the first column, #NUM! in the value columns
// until SetGreeksColumn fills them.
inline xlf::CellMatrix EmptyGreeksTable(std::uint32_t options) {
    xlf::CellMatrix table = ErrorCells({kGreekCount, 1 + options});
    for (std::uint32_t i = 0; i < kGreekCount; ++i)
        table.Cell(i, 0) = xlf::MatrixCell(kGreekNames[i]);
    return table;
}

// Values that are not finite stay as they are (#NUM! in a table from ErrorCells).
inline void SetGreeksColumn(xlf::CellMatrix& table, std::uint32_t column,
                            const heston::Greeks& greeks) {
    const double values[kGreekCount] = {
        greeks.price, greeks.delta,  greeks.gamma,  greeks.theta,  greeks.rho, greeks.dividendRho,
        greeks.dV0,   greeks.dTheta, greeks.dKappa, greeks.dSigma, greeks.dRho};
    for (std::uint32_t i = 0; i < kGreekCount; ++i) {
        if (std::isfinite(values[i])) table.Cell(i, column) = xlf::MatrixCell(values[i]);
    }
}

}  // namespace addin
