// European prices under the Heston model by Euler simulation of spot and variance, with
// antithetic pairs of paths and reflection of negative variance.
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "closedform/Heston.h"
#include "montecarlo/PolarNormals.h"

namespace {

// pow(x, 0.5) for the variance: both it and sqrt are correctly rounded, so they agree except
// at -0 (pow gives +0) and -infinity (pow gives +infinity), which are kept.
double SquareRoot(double x) {
    if (x == -std::numeric_limits<double>::infinity()) return -x;
    return std::sqrt(x) + 0.0;
}

}  // namespace

double Heston::MonteCarloPrice(double S, double K, double tau, double r, double rho, double kappa,
                               double theta, double /*lambda*/, double sigma, double v,
                               int optionType, int nSimulations, int nTimeSteps,
                               const heston::StopRequest& stop) {
    const double dt = tau / nTimeSteps;
    const double sdt = std::pow(dt, 0.5);
    const double sr = std::pow(1.0 - rho * rho, 0.5);
    double sum = 0.0;
    if (nSimulations <= 0) return std::exp(-(tau * r)) * (sum / nSimulations);

    // Both normal arrays are drawn afresh for every simulation, z1 before z2, so that a price
    // depends only on the runtime stream's position; the buffers are allocated once. A negative
    // step count fails here with the length error.
    std::vector<double> z1(static_cast<std::size_t>(nTimeSteps));
    std::vector<double> z2(static_cast<std::size_t>(nTimeSteps));
    // Asked between simulations: a stop leaves the random stream after the last whole one.
    heston::StopPoll poll(stop);
    for (int simulation = 0; simulation < nSimulations; ++simulation) {
        poll.ThrowIfRequested();
        double sPlus = S;
        double sMinus = S;
        double vPlus = v;
        double vMinus = v;
        heston::montecarlo::FillPolarNormals(z1.data(), nTimeSteps);
        heston::montecarlo::FillPolarNormals(z2.data(), nTimeSteps);

        for (int k = 0; k < nTimeSteps; ++k) {
            // Each path steps its spot first, then its variance, both from the variance
            // before the step. The twin path sees the same normals negated.
            double q = SquareRoot(vPlus);
            sPlus = std::exp((r - vPlus * 0.5) * dt + q * sdt * z1[k]) * sPlus;
            vPlus = (z2[k] * sr + rho * z1[k]) * sdt * sigma * q +
                    (vPlus + (theta - vPlus) * kappa * dt);
            // Reflect rather than floor, so the variance never sticks at zero.
            if (vPlus < 0.0) vPlus = -vPlus;

            q = SquareRoot(vMinus);
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
                                  int nTimeSteps, const heston::StopRequest& stop) {
    Heston model;
    return model.MonteCarloPrice(Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta,
                                 lambda, sigma, v, 1, nSimulations, nTimeSteps, stop);
}

double heston_EuropeanPutPriceMC(double Spot, double Strike, double TimeToMaturity,
                                 double InterestRate, double rho, double kappa, double theta,
                                 double lambda, double sigma, double v, int nSimulations,
                                 int nTimeSteps, const heston::StopRequest& stop) {
    Heston model;
    return model.MonteCarloPrice(Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta,
                                 lambda, sigma, v, 2, nSimulations, nTimeSteps, stop);
}
