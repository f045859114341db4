#include "FixingArguments.h"

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

// The single number of an optional argument, or false when it is omitted.
bool OptionalNumber(const GridArgument& argument, double& value) {
    if (IsOmitted(argument)) return false;
    std::string problem;
    if (!argument.IsSingle() || !ReadNumber(argument.Element(0), argument.name, value, problem)) {
        throw std::invalid_argument(std::string(argument.name) + ": one number is needed");
    }
    return true;
}

}  // namespace

std::vector<double> ReadFixingTimes(const GridArgument& argument) {
    std::vector<double> times;
    times.reserve(argument.Count());
    for (std::size_t k = 0; k < argument.Count(); ++k) {
        double t = 0.0;
        std::string problem;
        if (!ReadNumber(argument.Element(k), argument.name, t, problem))
            throw std::invalid_argument(problem);
        if (!std::isfinite(t) || t < 0.0) {
            throw std::invalid_argument(std::string(argument.name) +
                                        ": times in years cannot be negative, found " + Number(t));
        }
        if (!times.empty() && t < times.back()) {
            throw std::invalid_argument(std::string(argument.name) + ": times must be ascending, " +
                                        "found " + Number(t) + " after " + Number(times.back()));
        }
        times.push_back(t);
    }
    if (times.empty() || !(times.back() > 0.0)) {
        throw std::invalid_argument(std::string(argument.name) +
                                    ": the last fixing must be after 0");
    }
    return times;
}

heston::AsianAverage ReadAverage(const GridArgument& argument) {
    if (IsOmitted(argument)) return heston::AsianAverage::kArithmetic;
    const xlf::MatrixCell& cell = argument.Element(0);
    if (argument.IsSingle() && (cell.IsText() || cell.IsWideText())) {
        const std::string text = cell.LowerCaseText();
        if (text == "arithmetic") return heston::AsianAverage::kArithmetic;
        if (text == "geometric") return heston::AsianAverage::kGeometric;
    }
    throw std::invalid_argument(std::string(argument.name) +
                                ": use \"Arithmetic\" or \"Geometric\", or leave it out for "
                                "\"Arithmetic\"");
}

std::int64_t ReadPaths(const GridArgument& argument) {
    double paths = 0.0;
    if (!OptionalNumber(argument, paths)) return heston::kDefaultPaths;
    if (!(paths >= 1.0) || paths != std::floor(paths)) {
        throw std::invalid_argument(std::string(argument.name) +
                                    ": a whole number of at least 1 is needed, not " +
                                    Number(paths));
    }
    if (paths > double(heston::kMaxPaths)) {
        throw std::invalid_argument(std::string(argument.name) +
                                    ": too large for memory and time, at most " +
                                    std::to_string(heston::kMaxPaths));
    }
    return static_cast<std::int64_t>(paths);
}

std::uint64_t ReadSeed(const GridArgument& argument) {
    double seed = 0.0;
    if (!OptionalNumber(argument, seed)) return heston::kDefaultSeed;
    if (!(seed >= 0.0) || seed != std::floor(seed) || seed >= 9007199254740992.0) {
        throw std::invalid_argument(std::string(argument.name) +
                                    ": a whole number from 0 to 2^53 - 1 is needed, not " +
                                    Number(seed));
    }
    return static_cast<std::uint64_t>(seed);
}

}  // namespace addin
