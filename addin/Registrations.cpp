// The registration table of the worksheet functions: one static record per function,
// appended to the FunctionRegistry while the library loads, in the order Excel lists them.
// The nine original functions come first, then the contour pricer's five, which are
// thread-safe (the layer adds "$" in Excel-12 mode only).
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

// The contour pricer's functions.
constexpr bool kThreadSafeFunction = true;

constexpr ArgumentEntry kPricingOptionType{
    "OptionType",
    " 1, \"C\" or \"Call\" for a call; 2, \"P\" or \"Put\" for a put, in any case. One value or a "
    "range ",
    "XLF_OPER"};
constexpr ArgumentEntry kPricingSpot{"Spot", " Spot price of the underlying ", "B"};
constexpr ArgumentEntry kPricingStrike{
    "Strike",
    " Strike price. One value or a range; a column of strikes with a row of maturities gives a "
    "strikes x maturities matrix ",
    "XLF_OPER"};
constexpr ArgumentEntry kPricingMaturity{
    "Maturity", " Time to maturity in years. One value or a range ", "XLF_OPER"};
constexpr ArgumentEntry kPricingRate{
    "Rate", " Risk-free rate, continuously compounded, per year. One value or a range ",
    "XLF_OPER"};
constexpr ArgumentEntry kPricingDividendYield{
    "DividendYield",
    " Dividend yield, continuously compounded, per year (0 for none). One value or a range ",
    "XLF_OPER"};
constexpr ArgumentEntry kPricingParameters{
    "Parameters",
    " Five numbers v0, theta, kappa, sigma, rho: initial variance, long-run variance, "
    "mean-reversion speed, volatility of variance, correlation. A heston_Calibrate column may be "
    "given whole ",
    "XLF_OPER"};
constexpr ArgumentEntry kPricingPrice{"Price", " Option price. One value or a range ", "XLF_OPER"};
constexpr ArgumentEntry kJumps{
    "Jumps",
    " Optional: lambda, muJ, deltaJ of lognormal jumps in the spot (Bates model): jumps per "
    "year (>= 0), mean and standard deviation (>= 0) of the log jump. Omitted: no jumps ",
    "XLF_OPER"};

constexpr ArgumentEntry kPricingExercise{
    "Exercise",
    " Optional: \"European\" (default: Fourier inversion) or \"American\" (finite "
    "differences) ",
    "XLF_OPER"};
constexpr ArgumentEntry kPricingGrid{
    "Grid",
    " Optional: finite-difference grid as three whole numbers: time steps, spot points, "
    "variance points (0 for a default: 50, 128, 64; barriers 100, 300, 40; more time steps "
    "beyond a year) ",
    "XLF_OPER"};
constexpr ArgumentEntry kExercisePricingArgs[] = {
    kPricingOptionType,    kPricingSpot,       kPricingStrike,   kPricingMaturity, kPricingRate,
    kPricingDividendYield, kPricingParameters, kPricingExercise, kPricingGrid,     kJumps};
const FunctionRegistration kPrice(
    "xlheston_Price", "heston_Price",
    " Heston price (Bates with Jumps) of a European option by Fourier inversion, accurate to "
    "near machine precision at any strike and maturity, with a dividend yield; of an American "
    "option by finite differences (no jumps). Ranges give an array; #NUM! marks failures ",
    kCategory, kExercisePricingArgs, std::size(kExercisePricingArgs), kVolatile,
    kThreadSafeFunction, kDefaultReturnType);

const FunctionRegistration kGreeks(
    "xlheston_Greeks", "heston_Greeks",
    " Heston price and sensitivities as a table of names and values: price, delta, gamma, "
    "theta (-d/dT), rho, dividend rho, d/d v0, theta, kappa, sigma, rho; with Jumps also d/d "
    "lambda, muJ, deltaJ. Ranges give a column per option. American by finite differences ",
    kCategory, kExercisePricingArgs, std::size(kExercisePricingArgs), kVolatile,
    kThreadSafeFunction, kDefaultReturnType);

constexpr ArgumentEntry kModelImpliedVolArgs[] = {
    kPricingOptionType, kPricingSpot,          kPricingStrike,     kPricingMaturity,
    kPricingRate,       kPricingDividendYield, kPricingParameters, kJumps};
const FunctionRegistration kModelImpliedVol(
    "xlheston_ModelImpliedVol", "heston_ModelImpliedVol",
    " Black-Scholes implied volatility of the Heston price (Bates with Jumps): the model's "
    "smile. Ranges give an array, e.g. a column of strikes with a row of maturities gives the "
    "smile surface ",
    kCategory, kModelImpliedVolArgs, std::size(kModelImpliedVolArgs), kVolatile,
    kThreadSafeFunction, kDefaultReturnType);

