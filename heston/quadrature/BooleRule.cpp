// The composite Boole rule's panel sums.
#include "quadrature/BooleRule.h"

namespace heston {

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

}  // namespace heston
