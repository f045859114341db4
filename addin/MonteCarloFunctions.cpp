// Worksheet functions of the simulation side: normal random numbers and Monte Carlo prices.
// They draw from one process-wide random stream, so results depend on the order of calls.
#include "EscapeRequest.h"
#include "WorksheetArguments.h"
#include "WorksheetFunctions.h"
#include "WorksheetGuard.h"
#include "closedform/Heston.h"

using addin::GuardedWorksheetCall;
using addin::TruncateToInt;
using xlf::XlfOper;

XLL_EXPORT LPXLFOPER WINAPI xlheston_RandomVars(double n) {
    return GuardedWorksheetCall([&] {
        XlfOper column;
        column.Assign(heston_RandomVars(TruncateToInt(n)));
        return column;
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_EuropeanCallPriceMC(double Spot, double Strike,
                                                         double TimeToMaturity, double InterestRate,
                                                         double rho, double kappa, double theta,
                                                         double lambda, double sigma, double v,
                                                         double nSimulations, double nTimeSteps) {
    return GuardedWorksheetCall([&] {
        return XlfOper(heston_EuropeanCallPriceMC(
            Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta, lambda, sigma, v,
            TruncateToInt(nSimulations), TruncateToInt(nTimeSteps), addin::EscapeRequest()));
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_EuropeanPutPriceMC(double Spot, double Strike,
                                                        double TimeToMaturity, double InterestRate,
                                                        double rho, double kappa, double theta,
                                                        double lambda, double sigma, double v,
                                                        double nSimulations, double nTimeSteps) {
    return GuardedWorksheetCall([&] {
        return XlfOper(heston_EuropeanPutPriceMC(
            Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta, lambda, sigma, v,
            TruncateToInt(nSimulations), TruncateToInt(nTimeSteps), addin::EscapeRequest()));
    });
}
