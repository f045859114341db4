// One option's integrals along its own line, with the rule's fallbacks taken integral by
// integral.
#include "contour/ContourIntegration.h"

#include "quadrature/OscillatoryTail.h"
#include "quadrature/SinhTrapezoid.h"

namespace heston {
namespace contour {

namespace {

// The integrals of one option for the given sensitivities, whose number of components is a
// constant of each instantiation, so that the rules' loops over them unroll.
template <Sensitivities kSensitivities>
void IntegrateOptionFor(const ModelParameters& model, const JumpParameters& jumps,
                        const Market& market, const Contour& contour, double* integrals,
                        VectorWidth width) {
    constexpr std::size_t kCount = static_cast<std::size_t>(ComponentCount(kSensitivities));
    const double k = market.logMoneyness;
    LineIntegrand f({{model, market.maturity, contour.nu, jumps}, &k, 1, kSensitivities}, width);
    const QuadratureTolerance tolerance{AbsoluteTolerance(market), kCount};
    ComponentIntegral results[kCount], retry[kCount];
    double values[kQuadratureBatch * kCount], work[kQuadratureWork * kCount];
    QuadratureReport report =
        IntegrateSinhTrapezoid(f, contour.scale, tolerance, kCount, results, values, work);
    if (!report.converged && contour.width != contour.scale) {
        report = IntegrateSinhTrapezoid(f, contour.width, tolerance, kCount, retry, values, work);
        for (std::size_t c = 0; c < kCount; ++c) {
            if (!results[c].converged) results[c] = retry[c];
        }
    }
    // The tail rule serves integrands whose tail decays only like a power of v, which needs
    // v0 = 0. With jumps, a variance that starts above zero gives a Gaussian tail that the
    // sinh rules resolve, even where jumps of nearly fixed size make them beat with two
    // frequencies and miss their tolerance by a little; the tail rule, built on one frequency,
    // would do worse there.
    if (!report.converged && (jumps.lambda == 0.0 || model.v0 == 0.0)) {
        const Tail tail = ChooseTail(model, jumps, market.maturity, contour, k, width);
        if (tail.tailFrequency > 0.0) {
            IntegrateOscillatoryTail(f, tail.tailStart, tail.bulkPanel, tail.tailFrequency, kCount,
                                     retry);
            for (std::size_t c = 0; c < kCount; ++c) {
                if (!results[c].converged && retry[c].change < results[c].change) {
                    results[c] = retry[c];
                }
            }
        }
    }
    for (int c = 0; c < kIntegralCount; ++c) integrals[c] = 0.0;
    for (int c = 0; c < static_cast<int>(kCount); ++c) {
        integrals[IntegralOfComponent(kSensitivities, c)] = results[c].sum * kInversePi;
    }
}

void IntegrateWithJumps(const ModelParameters& model, const JumpParameters& jumps,
                        const Market& market, const Contour& contour, Sensitivities sensitivities,
                        double* integrals, VectorWidth width) {
    switch (sensitivities) {
        case Sensitivities::kNone:
            return IntegrateOptionFor<Sensitivities::kNone>(model, jumps, market, contour,
                                                            integrals, width);
        case Sensitivities::kParameters:
            return IntegrateOptionFor<Sensitivities::kParameters>(model, jumps, market, contour,
                                                                  integrals, width);
        case Sensitivities::kGreeks:
            return IntegrateOptionFor<Sensitivities::kGreeks>(model, jumps, market, contour,
                                                              integrals, width);
        case Sensitivities::kJumpPrice:
            return IntegrateOptionFor<Sensitivities::kJumpPrice>(model, jumps, market, contour,
                                                                 integrals, width);
        case Sensitivities::kJumpParameters:
            return IntegrateOptionFor<Sensitivities::kJumpParameters>(model, jumps, market, contour,
                                                                      integrals, width);
        case Sensitivities::kJumpGreeks:
            return IntegrateOptionFor<Sensitivities::kJumpGreeks>(model, jumps, market, contour,
                                                                  integrals, width);
    }
}

}  // namespace

void IntegrateOption(const ModelParameters& model, const Market& market, const Contour& contour,
                     Sensitivities sensitivities, double* integrals, VectorWidth width) {
    IntegrateWithJumps(model, kNoJumps, market, contour, sensitivities, integrals, width);
}

void IntegrateOption(const BatesParameters& model, const Market& market, const Contour& contour,
                     Sensitivities sensitivities, double* integrals, VectorWidth width) {
    IntegrateWithJumps(model.heston, model.jumps, market, contour, sensitivities, integrals, width);
}

double OptionPrice(int optionType, const Market& market, const ModelParameters& model,
                   VectorWidth width) {
    double price;
    if (PriceWithoutIntegral(optionType, market, model, &price)) return price;
    const Contour contour = ChooseContour(market.logMoneyness, market.maturity, model, width);
    double integrals[kIntegralCount];
    IntegrateOption(model, market, contour, Sensitivities::kNone, integrals, width);
    return PriceFromIntegral(optionType, market, contour, integrals[kValue]);
}

Greeks OptionGreeks(int optionType, const Market& market, const ModelParameters& model,
                    VectorWidth width) {
    Greeks greeks;
    if (GreeksWithoutIntegral(optionType, market, model, &greeks)) return greeks;
    const Contour contour = ChooseContour(market.logMoneyness, market.maturity, model, width);
    double integrals[kIntegralCount];
    IntegrateOption(model, market, contour, Sensitivities::kGreeks, integrals, width);
    return GreeksFromIntegrals(optionType, market, contour, integrals);
}

}  // namespace contour
}  // namespace heston

namespace heston {
namespace contour {

double OptionPrice(int optionType, const Market& market, const BatesParameters& model,
                   VectorWidth width) {
    if (model.jumps.lambda == 0.0) return OptionPrice(optionType, market, model.heston, width);
    BatesGreeks greeks;
    if (GreeksWithoutIntegral(optionType, market, model, &greeks)) return greeks.heston.price;
    const Contour contour =
        ChooseContour(market.logMoneyness, market.maturity, model.heston, model.jumps, width);
    double integrals[kIntegralCount];
    IntegrateOption(model, market, contour, Sensitivities::kJumpPrice, integrals, width);
    return PriceFromIntegral(optionType, market, contour, integrals[kValue]);
}

Contour JumpDerivativeContour(const Market& market, const BatesParameters& model,
                              VectorWidth width) {
    return ChooseContour(market.logMoneyness, market.maturity, model.heston, LineJumps(model.jumps),
                         width);
}

BatesGreeks OptionGreeks(int optionType, const Market& market, const BatesParameters& model,
                         VectorWidth width) {
    BatesGreeks greeks;
    if (GreeksWithoutIntegral(optionType, market, model, &greeks)) return greeks;
    const Contour contour = JumpDerivativeContour(market, model, width);
    double integrals[kIntegralCount];
    IntegrateOption(model, market, contour, Sensitivities::kJumpGreeks, integrals, width);
    greeks = BatesGreeksFromIntegrals(optionType, market, contour, integrals);
    if (model.jumps.lambda == 0.0) {
        greeks.heston = OptionGreeks(optionType, market, model.heston, width);
        greeks.dMuJ = greeks.dDeltaJ = 0.0;
    }
    return greeks;
}

}  // namespace contour
}  // namespace heston
