// Worksheet functions of the closed-form Heston prices.
#include "WorksheetFunctions.h"
#include "WorksheetGuard.h"
#include "closedform/Heston.h"

using addin::GuardedWorksheetCall;
using xlf::XlfOper;

XLL_EXPORT LPXLFOPER WINAPI xlheston_EuropeanCallPrice(double Spot, double Strike,
                                                       double TimeToMaturity, double InterestRate,
                                                       double rho, double kappa, double theta,
                                                       double lambda, double sigma, double v) {
    return GuardedWorksheetCall([&] {
        return XlfOper(heston_EuropeanCallPrice(Spot, Strike, TimeToMaturity, InterestRate, rho,
                                                kappa, theta, lambda, sigma, v));
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_EuropeanPutPrice(double Spot, double Strike,
                                                      double TimeToMaturity, double InterestRate,
                                                      double rho, double kappa, double theta,
                                                      double lambda, double sigma, double v) {
    return GuardedWorksheetCall([&] {
        return XlfOper(heston_EuropeanPutPrice(Spot, Strike, TimeToMaturity, InterestRate, rho,
                                               kappa, theta, lambda, sigma, v));
    });
}
