// Opening the add-in in the substitute host: the nine registrations text for text in both
// modes, the "Path" extension with the add-in's folder, and the failures of opening.
#include <cstdlib>
#include <string>
#include <vector>

#include "AddinSession.h"

namespace {

using addintest::AddinSession;
using addintest::DebugText;
using runner::RegisteredFunction;

const char kCategory[] = "KX_HestonStochasticVolatility";
const char kModuleName[] = "C:\\addins\\pricing.xll";

struct Expected {
    const char* worksheetName;
    const char* exportName;
    const char* typeExcel4;
    const char* typeExcel12;
    const char* argumentText;
    const char* description;
};

const Expected kFunctions[] = {
    {"heston_EuropeanCallPrice", "xlheston_EuropeanCallPrice", "PBBBBBBBBBB", "QBBBBBBBBBB",
     "Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta, lambda, sigma, v",
     " Calculates the Heston price for European call using closed form solution "},
    {"heston_EuropeanPutPrice", "xlheston_EuropeanPutPrice", "PBBBBBBBBBB", "QBBBBBBBBBB",
     "Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta, lambda, sigma, v",
     " Calculates the Heston price for European put using closed form solution "},
    {"heston_RandomVars", "xlheston_RandomVars", "PB", "QB", "n",
     " Returns Normally distributed random variables using Box Muller transformation "},
    {"heston_EuropeanCallPriceMC", "xlheston_EuropeanCallPriceMC", "PBBBBBBBBBBBB", "QBBBBBBBBBBBB",
     "Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta, lambda, sigma, v, "
     "nSimulations, nTimeSteps",
     " Calculates the Heston price for European call using Monte Carlo Simulations "},
    {"heston_EuropeanPutPriceMC", "xlheston_EuropeanPutPriceMC", "PBBBBBBBBBBBB", "QBBBBBBBBBBBB",
     "Spot, Strike, TimeToMaturity, InterestRate, rho, kappa, theta, lambda, sigma, v, "
     "nSimulations, nTimeSteps",
     " Calculates the Heston price for European put using Monte Carlo Simulations "},
    {"heston_CalibrateLevMar", "xlheston_CalibrateLevMar", "PPPPPPPPBPPB", "QQQQQQQQBQQB",
     "lowerBound, upperbound, initialGuess, strikeArray, maturityArray, callTypeArray, "
     "observedPriceArray, currentSpot, interestRateArray, weights, maxIterations",
     " Calibrates the Heston parameters using Levenberg Marquadt minimizer "},
    {"heston_CalibrateDE", "xlheston_CalibrateDE", "PPPPPPPBPPB", "QQQQQQQBQQB",
     "lowerBound, upperbound, strikeArray, maturityArray, callTypeArray, observedPriceArray, "
     "currentSpot, interestRateArray, weights, maxIterations",
     " Callibrates the Heston parameters using Differential Evolution minimizer "},
    {"heston_impliedVol", "xlheston_impliedVol", "PBBBBBBBB", "QBBBBBBBB",
     "StockPrice, ExercisePrice, InterestRate, TimeToMaturity, OptionPrice, OptionType, "
     "DividendYield, xAccuracy",
     " Implied volatility from option price "},
    {"heston_weightBSvega", "xlheston_weightBSvega", "PBBBBBBB", "QBBBBBBB",
     "StockPrice, ExercisePrice, InterestRate, TimeToMaturity, OptionPrice, OptionType, "
     "DividendYield",
     " Calculates Black Scholes vega from option prices "},
};

const char kParameterOrder[] =
    ". Order of parameters - Initial volatility (v) , Long term volatility (theta) , Mean "
    "reversion speed (kappa) , Volatility of volatility (sigma) and Correlation between "
    "volatility and spot (rho) . ";
const char kObservationTable[] =
    ". Observed option prices will be used to callibrate parameters. Observation table "
    "comprises strike, maturity, call or put and market observed option prices . ";

// Argument help as registered: the stored text with ". " appended.
const std::vector<std::string> kCallPriceHelp = {
    " Underlying spot price . ",       " Strike price . ",
    " Time to maturity (in Years) . ", " Risk free interest rate - Dividend yield . ",
    " Correlation parameter . ",       " Mean reversion rate . ",
    " Long run variance . ",           " Market price of volatility risk . ",
    " Volatility of variance . ",      " Current variance . "};
const std::vector<std::string> kLevMarHelp = {
    std::string(" Lower bound for the parameters") + kParameterOrder,
    std::string(" Upper bound for the parameters") + kParameterOrder,
    std::string(" Initial guess for the parameters") + kParameterOrder,
    std::string(" Observation table - strikes") + kObservationTable,
    std::string(" Observation table - option maturities (in Years)") + kObservationTable,
    std::string(" Observation table - option type (1 for call 2 for put)") + kObservationTable,
    std::string(" Observation table - observed option prices") + kObservationTable,
    " Current spot price . ",
    " Observation table - Discounting rates = Risk free - dividend yield . ",
    " Weights for the observation data . ",
    " Maximum number of iterations . "};
const std::vector<std::string> kImpliedVolHelp = {" Stock Price . ",
                                                  " Exercise Price . ",
                                                  " Risk Free Interest Rate . ",
                                                  " Time to Maturity in Years . ",
                                                  " Option Price . ",
                                                  " call = 1, put = 0 . ",
                                                  " Dividend yield . ",
                                                  " Accuracy . "};

class SavedPath {
  public:
    SavedPath() {
        const char* value = std::getenv("Path");
        had_ = value != nullptr;
        if (had_) value_ = value;
    }
    ~SavedPath() {
        if (had_) {
            setenv("Path", value_.c_str(), 1);
        } else {
            unsetenv("Path");
        }
    }

