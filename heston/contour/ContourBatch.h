// ContourBatch: many options under one parameter set, with the characteristic function
// evaluated once per node for every group of options that can share an integration line.
//
// Options of one maturity whose own saddle-point lines lie close together (same side, nu within
// a quarter of its distance to the pole, scales within a factor 1.5) are integrated along the
// line of the first of them: the line may be anywhere in the strip, so every price stays exact,
// and the cost per extra option is one complex exponential per node instead of a whole
// characteristic function. Each option keeps its own convergence test.
#pragma once

#include <cstddef>
#include <vector>

#include "contour/ContourPricing.h"
#include "execution/ParallelFor.h"

namespace heston {
namespace contour {

struct BatchMember {
    std::size_t index;  // slot in the caller's arrays
    int optionType;
    Market market;
    Contour contour;  // the option's own line
};

// Prices (and, when parameterDerivatives is not null, the five parameter derivatives at
// 5 * index) of the members; absoluteTolerance gives each option's tolerance of its integral.
// The groups are the tasks handed to runner; every price is the same whichever runner.
void PriceBatch(const ModelParameters& model, std::vector<BatchMember>& members,
                double (*absoluteTolerance)(const Market&), double* prices,
                double* parameterDerivatives, ParallelFor& runner = Serial());

}  // namespace contour
}  // namespace heston
