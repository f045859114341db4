// Reading an observation table from CSV: the header line strike,maturity_years,type,price,
// rate,weight, then one option per line (type 1 = call, 2 = put), as examples/dax-surface.csv
// holds the DAX surface.
#pragma once

#include <string>

#include "quote_table.h"

namespace test_support {

// The DAX index level at which examples/dax-surface.csv was quoted.
constexpr double kDaxSpot = 4468.17;

// The table in the CSV file at `path`, with the given spot. Empty lines are skipped. Throws
// std::runtime_error when the file cannot be opened or a line does not hold six columns, and
// what std::stod throws for a field that is not a number.
QuoteTable ReadObservationCsv(const std::string& path, double spot);

}  // namespace test_support
