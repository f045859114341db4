// OscillatoryTail: the integral over [0, inf) of an integrand whose tail oscillates
// with a known angular frequency omega and decays slowly (algebraically), where the
// sinh-trapezoid rule of SinhTrapezoid.h cannot resolve the oscillation:
// Gauss-Legendre panels over the bulk [0, start], then one panel per half period pi/omega,
// whose partial sums alternate and are summed to their limit by Wynn's epsilon algorithm.
//
// References:
//   P. Wynn, "On a device for computing the e_m(S_n) transformation", Mathematical Tables and
//     Other Aids to Computation 10 (1956) 91-96 (the epsilon algorithm).
//   I. M. Longman, "Note on a method for computing infinite integrals of oscillatory
//     functions", Proc. Cambridge Philos. Soc. 52 (1956) 764-768 (integrating between the
//     oscillation's half periods and summing the alternating series with an accelerator).
//   G. H. Golub and J. H. Welsch, "Calculation of Gauss quadrature rules", Math. Comp. 23
//     (1969) 221-230 (here the nodes are found by Newton's method on the Legendre recurrence).
//
// The integrand is the same function object as for IntegrateSinhTrapezoid (Evaluate on
// groups of up to kQuadratureBatch nodes, `count` components each).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "quadrature/SinhTrapezoid.h"
#include "vectormath/MathConstants.h"

namespace heston {

// Nodes and weights of the 16-point Gauss-Legendre rule on [-1, 1] (positive half).
struct GaussLegendre16 {
    static constexpr int kHalf = 8;
    double node[kHalf];
    double weight[kHalf];
};
const GaussLegendre16& LegendreRule();

// The limit of the sequence partial[0 .. n - 1] by Wynn's epsilon algorithm: of the estimates
// in the table's even columns, the one that moved least from the estimate before it, that move
// going to *change (an estimate of its error); work holds n doubles.
double WynnEpsilonLimit(const double* partial, int n, double* work, double* change);

// results[c] = integral over [0, inf) of component c, for an integrand whose tail beyond start
// oscillates with angular frequency omega > 0; bulkPanel is the width of the panels over
// [0, start]. Each result's change is Wynn's estimate of its error; the rule has no tolerance
// of its own, so none is marked converged: the caller weighs the changes.
template <typename Integrand>
void IntegrateOscillatoryTail(Integrand& f, double start, double bulkPanel, double omega,
                              std::size_t count, ComponentIntegral* results) {
    constexpr int kTailPanels = 40;
    const GaussLegendre16& rule = LegendreRule();
    // At most 4096 panels over the bulk, whatever the caller asks.
    const int bulkPanels =
        static_cast<int>(std::min(4096.0, std::max(1.0, std::ceil(start / bulkPanel))));
    const double bulkWidth = start / bulkPanels;
    const double halfPeriod = kPi / omega;
    std::vector<double> values(kQuadratureBatch * count), partial(count * kTailPanels),
        work(kTailPanels);
    std::vector<double> total(count, 0.0);
    double v[kQuadratureBatch], sizes[kQuadratureBatch];
    // One panel [a, a + width]: its integral of every component added to out.
    auto panel = [&](double a, double width, double* out) {
        const double middle = a + 0.5 * width, half = 0.5 * width;
        for (int side = 0; side < 2; ++side) {
            for (int j = 0; j < GaussLegendre16::kHalf; ++j) {
                v[j] = middle + (side == 0 ? -1.0 : 1.0) * half * rule.node[j];
            }
            f.Evaluate(v, GaussLegendre16::kHalf, values.data(), sizes);
            for (int j = 0; j < GaussLegendre16::kHalf; ++j) {
                for (std::size_t c = 0; c < count; ++c) {
                    out[c] += half * rule.weight[j] * values[count * j + c];
                }
            }
        }
    };
    for (int p = 0; p < bulkPanels; ++p) panel(p * bulkWidth, bulkWidth, total.data());
    std::vector<double> running(total);
    for (int p = 0; p < kTailPanels; ++p) {
        // Each half period in pieces no wider than half their distance from the origin (or
        // the bulk's panels), so that an algebraically decaying amplitude is a polynomial to
        // rounding on each piece; their number grows only with the logarithm of the length.
        const double a = start + p * halfPeriod, b = a + halfPeriod;
        for (double x = a; x < b;) {
            const double width = std::min(b - x, std::max(bulkPanel, 0.5 * x));
            panel(x, width, running.data());
            x = width < b - x ? x + width : b;
        }
        for (std::size_t c = 0; c < count; ++c) partial[c * kTailPanels + p] = running[c];
    }
    for (std::size_t c = 0; c < count; ++c) {
        ComponentIntegral& r = results[c];
        r.sum =
            WynnEpsilonLimit(partial.data() + c * kTailPanels, kTailPanels, work.data(), &r.change);
        r.converged = false;
    }
}

}  // namespace heston
