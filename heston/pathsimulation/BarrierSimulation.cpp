// Barrier options on simulated paths: a hit flag per path over the monitoring dates, then the
// payoff of each strike at maturity.
#include "pathsimulation/BarrierSimulation.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "pathsimulation/InputChecks.h"

namespace heston {

namespace {

// Events: the monitoring dates, then the maturity. State per path: hit (0 or 1), S(T).
class BarrierProduct final : public PathProduct {
  public:
    BarrierProduct(const std::vector<StrikeOption>& options, const DiscreteBarrier& barrier)
        : options_(options),
          barrier_(barrier),
          monitors_(static_cast<int>(barrier.monitoringTimes.size())) {}

    int Outputs() const override { return static_cast<int>(options_.size()); }
    int StateSize() const override { return 2; }

    void Observe(int event, const double*, const double* spot, double* state) const override {
        if (event == monitors_) {
            for (int i = 0; i < kPaths; ++i) state[2 * i + 1] = spot[i];
            return;
        }
        const bool up =
            barrier_.kind == BarrierKind::kUpAndOut || barrier_.kind == BarrierKind::kUpAndIn;
        for (int i = 0; i < kPaths; ++i) {
            const bool hit = up ? spot[i] >= barrier_.level : spot[i] <= barrier_.level;
            if (hit) state[2 * i] = 1.0;
        }
    }

    void Samples(const double* state, int pairs, double* samples) const override {
        const bool out =
            barrier_.kind == BarrierKind::kUpAndOut || barrier_.kind == BarrierKind::kDownAndOut;
        for (std::size_t o = 0; o < options_.size(); ++o) {
            const double sign = options_[o].optionType == kCall ? 1.0 : -1.0;
            double* y = samples + o * kPairsPerBlock;
            for (int p = 0; p < pairs; ++p) {
                double pair = 0.0;
                for (int i : {p, p + kPairsPerBlock}) {
                    const bool alive = out ? state[2 * i] == 0.0 : state[2 * i] != 0.0;
                    if (alive)
                        pair += std::max(sign * (state[2 * i + 1] - options_[o].strike), 0.0);
                }
                y[p] = 0.5 * pair;
            }
        }
    }

  private:
    const std::vector<StrikeOption>& options_;
    const DiscreteBarrier& barrier_;
    int monitors_;
};

}  // namespace

std::vector<SimulatedPrice> SimulatedBarrierPrices(
    double spot, const std::vector<StrikeOption>& options, const DiscreteBarrier& barrier,
    double maturity, double rate, double dividendYield, const ModelParameters& model,
    const SimulationSettings& settings, ParallelFor& runner) {
    checks::Positive(spot, "Spot");
    for (const StrikeOption& option : options) {
        checks::OptionType(option.optionType);
        checks::Positive(option.strike, "Strike");
    }
    checks::Positive(barrier.level, "Barrier");
    checks::Positive(maturity, "Maturity");
    std::vector<double> events = barrier.monitoringTimes;
    if (!events.empty()) {
        checks::AscendingTimes(events, "MonitoringTimes");
        if (events.back() > maturity)
            throw std::invalid_argument("MonitoringTimes must not be after Maturity");
    }
    checks::Finite(rate, "Rate");
    checks::Finite(dividendYield, "DividendYield");
    checks::Model(model);

    events.push_back(maturity);
    const BarrierProduct product(options, barrier);
    const PathStatistics statistics =
        SimulatePaths(spot, events, rate, dividendYield, model, product, settings, runner);
    const double discount = std::exp(-rate * maturity);
    std::vector<SimulatedPrice> prices(options.size());
    for (std::size_t o = 0; o < options.size(); ++o)
        prices[o] = {discount * statistics.mean[o], discount * statistics.standardError[o]};
    return prices;
}

}  // namespace heston
