// heston_demo: closed-form Heston prices, and calibrations by Differential Evolution and by
// Levenberg-Marquardt least squares to an observed option surface read from CSV.
//
// Usage: heston_demo <surface.csv> [spot] [generations]
// The CSV has the header strike,maturity_years,type,price,rate,weight (type 1 = call,
// 2 = put). Each calibration is one function returning a Fit, printed side by side.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "calibration/Calibration.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "observation_csv.h"
#include "quote_table.h"

namespace {

constexpr double kDefaultSpot = test_support::kDaxSpot;
constexpr int kDefaultGenerations = 100;

using test_support::QuoteTable;

// Fitted parameters in calibration order v, theta, kappa, sigma, rho.
struct Fit {
    std::string method;
    std::vector<double> parameters;
    double seconds = 0.0;
};

double ModelPrice(const std::vector<double>& p, const QuoteTable& obs, std::size_t i) {
    return test_support::ModelPrice(heston::FromCalibrationVector(p.data()), obs.spot,
                                    obs.strike[i], obs.maturity[i], obs.rate[i], obs.type[i], 1e-6);
}

double RmsError(const std::vector<double>& p, const QuoteTable& obs) {
    double squares = 0.0;
    for (std::size_t i = 0; i < obs.Size(); ++i) {
        const double e = ModelPrice(p, obs, i) - obs.observed[i];
        squares += obs.weight[i] * e * e;
    }
    return obs.Size() == 0 ? 0.0 : std::sqrt(squares / obs.Size());
}

Fit FitByDifferentialEvolution(const QuoteTable& obs, const std::vector<double>& lower,
                               const std::vector<double>& upper, int generations) {
    const auto start = std::chrono::steady_clock::now();
    Fit fit;
    fit.method = "Differential Evolution (" + std::to_string(generations) + " generations)";
    fit.parameters = heston_CalibrateDE(lower, upper, obs.strike, obs.maturity, obs.type,
                                        obs.observed, obs.spot, obs.rate, obs.weight, generations);
    fit.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return fit;
}

Fit FitByLeastSquares(const QuoteTable& obs, const std::vector<double>& lower,
                      const std::vector<double>& upper, const std::vector<double>& guess,
                      int maxEvaluations) {
    const auto start = std::chrono::steady_clock::now();
    Fit fit;
    fit.method = "Levenberg-Marquardt (" + std::to_string(maxEvaluations) + " evaluations max)";
    fit.parameters =
        heston_CalibrateLevMar(lower, upper, guess, obs.strike, obs.maturity, obs.type,
                               obs.observed, obs.spot, obs.rate, obs.weight, maxEvaluations);
    fit.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return fit;
}

void PrintClosedFormExamples(double spot) {
    // v, theta, kappa, sigma, rho of a typical equity-index fit.
    const double v = 0.04, theta = 0.05, kappa = 1.5, sigma = 0.5, rho = -0.7, r = 0.03;
    std::printf(
        "Closed-form prices, spot %.2f, r %.2f, v %.2f, theta %.2f, kappa %.1f, "
        "sigma %.1f, rho %.1f\n",
        spot, r, v, theta, kappa, sigma, rho);
    std::printf("  %10s %8s %12s %12s\n", "strike", "years", "call", "put");
    for (double moneyness : {0.9, 1.0, 1.1}) {
        for (double T : {0.5, 1.0}) {
            const double K = std::round(spot * moneyness);
            std::printf("  %10.0f %8.2f %12.4f %12.4f\n", K, T,
                        heston_EuropeanCallPrice(spot, K, T, r, rho, kappa, theta, 0.0, sigma, v),
                        heston_EuropeanPutPrice(spot, K, T, r, rho, kappa, theta, 0.0, sigma, v));
        }
    }
    std::printf("\n");
}

void PrintFits(const std::vector<Fit>& fits, const QuoteTable& obs) {
    std::printf("%-45s %9s %9s %9s %9s %9s %10s %8s\n", "fit", "v", "theta", "kappa", "sigma",
                "rho", "rms error", "seconds");
    for (const Fit& f : fits) {
        const auto& p = f.parameters;
        std::printf("%-45s %9.5f %9.5f %9.4f %9.4f %9.4f %10.4f %8.2f\n", f.method.c_str(), p[0],
                    p[1], p[2], p[3], p[4], RmsError(p, obs), f.seconds);
    }
    std::printf("\n");
}

void PrintPriceComparison(const std::vector<Fit>& fits, const QuoteTable& obs) {
    std::printf("%8s %8s %5s %12s", "strike", "years", "type", "observed");
    for (std::size_t k = 0; k < fits.size(); ++k)
        std::printf(" %12s", ("model " + std::to_string(k + 1)).c_str());
    std::printf("\n");
    for (std::size_t i = 0; i < obs.Size(); ++i) {
        std::printf("%8.0f %8.4f %5s %12.4f", obs.strike[i], obs.maturity[i],
                    obs.type[i] == 1.0 ? "call" : "put", obs.observed[i]);
        for (const Fit& f : fits) std::printf(" %12.4f", ModelPrice(f.parameters, obs, i));
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <surface.csv> [spot] [generations]\n", argv[0]);
        return 2;
    }
    try {
        const double spot = argc > 2 ? std::stod(argv[2]) : kDefaultSpot;
        const int generations = argc > 3 ? std::stoi(argv[3]) : kDefaultGenerations;
        const QuoteTable obs = test_support::ReadObservationCsv(argv[1], spot);

        PrintClosedFormExamples(spot);

        // Lower bounds near zero matter: the search starts from a best vector of zeros and its
        // first trials are differences of members, which must reach inside the bounds.
        const std::vector<double> lower = {0.001, 0.001, 0.1, 0.01, -0.99};
        const std::vector<double> upper = {0.5, 0.5, 10.0, 2.0, 0.5};
        const std::vector<double> guess = {0.04, 0.05, 2.0, 0.5, -0.6};
        std::printf("Calibrating to %zu options (spot %.2f)...\n\n", obs.Size(), spot);
        std::vector<Fit> fits;
        fits.push_back(FitByDifferentialEvolution(obs, lower, upper, generations));
        fits.push_back(FitByLeastSquares(obs, lower, upper, guess, 400));

        PrintFits(fits, obs);
        PrintPriceComparison(fits, obs);
    } catch (const char* message) {
        std::fprintf(stderr, "error: %s\n", message);
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
