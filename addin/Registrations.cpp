// The registration table of the nine worksheet functions: one static record per function,
// appended to the FunctionRegistry while the library loads, in the order Excel lists them.
//
// Every text is shown to users by Excel's function wizard; XlfArgDesc completes each
// argument description with ". " when it is registered. "XLF_OPER" becomes the mode's value
// type code, so calibration ranges arrive as Excel values that may be arrays.
#include <iterator>

#include "FunctionRegistry.h"

namespace {

using xlf::ArgumentEntry;
using xlf::FunctionRegistration;

constexpr char kCategory[] = "KX_HestonStochasticVolatility";
constexpr bool kVolatile = false;
constexpr bool kThreadSafe = false;
constexpr char kDefaultReturnType[] = "";  // the mode's value type: "P" or "Q"

// Market inputs and model parameters of the pricing functions.
constexpr ArgumentEntry kSpot{"Spot", " Underlying spot price ", "B"};
constexpr ArgumentEntry kStrike{"Strike", " Strike price ", "B"};
constexpr ArgumentEntry kTimeToMaturity{"TimeToMaturity", " Time to maturity (in Years) ", "B"};
constexpr ArgumentEntry kInterestRateNet{"InterestRate",
                                         " Risk free interest rate - Dividend yield ", "B"};
constexpr ArgumentEntry kInterestRate{"InterestRate", " Risk free interest rate ", "B"};
constexpr ArgumentEntry kRho{"rho", " Correlation parameter ", "B"};
constexpr ArgumentEntry kKappa{"kappa", " Mean reversion rate ", "B"};
constexpr ArgumentEntry kTheta{"theta", " Long run variance ", "B"};
constexpr ArgumentEntry kLambda{"lambda", " Market price of volatility risk ", "B"};
constexpr ArgumentEntry kSigma{"sigma", " Volatility of variance ", "B"};
constexpr ArgumentEntry kV{"v", " Current variance ", "B"};
constexpr ArgumentEntry kNSimulations{"nSimulations", " Number of simulations ", "B"};
constexpr ArgumentEntry kNTimeSteps{"nTimeSteps", " Number of time steps ", "B"};
constexpr ArgumentEntry kN{"n", " Number of random variables required ", "B"};

// Calibration inputs: bounds, initial guess and the observation table.
constexpr ArgumentEntry kLowerBound{
    "lowerBound",
    " Lower bound for the parameters. Order of parameters - Initial volatility (v) , Long term "
    "volatility (theta) , Mean reversion speed (kappa) , Volatility of volatility (sigma) and "
    "Correlation between volatility and spot (rho) ",
    "XLF_OPER"};
constexpr ArgumentEntry kUpperBound{
    "upperbound",
    " Upper bound for the parameters. Order of parameters - Initial volatility (v) , Long term "
    "volatility (theta) , Mean reversion speed (kappa) , Volatility of volatility (sigma) and "
    "Correlation between volatility and spot (rho) ",
    "XLF_OPER"};
constexpr ArgumentEntry kInitialGuess{
    "initialGuess",
    " Initial guess for the parameters. Order of parameters - Initial volatility (v) , Long "
    "term volatility (theta) , Mean reversion speed (kappa) , Volatility of volatility (sigma) "
    "and Correlation between volatility and spot (rho) ",
    "XLF_OPER"};
constexpr ArgumentEntry kStrikeArray{
    "strikeArray",
    " Observation table - strikes. Observed option prices will be used to callibrate "
    "parameters. Observation table comprises strike, maturity, call or put and market observed "
    "option prices ",
    "XLF_OPER"};
constexpr ArgumentEntry kMaturityArray{
    "maturityArray",
    " Observation table - option maturities (in Years). Observed option prices will be used to "
    "callibrate parameters. Observation table comprises strike, maturity, call or put and "
    "market observed option prices ",
    "XLF_OPER"};
constexpr ArgumentEntry kCallTypeArray{
    "callTypeArray",
    " Observation table - option type (1 for call 2 for put). Observed option prices will be "
    "used to callibrate parameters. Observation table comprises strike, maturity, call or put "
    "and market observed option prices ",
    "XLF_OPER"};
constexpr ArgumentEntry kObservedPriceArray{
    "observedPriceArray",
    " Observation table - observed option prices. Observed option prices will be used to "
    "callibrate parameters. Observation table comprises strike, maturity, call or put and "
    "market observed option prices ",
    "XLF_OPER"};
constexpr ArgumentEntry kCurrentSpot{"currentSpot", " Current spot price ", "B"};
constexpr ArgumentEntry kInterestRateArray{
    "interestRateArray", " Observation table - Discounting rates = Risk free - dividend yield ",
    "XLF_OPER"};
constexpr ArgumentEntry kWeights{"weights", " Weights for the observation data ", "XLF_OPER"};
constexpr ArgumentEntry kMaxIterations{"maxIterations", " Maximum number of iterations ", "B"};

// Black-Scholes inputs.
constexpr ArgumentEntry kStockPrice{"StockPrice", " Stock Price ", "B"};
constexpr ArgumentEntry kExercisePrice{"ExercisePrice", " Exercise Price ", "B"};
constexpr ArgumentEntry kRiskFreeRate{"InterestRate", " Risk Free Interest Rate ", "B"};
constexpr ArgumentEntry kTimeInYears{"TimeToMaturity", " Time to Maturity in Years ", "B"};
constexpr ArgumentEntry kOptionPrice{"OptionPrice", " Option Price ", "B"};
constexpr ArgumentEntry kOptionType{"OptionType", " call = 1, put = 0 ", "B"};
constexpr ArgumentEntry kDividendYield{"DividendYield", " Dividend yield ", "B"};
constexpr ArgumentEntry kAccuracy{"xAccuracy", " Accuracy ", "B"};

constexpr ArgumentEntry kEuropeanCallPriceArgs[] = {
    kSpot, kStrike, kTimeToMaturity, kInterestRateNet, kRho, kKappa, kTheta, kLambda, kSigma, kV};
const FunctionRegistration kEuropeanCallPrice(
    "xlheston_EuropeanCallPrice", "heston_EuropeanCallPrice",
    " Calculates the Heston price for European call using closed form solution ", kCategory,
    kEuropeanCallPriceArgs, std::size(kEuropeanCallPriceArgs), kVolatile, kThreadSafe,
    kDefaultReturnType);

constexpr ArgumentEntry kEuropeanPutPriceArgs[] = {
    kSpot, kStrike, kTimeToMaturity, kInterestRate, kRho, kKappa, kTheta, kLambda, kSigma, kV};
const FunctionRegistration kEuropeanPutPrice(
    "xlheston_EuropeanPutPrice", "heston_EuropeanPutPrice",
    " Calculates the Heston price for European put using closed form solution ", kCategory,
    kEuropeanPutPriceArgs, std::size(kEuropeanPutPriceArgs), kVolatile, kThreadSafe,
    kDefaultReturnType);

constexpr ArgumentEntry kRandomVarsArgs[] = {kN};
const FunctionRegistration kRandomVars(
    "xlheston_RandomVars", "heston_RandomVars",
    " Returns Normally distributed random variables using Box Muller transformation ", kCategory,
    kRandomVarsArgs, std::size(kRandomVarsArgs), kVolatile, kThreadSafe, kDefaultReturnType);

constexpr ArgumentEntry kMonteCarloArgs[] = {kSpot,  kStrike, kTimeToMaturity, kInterestRate,
                                             kRho,   kKappa,  kTheta,          kLambda,
                                             kSigma, kV,      kNSimulations,   kNTimeSteps};
const FunctionRegistration kEuropeanCallPriceMC(
    "xlheston_EuropeanCallPriceMC", "heston_EuropeanCallPriceMC",
    " Calculates the Heston price for European call using Monte Carlo Simulations ", kCategory,
    kMonteCarloArgs, std::size(kMonteCarloArgs), kVolatile, kThreadSafe, kDefaultReturnType);
const FunctionRegistration kEuropeanPutPriceMC(
    "xlheston_EuropeanPutPriceMC", "heston_EuropeanPutPriceMC",
    " Calculates the Heston price for European put using Monte Carlo Simulations ", kCategory,
    kMonteCarloArgs, std::size(kMonteCarloArgs), kVolatile, kThreadSafe, kDefaultReturnType);

constexpr ArgumentEntry kCalibrateLevMarArgs[] = {
    kLowerBound,        kUpperBound,    kInitialGuess,       kStrikeArray,
    kMaturityArray,     kCallTypeArray, kObservedPriceArray, kCurrentSpot,
    kInterestRateArray, kWeights,       kMaxIterations};
const FunctionRegistration kCalibrateLevMar(
    "xlheston_CalibrateLevMar", "heston_CalibrateLevMar",
    " Calibrates the Heston parameters using Levenberg Marquadt minimizer ", kCategory,
    kCalibrateLevMarArgs, std::size(kCalibrateLevMarArgs), kVolatile, kThreadSafe,
    kDefaultReturnType);

constexpr ArgumentEntry kCalibrateDEArgs[] = {
    kLowerBound,         kUpperBound,  kStrikeArray,       kMaturityArray, kCallTypeArray,
    kObservedPriceArray, kCurrentSpot, kInterestRateArray, kWeights,       kMaxIterations};
const FunctionRegistration kCalibrateDE(
    "xlheston_CalibrateDE", "heston_CalibrateDE",
    " Callibrates the Heston parameters using Differential Evolution minimizer ", kCategory,
    kCalibrateDEArgs, std::size(kCalibrateDEArgs), kVolatile, kThreadSafe, kDefaultReturnType);

constexpr ArgumentEntry kImpliedVolArgs[] = {kStockPrice,    kExercisePrice, kRiskFreeRate,
                                             kTimeInYears,   kOptionPrice,   kOptionType,
                                             kDividendYield, kAccuracy};
const FunctionRegistration kImpliedVol("xlheston_impliedVol", "heston_impliedVol",
                                       " Implied volatility from option price ", kCategory,
                                       kImpliedVolArgs, std::size(kImpliedVolArgs), kVolatile,
                                       kThreadSafe, kDefaultReturnType);

constexpr ArgumentEntry kWeightBSvegaArgs[] = {kStockPrice,   kExercisePrice, kRiskFreeRate,
                                               kTimeInYears,  kOptionPrice,   kOptionType,
                                               kDividendYield};
const FunctionRegistration kWeightBSvega("xlheston_weightBSvega", "heston_weightBSvega",
                                         " Calculates Black Scholes vega from option prices ",
                                         kCategory, kWeightBSvegaArgs, std::size(kWeightBSvegaArgs),
                                         kVolatile, kThreadSafe, kDefaultReturnType);

}  // namespace
