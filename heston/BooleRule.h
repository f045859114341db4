// BooleRule: the weighted panel sum of the composite Boole rule, shared by Heston::Integrate and
// the closed-form grid so that both add the same samples in the same order.
#pragma once

namespace heston_detail {

// The underflow cut-off of every closed-form integral: the integrand decays like a Gaussian in
// phi, so once a sample falls below this in magnitude every later sample of the integral is 0
// (and is not evaluated).
constexpr double kCutOff = 1e-45;

// Sum over the (intervals - 1) / 4 + 1 panels of four steps of y[0 .. intervals]: each adds
// ((64 y[z-1] + 14 y[z-2] + 24 y[z] + 64 y[z+1] + 14 y[z+2]) / 45) h, centre z = 4 m + 2, in
// order from the first panel. intervals must be a positive multiple of 4.
double BooleSum(const double* y, int intervals, double h);

// The BooleSum of two sample arrays on the same grid, each added in BooleSum's order (so that
// each total is BooleSum's bit for bit), the two chains of additions side by side.
void BooleSums(const double* y0, const double* y1, int intervals, double h, double (&totals)[2]);

}  // namespace heston_detail
