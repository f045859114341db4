// ConcentratedMesh: the nodes of one axis of the finite-difference grid, dense near chosen
// points (the strike, today's spot, the barriers, v = 0) and sparse far from them, with given
// points (the spot, a barrier, the strike) exactly on nodes.
//
// The density of nodes is that of the sinh-stretched meshes of
//   K. J. in 't Hout and S. Foulon, "ADI finite difference schemes for option pricing in the
//   Heston model with correlation", Int. J. Numer. Anal. Model. 7(2), 2010, 303-320,
// where x = c sinh(xi) with xi uniform puts nodes 1 / sqrt(c^2 + x^2) per unit length around
// the origin. Several concentration points add their densities: nodes are uniform in
//   xi(x) = sum_k asinh((x - x_k) / c_k),
// which is increasing, so each point draws nodes to within about its width c_k and the mesh
// spreads geometrically away from all of them. Required nodes cut the axis into pieces; each
// piece gets a share of the intervals in proportion to its length in xi (at least one), and its
// nodes are uniform in xi between its ends. Stretching ratios between neighbouring cells stay
// bounded, which keeps the central differences second order.
//
// Tested in tests/numerics/finite_difference_mesh_test.cpp.
#pragma once

#include <vector>

namespace heston {
namespace finitedifference {

struct ConcentrationPoint {
    double location;
    double width;  // > 0: about the half-width of the dense region
};

// intervals + 1 increasing nodes from lower to upper (both included). Every required point
// strictly inside (lower, upper) is a node; required points outside or on the ends are ignored,
// and so are repeated ones. Without concentration points the nodes are uniform between the
// required ones. Throws std::invalid_argument when upper <= lower or there are fewer intervals
// than pieces.
std::vector<double> ConcentratedMesh(double lower, double upper, int intervals,
                                     const std::vector<ConcentrationPoint>& points,
                                     std::vector<double> required);

}  // namespace finitedifference
}  // namespace heston