constexpr ArgumentEntry kBlackImpliedVolArgs[] = {
    kPricingOptionType, kPricingPrice, kPricingSpot,         kPricingStrike,
    kPricingMaturity,   kPricingRate,  kPricingDividendYield};
const FunctionRegistration kBlackImpliedVol(
    "xlheston_BlackImpliedVol", "heston_BlackImpliedVol",
    " Black-Scholes implied volatility of an option price to near machine precision, with a "
    "dividend yield. Ranges give an array; #NUM! marks prices outside the no-arbitrage bounds ",
    kCategory, kBlackImpliedVolArgs, std::size(kBlackImpliedVolArgs), kVolatile,
    kThreadSafeFunction, kDefaultReturnType);

constexpr ArgumentEntry kCalibrateArgs[] = {
    kPricingSpot,
    {"Strikes", " Observed options: strikes, one per option ", "XLF_OPER"},
    {"Maturities", " Observed options: maturities in years, one per option or one for all ",
     "XLF_OPER"},
    {"OptionTypes",
     " Observed options: 1, \"C\" or \"Call\" / 2, \"P\" or \"Put\", one per option or one "
     "for all ",
     "XLF_OPER"},
    {"Prices", " Observed option prices, one per option ", "XLF_OPER"},
    {"Rates", " Risk-free rates, continuously compounded, one per option or one for all ",
     "XLF_OPER"},
    {"DividendYields", " Dividend yields, continuously compounded, one per option or one for all ",
     "XLF_OPER"},
    {"Weights", " Optional: weight of each option in the fit, at least 0; all 1 when omitted ",
     "XLF_OPER"},
    {"ErrorMeasure",
     " Optional: \"price\" (default) fits prices, \"relative\" relative price errors, \"vol\" "
     "Black implied volatilities ",
     "XLF_OPER"},
    {"InitialGuess",
     " Optional: v0, theta, kappa, sigma, rho (Bates: then lambda, muJ, deltaJ) to start from. "
     "When omitted, a deterministic global search over the bounds picks the start ",
     "XLF_OPER"},
    {"LowerBounds",
     " Optional: lower bounds of v0, theta, kappa, sigma, rho (Bates: then lambda, muJ, "
     "deltaJ); default 0.0001, 0.0001, 0.01, 0.01, -0.999 (Bates: then 0, -1, 0.001) ",
     "XLF_OPER"},
    {"UpperBounds",
     " Optional: upper bounds of v0, theta, kappa, sigma, rho (Bates: then lambda, muJ, "
     "deltaJ); default 2, 2, 20, 5, 0.999 (Bates: then 5, 0.5, 1) ",
     "XLF_OPER"},
    {"MaxEvaluations",
     " Optional: most evaluations of the whole surface (prices with derivatives); default "
     "500 ",
     "XLF_OPER"},
    {"Model",
     " Optional: \"Heston\" (default) or \"Bates\" (Heston with lognormal jumps in the spot: "
     "eight parameters; the column's rows 6-8 pass into the pricing functions' Jumps) ",
     "XLF_OPER"}};
const FunctionRegistration kCalibrate(
    "xlheston_Calibrate", "heston_Calibrate",
    " Fits the Heston (or Bates) parameters to observed prices with the accurate pricer and its "
    "analytic derivatives, within bounds. Returns a column: v0, theta, kappa, sigma, rho, "
    "(lambda, muJ, deltaJ,) RMSE in the chosen measure, evaluations, status ",
    kCategory, kCalibrateArgs, std::size(kCalibrateArgs), kVolatile, kThreadSafeFunction,
    kDefaultReturnType);

// The finite-difference pricer's barrier functions.
constexpr ArgumentEntry kBarrierArgs[] = {
    kPricingOptionType,
    {"BarrierType",
     " \"DownOut\", \"DownIn\", \"UpOut\", \"UpIn\", \"DoubleOut\" or \"DoubleIn\", in "
     "any case ",
     "XLF_OPER"},
    {"Barrier", " Barrier level; two numbers (lower, upper) for the double types ", "XLF_OPER"},
    {"Rebate",
     " Paid at the hit for knock-outs, at maturity for knock-ins that never knock in (0 for "
     "none) ",
     "XLF_OPER"},
    kPricingSpot,
    kPricingStrike,
    kPricingMaturity,
    kPricingRate,
    kPricingDividendYield,
    kPricingParameters,
    {"Exercise", " Optional: \"European\" (default) or \"American\" (knock-outs only) ",
     "XLF_OPER"},
    {"Monitoring",
     " Optional: 0 or omitted for continuous monitoring; n for n observations at T/n, 2T/n, "
     "..., T ",
     "XLF_OPER"},
    kPricingGrid,
    {"Jumps",
     " Optional: lambda, muJ, deltaJ as for heston_Price; jumps are not offered for barrier "
     "options, so only lambda = 0 (the Heston model) is priced ",
     "XLF_OPER"}};
