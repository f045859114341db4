// The change of variables that keeps a least-squares parameter inside its bounds: the
// minimiser moves freely on the real line and tanh maps it into (lower, upper).
#include <cmath>

#include "calibration/Calibration.h"

double ToBoundedParameter(double upper, double lower, double x) {
    return std::tanh(x) * (upper - lower) * 0.5 + (upper + lower) * 0.5;
}

double ToFreeVariable(double upper, double lower, double p) {
    const double mid = (upper + lower) * 0.5;
    const double half = (upper - lower) * 0.5;
    const double d = (p - mid) / half;
    return (std::log(1.0 + d) - std::log(1.0 - d)) * 0.5;
}
