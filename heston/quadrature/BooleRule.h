// BooleRule: the weighted panel sum of the composite Boole rule, shared by Heston::Integrate and
// the closed-form grid so that both add the same samples in the same order.
//
// Tested in tests/numerics/heston_pricing_test.cpp (the closed form's integrals against an
// independent quadrature) and tests/numerics/fast_pricing_test.cpp (both users agree).
#pragma once

namespace heston {

// Sum over the (intervals - 1) / 4 + 1 panels of four steps of y[0 .. intervals]: each adds
// ((64 y[z-1] + 14 y[z-2] + 24 y[z] + 64 y[z+1] + 14 y[z+2]) / 45) h, centre z = 4 m + 2, in
// order from the first panel. intervals must be a positive multiple of 4.
double BooleSum(const double* y, int intervals, double h);

// The BooleSum of two sample arrays on the same grid, each added in BooleSum's order (so that
// each total is BooleSum's bit for bit), the two chains of additions side by side.
void BooleSums(const double* y0, const double* y1, int intervals, double h, double (&totals)[2]);

}  // namespace heston
