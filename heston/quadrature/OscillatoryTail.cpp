// The Gauss-Legendre rule and Wynn's epsilon algorithm of the oscillatory-tail quadrature.
#include "quadrature/OscillatoryTail.h"

#include <cmath>

#include "vectormath/MathConstants.h"

namespace heston {

namespace {

GaussLegendre16 MakeRule() {
    constexpr int n = 2 * GaussLegendre16::kHalf;
    GaussLegendre16 rule{};
    for (int i = 0; i < GaussLegendre16::kHalf; ++i) {
        // Newton's method on P_n from the classical first guess of the i-th largest root.
        double x = std::cos(kPi * (i + 0.75) / (n + 0.5));
        double derivative = 1.0;
        for (int iteration = 0; iteration < 100; ++iteration) {
            double p0 = 1.0, p1 = x;
            for (int k = 2; k <= n; ++k) {
                const double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            derivative = n * (x * p1 - p0) / (x * x - 1.0);
            const double step = p1 / derivative;
            x -= step;
            if (std::fabs(step) < 1e-16) break;
        }
        rule.node[i] = x;
        rule.weight[i] = 2.0 / ((1.0 - x * x) * derivative * derivative);
    }
    return rule;
}

}  // namespace

const GaussLegendre16& LegendreRule() {
    static const GaussLegendre16 rule = MakeRule();
    return rule;
}

double WynnEpsilonLimit(const double* partial, int n, double* e, double* change) {
    // e holds the last ascending diagonal of the epsilon table: after term m, e[j] is
    // eps_{m-j}^{(j)}, built by eps_{k+1}^{(j)} = eps_{k-1}^{(j+1)} + 1/(eps_k^{(j+1)} -
    // eps_k^{(j)}). The even columns are the estimates; the one that changed least from the
    // previous estimate is returned, since rounding eventually spoils the highest columns.
    double best = partial[n - 1], bestChange = HUGE_VAL, previousEstimate = partial[0];
    int last = n - 1;  // the last term the table took
    for (int m = 0; m < n; ++m) {
        e[m] = partial[m];
        double before = 0.0;  // eps_{-1} = 0
        bool broken = false;
        for (int j = m - 1; j >= 0; --j) {
            const double beforeBefore = before;
            before = e[j];
            const double difference = e[j + 1] - before;
            if (difference == 0.0 || !std::isfinite(difference)) {
                broken = true;
                break;
            }
            e[j] = beforeBefore + 1.0 / difference;
        }
        if (broken) {
            // Two equal entries: the sequence has converged to rounding at this term.
            last = m;
            break;
        }
        if (m % 2 == 0 && m > 0 && std::isfinite(e[0])) {
            const double move = std::fabs(e[0] - previousEstimate);
            if (move <= bestChange) {
                bestChange = move;
                best = e[0];
            }
            previousEstimate = e[0];
        }
    }
    if (bestChange == HUGE_VAL && last > 0) {
        // No estimate from the table: the last term, with its own step as its error.
        best = partial[last];
        bestChange = std::fabs(partial[last] - partial[last - 1]);
    }
    *change = bestChange;
    return best;
}

}  // namespace heston
