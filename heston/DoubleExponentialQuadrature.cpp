// Node table of the sinh rule, built once on first use.
#include "DoubleExponentialQuadrature.h"

#include <cmath>

namespace heston {

namespace {

DoubleExponentialNodes MakeNodes() {
    DoubleExponentialNodes nodes{};
    for (int i = 0; i < DoubleExponentialNodes::kNodeCount; ++i) {
        const double t = i * DoubleExponentialNodes::kStep;
        nodes.abscissa[i] = std::sinh(t);
        nodes.weight[i] = std::cosh(t);
    }
    return nodes;
}

}  // namespace

const DoubleExponentialNodes& SinhNodes() {
    static const DoubleExponentialNodes nodes = MakeNodes();
    return nodes;
}

}  // namespace heston
