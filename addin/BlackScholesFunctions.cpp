// Worksheet functions of the Black-Scholes helpers: implied volatility and vega weight.
#include "WorksheetArguments.h"
#include "WorksheetFunctions.h"
#include "WorksheetGuard.h"
#include "blackscholes/BlackScholes.h"

using addin::GuardedWorksheetCall;
using addin::TruncateToInt;
using xlf::XlfOper;

XLL_EXPORT LPXLFOPER WINAPI xlheston_impliedVol(double StockPrice, double ExercisePrice,
                                                double InterestRate, double TimeToMaturity,
                                                double OptionPrice, double OptionType,
                                                double DividendYield, double xAccuracy) {
    return GuardedWorksheetCall([&] {
        return XlfOper(heston_impliedVol(StockPrice, ExercisePrice, InterestRate, TimeToMaturity,
                                         OptionPrice, TruncateToInt(OptionType), DividendYield,
                                         xAccuracy));
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_weightBSvega(double StockPrice, double ExercisePrice,
                                                  double InterestRate, double TimeToMaturity,
                                                  double OptionPrice, double OptionType,
                                                  double DividendYield) {
    return GuardedWorksheetCall([&] {
        return XlfOper(heston_weightBSvega(StockPrice, ExercisePrice, InterestRate, TimeToMaturity,
                                           OptionPrice, TruncateToInt(OptionType), DividendYield));
    });
}
