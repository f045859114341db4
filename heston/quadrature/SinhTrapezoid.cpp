// Node table of the sinh rule, built once on first use.
#include "quadrature/SinhTrapezoid.h"

#include <cmath>

namespace heston {

namespace {

SinhTrapezoidNodes MakeNodes() {
    SinhTrapezoidNodes nodes{};
    for (int i = 0; i < SinhTrapezoidNodes::kNodeCount; ++i) {
        const double t = i * SinhTrapezoidNodes::kStep;
        nodes.abscissa[i] = std::sinh(t);
        nodes.weight[i] = std::cosh(t);
    }
    return nodes;
}

}  // namespace

const SinhTrapezoidNodes& SinhNodes() {
    static const SinhTrapezoidNodes nodes = MakeNodes();
    return nodes;
}

}  // namespace heston
