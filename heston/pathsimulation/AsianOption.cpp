// Asian options on simulated paths: the running sums of each path at the fixings, and the
// pair samples of every strike.
#include "pathsimulation/AsianOption.h"

#include <algorithm>
#include <cmath>

#include "pathsimulation/GeometricAsianPrice.h"
#include "pathsimulation/InputChecks.h"

namespace heston {

namespace {

enum class Sample { kArithmetic, kGeometric, kArithmeticLessGeometric };

// State per path: the sum of the spots and the sum of the log spots at the fixings.
class AsianProduct final : public PathProduct {
  public:
    AsianProduct(double spot, const std::vector<StrikeOption>& options, int fixings, Sample sample)
        : spot_(spot), options_(options), fixings_(fixings), sample_(sample) {}

    int Outputs() const override { return static_cast<int>(options_.size()); }
    int StateSize() const override { return 2; }

    void Observe(int, const double* logSpot, const double* spot, double* state) const override {
        for (int i = 0; i < kPaths; ++i) {
            state[2 * i] += spot[i];
            state[2 * i + 1] += logSpot[i];
        }
    }

    void Samples(const double* state, int pairs, double* samples) const override {
        // The averages of each path, the geometric one with the library's exponential.
        double arithmetic[kPaths], logGeometric[kPaths], geometric[kPaths];
        for (int i = 0; i < kPaths; ++i) {
            arithmetic[i] = state[2 * i] / fixings_;
            logGeometric[i] = state[2 * i + 1] / fixings_;
        }
        ScaledExp(logGeometric, kPaths, spot_, geometric);
        for (std::size_t o = 0; o < options_.size(); ++o) {
            const StrikeOption& option = options_[o];
            const double sign = option.optionType == kCall ? 1.0 : -1.0;
            double* y = samples + o * kPairsPerBlock;
            for (int p = 0; p < pairs; ++p) {
                double pair = 0.0;
                for (int i : {p, p + kPairsPerBlock}) {
                    const double a = std::max(sign * (arithmetic[i] - option.strike), 0.0);
                    const double g = std::max(sign * (geometric[i] - option.strike), 0.0);
                    pair += sample_ == Sample::kArithmetic  ? a
                            : sample_ == Sample::kGeometric ? g
                                                            : a - g;
                }
                y[p] = 0.5 * pair;
            }
        }
    }

  private:
    double spot_;
    const std::vector<StrikeOption>& options_;
    int fixings_;
    Sample sample_;
};

void CheckInputs(double spot, const std::vector<StrikeOption>& options,
                 const std::vector<double>& fixingTimes, double rate, double dividendYield,
                 const BatesParameters& model) {
    checks::Positive(spot, "Spot");
    for (const StrikeOption& option : options) {
        checks::OptionType(option.optionType);
        checks::Positive(option.strike, "Strike");
    }
    checks::AscendingTimes(fixingTimes, "FixingTimes");
    checks::Finite(rate, "Rate");
    checks::Finite(dividendYield, "DividendYield");
    checks::Model(model.heston);
    checks::Jumps(model.jumps);
}

std::vector<SimulatedPrice> Simulate(double spot, const std::vector<StrikeOption>& options,
                                     const std::vector<double>& fixingTimes, double rate,
                                     double dividendYield, const BatesParameters& model,
                                     Sample sample, const SimulationSettings& settings,
                                     ParallelFor& runner) {
    const AsianProduct product(spot, options, static_cast<int>(fixingTimes.size()), sample);
    const PathStatistics statistics =
        SimulatePaths(spot, fixingTimes, rate, dividendYield, model, product, settings, runner);
    const double discount = std::exp(-rate * fixingTimes.back());
    std::vector<SimulatedPrice> prices(options.size());
    for (std::size_t o = 0; o < options.size(); ++o) {
        prices[o] = {discount * statistics.mean[o], discount * statistics.standardError[o]};
    }
    return prices;
}

}  // namespace

std::vector<SimulatedPrice> AsianPrices(double spot, const std::vector<StrikeOption>& options,
                                        const std::vector<double>& fixingTimes, double rate,
                                        double dividendYield, const BatesParameters& model,
                                        AsianAverage average, const SimulationSettings& settings,
                                        ParallelFor& runner) {
    CheckInputs(spot, options, fixingTimes, rate, dividendYield, model);
    std::vector<SimulatedPrice> prices(options.size());
    std::vector<double> geometric(options.size());
    for (std::size_t o = 0; o < options.size(); ++o) {
        geometric[o] = GeometricAsianPrice(options[o].optionType, spot, options[o].strike,
                                           fixingTimes, rate, dividendYield, model);
    }
    if (average == AsianAverage::kGeometric) {
        for (std::size_t o = 0; o < options.size(); ++o) prices[o] = {geometric[o], 0.0};
        return prices;
    }
    prices = Simulate(spot, options, fixingTimes, rate, dividendYield, model,
                      Sample::kArithmeticLessGeometric, settings, runner);
    for (std::size_t o = 0; o < options.size(); ++o) prices[o].price += geometric[o];
    return prices;
}

std::vector<SimulatedPrice> SimulatedAsianPrices(
    double spot, const std::vector<StrikeOption>& options, const std::vector<double>& fixingTimes,
    double rate, double dividendYield, const BatesParameters& model, AsianAverage average,
    const SimulationSettings& settings, ParallelFor& runner) {
    CheckInputs(spot, options, fixingTimes, rate, dividendYield, model);
    return Simulate(spot, options, fixingTimes, rate, dividendYield, model,
                    average == AsianAverage::kGeometric ? Sample::kGeometric : Sample::kArithmetic,
                    settings, runner);
}

std::vector<SimulatedPrice> AsianPrices(double spot, const std::vector<StrikeOption>& options,
                                        const std::vector<double>& fixingTimes, double rate,
                                        double dividendYield, const ModelParameters& model,
                                        AsianAverage average, const SimulationSettings& settings,
                                        ParallelFor& runner) {
    return AsianPrices(spot, options, fixingTimes, rate, dividendYield,
                       BatesParameters{model, kNoJumps}, average, settings, runner);
}

std::vector<SimulatedPrice> SimulatedAsianPrices(
    double spot, const std::vector<StrikeOption>& options, const std::vector<double>& fixingTimes,
    double rate, double dividendYield, const ModelParameters& model, AsianAverage average,
    const SimulationSettings& settings, ParallelFor& runner) {
    return SimulatedAsianPrices(spot, options, fixingTimes, rate, dividendYield,
                                BatesParameters{model, kNoJumps}, average, settings, runner);
}

}  // namespace heston
