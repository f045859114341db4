// HestonIntegrand: the integrand of the two in-the-money probabilities of the Heston model.
#include <complex>

#include "closedform/Heston.h"

double HestonIntegrand(double phi, int j, double S, double K, double r, double tau, double rho,
                       double kappa, double theta, double lambda, double sigma, double v) {
    using Complex = std::complex<double>;
    const Complex i(0.0, 1.0);

    // Probability 1 is taken under the share measure, probability 2 under the risk-neutral
    // one; they differ only in u and b.
    const bool first = j == 1;
    const double a = kappa * theta;
    const double u = first ? 0.5 : -0.5;
    const double b = first ? kappa + lambda - rho * sigma : kappa + lambda;
    const double sigma2 = sigma * sigma;
    const Complex q = i * rho * sigma * phi;

    const Complex bq = b - q;
    const Complex d = std::sqrt((q - b) * (q - b) - sigma2 * (2.0 * u * phi * i - phi * phi));
    // With exp(-d tau) and g = (b - q - d) / (b - q + d), |g exp(-d tau)| < 1 and the complex
    // logarithm stays on its principal branch for long maturities.
    const Complex g = (bq - d) / (bq + d);
    const Complex E = std::exp(-d * tau);
    const Complex C = r * phi * i * tau +
                      (a / sigma2) * ((bq - d) * tau - 2.0 * std::log((1.0 - g * E) / (1.0 - g)));
    const Complex D = ((bq - d) / sigma2) * (1.0 - E) / (1.0 - g * E);

    // Complex logarithms, so that a non-positive spot or strike gives the meaningless
    // (or NaN) value the model's domain implies instead of a silent real-log NaN.
    const Complex lnS = std::log(Complex(S));
    const Complex lnK = std::log(Complex(K));
    const Complex f = std::exp(C + D * v + i * phi * lnS);
    return std::real(f * std::exp(-i * phi * lnK) / i / phi);
}
