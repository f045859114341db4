// European prices under the Heston model by Euler simulation of spot and variance, with
// antithetic pairs of paths and reflection of negative variance.
#include <cmath>
#include <vector>

#include "Heston.h"

double Heston::MonteCarloPrice(double S, double K, double tau, double r, double rho, double kappa,
                               double theta, double /*lambda*/, double sigma, double v,
                               int optionType, int nSimulations, int nTimeSteps) {
    const double dt = tau / nTimeSteps;
    const double sdt = std::pow(dt, 0.5);
    const double sr = std::pow(1.0 - rho * rho, 0.5);
    double sum = 0.0;

    for (int simulation = 0; simulation < nSimulations; ++simulation) {
        double sPlus = S;
        double sMinus = S;
        double vPlus = v;
        double vMinus = v;
        const std::vector<double> z1 = RandomNormals(nTimeSteps);
        const std::vector<double> z2 = RandomNormals(nTimeSteps);

        for (int k = 0; k < nTimeSteps; ++k) {
            // Each path steps its spot first, then its variance, both from the variance
            // before the step. The twin path sees the same normals negated.
            double q = std::pow(vPlus, 0.5);
            sPlus = std::exp((r - vPlus * 0.5) * dt + q * sdt * z1[k]) * sPlus;
            vPlus = (z2[k] * sr + rho * z1[k]) * sdt * sigma * q +
                    (vPlus + (theta - vPlus) * kappa * dt);
            // Reflect rather than floor, so the variance never sticks at zero.
            if (vPlus < 0.0) vPlus = -vPlus;

            q = std::pow(vMinus, 0.5);
            sMinus = std::exp((r - vMinus * 0.5) * dt + q * sdt * (-z1[k])) * sMinus;
            vMinus = sigma * ((-z2[k] * sr + rho * (-z1[k])) * sdt) * q +
                     (vMinus + kappa * (theta - vMinus) * dt);
            if (vMinus < 0.0) vMinus = -vMinus;
        }

        double xPlus = optionType == 1 ? sPlus - K : K - sPlus;
        double xMinus = optionType == 1 ? sMinus - K : K - sMinus;
        if (xPlus < 0.0) xPlus = 0.0;
        if (xMinus < 0.0) xMinus = 0.0;
        sum += (xMinus + xPlus) * 0.5;
    }
    // Without simulations the average is 0 / 0, a NaN price.
    return std::exp(-(tau * r)) * (sum / nSimulations);
}

double heston_EuropeanCallPriceMC(double Spot, double Strike, double TimeToMaturity,
                                  double InterestRate, double rho, double kappa, double theta,
                                  double lambda, double sigma, double v, int nSimulations,
                                  int nTimeSteps) {
    Heston model;
    return model.MonteCarloPrice(Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta,
                                 lambda, sigma, v, 1, nSimulations, nTimeSteps);
}

double heston_EuropeanPutPriceMC(double Spot, double Strike, double TimeToMaturity,
                                 double InterestRate, double rho, double kappa, double theta,
                                 double lambda, double sigma, double v, int nSimulations,
                                 int nTimeSteps) {
    Heston model;
    return model.MonteCarloPrice(Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta,
                                 lambda, sigma, v, 2, nSimulations, nTimeSteps);
}
