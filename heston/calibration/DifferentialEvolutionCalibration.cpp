// Calibration of the five Heston parameters by Differential Evolution: the class-wide
// observation table, the DE objective Heston::Evaluate and heston_CalibrateDE.
#include <cmath>
#include <cstddef>
#include <vector>

#include "calibration/Calibration.h"
#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"

namespace {

const char* const kObservationMismatch = "Mismatch in the observation data";
const char* const kParameterMismatch = "Mismatch in the heston parameter inputs.";

const char* const kNothingAccepted =
    "No parameters within the bounds satisfying the Feller condition were found";

// The solver's best cost before its first acceptance; an accepted cost is always below it.
constexpr double kNoAcceptedCost = 1e20;

constexpr int kDimension = heston::kModelParameterCount;
constexpr int kPopulation = 50;

}  // namespace

void Heston::SetCalibrationData(const std::vector<double>& lower, const std::vector<double>& upper,
                                const std::vector<double>& strike,
                                const std::vector<double>& maturity,
                                const std::vector<double>& optionType,
                                const std::vector<double>& observed, double spot,
                                const std::vector<double>& rate,
                                const std::vector<double>& weight) {
    CalibrationData& data = calibrationData;
    data.lower = lower;
    data.upper = upper;
    data.strike = strike;
    data.maturity = maturity;
    data.optionType = optionType;
    data.observed = observed;
    data.spot = spot;
    data.rate = rate;
    data.weight = weight;
}

double Heston::Evaluate(const double* candidate, bool& stop) {
    (void)stop;  // the search always runs all its generations
    const CalibrationData& data = calibrationData;
    const std::size_t N = data.observed.size();
    // heston_CalibrateDE guarantees these; a table stored directly through
    // SetCalibrationData must not make the objective read past an array's end.
    if (data.strike.size() != N || data.maturity.size() != N || data.optionType.size() != N ||
        data.rate.size() != N || data.weight.size() != N) {
        throw kObservationMismatch;
    }
    if (data.lower.size() < static_cast<std::size_t>(kDimension) ||
        data.upper.size() < static_cast<std::size_t>(kDimension)) {
        throw kParameterMismatch;
    }

    const heston::ModelParameters p = heston::FromCalibrationVector(candidate);

    // All prices at once: options of one maturity share the strike-independent part of the
    // integrand, and the maturities are the runner's tasks. The model price is used as it
    // comes: a negative value is not raised to zero. The sum runs in index order afterwards.
    std::vector<double> prices(N);
    heston::closedform::ClosedFormPrices(data.spot, data.strike.data(), data.maturity.data(),
                                         data.rate.data(), data.optionType.data(),
                                         static_cast<int>(N), p, 0.0, 1e-6, prices.data(), *runner);
    double E = 0.0;
    for (std::size_t i = 0; i < N; ++i) {
        E = E + data.weight[i] * std::pow(data.observed[i] - prices[i], 2.0);
    }
    // Penalties equal the best cost so far (1e20 before any acceptance), so a candidate
    // outside the bounds or breaking the Feller condition never becomes the best.
    for (int j = 0; j < kDimension; ++j) {
        if (data.upper[j] < candidate[j]) {
            E = E + bestCost;
        } else if (data.lower[j] > candidate[j]) {
            E = E + bestCost;
        }
    }
    if (heston::FellerMargin(p) <= 0.0) E = E + bestCost;
    ++evaluationCount;
    return E;
}

std::vector<double> heston_CalibrateDE(
    std::vector<double> lowerBound, std::vector<double> upperbound, std::vector<double> strikeArray,
    std::vector<double> maturityArray, std::vector<double> callTypeArray,
    std::vector<double> observedPriceArray, double currentSpot,
    std::vector<double> interestRateArray, std::vector<double> weights, int maxIterations,
    const heston::StopRequest& stop, heston::ParallelFor& runner) {
    Heston solver(kDimension, kPopulation);
    solver.runner = &runner;

    // All six observation arrays are read at every index, so they must agree in length.
    const std::size_t n = strikeArray.size();
    if (maturityArray.size() != n || callTypeArray.size() != n || observedPriceArray.size() != n ||
        interestRateArray.size() != n || weights.size() != n) {
        throw kObservationMismatch;
    }
    if (lowerBound.size() != upperbound.size() ||
        lowerBound.size() != static_cast<std::size_t>(kDimension)) {
        throw kParameterMismatch;
    }

    Heston::SetCalibrationData(lowerBound, upperbound, strikeArray, maturityArray, callTypeArray,
                               observedPriceArray, currentSpot, interestRateArray, weights);

    double lower[kDimension];
    double upper[kDimension];
    for (int j = 0; j < kDimension; ++j) {
        lower[j] = lowerBound[j];
        upper[j] = upperbound[j];
    }
    // DE/best/1 with exponential crossover at CR = 1: every trial is
    // best + 0.9 * (x_r1 - x_r2) in all five components.
    solver.Initialise(lower, upper, 0, 0.9, 1.0);
    solver.Run(maxIterations, stop);
    // The best cost stays at its starting 1e20 only when no trial was ever accepted: every
    // candidate left the bounds or broke the Feller condition, and the best vector still holds
    // its initial zeros, which are no fit. Without any generation there was nothing to search.
    if (maxIterations > 0 && !(solver.BestCost() < kNoAcceptedCost)) throw kNothingAccepted;

    const double* best = solver.BestVector();
    return std::vector<double>(best, best + kDimension);
}