  private:
    bool had_ = false;
    std::string value_;
};

// Status texts as the status bar shows them: an Excel-4 text counts its terminating NUL.
std::vector<xlhost::StatusEvent> StatusEvents() {
    std::vector<xlhost::StatusEvent> events = xlhost::Host::Instance().StatusEvents();
    for (auto& event : events) {
        while (!event.text.empty() && event.text.back() == '\0') event.text.pop_back();
    }
    return events;
}

std::string PathValue() {
    const char* value = std::getenv("Path");
    return value != nullptr ? value : "(unset)";
}

class Registration : public AddinSession {};

TEST_P(Registration, NineFunctionsRegisterAsTheTableSaysInOrder) {
    simulated::AttachDebugger();
    ASSERT_EQ(Open(), 1);
    // The nine come first; the contour pricer's five follow them (contour_functions_test), then
    // the functions added since, each tested in its own file.
    const std::vector<RegisteredFunction> functions = runner::RegisteredFunctions();
    ASSERT_EQ(functions.size(), std::size(kFunctions) + 9);
    for (std::size_t i = 0; i < std::size(kFunctions); ++i) {
        const RegisteredFunction& got = functions[i];
        const Expected& want = kFunctions[i];
        SCOPED_TRACE(want.worksheetName);
        EXPECT_EQ(got.libraryPath, kModuleName);
        EXPECT_EQ(got.exportName, want.exportName);
        EXPECT_EQ(got.worksheetName, want.worksheetName);
        EXPECT_EQ(got.typeText, IsExcel12() ? want.typeExcel12 : want.typeExcel4);
        EXPECT_EQ(got.argumentText, want.argumentText);
        EXPECT_EQ(got.macroType, 1.0);
        EXPECT_EQ(got.category, kCategory);
        EXPECT_EQ(got.description, want.description);
        // n + 10 values: the function's ten, then one help text per argument.
        EXPECT_EQ(got.valueCount, 10 + static_cast<int>(got.argumentHelp.size()));
        EXPECT_EQ(got.argumentHelp.size(), got.typeText.size() - 1);
        for (const std::string& help : got.argumentHelp) {
            EXPECT_EQ(help.substr(help.size() - 2), ". ") << help;
        }
    }
    EXPECT_EQ(functions[0].argumentHelp, kCallPriceHelp);
    EXPECT_EQ(functions[1].argumentHelp[3], " Risk free interest rate . ");
    EXPECT_EQ(functions[3].argumentHelp[10], " Number of simulations . ");
    EXPECT_EQ(functions[3].argumentHelp[11], " Number of time steps . ");
    EXPECT_EQ(functions[2].argumentHelp[0], " Number of random variables required . ");
    EXPECT_EQ(functions[5].argumentHelp, kLevMarHelp);
    EXPECT_EQ(functions[7].argumentHelp, kImpliedVolHelp);

    // "observedPriceArray" has exactly 18 characters: no name is too long for the wizard.
    const std::string debug = DebugText();
    EXPECT_EQ(debug.find("may be too long"), std::string::npos) << debug;
    EXPECT_NE(debug.find("..\\..\\src\\XlOpenClose(56): std::cerr redirected to MSVC debugger\n"),
              std::string::npos)
        << debug;
}

TEST_P(Registration, PathGainsTheAddinFolderAndTheStatusBarShowsProgress) {
    SavedPath saved;
    simulated::AttachDebugger();
    simulated::SetModuleFileName(addin_->Handle(), kModuleName);
    setenv("Path", "C:\\bin", 1);
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(PathValue(), "C:\\bin;C:\\addins");
    EXPECT_NE(DebugText().find("..\\..\\src\\XlOpenClose(101):  PATH set successfully \n"),
              std::string::npos)
        << DebugText();

    const auto events = StatusEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[0].shown);
    EXPECT_EQ(events[0].text, kModuleName);
    EXPECT_TRUE(events[1].shown);
    EXPECT_EQ(events[1].text, "Registering library...");
    EXPECT_FALSE(events[2].shown);

