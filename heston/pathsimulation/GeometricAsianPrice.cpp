// The geometric Asian option in closed form: one Fourier integral of the moment of the
// log-average.
#include "pathsimulation/GeometricAsianPrice.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "pathsimulation/FixingMoments.h"
#include "pathsimulation/FourierInversion.h"
#include "pathsimulation/InputChecks.h"

namespace heston {

double GeometricAsianPrice(int optionType, double spot, double strike,
                           const std::vector<double>& fixingTimes, double rate,
                           double dividendYield, const BatesParameters& model) {
    checks::OptionType(optionType);
    checks::Positive(spot, "Spot");
    checks::Positive(strike, "Strike");
    checks::AscendingTimes(fixingTimes, "FixingTimes");
    checks::Finite(rate, "Rate");
    checks::Finite(dividendYield, "DividendYield");
    checks::Model(model.heston);
    checks::Jumps(model.jumps);

    const int n = static_cast<int>(fixingTimes.size());
    std::vector<ComplexNumber> coefficients(fixingTimes.size());
    auto logMoment = [&](ComplexNumber s) {
        std::fill(coefficients.begin(), coefficients.end(), s / double(n));
        return LogMomentOfFixings(coefficients.data(), fixingTimes.data(), n, rate, dividendYield,
                                  model);
    };
    const double k = strike / spot;
    const FourierCall call = CallFromLogMoment(logMoment, k);
    const double discount = std::exp(-rate * fixingTimes.back()) * spot;
    const double value = optionType == kCall ? call.call : call.put;
    return discount * std::max(value, 0.0);
}

double GeometricAsianPrice(int optionType, double spot, double strike,
                           const std::vector<double>& fixingTimes, double rate,
                           double dividendYield, const ModelParameters& model) {
    return GeometricAsianPrice(optionType, spot, strike, fixingTimes, rate, dividendYield,
                               BatesParameters{model, kNoJumps});
}

}  // namespace heston
