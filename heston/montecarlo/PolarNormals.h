// PolarNormals: standard normal numbers by the polar Box-Muller method from the runtime's
// uniform integer stream, written into a caller's buffer.
#pragma once

namespace heston {
namespace montecarlo {

// Fills out[0 .. n-1] from n / 2 + 1 accepted pairs (one pair more than needed when n is even,
// whose draws are consumed all the same), u1 of a pair first. n must not be negative.
void FillPolarNormals(double* out, int n);

}  // namespace montecarlo
}  // namespace heston
