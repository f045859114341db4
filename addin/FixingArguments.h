// FixingArguments: the arguments of the path-simulation worksheet functions that the pricing
// functions do not have: fixing times, the kind of average, the number of paths and the seed.
// Each read throws std::invalid_argument with a text that names the argument; an omitted
// optional argument takes its default, which the help texts state.
#pragma once

#include <cstdint>
#include <vector>

#include "OptionArguments.h"
#include "pathsimulation/AsianOption.h"

namespace addin {

// A range (or one number) of times in years, read row by row: numbers only, none negative,
// ascending (equal neighbours allowed), the last after 0.
std::vector<double> ReadFixingTimes(const GridArgument& argument);

// "Arithmetic" (the default) or "Geometric", in any letter case.
heston::AsianAverage ReadAverage(const GridArgument& argument);

// A whole number of paths from 1 to heston::kMaxPaths; heston::kDefaultPaths when omitted.
std::int64_t ReadPaths(const GridArgument& argument);

// A whole number from 0 to 2^53 - 1; heston::kDefaultSeed when omitted.
std::uint64_t ReadSeed(const GridArgument& argument);

}  // namespace addin
