// The forward-start option in closed form: one Fourier integral of the joint moment of the log
// spot at the reset and at maturity, each path weighted by the spot at the reset.
#include "pathsimulation/ForwardStartPrice.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "pathsimulation/FixingMoments.h"
#include "pathsimulation/FourierInversion.h"
#include "pathsimulation/InputChecks.h"

namespace heston {

double ForwardStartPrice(int optionType, double spot, double moneyness, double resetTime,
                         double maturity, double rate, double dividendYield,
                         const BatesParameters& model) {
    checks::OptionType(optionType);
    checks::Positive(spot, "Spot");
    checks::Positive(moneyness, "Moneyness");
    checks::ForwardStartTerms(resetTime, maturity, rate, dividendYield, model);

    const double discount = std::exp(-rate * maturity) * spot;
    if (resetTime == maturity) {
        // The strike is set at expiry: S(T) (1 - k) for a call, S(T) (k - 1) for a put.
        const double intrinsic =
            optionType == kCall ? std::max(1.0 - moneyness, 0.0) : std::max(moneyness - 1.0, 0.0);
        return discount * std::exp((rate - dividendYield) * maturity) * intrinsic;
    }
    const double times[2] = {resetTime, maturity};
    auto logMoment = [&](ComplexNumber s) {
        const ComplexNumber coefficients[2] = {1.0 - s, s};
        return LogMomentOfFixings(coefficients, times, 2, rate, dividendYield, model);
    };
    const FourierCall call = CallFromLogMoment(logMoment, moneyness);
    const double value = optionType == kCall ? call.call : call.put;
    return discount * std::max(value, 0.0);
}

double ForwardStartPrice(int optionType, double spot, double moneyness, double resetTime,
                         double maturity, double rate, double dividendYield,
                         const ModelParameters& model) {
    return ForwardStartPrice(optionType, spot, moneyness, resetTime, maturity, rate, dividendYield,
                             BatesParameters{model, kNoJumps});
}

}  // namespace heston