    // A path longer than the first 4096-byte buffer is read in full the second time.
    const std::string longPath = "C:\\bin;" + std::string(5000, 'x');
    setenv("Path", longPath.c_str(), 1);
    ASSERT_EQ(addin_->Open(), 1);
    EXPECT_EQ(PathValue(), longPath + ";C:\\addins");
    // Exactly 4095 characters still fit the first buffer with its terminator.
    const std::string fitting(4095, 'y');
    setenv("Path", fitting.c_str(), 1);
    ASSERT_EQ(addin_->Open(), 1);
    EXPECT_EQ(PathValue(), fitting + ";C:\\addins");
}

TEST_P(Registration, MissingPathBecomesTheAddinFolderAlone) {
    SavedPath saved;
    simulated::SetModuleFileName(addin_->Handle(), kModuleName);
    unsetenv("Path");
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(PathValue(), "C:\\addins");
}

TEST_P(Registration, FailedMemoryQueryWarnsAndStillRegisters) {
    SavedPath saved;
    setenv("Path", "C:\\bin", 1);
    simulated::AttachDebugger();
    simulated::SetVirtualQueryFails(true);
    ASSERT_EQ(Open(), 1);
    const std::string debug = DebugText();
    const auto query = debug.find("..\\..\\src\\XlOpenClose(83):  Could not attain path of DLL\n");
    const auto warning = debug.find(
        "..\\..\\src\\XlOpenClose(106):  Warning: Unable to initialise PATH to directory of "
        "library \n");
    ASSERT_NE(query, std::string::npos) << debug;
    ASSERT_NE(warning, std::string::npos) << debug;
    EXPECT_LT(query, warning);
    EXPECT_EQ(PathValue(), "C:\\bin");
    const auto events = StatusEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].text, "Registering library...");
    EXPECT_EQ(runner::RegisteredFunctions().size(), 18u);
}

TEST_P(Registration, MissingCallbackLibraryFailsTheOpenQuietly) {
    simulated::FailLoadLibrary("XLCALL32.DLL");
    EXPECT_EQ(Open(), 0);
    EXPECT_TRUE(runner::RegisteredFunctions().empty());
    EXPECT_TRUE(xlhost::Host::Instance().Requests().empty());
    // Closing after the failed open neither crashes nor asks the host for anything.
    EXPECT_EQ(addin_->Close(), 1);
    EXPECT_TRUE(xlhost::Host::Instance().Requests().empty());
    simulated::ClearFailures();
}

TEST_P(Registration, CloseRestoresTheDiagnosticStream) {
    simulated::AttachDebugger();
    ASSERT_EQ(Open(), 1);
    simulated::ClearDebugOutput();
    EXPECT_EQ(addin_->Close(), 1);
    EXPECT_EQ(DebugText(), "..\\..\\src\\XlOpenClose(125): Releasing ressources\n");
    simulated::ClearDebugOutput();
    std::cerr << "after close" << std::flush;
    EXPECT_EQ(DebugText(), "");
    ASSERT_EQ(addin_->Open(), 1);  // TearDown closes again
}

INSTANTIATE_TEST_SUITE_P(BothModes, Registration,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
