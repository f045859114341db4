// heston_demo: closed-form Heston prices, and three calibrations to an observed option surface
// read from CSV: Differential Evolution and Levenberg-Marquardt least squares on the closed
// form, and the contour pricer's calibration in implied volatilities (heston_Calibrate's).
//
// Usage: heston_demo <surface.csv> [spot] [generations]
// The CSV has the header strike,maturity_years,type,price,rate,weight (type 1 = call,
// 2 = put). Each calibration is one function returning a Fit, printed side by side; each fit's
// errors are those of the pricer it was fitted with.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "blackscholes/BlackImpliedVolatility.h"
#include "calibration/Calibration.h"
#include "calibration/ContourCalibration.h"
#include "closedform/Heston.h"
#include "contour/ContourPricer.h"
#include "model/ModelParameters.h"
#include "observation_csv.h"
#include "quote_table.h"

namespace {

constexpr double kDefaultSpot = test_support::kDaxSpot;
constexpr int kDefaultGenerations = 100;

using test_support::QuoteTable;

// Fitted parameters in calibration order v, theta, kappa, sigma, rho, and the pricer they were
// fitted with.
struct Fit {
    std::string method;
    std::vector<double> parameters;
    bool contour = false;     // the contour pricer; else the closed form
    std::string diagnostics;  // what the calibration reports of itself, if anything
    double seconds = 0.0;
};

int OptionType(const QuoteTable& obs, std::size_t i) {
    return static_cast<int>(obs.type[i]) == 1 ? 1 : 2;
}

double ModelPrice(const Fit& fit, const QuoteTable& obs, std::size_t i) {
    const heston::ModelParameters p = heston::FromCalibrationVector(fit.parameters.data());
    if (fit.contour) {
        return heston::EuropeanPrice(OptionType(obs, i), obs.spot, obs.strike[i], obs.maturity[i],
                                     obs.rate[i], 0.0, p);
    }
    return test_support::ModelPrice(p, obs.spot, obs.strike[i], obs.maturity[i], obs.rate[i],
                                    obs.type[i], 1e-6);
}

// Black-Scholes implied volatility of a price of option i; NaN where the price has none.
double ImpliedVol(const QuoteTable& obs, std::size_t i, double price) {
    try {
        return heston::BlackImpliedVolatility(OptionType(obs, i), price, obs.spot, obs.strike[i],
                                              obs.maturity[i], obs.rate[i], 0.0);
    } catch (const std::exception&) {
        return std::nan("");
    }
}

// Weighted root mean square errors of a fit in price and in implied volatility (the latter
// over the options whose model price has an implied volatility).
struct FitErrors {
    double price = 0.0;
    double vol = 0.0;
};

FitErrors RmsErrors(const Fit& fit, const QuoteTable& obs) {
    double prices = 0.0, vols = 0.0;
    std::size_t volCount = 0;
    for (std::size_t i = 0; i < obs.Size(); ++i) {
        const double model = ModelPrice(fit, obs, i);
        const double e = model - obs.observed[i];
        prices += obs.weight[i] * e * e;
        const double v = ImpliedVol(obs, i, model) - ImpliedVol(obs, i, obs.observed[i]);
        if (std::isfinite(v)) {
            vols += obs.weight[i] * v * v;
            ++volCount;
        }
    }
    FitErrors errors;
    if (obs.Size() > 0) errors.price = std::sqrt(prices / obs.Size());
    errors.vol = volCount > 0 ? std::sqrt(vols / volCount) : std::nan("");
    return errors;
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

// The contour pricer's calibration as heston_Calibrate runs it by default, in implied
// volatilities: no initial guess, default bounds and evaluation limit.
Fit FitByContourCalibration(const QuoteTable& obs) {
    const auto start = std::chrono::steady_clock::now();
    heston::ContourCalibrationSettings settings;
    settings.measure = heston::CalibrationErrorMeasure::Vol;
    const heston::ContourCalibrationResult result =
        heston::CalibrateAccurately(obs.spot, test_support::ContourQuotes(obs, 0.0), settings);
    Fit fit;
    fit.method = "contour pricer, in implied vols";
    fit.parameters.resize(5);
    heston::ToCalibrationVector(result.parameters, fit.parameters.data());
    fit.contour = true;
    fit.diagnostics =
        std::to_string(result.evaluations) + " evaluations, " + heston::StatusText(result.status);
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
    std::printf("%-42s %8s %8s %8s %8s %8s %9s %8s %7s\n", "fit", "v", "theta", "kappa", "sigma",
                "rho", "rms price", "rms vol", "seconds");
    for (const Fit& f : fits) {
        const auto& p = f.parameters;
        const FitErrors errors = RmsErrors(f, obs);
        std::printf("%-42s %8.5f %8.5f %8.4f %8.4f %8.4f %9.4f %7.3f%% %7.2f\n", f.method.c_str(),
                    p[0], p[1], p[2], p[3], p[4], errors.price, 100.0 * errors.vol, f.seconds);
        if (!f.diagnostics.empty()) std::printf("  %s\n", f.diagnostics.c_str());
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
        for (const Fit& f : fits) std::printf(" %12.4f", ModelPrice(f, obs, i));
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
        fits.push_back(FitByContourCalibration(obs));

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
