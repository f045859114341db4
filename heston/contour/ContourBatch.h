// ContourBatch: many options under one parameter set, with ln M evaluated once per node for
// every group of options that can share an integration line.
//
// Options of one maturity whose own saddle-point lines lie close together (same side, nu within
// a quarter of its distance to the pole, scales within a factor 1.5) are integrated along the
// line of the first of them: the line may be anywhere in the strip, so every price stays exact,
// and the cost per extra option is one complex exponential per node instead of a whole
// characteristic function. Each option keeps its own error control (its price to 1e-8 of its
// own integral as well as of its integrand's mass); one that misses it on the shared line is
// integrated alone on its own line, as the single-option functions do. An option alone in its
// group, or integrated alone, gets the single-option functions' price to the last bit.
#pragma once

#include <cstddef>
#include <vector>

#include "contour/ContourPricing.h"
#include "execution/ParallelFor.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "model/PricingTypes.h"
#include "vectormath/VectorWidth.h"

namespace heston {
namespace contour {

struct BatchMember {
    std::size_t index;  // slot in the caller's arrays
    int optionType;
    Market market;
    Contour contour;  // the option's own line
};

// Prices (and, when parameterDerivatives is not null, the five parameter derivatives at
// 5 * index) of the members. The groups are the tasks handed to runner; every price is the
// same whichever runner.
void PriceBatch(const ModelParameters& model, std::vector<BatchMember>& members, double* prices,
                double* parameterDerivatives, ParallelFor& runner, VectorWidth width);

// The same under the Bates model (lambda > 0, or no parameter derivatives), with the eight
// parameter derivatives at 8 * index.
void PriceBatch(const BatesParameters& model, std::vector<BatchMember>& members, double* prices,
                double* parameterDerivatives, ParallelFor& runner, VectorWidth width);

// EuropeanPrices (ContourPricer.h) at the loops of the given width.
void PriceOptions(double spot, const ModelParameters& model, const BatchOption* options,
                  std::size_t count, double* prices, double* parameterDerivatives,
                  ParallelFor& runner, VectorWidth width);
// With lambda = 0 the prices and the five Heston derivatives are the Heston batch's, bit for
// bit.
void PriceOptions(double spot, const BatesParameters& model, const BatchOption* options,
                  std::size_t count, double* prices, double* parameterDerivatives,
                  ParallelFor& runner, VectorWidth width);

}  // namespace contour
}  // namespace heston
