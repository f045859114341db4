#include "JumpArguments.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace addin {

namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

}  // namespace

heston::JumpParameters ReadJumps(const GridArgument& argument) {
    if (IsOmitted(argument)) return heston::kNoJumps;
    const std::string name = argument.name;
    double values[3] = {0.0, 0.0, 0.0};
    std::size_t found = 0;
    for (std::size_t k = 0; k < argument.Count(); ++k) {
        const xlf::MatrixCell& cell = argument.Element(k);
        if (cell.IsEmpty()) continue;
        double value = 0.0;
        std::string problem;
        if (!ReadNumber(cell, argument.name, value, problem)) throw std::invalid_argument(problem);
        if (found < 3) values[found] = value;
        ++found;
    }
    if (found != 3) {
        throw std::invalid_argument(name +
                                    ": three numbers are needed (lambda, muJ, deltaJ), found " +
                                    std::to_string(found));
    }
    const heston::JumpParameters jumps{values[0], values[1], values[2]};
    if (!std::isfinite(jumps.lambda) || !std::isfinite(jumps.muJ) || !std::isfinite(jumps.deltaJ)) {
        throw std::invalid_argument(name + ": lambda, muJ and deltaJ must be finite");
    }
    if (jumps.lambda < 0.0) {
        throw std::invalid_argument(name +
                                    ": lambda, the jumps per year, cannot be negative, found " +
                                    Number(jumps.lambda));
    }
    if (jumps.deltaJ < 0.0) {
        throw std::invalid_argument(
            name + ": deltaJ, the standard deviation of a log jump, cannot be negative, found " +
            Number(jumps.deltaJ));
    }
    return jumps;
}

}  // namespace addin
