// Heston: the Heston stochastic-volatility model and every model operation of the library.
//
// Closed-form European prices by the semi-closed-form solution (two probabilities, each an
// integral of the characteristic function by a composite Boole rule), normal random numbers
// and Monte Carlo prices, and the calibration objectives. Heston derives from DESolver so
// that it can serve as the Differential Evolution objective; pricing uses nothing of the
// base and reads or writes no field of the object.
//
// References: S. L. Heston, "A closed-form solution for options with stochastic volatility
// with applications to bond and currency options", Rev. Financial Studies 6 (1993); the
// arrangement with exp(-d tau) follows H. Albrecher et al., "The little Heston trap" (2007).
//
// Warnings: inputs outside the model's domain are not checked and give NaN or infinity
// (sigma = 0, S or K <= 0, a lower integration limit of 0). The class-wide calibrationData
// is shared by every object and unlocked: one calibration at a time per process.
#pragma once

#include <vector>

#include "execution/ParallelFor.h"
#include "execution/StopRequest.h"
// The one include against the layering (cmake/Layering.cmake): the model class derives from the
// Differential Evolution solver, so that a calibration object is its own objective. The nine
// original worksheet functions are built on that shape, which stays as it is.
#include "optimisation/DESolver.h"

// Signature of the integrand handed to Heston::Integrate (note r before tau).
using HestonIntegrandFunction = double (*)(double phi, int j, double S, double K, double r,
                                           double tau, double rho, double kappa, double theta,
                                           double lambda, double sigma, double v);

// Re[f_j(phi) exp(-i phi ln K) / (i phi)], the integrand of probability j (1, else 2).
double HestonIntegrand(double phi, int j, double S, double K, double r, double tau, double rho,
                       double kappa, double theta, double lambda, double sigma, double v);

// The observation table and bounds shared by both calibrations, one copy per process.
struct CalibrationData {
    double spot = 0.0;
    std::vector<double> lower;
    std::vector<double> upper;
    std::vector<double> strike;
    std::vector<double> maturity;
    std::vector<double> optionType;
    std::vector<double> observed;
    std::vector<double> rate;
    std::vector<double> weight;
};

class Heston : public DESolver {
  public:
    // Pricing object: an empty solver base, nothing allocated.
    Heston();
    // Calibration object: a solver of the given dimension and population.
    Heston(int dimension, int populationSize);

    // Call (optionType 1) or put (any other value, by parity from the call's two
    // probabilities); not floored at 0. Integrates [lowerLimit, 15] and [15.0000001,
    // upperLimit].
    double ClosedFormPrice(double S, double K, double tau, double r, double rho, double kappa,
                           double theta, double lambda, double sigma, double v, double lowerLimit,
                           double upperLimit, int optionType);

    // Composite Boole rule with `intervals` equal steps over [lower, upper] (j picks the
    // probability); once a sample falls below 1e-45 in magnitude every later one is 0.
    // Throws std::invalid_argument unless intervals is a positive multiple of 4.
    double Integrate(HestonIntegrandFunction integrand, double S, double K, double tau, double r,
                     double rho, double kappa, double theta, double lambda, double sigma, double v,
                     double lower, double upper, int intervals, int j);

    std::vector<double> RandomNormals(int n);

    // Polls stop before each simulation (see StopRequest.h).
    double MonteCarloPrice(double S, double K, double tau, double r, double rho, double kappa,
                           double theta, double lambda, double sigma, double v, int optionType,
                           int nSimulations, int nTimeSteps,
                           const heston::StopRequest& stop = heston::StopRequest());

    // Differential Evolution objective: weighted squared price errors plus penalties.
    double Evaluate(const double* candidate, bool& stop) override;

    static void SetCalibrationData(
        const std::vector<double>& lower, const std::vector<double>& upper,
        const std::vector<double>& strike, const std::vector<double>& maturity,
        const std::vector<double>& optionType, const std::vector<double>& observed, double spot,
        const std::vector<double>& rate, const std::vector<double>& weight);

    std::vector<double> CalibrateLeastSquares(
        std::vector<double> lowerBound, std::vector<double> upperbound,
        std::vector<double> initialGuess, std::vector<double> strikeArray,
        std::vector<double> maturityArray, std::vector<double> callTypeArray,
        std::vector<double> observedPriceArray, double currentSpot,
        std::vector<double> interestRateArray, std::vector<double> weights, int maxIterations,
        const heston::StopRequest& stop = heston::StopRequest());

    static CalibrationData calibrationData;

    int evaluationCount;

    // Runs the maturities of each surface evaluation of a calibration (Evaluate and the
    // least-squares residuals); serial unless the caller hands in its own runner.
    heston::ParallelFor* runner = &heston::Serial();
};

// Library functions: closed-form prices floored at 0.
double heston_EuropeanCallPrice(double Spot, double Strike, double TimeToMaturity,
                                double InterestRate, double rho, double kappa, double theta,
                                double lambda, double sigma, double v);
double heston_EuropeanPutPrice(double Spot, double Strike, double TimeToMaturity,
                               double InterestRate, double rho, double kappa, double theta,
                               double lambda, double sigma, double v);

// Library functions: normal random numbers and Monte Carlo prices.
std::vector<double> heston_RandomVars(int n);
double heston_EuropeanCallPriceMC(double Spot, double Strike, double TimeToMaturity,
                                  double InterestRate, double rho, double kappa, double theta,
                                  double lambda, double sigma, double v, int nSimulations,
                                  int nTimeSteps,
                                  const heston::StopRequest& stop = heston::StopRequest());
double heston_EuropeanPutPriceMC(double Spot, double Strike, double TimeToMaturity,
                                 double InterestRate, double rho, double kappa, double theta,
                                 double lambda, double sigma, double v, int nSimulations,
                                 int nTimeSteps,
                                 const heston::StopRequest& stop = heston::StopRequest());
