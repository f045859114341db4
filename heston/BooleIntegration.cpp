// Heston::Integrate: the composite Boole rule used for every closed-form probability.
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "BooleRule.h"
#include "Heston.h"

double Heston::Integrate(HestonIntegrandFunction integrand, double S, double K, double tau,
                         double r, double rho, double kappa, double theta, double lambda,
                         double sigma, double v, double lower, double upper, int intervals, int j) {
    // Each Boole panel spans four steps; any other count would read past the last sample.
    if (intervals <= 0 || intervals % 4 != 0) {
        throw std::invalid_argument(
            "Heston::Integrate: the interval count must be a positive "
            "multiple of 4, got " +
            std::to_string(intervals));
    }
    const int n = intervals;
    const double h = (upper - lower) / n;
    std::vector<double> x(n + 1, 0.0);
    std::vector<double> y(n + 1, 0.0);
    for (int k = 0; k <= n; ++k) {
        x[k] = lower + k * h;
        // Once a sample underflows, the rest of the range contributes nothing and is not
        // evaluated. A NaN sample does not stop it.
        if (k >= 1 && std::fabs(y[k - 1]) < heston_detail::kCutOff) {
            y[k] = 0.0;
        } else {
            y[k] = integrand(x[k], j, S, K, r, tau, rho, kappa, theta, lambda, sigma, v);
        }
    }

    return heston_detail::BooleSum(y.data(), n, h);
}

namespace heston_detail {

namespace {

// Panel m of four steps, centre z = 4 m + 2: (64 y[z-1] + 14 y[z-2] + 24 y[z] + 64 y[z+1]
// + 14 y[z+2]) / 45, added left to right.
inline double Panel(const double* y, int z) {
    return (64.0 * y[z - 1] + 14.0 * y[z - 2] + 24.0 * y[z] + 64.0 * y[z + 1] + 14.0 * y[z + 2]) *
           0.022222222222222223;
}

}  // namespace

double BooleSum(const double* y, int intervals, double h) {
    // Boole weights 14, 64, 24, 64, 14 times h / 45 per panel of four steps.
    double total = 0.0;
    const int panels = (intervals - 1) / 4 + 1;
    for (int m = 0; m < panels; ++m) total = total + Panel(y, 4 * m + 2) * h;
    return total;
}

void BooleSums(const double* y0, const double* y1, int intervals, double h, double (&totals)[2]) {
    double total0 = 0.0;
    double total1 = 0.0;
    const int panels = (intervals - 1) / 4 + 1;
    for (int m = 0; m < panels; ++m) {
        total0 = total0 + Panel(y0, 4 * m + 2) * h;
        total1 = total1 + Panel(y1, 4 * m + 2) * h;
    }
    totals[0] = total0;
    totals[1] = total1;
}

}  // namespace heston_detail
