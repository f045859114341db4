// Reference pricing: the straightforward evaluation of the closed-form price, the calibration
// objectives and the Monte Carlo price, formula by formula with the standard complex type and
// nothing shared between calls. The fast library paths must agree with it to rounding; tests
// and the benchmarks compare against it.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include "calibration/Calibration.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "montecarlo/RuntimeRand.h"

namespace reference {

// Re[f_j(phi) exp(-i phi ln K) / (i phi)], computing both characteristic functions.
inline double Integrand(double phi, int j, double S, double K, double r, double tau, double rho,
                        double kappa, double theta, double lambda, double sigma, double v) {
    using Complex = std::complex<double>;
    const Complex i(0.0, 1.0);
    const double a = kappa * theta;
    const double sigma2 = sigma * sigma;
    const Complex q = i * rho * sigma * phi;
    Complex f[2];
    for (int p = 0; p < 2; ++p) {
        const double u = p == 0 ? 0.5 : -0.5;
        const double b = p == 0 ? kappa + lambda - rho * sigma : kappa + lambda;
        const Complex bq = b - q;
        const Complex d = std::sqrt((q - b) * (q - b) - sigma2 * (2.0 * u * phi * i - phi * phi));
        const Complex g = (bq - d) / (bq + d);
        const Complex E = std::exp(-d * tau);
        const Complex C =
            r * phi * i * tau +
            (a / sigma2) * ((bq - d) * tau - 2.0 * std::log((1.0 - g * E) / (1.0 - g)));
        const Complex D = ((bq - d) / sigma2) * (1.0 - E) / (1.0 - g * E);
        const Complex lnS = std::log(Complex(S));
        f[p] = std::exp(C + D * v + i * phi * lnS);
    }
    const Complex lnK = std::log(Complex(K));
    const Complex chosen = j == 1 ? f[0] : f[1];
    return std::real(chosen * std::exp(-i * phi * lnK) / i / phi);
}

// Composite Boole rule with the 1e-45 cut-off over n intervals (a positive multiple of 4).
inline double Integrate(double S, double K, double tau, double r, double rho, double kappa,
                        double theta, double lambda, double sigma, double v, double lower,
                        double upper, int n, int j) {
    const double h = (upper - lower) / n;
    std::vector<double> x(n + 1, 0.0);
    std::vector<double> y(n + 1, 0.0);
    for (int k = 0; k <= n; ++k) {
        x[k] = lower + k * h;
        if (k >= 1 && std::fabs(y[k - 1]) < 1e-45) {
            y[k] = 0.0;
        } else {
            y[k] = Integrand(x[k], j, S, K, r, tau, rho, kappa, theta, lambda, sigma, v);
        }
    }
    double total = 0.0;
    for (int m = 0; m < (n - 1) / 4 + 1; ++m) {
        const int z = 4 * m + 2;
        total =
            total +
            ((64.0 * y[z - 1] + 14.0 * y[z - 2] + 24.0 * y[z] + 64.0 * y[z + 1] + 14.0 * y[z + 2]) *
             0.022222222222222223) *
                h;
    }
    return total;
}

inline double ClosedFormPrice(double S, double K, double tau, double r, double rho, double kappa,
                              double theta, double lambda, double sigma, double v,
                              double lowerLimit, double upperLimit, int optionType) {
    const double pi = 4.0 * std::atan(1.0);
    double P[2];
    for (int j = 1; j <= 2; ++j) {
        const double integral =
            Integrate(S, K, tau, r, rho, kappa, theta, lambda, sigma, v, 15.0000001, upperLimit,
                      200, j) +
            Integrate(S, K, tau, r, rho, kappa, theta, lambda, sigma, v, lowerLimit, 15.0, 180, j);
        P[j - 1] = integral * (1.0 / pi) + 0.5;
    }
    const double Kd = K * std::exp(-(tau * r));
    const double call = S * P[0] - Kd * P[1];
    return optionType == 1 ? call : (call + Kd) - S;
}

inline int OptionTypeCode(double type) {
    return std::trunc(type) == 1.0 ? 1 : 2;
}

// The Differential Evolution cost of a candidate calibration vector with penalty `penalty` (the
// solver's best cost), read from the class-wide calibration data.
inline double Objective(const double* candidate, double penalty) {
    const CalibrationData& data = Heston::calibrationData;
    const heston::ModelParameters p = heston::FromCalibrationVector(candidate);
    double E = 0.0;
    for (std::size_t i = 0; i < data.observed.size(); ++i) {
        const double C = ClosedFormPrice(data.spot, data.strike[i], data.maturity[i], data.rate[i],
                                         p.rho, p.kappa, p.theta, 0.0, p.sigma, p.v0, 1e-6, 100.0,
                                         OptionTypeCode(data.optionType[i]));
        E = E + data.weight[i] * std::pow(data.observed[i] - C, 2.0);
    }
    for (int j = 0; j < heston::kModelParameterCount; ++j) {
        if (data.upper[j] < candidate[j]) {
            E = E + penalty;
        } else if (data.lower[j] > candidate[j]) {
            E = E + penalty;
        }
    }
    if (2.0 * p.kappa * p.theta - p.sigma * p.sigma <= 0.0) E = E + penalty;
    return E;
}

// The least-squares residuals at free variables x, read from the class-wide calibration data.
inline void Residuals(int m, const double* x, double* fvec) {
    const CalibrationData& data = Heston::calibrationData;
    double bounded[heston::kModelParameterCount];
    for (int j = 0; j < heston::kModelParameterCount; ++j) {
        bounded[j] = ToBoundedParameter(data.upper[j], data.lower[j], x[j]);
    }
    const heston::ModelParameters p = heston::FromCalibrationVector(bounded);
    const double feller = 2.0 * p.kappa * p.theta - p.sigma * p.sigma;
    for (int i = 0; i < m; ++i) {
        const double price = ClosedFormPrice(
            data.spot, data.strike[i], data.maturity[i], data.rate[i], p.rho, p.kappa, p.theta, 0.0,
            p.sigma, p.v0, 1e-13, 100.0, OptionTypeCode(data.optionType[i]));
        fvec[i] = std::pow(data.weight[i], 0.5) * (price - data.observed[i]);
        if (feller <= 0.0) fvec[i] = 2.0 * fvec[i];
    }
}

// Polar Box-Muller normals from the runtime stream, n / 2 + 1 pairs.
inline std::vector<double> RandomNormals(int n) {
    std::vector<double> normals(static_cast<std::size_t>(n));
    std::size_t i = 0;
    for (int pair = 0; pair <= n / 2; ++pair) {
        double u1, u2, w;
        do {
            u1 = RuntimeRand() / 32767.0 * 2.0 - 1.0;
            u2 = RuntimeRand() / 32767.0 * 2.0 - 1.0;
            w = u2 * u2 + u1 * u1;
        } while (w >= 1.0);
        const double m = std::sqrt(std::log(w) * (-2.0) / w);
        if (i < normals.size()) {
            normals[i++] = m * u1;
            if (i < normals.size()) normals[i++] = m * u2;
        }
    }
    return normals;
}

// Euler paths with antithetic twins and reflected variance, two arrays per simulation.
inline double MonteCarloPrice(double S, double K, double tau, double r, double rho, double kappa,
                              double theta, double sigma, double v, int optionType,
                              int nSimulations, int nTimeSteps) {
    const double dt = tau / nTimeSteps;
    const double sdt = std::pow(dt, 0.5);
    const double sr = std::pow(1.0 - rho * rho, 0.5);
    double sum = 0.0;
    for (int s = 0; s < nSimulations; ++s) {
        double sP = S, sM = S, vP = v, vM = v;
        const std::vector<double> z1 = RandomNormals(nTimeSteps);
        const std::vector<double> z2 = RandomNormals(nTimeSteps);
        for (int k = 0; k < nTimeSteps; ++k) {
            double q = std::pow(vP, 0.5);
            sP = std::exp((r - vP * 0.5) * dt + q * sdt * z1[k]) * sP;
            vP = (z2[k] * sr + rho * z1[k]) * sdt * sigma * q + (vP + (theta - vP) * kappa * dt);
            if (vP < 0.0) vP = -vP;
            q = std::pow(vM, 0.5);
            sM = std::exp((r - vM * 0.5) * dt + q * sdt * (-z1[k])) * sM;
            vM = sigma * ((-z2[k] * sr + rho * (-z1[k])) * sdt) * q +
                 (vM + kappa * (theta - vM) * dt);
            if (vM < 0.0) vM = -vM;
        }
        double xP = optionType == 1 ? sP - K : K - sP;
        double xM = optionType == 1 ? sM - K : K - sM;
        if (xP < 0.0) xP = 0.0;
        if (xM < 0.0) xM = 0.0;
        sum += (xM + xP) * 0.5;
    }
    return std::exp(-(tau * r)) * (sum / nSimulations);
}

}  // namespace reference
