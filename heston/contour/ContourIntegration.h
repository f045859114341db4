// ContourIntegration: the integrals of one option along its own line, and the price and
// Greeks of one option from them.
//
// The rule is the sinh-trapezoid rule (SinhTrapezoid.h) at the contour's scale; an integral
// that does not converge there is integrated again at the width of the integrand's bell; and
// where the integrand's tail keeps oscillating so that neither converges, the oscillatory-tail
// rule (OscillatoryTail.h) replaces it if its own error estimate is the smaller. Each integral
// takes its way on its own, so that the price computed with the Greeks or with the parameter
// derivatives is the price computed alone, to the last bit.
#pragma once

#include "contour/ContourKernel.h"
#include "contour/ContourPricing.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "model/PricingTypes.h"
#include "vectormath/VectorWidth.h"

namespace heston {
namespace contour {

// integrals[0 .. kIntegralCount - 1]: the option's integrals along the contour, each divided
// by pi, in the order of ContourKernel.h; those that sensitivities leave out are 0.
void IntegrateOption(const ModelParameters& model, const Market& market, const Contour& contour,
                     Sensitivities sensitivities, double* integrals, VectorWidth width);
// The same with jumps in the spot (with lambda = 0 and sensitivities without the jumps',
// Heston's integrals exactly).
void IntegrateOption(const BatesParameters& model, const Market& market, const Contour& contour,
                     Sensitivities sensitivities, double* integrals, VectorWidth width);

// The price and the Greeks of a checked option (its inputs valid), at the loops of the given
// width.
double OptionPrice(int optionType, const Market& market, const ModelParameters& model,
                   VectorWidth width);
Greeks OptionGreeks(int optionType, const Market& market, const ModelParameters& model,
                    VectorWidth width);

// The same under the Bates model. With lambda = 0 the price and the Heston Greeks are those of
// the Heston functions above, bit for bit; the jump derivatives are integrated on their own
// (d/dlambda is not 0 there, d/dmuJ and d/ddeltaJ are).
double OptionPrice(int optionType, const Market& market, const BatesParameters& model,
                   VectorWidth width);

// The jumps whose line the jump derivatives are integrated along: the model's, or where it
// has none (lambda = 0), one jump a year of its sizes. d/dlambda's integrand carries the jumps'
// moment phi(s) even at lambda = 0, and Heston's line, blind to it, may lie where phi is
// astronomically large.
inline JumpParameters LineJumps(const JumpParameters& jumps) {
    return jumps.lambda != 0.0 ? jumps : JumpParameters{1.0, jumps.muJ, jumps.deltaJ};
}

// The line of an option's Bates Greeks (ChooseContour with LineJumps).
Contour JumpDerivativeContour(const Market& market, const BatesParameters& model,
                              VectorWidth width);
BatesGreeks OptionGreeks(int optionType, const Market& market, const BatesParameters& model,
                         VectorWidth width);

}  // namespace contour
}  // namespace heston
