// ModelParameters: the five Heston parameters by name, and the one place that knows their
// order in a calibration vector (v0, theta, kappa, sigma, rho).
//
// Both calibrations take initial guesses and bounds and return results as five numbers in
// that order; the worksheet functions pass them on unchanged. Everything inside the library
// that needs a parameter by meaning reads it from this struct.
#pragma once

namespace heston {

struct ModelParameters {
    double v0;     // initial variance (a variance, not a volatility)
    double theta;  // long-run variance
    double kappa;  // mean-reversion speed of the variance
    double sigma;  // volatility of the variance
    double rho;    // correlation of spot and variance
};

// Number of entries of a calibration vector.
constexpr int kModelParameterCount = 5;

// 2 kappa theta - sigma^2: positive when the Feller condition holds, which keeps the variance
// process away from zero. Both calibrations penalise candidates where it is not positive.
inline double FellerMargin(const ModelParameters& p) {
    return 2.0 * p.kappa * p.theta - p.sigma * p.sigma;
}

// Reads a calibration vector x[0 .. 4] = (v0, theta, kappa, sigma, rho).
inline ModelParameters FromCalibrationVector(const double* x) {
    return ModelParameters{x[0], x[1], x[2], x[3], x[4]};
}

// Writes p as a calibration vector x[0 .. 4] = (v0, theta, kappa, sigma, rho).
inline void ToCalibrationVector(const ModelParameters& p, double* x) {
    x[0] = p.v0;
    x[1] = p.theta;
    x[2] = p.kappa;
    x[3] = p.sigma;
    x[4] = p.rho;
}

}  // namespace heston
