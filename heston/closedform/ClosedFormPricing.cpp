// Closed-form European prices: Heston::ClosedFormPrice and the two library functions.
#include <cmath>

#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"

double Heston::ClosedFormPrice(double S, double K, double tau, double r, double rho, double kappa,
                               double theta, double lambda, double sigma, double v,
                               double lowerLimit, double upperLimit, int optionType) {
    using heston::closedform::ClosedFormGrid;
    // For a positive spot and strike the integrand factors into a strike-independent part and
    // a phase, and both probabilities come from one pass over the grids.
    if (ClosedFormGrid::Factorable(S, K)) {
        return ClosedFormGrid::DirectPrice(S, K, tau, r,
                                           heston::ModelParameters{v, theta, kappa, sigma, rho},
                                           lambda, lowerLimit, upperLimit, optionType);
    }
    // Otherwise the complex logarithms of S and K decide the value: integrate the integrand
    // itself, on the same two grids. The sliver between kHeadEnd and kTailStart is left out.
    double tail[2];
    double head[2];
    for (int j = 1; j <= 2; ++j) {
        tail[j - 1] = Integrate(HestonIntegrand, S, K, tau, r, rho, kappa, theta, lambda, sigma, v,
                                heston::closedform::kTailStart, upperLimit,
                                heston::closedform::kTailIntervals, j);
        head[j - 1] = Integrate(HestonIntegrand, S, K, tau, r, rho, kappa, theta, lambda, sigma, v,
                                lowerLimit, heston::closedform::kHeadEnd,
                                heston::closedform::kHeadIntervals, j);
    }
    return heston::closedform::PriceFromIntegrals(tail, head, S, K, tau, r, optionType);
}

namespace {

// The library functions' price: the closed form over [1e-5, 100], floored at 0 (a NaN passes
// through because the comparison is false).
double FlooredClosedFormPrice(double S, double K, double tau, double r,
                              const heston::ModelParameters& p, double lambda, int optionType) {
    Heston heston;
    const double price = heston.ClosedFormPrice(S, K, tau, r, p.rho, p.kappa, p.theta, lambda,
                                                p.sigma, p.v0, 1e-05, 100.0, optionType);
    return price < 0.0 ? 0.0 : price;
}

}  // namespace

double heston_EuropeanCallPrice(double Spot, double Strike, double TimeToMaturity,
                                double InterestRate, double rho, double kappa, double theta,
                                double lambda, double sigma, double v) {
    return FlooredClosedFormPrice(Spot, Strike, TimeToMaturity, InterestRate,
                                  heston::ModelParameters{v, theta, kappa, sigma, rho}, lambda, 1);
}

double heston_EuropeanPutPrice(double Spot, double Strike, double TimeToMaturity,
                               double InterestRate, double rho, double kappa, double theta,
                               double lambda, double sigma, double v) {
    return FlooredClosedFormPrice(Spot, Strike, TimeToMaturity, InterestRate,
                                  heston::ModelParameters{v, theta, kappa, sigma, rho}, lambda, 2);
}
