#include "blackscholes/NormalDistribution.h"

#include <cmath>

double NormalDensity(double x) {
    return std::exp(x * x * (-0.5)) * 0.398942280401433;
}

double NormalCdf(double x) {
    // Far in the tails the polynomial loses all relative accuracy; the asymptotic form keeps it.
    if (x < -7.0) return NormalDensity(x) / std::sqrt(x * x + 1.0);
    if (x > 7.0) return 1.0 - NormalCdf(-x);

    const double k = 1.0 / (std::fabs(x) * 0.2316419 + 1.0);
    const double poly =
        k * (0.31938153 +
             k * (-0.356563782 + k * (1.781477937 + k * (-1.821255978 + k * 1.330274429))));
    const double n = 1.0 - NormalDensity(x) * poly;
    return x > 0.0 ? n : 1.0 - n;
}

double CopySign(double a, double b) {
    return b >= 0.0 ? std::fabs(a) : -std::fabs(a);
}
