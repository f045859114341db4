// JumpArguments: the optional Jumps argument of the worksheet functions that price under the
// Bates model, three numbers lambda, muJ, deltaJ: jumps per year, and the mean and standard
// deviation of the log of a jump's factor. Omitted (or all empty), it is no jumps: the Heston
// model. Otherwise it must hold exactly three numbers (in a row, a column or any range read row
// by row; empty cells are passed over), all finite, with lambda >= 0 and deltaJ >= 0. Every
// refusal throws std::invalid_argument with a text that starts "Jumps: ".
#pragma once

#include "OptionArguments.h"
#include "model/BatesParameters.h"

namespace addin {

heston::JumpParameters ReadJumps(const GridArgument& argument);

}  // namespace addin
