// GreeksTable: the table of the Greeks functions (heston_Greeks, heston_BarrierGreeks): a
// column of names, then one column of values per option. Eleven rows under the Heston model;
// under the Bates model (heston_Greeks with Jumps) three more, the derivatives in the jump
// parameters.
#pragma once

#include <cmath>
#include <cstdint>

#include "CellMatrix.h"
#include "OptionArguments.h"
#include "model/PricingTypes.h"

namespace addin {

// Row names, in the order of heston::Greeks, then those of heston::BatesGreeks' jump
// derivatives.
constexpr const char* kGreekNames[] = {
    "price",     "delta",     "gamma",     "theta",   "rho",        "dividend rho", "d/d v0",
    "d/d theta", "d/d kappa", "d/d sigma", "d/d rho", "d/d lambda", "d/d muJ",      "d/d deltaJ"};
constexpr std::uint32_t kGreekCount = 11;
constexpr std::uint32_t kBatesGreekCount = sizeof kGreekNames / sizeof kGreekNames[0];

// The table for `options` options with `rows` rows (kGreekCount or kBatesGreekCount): the
// names in the first column, #NUM! in the value columns until SetGreeksColumn fills them.
inline xlf::CellMatrix EmptyGreeksTable(std::uint32_t options, std::uint32_t rows = kGreekCount) {
    xlf::CellMatrix table = ErrorCells({rows, 1 + options});
    for (std::uint32_t i = 0; i < rows; ++i) table.Cell(i, 0) = xlf::MatrixCell(kGreekNames[i]);
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

// The eleven Heston rows and the three jump rows of a table with kBatesGreekCount rows.
inline void SetGreeksColumn(xlf::CellMatrix& table, std::uint32_t column,
                            const heston::BatesGreeks& greeks) {
    SetGreeksColumn(table, column, greeks.heston);
    const double jumps[] = {greeks.dLambda, greeks.dMuJ, greeks.dDeltaJ};
    for (std::uint32_t i = 0; i < 3; ++i) {
        if (std::isfinite(jumps[i]))
            table.Cell(kGreekCount + i, column) = xlf::MatrixCell(jumps[i]);
    }
}

}  // namespace addin
