// The batch of the contour pricer: groups of options sharing one line and one ln M per node.
#include "contour/ContourBatch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "contour/ContourIntegration.h"
#include "contour/ContourKernel.h"
#include "quadrature/SinhTrapezoid.h"

namespace heston {
namespace contour {

namespace {

constexpr std::size_t kLargestGroup = 32;

bool Joins(const Contour& first, double firstMaturity, const BatchMember& m,
           std::size_t groupSize) {
    const Contour& c = m.contour;
    if (groupSize >= kLargestGroup || m.market.maturity != firstMaturity ||
        c.callSide != first.callSide || c.middle != first.middle) {
        return false;
    }
    const double pole = first.callSide ? 1.0 : 0.0;
    return std::fabs(c.nu - first.nu) <= 0.25 * std::fabs(first.nu - pole) &&
           c.scale <= 1.5 * first.scale && first.scale <= 1.5 * c.scale;
}

// The price and parameter derivatives of a member from its integrals along `line`: the five
// Heston ones, or with jumps the eight.
void StoreResult(const BatchMember& m, const Contour& line, const double* integrals, double* prices,
                 double* parameterDerivatives, bool withJumps) {
    if (parameterDerivatives == nullptr) {
        prices[m.index] = PriceFromIntegral(m.optionType, m.market, line, integrals[kValue]);
        return;
    }
    if (withJumps) {
        const BatesGreeks g = BatesGreeksFromIntegrals(m.optionType, m.market, line, integrals);
        prices[m.index] = g.heston.price;
        CopyParameterDerivatives(g, parameterDerivatives + kBatesParameterCount * m.index);
        return;
    }
    const Greeks g = GreeksFromIntegrals(m.optionType, m.market, line, integrals);
    prices[m.index] = g.price;
    CopyParameterDerivatives(g, parameterDerivatives + kModelParameterCount * m.index);
}

// The batch under model (lambda = 0 for Heston); with parameter derivatives, the jumps' as well
// when withJumps.
void PriceGroups(const BatesParameters& model, bool withJumps, std::vector<BatchMember>& members,
                 double* prices, double* parameterDerivatives, ParallelFor& runner,
                 VectorWidth width) {
    std::sort(members.begin(), members.end(), [](const BatchMember& a, const BatchMember& b) {
        if (a.market.maturity != b.market.maturity) return a.market.maturity < b.market.maturity;
        if (a.contour.callSide != b.contour.callSide) return a.contour.callSide;
        if (a.contour.middle != b.contour.middle) return a.contour.middle;
        return a.contour.nu < b.contour.nu;
    });
    // Prices alone take the jumps' term where the model has jumps; derivatives take it with
    // the jumps' own (withJumps) or are Heston's.
    const Sensitivities sensitivities =
        parameterDerivatives == nullptr
            ? (model.jumps.lambda != 0.0 ? Sensitivities::kJumpPrice : Sensitivities::kNone)
        : withJumps ? Sensitivities::kJumpParameters
                    : Sensitivities::kParameters;
    const std::size_t perOption = static_cast<std::size_t>(ComponentCount(sensitivities));
    // The groups first, members[start[g] .. start[g + 1] - 1]; then each group as a task of
    // the runner, with its own scratch, writing only its own members' slots.
    std::vector<std::size_t> start;
    for (std::size_t first = 0; first < members.size();) {
        start.push_back(first);
        const Contour& line = members[first].contour;
        const double maturity = members[first].market.maturity;
        std::size_t end = first + 1;
        while (end < members.size() && Joins(line, maturity, members[end], end - first)) ++end;
        first = end;
    }
    start.push_back(members.size());

    auto priceGroup = [&](int g) {
        const std::size_t first = start[g], end = start[g + 1];
        double integrals[kIntegralCount];
        if (end - first == 1) {
            const BatchMember& m = members[first];
            IntegrateOption(model, m.market, m.contour, sensitivities, integrals, width);
            StoreResult(m, m.contour, integrals, prices, parameterDerivatives, withJumps);
            return;
        }
        const Contour line = members[first].contour;
        std::vector<double> k;
        double absolute = std::numeric_limits<double>::infinity();
        for (std::size_t i = first; i < end; ++i) {
            k.push_back(members[i].market.logMoneyness);
            absolute = std::min(absolute, AbsoluteTolerance(members[i].market));
        }
        const LineIntegrand f({{model.heston, members[first].market.maturity, line.nu, model.jumps},
                               k.data(),
                               static_cast<int>(k.size()),
                               sensitivities},
                              width);
        const std::size_t components = static_cast<std::size_t>(f.Components());
        std::vector<ComponentIntegral> results(components);
        std::vector<double> values(kQuadratureBatch * components),
            work(kQuadratureWork * components);
        IntegrateSinhTrapezoid(f, line.scale, QuadratureTolerance{absolute, perOption}, components,
                               results.data(), values.data(), work.data());
        for (std::size_t i = first; i < end; ++i) {
            const BatchMember& m = members[i];
            const ComponentIntegral* own = results.data() + perOption * (i - first);
            bool converged = true;
            for (std::size_t c = 0; c < perOption; ++c) converged = converged && own[c].converged;
            if (!converged) {
                // The shared line does not serve this option: alone on its own line, with the
                // single-option functions' fallbacks.
                IntegrateOption(model, m.market, m.contour, sensitivities, integrals, width);
                StoreResult(m, m.contour, integrals, prices, parameterDerivatives, withJumps);
                continue;
            }
            for (int c = 0; c < kIntegralCount; ++c) integrals[c] = 0.0;
            for (std::size_t c = 0; c < perOption; ++c) {
                integrals[IntegralOfComponent(sensitivities, static_cast<int>(c))] =
                    own[c].sum * kInversePi;
            }
            StoreResult(m, line, integrals, prices, parameterDerivatives, withJumps);
        }
    };
    runner.ForEach(static_cast<int>(start.size()) - 1, priceGroup);
}

}  // namespace

void PriceBatch(const ModelParameters& model, std::vector<BatchMember>& members, double* prices,
                double* parameterDerivatives, ParallelFor& runner, VectorWidth width) {
    PriceGroups({model, kNoJumps}, false, members, prices, parameterDerivatives, runner, width);
}

void PriceBatch(const BatesParameters& model, std::vector<BatchMember>& members, double* prices,
                double* parameterDerivatives, ParallelFor& runner, VectorWidth width) {
    PriceGroups(model, parameterDerivatives != nullptr, members, prices, parameterDerivatives,
                runner, width);
}

namespace {

// What the sorting of a batch's options needs of each model.
int ParameterCount(const ModelParameters&) {
    return kModelParameterCount;
}
int ParameterCount(const BatesParameters&) {
    return kBatesParameterCount;
}
double PriceOf(const Greeks& g) {
    return g.price;
}
double PriceOf(const BatesGreeks& g) {
    return g.heston.price;
}
Contour LineOf(const Market& market, const ModelParameters& model, VectorWidth width) {
    return ChooseContour(market.logMoneyness, market.maturity, model, width);
}
Contour LineOf(const Market& market, const BatesParameters& model, VectorWidth width) {
    return ChooseContour(market.logMoneyness, market.maturity, model.heston, model.jumps, width);
}

// The options of a batch that need an integral, each with its line. The others get their
// values at once: NaN (and NaN derivatives) for an invalid option, the exact value where no
// integral is needed.
template <typename Model, typename ModelGreeks>
std::vector<BatchMember> MembersToIntegrate(double spot, const Model& model,
                                            const BatchOption* options, std::size_t count,
                                            double* prices, double* parameterDerivatives,
                                            VectorWidth width) {
    const int parameterCount = ParameterCount(model);
    std::vector<BatchMember> pending;
    for (std::size_t i = 0; i < count; ++i) {
        const BatchOption& o = options[i];
        double* derivatives =
            parameterDerivatives != nullptr ? parameterDerivatives + parameterCount * i : nullptr;
        if (!OptionInputError(o.optionType, o.strike, o.maturity, o.rate, o.dividendYield)
                 .empty()) {
            prices[i] = std::numeric_limits<double>::quiet_NaN();
            if (derivatives != nullptr)
                std::fill(derivatives, derivatives + parameterCount, prices[i]);
            continue;
        }
        const Market market = MakeMarket(spot, o.strike, o.maturity, o.rate, o.dividendYield);
        ModelGreeks g;
        if (GreeksWithoutIntegral(o.optionType, market, model, &g)) {
            prices[i] = PriceOf(g);
            if (derivatives != nullptr) CopyParameterDerivatives(g, derivatives);
            continue;
        }
        pending.push_back({i, o.optionType, market, LineOf(market, model, width)});
    }
    return pending;
}

}  // namespace

void PriceOptions(double spot, const ModelParameters& model, const BatchOption* options,
                  std::size_t count, double* prices, double* parameterDerivatives,
                  ParallelFor& runner, VectorWidth width) {
    CheckModel(model);
    CheckSpot(spot);
    std::vector<BatchMember> pending = MembersToIntegrate<ModelParameters, Greeks>(
        spot, model, options, count, prices, parameterDerivatives, width);
    PriceBatch(model, pending, prices, parameterDerivatives, runner, width);
}

void PriceOptions(double spot, const BatesParameters& model, const BatchOption* options,
                  std::size_t count, double* prices, double* parameterDerivatives,
                  ParallelFor& runner, VectorWidth width) {
    CheckModel(model.heston);
    CheckJumps(model.jumps);
    CheckSpot(spot);
    std::vector<BatchMember> pending = MembersToIntegrate<BatesParameters, BatesGreeks>(
        spot, model, options, count, prices, parameterDerivatives, width);
    if (model.jumps.lambda != 0.0 || parameterDerivatives == nullptr) {
        PriceBatch(model, pending, prices, parameterDerivatives, runner, width);
        return;
    }
    // No jumps: Heston's prices and derivatives, and d/dlambda (not 0 here) along the lines
    // of the jump derivatives (ContourIntegration.h); d/dmuJ and d/ddeltaJ are 0.
    std::vector<BatchMember> jumpMembers = pending;
    for (BatchMember& m : jumpMembers) m.contour = JumpDerivativeContour(m.market, model, width);
    std::vector<double> scratch(count);
    PriceGroups(model, true, jumpMembers, scratch.data(), parameterDerivatives, runner, width);
    std::vector<double> heston(kModelParameterCount * count);
    PriceGroups(model, false, pending, prices, heston.data(), runner, width);
    for (const BatchMember& m : pending) {
        double* derivatives = parameterDerivatives + kBatesParameterCount * m.index;
        for (int j = 0; j < kModelParameterCount; ++j) {
            derivatives[j] = heston[kModelParameterCount * m.index + j];
        }
        derivatives[kModelParameterCount + 1] = derivatives[kModelParameterCount + 2] = 0.0;
    }
}

}  // namespace contour
}  // namespace heston
