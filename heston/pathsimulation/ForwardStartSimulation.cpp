// Forward-start options on simulated paths: the spot at the reset, then each moneyness's
// payoff at maturity.
#include "pathsimulation/ForwardStartSimulation.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "pathsimulation/InputChecks.h"

namespace heston {

namespace {

// State per path: the spot at the reset and at maturity.
class ForwardStartProduct final : public PathProduct {
  public:
    explicit ForwardStartProduct(const std::vector<ForwardStartOption>& options)
        : options_(options) {}

    int Outputs() const override { return static_cast<int>(options_.size()); }
    int StateSize() const override { return 2; }

    void Observe(int event, const double*, const double* spot, double* state) const override {
        for (int i = 0; i < kPaths; ++i) state[2 * i + event] = spot[i];
    }

    void Samples(const double* state, int pairs, double* samples) const override {
        for (std::size_t o = 0; o < options_.size(); ++o) {
            const double sign = options_[o].optionType == kCall ? 1.0 : -1.0;
            const double k = options_[o].moneyness;
            double* y = samples + o * kPairsPerBlock;
            for (int p = 0; p < pairs; ++p) {
                double pair = 0.0;
                for (int i : {p, p + kPairsPerBlock})
                    pair += std::max(sign * (state[2 * i + 1] - k * state[2 * i]), 0.0);
                y[p] = 0.5 * pair;
            }
        }
    }

  private:
    const std::vector<ForwardStartOption>& options_;
};

}  // namespace

std::vector<SimulatedPrice> SimulatedForwardStartPrices(
    double spot, const std::vector<ForwardStartOption>& options, double resetTime, double maturity,
    double rate, double dividendYield, const BatesParameters& model,
    const SimulationSettings& settings, ParallelFor& runner) {
    checks::Positive(spot, "Spot");
    for (const ForwardStartOption& option : options) {
        checks::OptionType(option.optionType);
        checks::Positive(option.moneyness, "Moneyness");
    }
    checks::ForwardStartTerms(resetTime, maturity, rate, dividendYield, model);

    const ForwardStartProduct product(options);
    const PathStatistics statistics = SimulatePaths(
        spot, {resetTime, maturity}, rate, dividendYield, model, product, settings, runner);
    const double discount = std::exp(-rate * maturity);
    std::vector<SimulatedPrice> prices(options.size());
    for (std::size_t o = 0; o < options.size(); ++o)
        prices[o] = {discount * statistics.mean[o], discount * statistics.standardError[o]};
    return prices;
}

std::vector<SimulatedPrice> SimulatedForwardStartPrices(
    double spot, const std::vector<ForwardStartOption>& options, double resetTime, double maturity,
    double rate, double dividendYield, const ModelParameters& model,
    const SimulationSettings& settings, ParallelFor& runner) {
    return SimulatedForwardStartPrices(spot, options, resetTime, maturity, rate, dividendYield,
                                       BatesParameters{model, kNoJumps}, settings, runner);
}

}  // namespace heston