const FunctionRegistration kBarrierPrice(
    "xlheston_BarrierPrice", "heston_BarrierPrice",
    " Heston price of a single or double barrier option with a rebate by finite differences; "
    "American knock-outs too. Ranges of strikes and maturities give an array ",
    kCategory, kBarrierArgs, std::size(kBarrierArgs), kVolatile, kThreadSafeFunction,
    kDefaultReturnType);
const FunctionRegistration kBarrierGreeks(
    "xlheston_BarrierGreeks", "heston_BarrierGreeks",
    " Barrier option price and sensitivities as the table of heston_Greeks: price, delta, "
    "gamma, theta, rho, dividend rho, and d/d v0, theta, kappa, sigma, rho ",
    kCategory, kBarrierArgs, std::size(kBarrierArgs), kVolatile, kThreadSafeFunction,
    kDefaultReturnType);

// The path-dependent options' functions.
constexpr ArgumentEntry kAsianArgs[] = {
    {"OptionType",
     " 1, \"C\" or \"Call\" for a call; 2, \"P\" or \"Put\" for a put. One value, or one per "
     "strike ",
     "XLF_OPER"},
    kPricingSpot,
    {"Strike",
     " Strike price, or a range of strikes: one row of results per strike, all from "
     "the same paths ",
     "XLF_OPER"},
    {"FixingTimes", " Times of the fixings in years, ascending; payment at the last ", "XLF_OPER"},
    {"Rate", " Risk-free rate, continuously compounded, per year ", "B"},
    {"DividendYield", " Dividend yield, continuously compounded, per year (0 for none) ", "B"},
    kPricingParameters,
    {"Average",
     " Optional: \"Arithmetic\" (default; simulated, the geometric closed form as control "
     "variate) or \"Geometric\" (exact, standard error 0) ",
     "XLF_OPER"},
    {"Paths", " Optional: number of simulated paths, in antithetic pairs; default 100000 ",
     "XLF_OPER"},
    {"Seed", " Optional: seed of the random numbers, a whole number; default 1 ", "XLF_OPER"},
    kJumps};
const FunctionRegistration kAsianPrice(
    "xlheston_AsianPrice", "heston_AsianPrice",
    " Heston price (Bates with Jumps) of a fixed-strike Asian option on the spot's average at "
    "the fixing times, paid at the last. Returns a row: price, standard error; a range of "
    "strikes gives one row per strike. Same numbers on any number of cores ",
    kCategory, kAsianArgs, std::size(kAsianArgs), kVolatile, kThreadSafeFunction,
    kDefaultReturnType);

constexpr ArgumentEntry kForwardStartArgs[] = {
    kPricingOptionType,
    kPricingSpot,
    {"Moneyness",
     " k: a call pays max(S(T) - k S(reset), 0), a put max(k S(reset) - S(T), 0). One value or "
     "a range ",
     "XLF_OPER"},
    {"ResetTime",
     " Time in years when the strike is set, at most the maturity. One value or "
     "a range ",
     "XLF_OPER"},
    kPricingMaturity,
    kPricingRate,
    kPricingDividendYield,
    kPricingParameters,
    kJumps};
const FunctionRegistration kForwardStartPrice(
    "xlheston_ForwardStartPrice", "heston_ForwardStartPrice",
    " Heston price (Bates with Jumps) of a forward-start option in closed form: strike k times "
    "the spot at the reset time. Ranges give an array of prices; #NUM! marks options that "
    "cannot be priced ",
    kCategory, kForwardStartArgs, std::size(kForwardStartArgs), kVolatile, kThreadSafeFunction,
    kDefaultReturnType);

// Functions that make no callback when Excel runs them on a compute cluster.
const xlf::ClusterSafeMark kClusterSafe[] = {xlf::ClusterSafeMark("xlheston_AsianPrice"),
                                             xlf::ClusterSafeMark("xlheston_ForwardStartPrice")};

}  // namespace
