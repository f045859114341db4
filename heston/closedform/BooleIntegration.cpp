// Heston::Integrate: the composite Boole rule used for every closed-form probability.
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "quadrature/BooleRule.h"

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
        if (k >= 1 && std::fabs(y[k - 1]) < heston::closedform::kCutOff) {
            y[k] = 0.0;
        } else {
            y[k] = integrand(x[k], j, S, K, r, tau, rho, kappa, theta, lambda, sigma, v);
        }
    }

    return heston::BooleSum(y.data(), n, h);
}
