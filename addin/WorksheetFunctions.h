// WorksheetFunctions: the nine worksheet functions the add-in exports to Excel.
//
// Each is registered under its name without the "xl" prefix (see Registrations.cpp), takes
// numbers as doubles and ranges as value records, calls the library function of that name
// and returns a number, a column, or on failure a text, an error value or null
// (WorksheetGuard.h). The returned record stays valid until the next worksheet call. The
// Monte Carlo prices and both calibrations stop with the text "Calculation cancelled" when
// the user presses Esc (EscapeRequest.h).
#pragma once

#include "XllExport.h"

XLL_EXPORT LPXLFOPER WINAPI xlheston_EuropeanCallPrice(double Spot, double Strike,
                                                       double TimeToMaturity, double InterestRate,
                                                       double rho, double kappa, double theta,
                                                       double lambda, double sigma, double v);
XLL_EXPORT LPXLFOPER WINAPI xlheston_EuropeanPutPrice(double Spot, double Strike,
                                                      double TimeToMaturity, double InterestRate,
                                                      double rho, double kappa, double theta,
                                                      double lambda, double sigma, double v);

XLL_EXPORT LPXLFOPER WINAPI xlheston_RandomVars(double n);
XLL_EXPORT LPXLFOPER WINAPI xlheston_EuropeanCallPriceMC(double Spot, double Strike,
                                                         double TimeToMaturity, double InterestRate,
                                                         double rho, double kappa, double theta,
                                                         double lambda, double sigma, double v,
                                                         double nSimulations, double nTimeSteps);
XLL_EXPORT LPXLFOPER WINAPI xlheston_EuropeanPutPriceMC(double Spot, double Strike,
                                                        double TimeToMaturity, double InterestRate,
                                                        double rho, double kappa, double theta,
                                                        double lambda, double sigma, double v,
                                                        double nSimulations, double nTimeSteps);

XLL_EXPORT LPXLFOPER WINAPI xlheston_CalibrateLevMar(
    LPXLFOPER lowerBound, LPXLFOPER upperbound, LPXLFOPER initialGuess, LPXLFOPER strikeArray,
    LPXLFOPER maturityArray, LPXLFOPER callTypeArray, LPXLFOPER observedPriceArray,
    double currentSpot, LPXLFOPER interestRateArray, LPXLFOPER weights, double maxIterations);
XLL_EXPORT LPXLFOPER WINAPI xlheston_CalibrateDE(LPXLFOPER lowerBound, LPXLFOPER upperbound,
                                                 LPXLFOPER strikeArray, LPXLFOPER maturityArray,
                                                 LPXLFOPER callTypeArray,
                                                 LPXLFOPER observedPriceArray, double currentSpot,
                                                 LPXLFOPER interestRateArray, LPXLFOPER weights,
                                                 double maxIterations);

XLL_EXPORT LPXLFOPER WINAPI xlheston_impliedVol(double StockPrice, double ExercisePrice,
                                                double InterestRate, double TimeToMaturity,
                                                double OptionPrice, double OptionType,
                                                double DividendYield, double xAccuracy);
XLL_EXPORT LPXLFOPER WINAPI xlheston_weightBSvega(double StockPrice, double ExercisePrice,
                                                  double InterestRate, double TimeToMaturity,
                                                  double OptionPrice, double OptionType,
                                                  double DividendYield);

// The contour pricer's functions, thread-safe in Excel-12 mode (results in per-thread
// storage, see ThreadResult.h). Per-option arguments may be single values or ranges; see
// OptionArguments.h for their conventions.
// Exercise and Grid are optional: European (the Fourier pricer) when Exercise is omitted;
// "American" prices on the finite-difference grid, whose size Grid may set. Jumps, optional
// and last, prices European options under the Bates model.
XLL_EXPORT LPXLFOPER WINAPI xlheston_Price(LPXLFOPER OptionType, double Spot, LPXLFOPER Strike,
                                           LPXLFOPER Maturity, LPXLFOPER Rate,
                                           LPXLFOPER DividendYield, LPXLFOPER Parameters,
                                           LPXLFOPER Exercise, LPXLFOPER Grid, LPXLFOPER Jumps);
