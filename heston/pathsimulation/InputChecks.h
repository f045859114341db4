// InputChecks: the checks the path-dependent pricers share, each throwing
// std::invalid_argument with a text that names the argument.
#pragma once

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "model/PricingTypes.h"

namespace heston {
namespace checks {

inline void Positive(double value, const char* name) {
    if (!(value > 0.0) || !std::isfinite(value))
        throw std::invalid_argument(std::string(name) + " must be positive and finite");
}

inline void Finite(double value, const char* name) {
    if (!std::isfinite(value)) throw std::invalid_argument(std::string(name) + " must be finite");
}

inline void OptionType(int optionType) {
    if (optionType != kCall && optionType != kPut)
        throw std::invalid_argument("OptionType must be 1 (call) or 2 (put)");
}

inline void Model(const ModelParameters& p) {
    if (!(p.v0 >= 0.0) || !std::isfinite(p.v0)) throw std::invalid_argument("v0 must be >= 0");
    if (!(p.theta >= 0.0) || !std::isfinite(p.theta))
        throw std::invalid_argument("theta must be >= 0");
    if (!(p.kappa >= 0.0) || !std::isfinite(p.kappa))
        throw std::invalid_argument("kappa must be >= 0");
    if (!(p.sigma >= 0.0) || !std::isfinite(p.sigma))
        throw std::invalid_argument("sigma must be >= 0");
    if (!(std::fabs(p.rho) <= 1.0)) throw std::invalid_argument("rho must be in [-1, 1]");
}

// Jumps of the Bates model: lambda >= 0, deltaJ >= 0, all finite, and a mean jump factor
// exp(muJ + deltaJ^2 / 2) that a double holds (the drift's compensator is lambda times it).
inline void Jumps(const JumpParameters& j) {
    if (!(j.lambda >= 0.0) || !std::isfinite(j.lambda))
        throw std::invalid_argument("Jumps: lambda must be >= 0 and finite");
    if (!std::isfinite(j.muJ)) throw std::invalid_argument("Jumps: muJ must be finite");
    if (!(j.deltaJ >= 0.0) || !std::isfinite(j.deltaJ))
        throw std::invalid_argument("Jumps: deltaJ must be >= 0 and finite");
    if (!(j.muJ + 0.5 * j.deltaJ * j.deltaJ < 700.0))
        throw std::invalid_argument(
            "Jumps: muJ + deltaJ^2 / 2 must be below 700 (the mean jump factor overflows)");
}

// Times that are finite, not negative, ascending (equal neighbours allowed) and end after 0.
inline void AscendingTimes(const std::vector<double>& times, const char* name) {
    if (times.empty()) throw std::invalid_argument(std::string(name) + ": at least one is needed");
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (!std::isfinite(times[i]) || times[i] < 0.0)
            throw std::invalid_argument(std::string(name) + " must not be negative");
        if (i > 0 && times[i] < times[i - 1])
            throw std::invalid_argument(std::string(name) + " must be ascending");
    }
    if (!(times.back() > 0.0))
        throw std::invalid_argument(std::string(name) + ": the last must be after 0");
}

// The dates, rates and model of a forward start: the reset from 0 to the maturity.
inline void ForwardStartTerms(double resetTime, double maturity, double rate, double dividendYield,
                              const BatesParameters& model) {
    Finite(resetTime, "ResetTime");
    Positive(maturity, "Maturity");
    if (resetTime < 0.0) throw std::invalid_argument("ResetTime must not be negative");
    if (resetTime > maturity) throw std::invalid_argument("ResetTime must not be after Maturity");
    Finite(rate, "Rate");
    Finite(dividendYield, "DividendYield");
    Model(model.heston);
    Jumps(model.jumps);
}

}  // namespace checks
}  // namespace heston
