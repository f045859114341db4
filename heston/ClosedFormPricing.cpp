// Closed-form European prices: Heston::ClosedFormPrice and the two library functions.
#include <cmath>

#include "ClosedFormGrid.h"
#include "Heston.h"

double Heston::ClosedFormPrice(double S, double K, double tau, double r, double rho, double kappa,
                               double theta, double lambda, double sigma, double v,
                               double lowerLimit, double upperLimit, int optionType) {
    // For a positive spot and strike the integrand factors into a strike-independent part and
    // a phase, and both probabilities come from one pass over the grids.
    if (heston_detail::ClosedFormGrid::Factorable(S, K)) {
        return heston_detail::ClosedFormGrid::DirectPrice(
            S, K, tau, r, rho, kappa, theta, lambda, sigma, v, lowerLimit, upperLimit, optionType);
    }
    // Otherwise the complex logarithms of S and K decide the value: integrate the integrand
    // itself.
    const double pi = 4.0 * std::atan(1.0);
    double P[2];
    for (int j = 1; j <= 2; ++j) {
        // The tail is integrated first and the head added to it; the sliver between 15 and
        // 15.0000001 is left out.
        const double tail = Integrate(HestonIntegrand, S, K, tau, r, rho, kappa, theta, lambda,
                                      sigma, v, 15.0000001, upperLimit, 200, j);
        const double head = Integrate(HestonIntegrand, S, K, tau, r, rho, kappa, theta, lambda,
                                      sigma, v, lowerLimit, 15.0, 180, j);
        const double integral = tail + head;
        P[j - 1] = integral * (1.0 / pi) + 0.5;
    }
    const double Kd = K * std::exp(-(tau * r));
    const double call = S * P[0] - Kd * P[1];
    if (optionType == 1) return call;
    // The put comes from the call's own probabilities by parity, never from its own integrals.
    return (call + Kd) - S;
}

namespace {

// Floors at 0; a NaN passes through because the comparison is false.
double FloorAtZero(double price) {
    return price < 0.0 ? 0.0 : price;
}

}  // namespace

double heston_EuropeanCallPrice(double Spot, double Strike, double TimeToMaturity,
                                double InterestRate, double rho, double kappa, double theta,
                                double lambda, double sigma, double v) {
    Heston heston;
    return FloorAtZero(heston.ClosedFormPrice(Spot, Strike, TimeToMaturity, InterestRate, rho,
                                              kappa, theta, lambda, sigma, v, 1e-05, 100.0, 1));
}

double heston_EuropeanPutPrice(double Spot, double Strike, double TimeToMaturity,
                               double InterestRate, double rho, double kappa, double theta,
                               double lambda, double sigma, double v) {
    Heston heston;
    return FloorAtZero(heston.ClosedFormPrice(Spot, Strike, TimeToMaturity, InterestRate, rho,
                                              kappa, theta, lambda, sigma, v, 1e-05, 100.0, 2));
}
