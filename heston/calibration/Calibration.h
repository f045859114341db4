// The two calibrations of the five Heston parameters (v, theta, kappa, sigma, rho) to an
// observation table: Differential Evolution and bounded Levenberg-Marquardt least squares.
// Both throw the plain character strings "Mismatch in the observation data" and
// "Mismatch in the heston parameter inputs." on inconsistent inputs; the least-squares
// calibration also throws "Initial guess must lie strictly inside its bounds". The Differential
// Evolution calibration throws "No parameters within the bounds satisfying the Feller condition
// were found" when it ran at least one generation and never accepted a candidate; with
// maxIterations <= 0 it returns five zeros.
//
// Both store their inputs in the class-wide Heston::calibrationData, so only one calibration
// may run at a time in a process.
//
// runner runs the maturities of each surface evaluation (one DE candidate, one residual
// vector) as independent tasks; the results are the same bit for bit whatever the runner.
#pragma once

#include <vector>

#include "execution/ParallelFor.h"
#include "execution/StopRequest.h"

std::vector<double> heston_CalibrateDE(
    std::vector<double> lowerBound, std::vector<double> upperbound, std::vector<double> strikeArray,
    std::vector<double> maturityArray, std::vector<double> callTypeArray,
    std::vector<double> observedPriceArray, double currentSpot,
    std::vector<double> interestRateArray, std::vector<double> weights, int maxIterations,
    const heston::StopRequest& stop = heston::StopRequest(),
    heston::ParallelFor& runner = heston::Serial());

// Levenberg-Marquardt (MINPACK lmdif, forward-difference Jacobian) from initialGuess, with each
// parameter kept inside its bounds by a tanh change of variables. maxIterations limits the
// residual evaluations; lmdif finishes the evaluation round it is in, so it may use a few more.
// Fewer than 5 observations or maxIterations <= 0 return the guess.
// Both calibrations poll stop (see StopRequest.h): DE before each trial, Levenberg-Marquardt
// before each evaluation of the residuals; a stop throws heston::CalculationCancelled.
std::vector<double> heston_CalibrateLevMar(
    std::vector<double> lowerBound, std::vector<double> upperbound,
    std::vector<double> initialGuess, std::vector<double> strikeArray,
    std::vector<double> maturityArray, std::vector<double> callTypeArray,
    std::vector<double> observedPriceArray, double currentSpot,
    std::vector<double> interestRateArray, std::vector<double> weights, int maxIterations,
    const heston::StopRequest& stop = heston::StopRequest(),
    heston::ParallelFor& runner = heston::Serial());

// The change of variables of the least-squares calibration: mid + half * tanh(x) and back.
// ToFreeVariable is infinite or NaN unless p lies strictly between the bounds.
double ToBoundedParameter(double upper, double lower, double x);
double ToFreeVariable(double upper, double lower, double p);

// Residuals of the least-squares calibration at free variables x, read from the class-wide
// calibration data: sqrt(weight_i) * (price_i - observed_i), doubled when the Feller
// condition 2 kappa theta > sigma^2 is broken. n and iflag are not used. m must not exceed the
// number of stored observations.
void CalibrationResiduals(int m, int n, const double* x, double* fvec, int& iflag);
// The same with the maturities run by runner.
void CalibrationResiduals(int m, int n, const double* x, double* fvec, int& iflag,
                          heston::ParallelFor& runner);
