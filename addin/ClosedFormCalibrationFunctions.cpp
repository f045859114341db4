// Worksheet functions of the two calibrations. The ranges are converted one by one in
// argument order, each named by its argument, so the first bad range ends the call with a
// message naming it and no later range is read. The maturities of each surface evaluation run
// on the add-in's shared thread pool.
#include <utility>
#include <vector>

#include "EscapeRequest.h"
#include "SharedThreadPool.h"
#include "WorksheetArguments.h"
#include "WorksheetFunctions.h"
#include "WorksheetGuard.h"
#include "calibration/Calibration.h"

using addin::ArrayArgument;
using addin::GuardedWorksheetCall;
using addin::TruncateToInt;
using xlf::XlfOper;

XLL_EXPORT LPXLFOPER WINAPI xlheston_CalibrateLevMar(
    LPXLFOPER lowerBound, LPXLFOPER upperbound, LPXLFOPER initialGuess, LPXLFOPER strikeArray,
    LPXLFOPER maturityArray, LPXLFOPER callTypeArray, LPXLFOPER observedPriceArray,
    double currentSpot, LPXLFOPER interestRateArray, LPXLFOPER weights, double maxIterations) {
    return GuardedWorksheetCall([&] {
        std::vector<double> lower = ArrayArgument(lowerBound, "lowerBound");
        std::vector<double> upper = ArrayArgument(upperbound, "upperbound");
        std::vector<double> guess = ArrayArgument(initialGuess, "initialGuess");
        std::vector<double> strikes = ArrayArgument(strikeArray, "strikeArray");
        std::vector<double> maturities = ArrayArgument(maturityArray, "maturityArray");
        std::vector<double> types = ArrayArgument(callTypeArray, "callTypeArray");
        std::vector<double> observed = ArrayArgument(observedPriceArray, "observedPriceArray");
        std::vector<double> rates = ArrayArgument(interestRateArray, "interestRateArray");
        std::vector<double> weightValues = ArrayArgument(weights, "weights");
        XlfOper column;
        column.Assign(heston_CalibrateLevMar(
            std::move(lower), std::move(upper), std::move(guess), std::move(strikes),
            std::move(maturities), std::move(types), std::move(observed), currentSpot,
            std::move(rates), std::move(weightValues), TruncateToInt(maxIterations),
            addin::EscapeRequest(), addin::SharedPool()));
        return column;
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_CalibrateDE(LPXLFOPER lowerBound, LPXLFOPER upperbound,
                                                 LPXLFOPER strikeArray, LPXLFOPER maturityArray,
                                                 LPXLFOPER callTypeArray,
                                                 LPXLFOPER observedPriceArray, double currentSpot,
                                                 LPXLFOPER interestRateArray, LPXLFOPER weights,
                                                 double maxIterations) {
    return GuardedWorksheetCall([&] {
        std::vector<double> lower = ArrayArgument(lowerBound, "lowerBound");
        std::vector<double> upper = ArrayArgument(upperbound, "upperbound");
        std::vector<double> strikes = ArrayArgument(strikeArray, "strikeArray");
        std::vector<double> maturities = ArrayArgument(maturityArray, "maturityArray");
        std::vector<double> types = ArrayArgument(callTypeArray, "callTypeArray");
        std::vector<double> observed = ArrayArgument(observedPriceArray, "observedPriceArray");
        std::vector<double> rates = ArrayArgument(interestRateArray, "interestRateArray");
        std::vector<double> weightValues = ArrayArgument(weights, "weights");
        XlfOper column;
        column.Assign(heston_CalibrateDE(std::move(lower), std::move(upper), std::move(strikes),
                                         std::move(maturities), std::move(types),
                                         std::move(observed), currentSpot, std::move(rates),
                                         std::move(weightValues), TruncateToInt(maxIterations),
                                         addin::EscapeRequest(), addin::SharedPool()));
        return column;
    });
}