XLL_EXPORT LPXLFOPER WINAPI xlheston_Greeks(LPXLFOPER OptionType, double Spot, LPXLFOPER Strike,
                                            LPXLFOPER Maturity, LPXLFOPER Rate,
                                            LPXLFOPER DividendYield, LPXLFOPER Parameters,
                                            LPXLFOPER Exercise, LPXLFOPER Grid, LPXLFOPER Jumps);
XLL_EXPORT LPXLFOPER WINAPI xlheston_ModelImpliedVol(LPXLFOPER OptionType, double Spot,
                                                     LPXLFOPER Strike, LPXLFOPER Maturity,
                                                     LPXLFOPER Rate, LPXLFOPER DividendYield,
                                                     LPXLFOPER Parameters, LPXLFOPER Jumps);
XLL_EXPORT LPXLFOPER WINAPI xlheston_BlackImpliedVol(LPXLFOPER OptionType, LPXLFOPER Price,
                                                     double Spot, LPXLFOPER Strike,
                                                     LPXLFOPER Maturity, LPXLFOPER Rate,
                                                     LPXLFOPER DividendYield);
XLL_EXPORT LPXLFOPER WINAPI xlheston_Calibrate(double Spot, LPXLFOPER Strikes, LPXLFOPER Maturities,
                                               LPXLFOPER OptionTypes, LPXLFOPER Prices,
                                               LPXLFOPER Rates, LPXLFOPER DividendYields,
                                               LPXLFOPER Weights, LPXLFOPER ErrorMeasure,
                                               LPXLFOPER InitialGuess, LPXLFOPER LowerBounds,
                                               LPXLFOPER UpperBounds, LPXLFOPER MaxEvaluations,
                                               LPXLFOPER Model);

// Barrier options by finite differences (FiniteDifferenceFunctions.cpp), thread-safe in
// Excel-12 mode. Exercise, Monitoring, Grid and Jumps are optional; jumps are refused.
XLL_EXPORT LPXLFOPER WINAPI xlheston_BarrierPrice(LPXLFOPER OptionType, LPXLFOPER BarrierType,
                                                  LPXLFOPER Barrier, LPXLFOPER Rebate, double Spot,
                                                  LPXLFOPER Strike, LPXLFOPER Maturity,
                                                  LPXLFOPER Rate, LPXLFOPER DividendYield,
                                                  LPXLFOPER Parameters, LPXLFOPER Exercise,
                                                  LPXLFOPER Monitoring, LPXLFOPER Grid,
                                                  LPXLFOPER Jumps);
XLL_EXPORT LPXLFOPER WINAPI xlheston_BarrierGreeks(LPXLFOPER OptionType, LPXLFOPER BarrierType,
                                                   LPXLFOPER Barrier, LPXLFOPER Rebate, double Spot,
                                                   LPXLFOPER Strike, LPXLFOPER Maturity,
                                                   LPXLFOPER Rate, LPXLFOPER DividendYield,
                                                   LPXLFOPER Parameters, LPXLFOPER Exercise,
                                                   LPXLFOPER Monitoring, LPXLFOPER Grid,
                                                   LPXLFOPER Jumps);
// The path-dependent options: Asians (a row of price and standard error per strike) and
// forward starts, thread-safe in Excel-12 mode and cluster-safe, with optional Bates jumps
// (PathSimulationFunctions.cpp).
XLL_EXPORT LPXLFOPER WINAPI xlheston_AsianPrice(LPXLFOPER OptionType, double Spot, LPXLFOPER Strike,
                                                LPXLFOPER FixingTimes, double Rate,
                                                double DividendYield, LPXLFOPER Parameters,
                                                LPXLFOPER Average, LPXLFOPER Paths, LPXLFOPER Seed,
                                                LPXLFOPER Jumps);
XLL_EXPORT LPXLFOPER WINAPI xlheston_ForwardStartPrice(LPXLFOPER OptionType, double Spot,
                                                       LPXLFOPER Moneyness, LPXLFOPER ResetTime,
                                                       LPXLFOPER Maturity, LPXLFOPER Rate,
                                                       LPXLFOPER DividendYield,
                                                       LPXLFOPER Parameters, LPXLFOPER Jumps);
