#include "DemoLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <stdexcept>

namespace demo {

namespace {

const char* const kPriceFormat = "0.0000";
const char* const kVolFormat = "0.00%";
const char* const kParameterFormat = "0.000000";

// Bounds and initial guess per parameter, in the calibrations' order. Lower bounds near zero
// matter for Differential Evolution: its search starts from a best vector of zeros and its
// first trials are differences of members, which must reach inside the bounds.
struct ParameterInput {
    const char* name;
    double lower, upper, guess;
};
const ParameterInput kParameters[] = {{"v", 0.001, 0.5, 0.04},
                                      {"theta", 0.001, 0.5, 0.05},
                                      {"kappa", 0.1, 10.0, 2.0},
                                      {"sigma", 0.05, 2.0, 0.5},
                                      {"rho", -0.99, 0.5, -0.6}};
constexpr int kDeGenerations = 100;
constexpr int kLmEvaluations = 400;

// Rows the blocks above the quote table take, so that the fits can name the table's ranges.
constexpr int kFitsFirstRow = 3;
constexpr int kFitsRows = 9;
constexpr int kMonteCarloRows = 10;
constexpr int kNormalDraws = 5;

// American and barrier puts: strikes around the spot, above the down-and-out barrier.
const double kExerciseStrikes[] = {4000.0, 4250.0, 4500.0, 4750.0, 5000.0};
constexpr double kDownOutBarrier = 3800.0;

// Asian calls on monthly fixings over a year, strikes about 80% to 120% of the spot. The
// paths are the function's default, and the standard error shows what they leave.
constexpr int kMonthlyFixings = 12;
constexpr double kAsianPaths = 100000.0;
constexpr double kAsianFirstStrike = 3600.0;
constexpr double kAsianLastStrike = 5400.0;
constexpr double kAsianStrikeStep = 200.0;

// Forward-start calls: reset at half a year, moneyness k from 80% to 120%.
constexpr double kResetTime = 0.5;
constexpr int kFirstMoneynessPercent = 80;
constexpr int kLastMoneynessPercent = 120;
constexpr int kMoneynessStepPercent = 5;

// Smile grid: strikes across the quoted range, out of the money (puts below the spot).
constexpr double kSmileFirstStrike = 3400.0;
constexpr double kSmileLastStrike = 5600.0;
constexpr double kSmileStrikeStep = 100.0;

std::string Abs(Position position) {
    return CellName(position, true);
}

// The closed-form price of an option at a fit: spot, strike, maturity, rate in the given
// cells, the parameters from the fit's column (argument order rho, kappa, theta, lambda,
// sigma, v; lambda 0).
std::string ClosedFormPrice(int type, const DemoLayout& layout, const FitCells& fit,
                            Position strike, Position maturity, Position rate) {
    const Position p = fit.parameters;
    auto param = [&](int index) { return Abs({p.row + index, p.col}); };
    return std::string("=") +
           (type == 1 ? "heston_EuropeanCallPrice(" : "heston_EuropeanPutPrice(") +
           Abs(layout.spot) + ", " + CellName(strike) + ", " + CellName(maturity) + ", " +
           CellName(rate) + ", " + param(4) + ", " + param(2) + ", " + param(1) + ", 0, " +
           param(3) + ", " + param(0) + ")";
}

// Black-Scholes implied volatility of the price in a cell (no dividend yield, accuracy 1e-8).
std::string ImpliedVol(const DemoLayout& layout, Position strike, Position rate, Position maturity,
                       Position price, Position type) {
    return "=heston_impliedVol(" + Abs(layout.spot) + ", " + CellName(strike) + ", " +
           CellName(rate) + ", " + CellName(maturity) + ", " + CellName(price) + ", " +
           CellName(type) + ", 0, 1e-8)";
}

void Heading(DemoLayout& layout, int row, const std::string& title) {
    layout.sheet.Set({row, 0}, Cell::MakeText(title, Style::Heading));
}

void ColumnHeaders(DemoLayout& layout, int row, const std::vector<std::string>& names) {
    for (std::size_t c = 0; c < names.size(); ++c)
        layout.sheet.Set({row, static_cast<int>(c)}, Cell::MakeText(names[c], Style::ColumnHeader));
}

void AddTitle(DemoLayout& layout, std::size_t quoteCount, double spot) {
    layout.sheet.Set({0, 0}, Cell::MakeText("DAX options: " + std::to_string(quoteCount) +
                                                " quotes, Heston calibrations through the add-in",
                                            Style::Title));
    layout.spot = {1, 1};
    layout.sheet.Set({1, 0}, Cell::MakeText("spot"));
    layout.sheet.Set(layout.spot, Cell::MakeNumber(spot, Style::Input, "0.00"));
}

// Bounds, guess, both calibrations as array formulas over the five parameters, their
// iteration limits and errors (filled in by AddQuotes, which knows the error columns).
void AddFits(DemoLayout& layout, const Position quotes, int quoteCount) {
    const int header = kFitsFirstRow;
    ColumnHeaders(layout, header,
                  {"parameter", "lower bound", "upper bound", "initial guess",
                   "Differential Evolution", "Levenberg-Marquardt"});
    const int first = header + 1;
    for (int i = 0; i < 5; ++i) {
        const ParameterInput& p = kParameters[i];
        layout.parameterNames.push_back(p.name);
        layout.sheet.Set({first + i, 0}, Cell::MakeText(p.name));
        layout.sheet.Set({first + i, 1}, Cell::MakeNumber(p.lower));
        layout.sheet.Set({first + i, 2}, Cell::MakeNumber(p.upper));
        layout.sheet.Set({first + i, 3}, Cell::MakeNumber(p.guess));
    }
    const int iterations = first + 5;
    layout.sheet.Set({iterations, 0},
                     Cell::MakeText("iterations (DE generations, LM price evaluations at most)"));
    layout.sheet.Set({iterations + 1, 0}, Cell::MakeText("RMSE in price"));
    layout.sheet.Set({iterations + 2, 0}, Cell::MakeText("RMSE in implied vol"));

    auto column = [&](int col) {
        const int last = quotes.row + quoteCount - 1;
        return RangeName({quotes.row, col}, {last, col}, true);
    };
    const std::string observations =
        column(QuoteColumns::kStrike) + ", " + column(QuoteColumns::kMaturity) + ", " +
        column(QuoteColumns::kType) + ", " + column(QuoteColumns::kObserved) + ", " +
        Abs(layout.spot) + ", " + column(QuoteColumns::kRate) + ", " +
        column(QuoteColumns::kWeight);
    const std::string lower = RangeName({first, 1}, {first + 4, 1}, true);
    const std::string upper = RangeName({first, 2}, {first + 4, 2}, true);
    const std::string guess = RangeName({first, 3}, {first + 4, 3}, true);

    FitCells de;
    de.name = "Differential Evolution";
    de.shortName = "DE";
    de.parameters = {first, 4};
    de.iterations = {iterations, 4};
    layout.sheet.Set(de.iterations, Cell::MakeNumber(kDeGenerations));
    layout.sheet.Set(de.parameters,
                     Cell::MakeAddinFormula("=heston_CalibrateDE(" + lower + ", " + upper + ", " +
                                                observations + ", " + CellName(de.iterations) + ")",
                                            kParameterFormat, 5, 1));
    FitCells lm;
    lm.name = "Levenberg-Marquardt";
    lm.shortName = "LM";
    lm.parameters = {first, 5};
    lm.iterations = {iterations, 5};
    layout.sheet.Set(lm.iterations, Cell::MakeNumber(kLmEvaluations));
    layout.sheet.Set(
        lm.parameters,
        Cell::MakeAddinFormula("=heston_CalibrateLevMar(" + lower + ", " + upper + ", " + guess +
                                   ", " + observations + ", " + CellName(lm.iterations) + ")",
                               kParameterFormat, 5, 1));
    for (FitCells* fit : {&de, &lm}) {
        fit->rmsePrice = {iterations + 1, fit->parameters.col};
        fit->rmseVol = {iterations + 2, fit->parameters.col};
        layout.fits.push_back(*fit);
    }
    layout.summary.push_back({{"Differential", "Evolution"},
                              de.parameters,
                              de.parameters,
                              de.rmsePrice,
                              de.rmseVol,
                              de.iterations,
                              "generations"});
    layout.summary.push_back({{"Levenberg-", "Marquardt"},
                              lm.parameters,
                              lm.parameters,
                              lm.rmsePrice,
                              lm.rmseVol,
                              lm.iterations,
                              "evals max"});
    layout.blocks.push_back(
        {"Calibrations",
         "Bounds and initial guess of v (current variance), theta (long-run "
         "variance), kappa (mean reversion), sigma (volatility of variance) and "
         "rho (correlation). Column E calibrates by Differential Evolution "
         "(heston_CalibrateDE), column F by Levenberg-Marquardt least squares "
         "(heston_CalibrateLevMar); each is an array formula over five cells. "
         "Below them the iteration limits and the root mean square errors of "
         "the fits in price and in implied volatility.",
         header, iterations + 2});
}

// Closed-form and Monte Carlo prices of three quoted options at the Differential Evolution fit,
// and a column of normal draws.
void AddMonteCarlo(DemoLayout& layout, int firstRow, const std::vector<Quote>& quotes) {
    Heading(layout, firstRow,
            "Monte Carlo beside the closed form, at the Differential Evolution fit");
    const int header = firstRow + 1;
    ColumnHeaders(layout, header,
                  {"strike", "maturity", "type", "rate", "closed form", "Monte Carlo",
                   "MC - closed form", "paths", "time steps"});
    // The Differential Evolution fit keeps sigma moderate; at the least-squares fit's large
    // volatility of variance the Euler paths need far more steps and paths to settle.
    const FitCells& fit = layout.fits[0];
    const Position p = fit.parameters;
    auto param = [&](int index) { return Abs({p.row + index, p.col}); };
    // One option per choice: strike, index of the maturity among the quoted ones.
    const std::pair<double, int> choices[] = {{4500.0, 3}, {4000.0, 5}, {5000.0, 7}};
    std::vector<double> maturities;
    for (const Quote& q : quotes) maturities.push_back(q.maturity);
    std::sort(maturities.begin(), maturities.end());
    maturities.erase(std::unique(maturities.begin(), maturities.end()), maturities.end());
    int row = header + 1;
    for (const auto& [strike, maturityIndex] : choices) {
        const double maturity =
            maturities.at(std::min<std::size_t>(maturityIndex, maturities.size() - 1));
        const auto quote = std::find_if(quotes.begin(), quotes.end(),
                                        [&](const Quote& q) { return q.maturity == maturity; });
        const int type = strike < layout.sheet.At(layout.spot).number ? 2 : 1;
        layout.sheet.Set({row, 0}, Cell::MakeNumber(strike));
        layout.sheet.Set({row, 1}, Cell::MakeNumber(maturity, Style::Input, "0.0000"));
        layout.sheet.Set({row, 2}, Cell::MakeNumber(type));
        layout.sheet.Set({row, 3}, Cell::MakeNumber(quote->rate, Style::Input, "0.0000%"));
        layout.sheet.Set({row, 7}, Cell::MakeNumber(5000));
        layout.sheet.Set({row, 8}, Cell::MakeNumber(100));
        layout.sheet.Set(
            {row, 4},
            Cell::MakeAddinFormula(ClosedFormPrice(type, layout, fit, {row, 0}, {row, 1}, {row, 3}),
                                   kPriceFormat));
        layout.sheet.Set(
            {row, 5},
            Cell::MakeAddinFormula(
                std::string("=") +
                    (type == 1 ? "heston_EuropeanCallPriceMC(" : "heston_EuropeanPutPriceMC(") +
                    Abs(layout.spot) + ", " + CellName({row, 0}) + ", " + CellName({row, 1}) +
                    ", " + CellName({row, 3}) + ", " + param(4) + ", " + param(2) + ", " +
                    param(1) + ", 0, " + param(3) + ", " + param(0) + ", " + CellName({row, 7}) +
                    ", " + CellName({row, 8}) + ")",
                kPriceFormat));
        layout.sheet.Set({row, 6}, Cell::MakeDifference({row, 5}, {row, 4}, kPriceFormat));
        ++row;
    }
    layout.sheet.Set({row, 0}, Cell::MakeText("normal draws"));
    layout.sheet.Set(
        {row, 1}, Cell::MakeAddinFormula("=heston_RandomVars(" + std::to_string(kNormalDraws) + ")",
                                         "0.000000", kNormalDraws, 1));
    layout.blocks.push_back(
        {"Monte Carlo beside the closed form",
         "Three quoted options priced at the Differential Evolution parameters by the closed form "
         "(heston_EuropeanCallPrice, heston_EuropeanPutPrice) and by Monte Carlo "
         "(heston_EuropeanCallPriceMC, heston_EuropeanPutPriceMC: antithetic Euler paths), "
         "and five standard normal draws (heston_RandomVars, an array formula).",
         firstRow, row + kNormalDraws - 1});
}

// The quotes sorted by maturity, then strike; per quote its vega weight and implied vol, and
// per fit its price, implied vol and their errors. Also the fits' root mean square errors.
void AddQuotes(DemoLayout& layout, int firstRow, std::vector<Quote> quotes) {
    std::stable_sort(quotes.begin(), quotes.end(), [](const Quote& a, const Quote& b) {
        return a.maturity != b.maturity ? a.maturity < b.maturity : a.strike < b.strike;
    });
    Heading(layout, firstRow, "Quotes, and both fits at each quote");
    const int header = firstRow + 1;
    FitCells& de = layout.fits[0];
    FitCells& lm = layout.fits[1];
    de.priceColumn = 8, de.volColumn = 9, lm.priceColumn = 10, lm.volColumn = 11;
    de.priceErrorColumn = 12, de.volErrorColumn = 13;
    lm.priceErrorColumn = 14, lm.volErrorColumn = 15;
    ColumnHeaders(layout, header,
                  {"strike", "maturity", "type (1 call, 2 put)", "observed price", "rate", "weight",
                   "BS vega", "observed vol", "DE price", "DE vol", "LM price", "LM vol",
                   "DE price error", "DE vol error", "LM price error", "LM vol error"});
    layout.firstQuoteRow = header + 1;
    layout.lastQuoteRow = header + static_cast<int>(quotes.size());
    for (std::size_t i = 0; i < quotes.size(); ++i) {
        const Quote& q = quotes[i];
        const int r = layout.firstQuoteRow + static_cast<int>(i);
        if (layout.maturities.empty() || layout.maturities.back().maturity != q.maturity)
            layout.maturities.push_back({q.maturity, r, r, 0, 0});
        layout.maturities.back().lastQuoteRow = r;
        const Position strike{r, QuoteColumns::kStrike}, maturity{r, QuoteColumns::kMaturity},
            type{r, QuoteColumns::kType}, observed{r, QuoteColumns::kObserved},
            rate{r, QuoteColumns::kRate};
        layout.sheet.Set(strike, Cell::MakeNumber(q.strike));
        layout.sheet.Set(maturity, Cell::MakeNumber(q.maturity, Style::Input, "0.0000"));
        layout.sheet.Set(type, Cell::MakeNumber(q.type));
        layout.sheet.Set(observed, Cell::MakeNumber(q.price, Style::Input, kPriceFormat));
        layout.sheet.Set(rate, Cell::MakeNumber(q.rate, Style::Input, "0.0000%"));
        layout.sheet.Set({r, QuoteColumns::kWeight}, Cell::MakeNumber(q.weight));
        layout.sheet.Set({r, QuoteColumns::kVega},
                         Cell::MakeAddinFormula(
                             "=heston_weightBSvega(" + Abs(layout.spot) + ", " + CellName(strike) +
                                 ", " + CellName(rate) + ", " + CellName(maturity) + ", " +
                                 CellName(observed) + ", " + CellName(type) + ", 0)",
                             "0.00"));
        const Position observedVol{r, QuoteColumns::kObservedVol};
        layout.sheet.Set(observedVol, Cell::MakeAddinFormula(ImpliedVol(layout, strike, rate,
                                                                        maturity, observed, type),
                                                             kVolFormat));
        for (const FitCells& fit : layout.fits) {
            const Position price{r, fit.priceColumn}, vol{r, fit.volColumn};
            layout.sheet.Set(price, Cell::MakeAddinFormula(ClosedFormPrice(q.type, layout, fit,
                                                                           strike, maturity, rate),
                                                           kPriceFormat));
            layout.sheet.Set(
                vol, Cell::MakeAddinFormula(ImpliedVol(layout, strike, rate, maturity, price, type),
                                            kVolFormat));
            layout.sheet.Set({r, fit.priceErrorColumn},
                             Cell::MakeDifference(price, observed, kPriceFormat));
            layout.sheet.Set({r, fit.volErrorColumn},
                             Cell::MakeDifference(vol, observedVol, kVolFormat));
        }
    }
    for (const FitCells& fit : layout.fits) {
        layout.sheet.Set(
            fit.rmsePrice,
            Cell::MakeRootMeanSquare({layout.firstQuoteRow, fit.priceErrorColumn},
                                     {layout.lastQuoteRow, fit.priceErrorColumn}, kPriceFormat));
        layout.sheet.Set(fit.rmseVol, Cell::MakeRootMeanSquare(
                                          {layout.firstQuoteRow, fit.volErrorColumn},
                                          {layout.lastQuoteRow, fit.volErrorColumn}, kVolFormat));
    }
    layout.blocks.push_back(
        {"Quotes, and both fits at each quote",
         "The observed prices (inputs: strike, maturity in years, type, price, continuously "
         "compounded rate, calibration weight), sorted by maturity and strike. Per quote its "
         "Black-Scholes vega (heston_weightBSvega, a possible calibration weight) and implied "
         "volatility (heston_impliedVol), and per fit the model price (closed form), its "
         "implied volatility, and both minus the observed ones.",
         firstRow, layout.lastQuoteRow});
}

// Per maturity, the fitted models' smiles on a strike grid: out-of-the-money prices and
// their implied vols at both fits.
void AddSmile(DemoLayout& layout, int firstRow) {
    Heading(layout, firstRow, "Model smile of both fits, per maturity");
    const int header = firstRow + 1;
    FitCells& de = layout.fits[0];
    FitCells& lm = layout.fits[1];
    de.smilePriceColumn = 4, de.smileVolColumn = 5;
    lm.smilePriceColumn = 6, lm.smileVolColumn = 7;
    ColumnHeaders(layout, header,
                  {"strike", "maturity", "type (1 call, 2 put)", "rate", "DE price", "DE vol",
                   "LM price", "LM vol"});
    const double spot = layout.sheet.At(layout.spot).number;
    int r = header + 1;
    for (MaturityRows& maturity : layout.maturities) {
        const double rate = layout.sheet.At({maturity.firstQuoteRow, QuoteColumns::kRate}).number;
        maturity.firstSmileRow = r;
        const int points = static_cast<int>(
            std::lround((kSmileLastStrike - kSmileFirstStrike) / kSmileStrikeStep));
        for (int i = 0; i <= points; ++i, ++r) {
            const double strike = kSmileFirstStrike + i * kSmileStrikeStep;
            const int type = strike < spot ? 2 : 1;
            const Position k{r, SmileColumns::kStrike}, t{r, SmileColumns::kMaturity},
                c{r, SmileColumns::kType}, rr{r, SmileColumns::kRate};
            layout.sheet.Set(k, Cell::MakeNumber(strike));
            layout.sheet.Set(t, Cell::MakeNumber(maturity.maturity, Style::Input, "0.0000"));
            layout.sheet.Set(c, Cell::MakeNumber(type));
            layout.sheet.Set(rr, Cell::MakeNumber(rate, Style::Input, "0.0000%"));
            for (const FitCells& fit : layout.fits) {
                const Position price{r, fit.smilePriceColumn};
                layout.sheet.Set(
                    price, Cell::MakeAddinFormula(ClosedFormPrice(type, layout, fit, k, t, rr),
                                                  kPriceFormat));
                layout.sheet.Set(
                    {r, fit.smileVolColumn},
                    Cell::MakeAddinFormula(ImpliedVol(layout, k, rr, t, price, c), kVolFormat));
            }
        }
        maturity.lastSmileRow = r - 1;
    }
    layout.blocks.push_back(
        {"Model smile of both fits",
         "For each quoted maturity, strikes from 3400 to 5600 in steps of 100: the closed-form "
         "price of the out-of-the-money option at each fit and its implied volatility. The "
         "Charts sheet draws these smiles over the observed implied vols.",
         firstRow, r - 1});
}

// The contour pricer's functions on the same quotes: heston_Calibrate in two error measures
// with its diagnostics, Greeks of three options at the fit in prices, at the shortest maturity
// the contour price beside the closed form at the Levenberg-Marquardt fit, and per quote the
// model's smile and prices at the fit in implied vols beside the observed ones (one array
// formula each), with their errors. The fit in implied vols heads the summary.
void AddContour(DemoLayout& layout, int firstRow) {
    Heading(layout, firstRow, "The contour pricer: calibration, Greeks, short maturities, smile");
    const int header = firstRow + 1;
    ColumnHeaders(layout, header, {"heston_Calibrate", "in prices", "in implied vols"});
    const std::string spot = Abs(layout.spot);
    auto quoteColumn = [&](int column) {
        return RangeName({layout.firstQuoteRow, column}, {layout.lastQuoteRow, column}, true);
    };
    const std::string table =
        spot + ", " + quoteColumn(QuoteColumns::kStrike) + ", " +
        quoteColumn(QuoteColumns::kMaturity) + ", " + quoteColumn(QuoteColumns::kType) + ", " +
        quoteColumn(QuoteColumns::kObserved) + ", " + quoteColumn(QuoteColumns::kRate) + ", 0";
    const char* const rows[] = {"v0",  "theta", "kappa",       "sigma",
                                "rho", "RMSE",  "evaluations", "status"};
    const int fitRow = header + 1;
    for (int i = 0; i < 8; ++i) layout.sheet.Set({fitRow + i, 0}, Cell::MakeText(rows[i]));
    layout.sheet.Set({fitRow, 1}, Cell::MakeAddinFormula("=heston_Calibrate(" + table + ")",
                                                         kParameterFormat, 8, 1));
    layout.sheet.Set({fitRow, 2},
                     Cell::MakeAddinFormula("=heston_Calibrate(" + table + ", , \"vol\")",
                                            kParameterFormat, 8, 1));
    const std::string fit = RangeName({fitRow, 1}, {fitRow + 7, 1}, true);
    const Position volFit{fitRow, 2};
    layout.contourFits = {{fitRow, 1}, volFit};
    const std::string volFitRange = RangeName(volFit, {fitRow + 7, 2}, true);

    // Greeks of three calls at the sixth quoted maturity (or the last), at the price fit.
    const int greeksRow = fitRow + 9;
    const MaturityRows& greekMaturity =
        layout.maturities.at(std::min<std::size_t>(5, layout.maturities.size() - 1));
    layout.sheet.Set({greeksRow, 0}, Cell::MakeText("maturity"));
    layout.sheet.Set({greeksRow, 1},
                     Cell::MakeNumber(greekMaturity.maturity, Style::Input, "0.0000"));
    layout.sheet.Set({greeksRow + 1, 0}, Cell::MakeText("rate"));
    layout.sheet.Set(
        {greeksRow + 1, 1},
        Cell::MakeNumber(layout.sheet.At({greekMaturity.firstQuoteRow, QuoteColumns::kRate}).number,
                         Style::Input, "0.0000%"));
    layout.sheet.Set({greeksRow + 2, 0}, Cell::MakeText("call strikes"));
    const double strikes[] = {4000.0, 4500.0, 5000.0};
    for (int j = 0; j < 3; ++j)
        layout.sheet.Set({greeksRow + 2, 1 + j}, Cell::MakeNumber(strikes[j]));
    const int tableRow = greeksRow + 3;
    layout.sheet.Set({tableRow, 0},
                     Cell::MakeAddinFormula("=heston_Greeks(1, " + spot + ", " +
                                                RangeName({greeksRow + 2, 1}, {greeksRow + 2, 3}) +
                                                ", " + CellName({greeksRow, 1}) + ", " +
                                                CellName({greeksRow + 1, 1}) + ", 0, " + fit + ")",
                                            "0.0000", 11, 4));

    // The shortest maturity: contour price beside the closed form, both at the LM fit.
    const int shortRow = tableRow + 12;
    const FitCells& lm = layout.fits[1];
    const std::string lmFit =
        RangeName(lm.parameters, {lm.parameters.row + 4, lm.parameters.col}, true);
    ColumnHeaders(layout, shortRow,
                  {"strike", "maturity", "type (1 call, 2 put)", "rate", "closed form (LM fit)",
                   "contour (LM fit)", "contour - closed form"});
    const MaturityRows& shortest = layout.maturities.front();
    int r = shortRow + 1;
    for (int q = shortest.firstQuoteRow; q <= shortest.lastQuoteRow; ++q, ++r) {
        const Position k{r, 0}, t{r, 1}, c{r, 2}, rr{r, 3};
        layout.sheet.Set(k, Cell::MakeNumber(layout.sheet.At({q, QuoteColumns::kStrike}).number));
        layout.sheet.Set(t, Cell::MakeNumber(shortest.maturity, Style::Input, "0.0000"));
        const int type = static_cast<int>(layout.sheet.At({q, QuoteColumns::kType}).number);
        layout.sheet.Set(c, Cell::MakeNumber(type));
        layout.sheet.Set(rr, Cell::MakeNumber(layout.sheet.At({q, QuoteColumns::kRate}).number,
                                              Style::Input, "0.0000%"));
        layout.sheet.Set({r, 4}, Cell::MakeAddinFormula(ClosedFormPrice(type, layout, lm, k, t, rr),
                                                        kPriceFormat));
        layout.sheet.Set(
            {r, 5}, Cell::MakeAddinFormula("=heston_Price(" + CellName(c) + ", " + spot + ", " +
                                               CellName(k) + ", " + CellName(t) + ", " +
                                               CellName(rr) + ", 0, " + lmFit + ")",
                                           kPriceFormat));
        layout.sheet.Set({r, 6}, Cell::MakeDifference({r, 5}, {r, 4}, "0.000000"));
    }

    // Per quote, the model's smile and prices at the fit in implied vols beside the observed
    // ones, their errors, and the root mean squares of the errors.
    const int smileRow = r + 1;
    ColumnHeaders(
        layout, smileRow,
        {"strike", "maturity", "type (1 call, 2 put)", "rate", "observed price", "observed vol",
         "model vol (fit in vols)", "model price (fit in vols)", "price error", "vol error"});
    const int first = smileRow + 1;
    const int count = layout.lastQuoteRow - layout.firstQuoteRow + 1;
    const int last = first + count - 1;
    constexpr int kObservedPrice = 4, kObservedVol = 5, kModelVol = 6, kModelPrice = 7,
                  kPriceError = 8, kVolError = 9;
    for (int i = 0; i < count; ++i) {
        const int q = layout.firstQuoteRow + i, row = first + i;
        const int columns[] = {QuoteColumns::kStrike, QuoteColumns::kMaturity, QuoteColumns::kType,
                               QuoteColumns::kRate, QuoteColumns::kObserved};
        for (int j = 0; j < 5; ++j) {
            Cell cell = layout.sheet.At({q, columns[j]});
            layout.sheet.Set({row, j}, cell);
        }
        layout.sheet.Set(
            {row, kPriceError},
            Cell::MakeDifference({row, kModelPrice}, {row, kObservedPrice}, kPriceFormat));
        layout.sheet.Set({row, kVolError},
                         Cell::MakeDifference({row, kModelVol}, {row, kObservedVol}, kVolFormat));
    }
    auto column = [&](int c) { return RangeName({first, c}, {last, c}); };
    const std::string options = column(2) + ", " + spot + ", " + column(0) + ", " + column(1) +
                                ", " + column(3) + ", 0, " + volFitRange + ")";
    layout.sheet.Set({first, kObservedVol},
                     Cell::MakeAddinFormula("=heston_BlackImpliedVol(" + column(2) + ", " +
                                                column(4) + ", " + spot + ", " + column(0) + ", " +
                                                column(1) + ", " + column(3) + ", 0)",
                                            kVolFormat, count, 1));
    layout.sheet.Set(
        {first, kModelVol},
        Cell::MakeAddinFormula("=heston_ModelImpliedVol(" + options, kVolFormat, count, 1));
    layout.sheet.Set({first, kModelPrice},
                     Cell::MakeAddinFormula("=heston_Price(" + options, kPriceFormat, count, 1));
    const int rmsRow = last + 1;
    layout.sheet.Set({rmsRow, 0}, Cell::MakeText("RMSE in price"));
    layout.sheet.Set({rmsRow + 1, 0}, Cell::MakeText("RMSE in implied vol"));
    const Position rmsePrice{rmsRow, kPriceError}, rmseVol{rmsRow + 1, kVolError};
    layout.sheet.Set(rmsePrice, Cell::MakeRootMeanSquare({first, kPriceError}, {last, kPriceError},
                                                         kPriceFormat));
    layout.sheet.Set(rmseVol,
                     Cell::MakeRootMeanSquare({first, kVolError}, {last, kVolError}, kVolFormat));
    layout.summary.insert(layout.summary.begin(),
                          FitSummary{{"heston_Calibrate", "in implied vols"},
                                     volFit,
                                     volFit,
                                     rmsePrice,
                                     rmseVol,
                                     {fitRow + 6, 2},
                                     "evals",
                                     {fitRow + 7, 2}});
    layout.blocks.push_back(
        {"The contour pricer",
         "heston_Calibrate fits the quotes with the contour pricer and its analytic parameter "
         "derivatives from no initial guess, in prices and in implied vols: v0, theta, kappa, "
         "sigma, rho, the RMSE in that measure, the surface evaluations and the status. Below: "
         "heston_Greeks of three calls at the fit in prices (one column per option); at the "
         "shortest maturity the contour heston_Price beside the closed form, both at the "
         "Levenberg-Marquardt parameters, where the closed form's fixed integration shows; and "
         "per quote the observed implied vol (heston_BlackImpliedVol), the model's smile "
         "(heston_ModelImpliedVol) and price (heston_Price) at the fit in implied vols, each one "
         "array formula over all quotes, their errors and the root mean squares of the errors.",
         firstRow, rmsRow + 1});
}

// A column of heston_Calibrate's fit as the pricing functions take it: all eight cells (the
// five parameters come first; the functions pass over what follows them).
std::string FitColumn(Position first) {
    return RangeName(first, {first.row + 7, first.col}, true);
}

// The quoted maturity nearest to the given one.
const MaturityRows& NearestMaturity(const DemoLayout& layout, double years) {
    return *std::min_element(layout.maturities.begin(), layout.maturities.end(),
                             [&](const MaturityRows& a, const MaturityRows& b) {
                                 return std::fabs(a.maturity - years) <
                                        std::fabs(b.maturity - years);
                             });
}

// A labelled input in columns A and B.
Position Input(DemoLayout& layout, int row, const std::string& label, double value,
               const std::string& format = "") {
    layout.sheet.Set({row, 0}, Cell::MakeText(label));
    layout.sheet.Set({row, 1}, Cell::MakeNumber(value, Style::Input, format));
    return {row, 1};
}

// What the model prices beyond European options by finite differences, at one maturity near a
// year: per strike the European put (the contour pricer), the American put and its
// early-exercise premium, the down-and-out put and what the knock-out takes off the European
// price; below, the American puts' Greeks. Each priced column is one array formula over the
// strikes, which the add-in prices as a batch on its threads.
void AddExerciseAndBarrier(DemoLayout& layout, int firstRow, const std::string& fitName,
                           const std::string& fit) {
    Heading(layout, firstRow, "American and down-and-out puts at " + fitName);
    const std::string spot = Abs(layout.spot);
    const double spotValue = layout.sheet.At(layout.spot).number;
    const MaturityRows& maturity = NearestMaturity(layout, 1.0);
    const Position t = Input(layout, firstRow + 1, "maturity", maturity.maturity, "0.0000");
    const Position r =
        Input(layout, firstRow + 2, "rate",
              layout.sheet.At({maturity.firstQuoteRow, QuoteColumns::kRate}).number, "0.0000%");
    const Position barrier = Input(layout, firstRow + 3, "barrier", kDownOutBarrier, "0.00");
    layout.sheet.Set(
        {firstRow + 3, 2},
        Cell::MakeText("down-and-out, continuously monitored; set at about " +
                       std::to_string(std::lround(100.0 * kDownOutBarrier / spotValue)) +
                       "% of the spot"));
    const Position rebate = Input(layout, firstRow + 4, "rebate", 0.0);

    using C = ExerciseBarrierCells;
    const int header = firstRow + 5;
    ColumnHeaders(layout, header,
                  {"strike", "European put", "American put", "exercise premium", "down-and-out put",
                   "knock-out discount"});
    ExerciseBarrierCells& cells = layout.exerciseBarrier;
    cells.firstRow = header + 1;
    const int count = static_cast<int>(std::size(kExerciseStrikes));
    cells.lastRow = cells.firstRow + count - 1;
    for (int i = 0; i < count; ++i) {
        const int row = cells.firstRow + i;
        layout.sheet.Set({row, C::kStrike}, Cell::MakeNumber(kExerciseStrikes[i]));
        layout.sheet.Set(
            {row, C::kPremium},
            Cell::MakeDifference({row, C::kAmerican}, {row, C::kEuropean}, kPriceFormat));
        layout.sheet.Set(
            {row, C::kDiscount},
            Cell::MakeDifference({row, C::kEuropean}, {row, C::kDownOut}, kPriceFormat));
    }
    // Option, spot, strikes, maturity, rate, dividend yield 0, parameters: the arguments the
    // three pricing functions share after their own leading ones.
    const std::string option =
        spot + ", " + RangeName({cells.firstRow, C::kStrike}, {cells.lastRow, C::kStrike}) + ", " +
        CellName(t) + ", " + CellName(r) + ", 0, " + fit;
    const auto column = [&](int col, const std::string& formula) {
        layout.sheet.Set({cells.firstRow, col},
                         Cell::MakeAddinFormula(formula, kPriceFormat, count, 1));
    };
    column(C::kEuropean, "=heston_Price(\"P\", " + option + ")");
    column(C::kAmerican, "=heston_Price(\"P\", " + option + ", \"American\")");
    column(C::kDownOut, "=heston_BarrierPrice(\"P\", \"DownOut\", " + CellName(barrier) + ", " +
                            CellName(rebate) + ", " + option + ")");

    const int greeksRow = cells.lastRow + 2;
    layout.sheet.Set({greeksRow, 0},
                     Cell::MakeText("heston_Greeks of the American puts, one column per strike "
                                    "in the order above"));
    cells.greeks = {greeksRow + 1, 0};
    layout.sheet.Set(cells.greeks,
                     Cell::MakeAddinFormula("=heston_Greeks(\"P\", " + option + ", \"American\")",
                                            "0.0000", 11, count + 1));
    layout.blocks.push_back(
        {"American and down-and-out puts",
         "At " + fitName +
             ", puts of one maturity near a year: the European price (heston_Price, Fourier "
             "inversion), the American price (heston_Price with Exercise \"American\", finite "
             "differences with early exercise) and the early-exercise premium, the down-and-out "
             "put (heston_BarrierPrice \"DownOut\", continuously monitored, rebate 0) and what "
             "the knock-out takes off the European price. Below them heston_Greeks of the "
             "American puts: price, delta, gamma, theta, both rhos and the five parameter "
             "sensitivities, one column per strike. Each priced column and the Greeks are one "
             "array formula.",
         firstRow, greeksRow + 11});
}

// Path-dependent options at the same fit: the smile of Asian calls on twelve monthly fixings
// over a year (simulated, with the standard error of each price) beside the European call
// paid at the last fixing, and the forward smile: forward-start calls struck at k times the
// spot at the reset, their implied volatility over the forward period, and the implied
// volatility of an option over as long a period starting today.
void AddPathDependent(DemoLayout& layout, int firstRow, const std::string& fitName,
                      const std::string& fit) {
    using C = PathDependentCells;
    PathDependentCells& cells = layout.pathDependent;
    const std::string spot = Abs(layout.spot);
    const MaturityRows& year = NearestMaturity(layout, 1.0);
    const double rateValue = layout.sheet.At({year.firstQuoteRow, QuoteColumns::kRate}).number;

    Heading(layout, firstRow, "Asian smile at " + fitName);
    const Position rate = Input(layout, firstRow + 1, "rate", rateValue, "0.0000%");
    const int fixingsRow = firstRow + 2;
    layout.sheet.Set({fixingsRow, 0}, Cell::MakeText("fixing times"));
    for (int m = 1; m <= kMonthlyFixings; ++m) {
        layout.sheet.Set({fixingsRow, m}, Cell::MakeNumber(m / 12.0, Style::Input, "0.0000"));
    }
    cells.rate = rate;
    cells.firstFixing = {fixingsRow, 1};
    cells.lastFixing = {fixingsRow, kMonthlyFixings};
    const std::string fixings = RangeName(cells.firstFixing, cells.lastFixing);
    const Position paths = Input(layout, firstRow + 3, "paths", kAsianPaths);
    const Position seed = Input(layout, firstRow + 4, "seed", 1.0);
    const int asianHeader = firstRow + 5;
    ColumnHeaders(layout, asianHeader,
                  {"strike", "Asian call", "standard error", "European call (last fixing)",
                   "European - Asian"});
    cells.firstAsianRow = asianHeader + 1;
    int row = cells.firstAsianRow;
    for (double strike = kAsianFirstStrike; strike <= kAsianLastStrike; strike += kAsianStrikeStep)
        layout.sheet.Set({row++, C::kStrike}, Cell::MakeNumber(strike));
    cells.lastAsianRow = row - 1;
    const int strikes = cells.lastAsianRow - cells.firstAsianRow + 1;
    const std::string strikeRange =
        RangeName({cells.firstAsianRow, C::kStrike}, {cells.lastAsianRow, C::kStrike});
    layout.sheet.Set({cells.firstAsianRow, C::kAsian},
                     Cell::MakeAddinFormula(
                         "=heston_AsianPrice(\"C\", " + spot + ", " + strikeRange + ", " + fixings +
                             ", " + CellName(rate) + ", 0, " + fit + ", \"Arithmetic\", " +
                             CellName(paths) + ", " + CellName(seed) + ")",
                         kPriceFormat, strikes, 2));
    layout.sheet.Set({cells.firstAsianRow, C::kEuropean},
                     Cell::MakeAddinFormula("=heston_Price(\"C\", " + spot + ", " + strikeRange +
                                                ", " + CellName(cells.lastFixing) + ", " +
                                                CellName(rate) + ", 0, " + fit + ")",
                                            kPriceFormat, strikes, 1));
    for (int r = cells.firstAsianRow; r <= cells.lastAsianRow; ++r) {
        layout.sheet.Set({r, C::kAveraging},
                         Cell::MakeDifference({r, C::kEuropean}, {r, C::kAsian}, kPriceFormat));
    }
    layout.blocks.push_back(
        {"Asian smile",
         "At " + fitName +
             ": fixed-strike Asian calls on the arithmetic average of twelve monthly fixings "
             "over a year, paid at the last fixing (heston_AsianPrice, one array formula: a row "
             "of price and standard error per strike, all strikes from the same simulated paths, "
             "with the geometric average's closed form as control variate), beside the European "
             "call paid at the last fixing (heston_Price) and what the averaging takes off its "
             "price. The simulation starts from the given seed, so it gives the same numbers on "
             "every recalculation.",
         firstRow, cells.lastAsianRow});

    const int forwardRow = cells.lastAsianRow + 2;
    Heading(layout, forwardRow, "Forward smile at " + fitName);
    const Position reset = Input(layout, forwardRow + 1, "reset time", kResetTime, "0.0000");
    const Position maturity = Input(layout, forwardRow + 2, "maturity", 1.0, "0.0000");
    // The forward period is a difference of two inputs, which the add-in's formulas may read.
    const Position period{forwardRow + 3, 1};
    layout.sheet.Set({forwardRow + 3, 0}, Cell::MakeText("forward period"));
    layout.sheet.Set(period, Cell::MakeDifference(maturity, reset, "0.0000"));
    const int forwardHeader = forwardRow + 4;
    ColumnHeaders(layout, forwardHeader,
                  {"moneyness k", "forward-start call", "per unit of spot", "forward implied vol",
                   "implied vol starting today", "forward - today"});
    cells.firstForwardRow = forwardHeader + 1;
    row = cells.firstForwardRow;
    for (int percent = kFirstMoneynessPercent; percent <= kLastMoneynessPercent;
         percent += kMoneynessStepPercent) {
        layout.sheet.Set({row++, C::kMoneyness},
                         Cell::MakeNumber(percent / 100.0, Style::Input, "0.00"));
    }
    cells.lastForwardRow = row - 1;
    const int count = cells.lastForwardRow - cells.firstForwardRow + 1;
    const std::string moneyness =
        RangeName({cells.firstForwardRow, C::kMoneyness}, {cells.lastForwardRow, C::kMoneyness});
    const std::string forwardStart = moneyness + ", " + CellName(reset) + ", " +
                                     CellName(maturity) + ", " + CellName(rate) + ", 0, " + fit +
                                     ")";
    layout.sheet.Set(
        {cells.firstForwardRow, C::kForwardStart},
        Cell::MakeAddinFormula("=heston_ForwardStartPrice(\"C\", " + spot + ", " + forwardStart,
                               kPriceFormat, count, 1));
    // Per unit of spot (the price is proportional to the spot; no dividend yield), the
    // forward-start call is a Black-Scholes call with spot 1 and strike k over the forward
    // period: its implied volatility is the forward smile's.
    layout.sheet.Set({cells.firstForwardRow, C::kPerUnitSpot},
                     Cell::MakeAddinFormula("=heston_ForwardStartPrice(\"C\", 1, " + forwardStart,
                                            "0.000000", count, 1));
    layout.sheet.Set({cells.firstForwardRow, C::kForwardVol},
                     Cell::MakeAddinFormula("=heston_BlackImpliedVol(\"C\", " +
                                                RangeName({cells.firstForwardRow, C::kPerUnitSpot},
                                                          {cells.lastForwardRow, C::kPerUnitSpot}) +
                                                ", 1, " + moneyness + ", " + CellName(period) +
                                                ", " + CellName(rate) + ", 0)",
                                            kVolFormat, count, 1));
    layout.sheet.Set(
        {cells.firstForwardRow, C::kSpotStartVol},
        Cell::MakeAddinFormula("=heston_ModelImpliedVol(\"C\", 1, " + moneyness + ", " +
                                   CellName(period) + ", " + CellName(rate) + ", 0, " + fit + ")",
                               kVolFormat, count, 1));
    for (int r = cells.firstForwardRow; r <= cells.lastForwardRow; ++r) {
        layout.sheet.Set(
            {r, C::kVolDifference},
            Cell::MakeDifference({r, C::kForwardVol}, {r, C::kSpotStartVol}, kVolFormat));
    }
    layout.blocks.push_back(
        {"Forward smile",
         "At the same fit: forward-start calls that pay the excess of the spot at maturity "
         "over k times the spot at the reset time (heston_ForwardStartPrice, closed form), at "
         "the sheet's spot and per unit of spot; the forward smile, the Black-Scholes implied "
         "volatility of the price per unit of spot over the forward period "
         "(heston_BlackImpliedVol with spot 1 and strike k), beside the model's implied "
         "volatility of a call over as long a period starting today with strike k times the "
         "spot (heston_ModelImpliedVol), and their difference: how the smile the model "
         "expects at the reset differs from today's.",
         forwardRow, cells.lastForwardRow});
}

// The Bates model (Heston with lognormal jumps in the spot) fitted in implied vols from no
// guess, beside the Heston fits: heston_Calibrate with Model "Bates" and its eleven cells; per
// quote the Bates smile and price (one array formula each, the fit's rows 1-5 as Parameters
// and 6-8 as Jumps) with their errors and root mean squares; and the Bates smile on every row
// of the smile grid, which the charts draw beside the Heston fits'.
void AddBates(DemoLayout& layout, int firstRow) {
    Heading(layout, firstRow, "The Bates model: Heston with jumps in the spot, fitted in vols");
    const int header = firstRow + 1;
    ColumnHeaders(layout, header, {"heston_Calibrate", "Bates in implied vols"});
    const std::string spot = Abs(layout.spot);
    auto quoteColumn = [&](int column) {
        return RangeName({layout.firstQuoteRow, column}, {layout.lastQuoteRow, column}, true);
    };
    const std::string table =
        spot + ", " + quoteColumn(QuoteColumns::kStrike) + ", " +
        quoteColumn(QuoteColumns::kMaturity) + ", " + quoteColumn(QuoteColumns::kType) + ", " +
        quoteColumn(QuoteColumns::kObserved) + ", " + quoteColumn(QuoteColumns::kRate) + ", 0";
    const char* const rows[] = {"v0",  "theta",  "kappa", "sigma",       "rho",   "lambda",
                                "muJ", "deltaJ", "RMSE",  "evaluations", "status"};
    const int fitRow = header + 1;
    for (int i = 0; i < 11; ++i) layout.sheet.Set({fitRow + i, 0}, Cell::MakeText(rows[i]));
    const Position fit{fitRow, 1};
    layout.sheet.Set(fit, Cell::MakeAddinFormula(
                              "=heston_Calibrate(" + table + ", , \"vol\", , , , , \"Bates\")",
                              kParameterFormat, 11, 1));
    const std::string fitParameters = RangeName(fit, {fitRow + 4, 1}, true);
    const std::string fitJumps = RangeName({fitRow + 5, 1}, {fitRow + 7, 1}, true);
    const std::string model = fitParameters + ", " + fitJumps;  // heston_ModelImpliedVol's last two

    // Per quote, as in the contour pricer's block.
    const int quoteHeader = fitRow + 12;
    ColumnHeaders(layout, quoteHeader,
                  {"strike", "maturity", "type (1 call, 2 put)", "rate", "observed price",
                   "observed vol", "Bates vol", "Bates price", "price error", "vol error"});
    const int first = quoteHeader + 1;
    const int count = layout.lastQuoteRow - layout.firstQuoteRow + 1;
    const int last = first + count - 1;
    constexpr int kObservedPrice = 4, kObservedVol = 5, kModelVol = 6, kModelPrice = 7,
                  kPriceError = 8, kVolError = 9;
    for (int i = 0; i < count; ++i) {
        const int q = layout.firstQuoteRow + i, row = first + i;
        const int columns[] = {QuoteColumns::kStrike, QuoteColumns::kMaturity, QuoteColumns::kType,
                               QuoteColumns::kRate, QuoteColumns::kObserved};
        for (int j = 0; j < 5; ++j) layout.sheet.Set({row, j}, layout.sheet.At({q, columns[j]}));
        layout.sheet.Set(
            {row, kPriceError},
            Cell::MakeDifference({row, kModelPrice}, {row, kObservedPrice}, kPriceFormat));
        layout.sheet.Set({row, kVolError},
                         Cell::MakeDifference({row, kModelVol}, {row, kObservedVol}, kVolFormat));
    }
    auto column = [&](int c) { return RangeName({first, c}, {last, c}); };
    const std::string options =
        column(2) + ", " + spot + ", " + column(0) + ", " + column(1) + ", " + column(3) + ", 0, ";
    layout.sheet.Set({first, kObservedVol},
                     Cell::MakeAddinFormula("=heston_BlackImpliedVol(" + column(2) + ", " +
                                                column(4) + ", " + spot + ", " + column(0) + ", " +
                                                column(1) + ", " + column(3) + ", 0)",
                                            kVolFormat, count, 1));
    layout.sheet.Set({first, kModelVol},
                     Cell::MakeAddinFormula("=heston_ModelImpliedVol(" + options + model + ")",
                                            kVolFormat, count, 1));
    layout.sheet.Set({first, kModelPrice},
                     Cell::MakeAddinFormula(
                         "=heston_Price(" + options + fitParameters + ", , , " + fitJumps + ")",
                         kPriceFormat, count, 1));
    const int rmsRow = last + 1;
    layout.sheet.Set({rmsRow, 0}, Cell::MakeText("RMSE in price"));
    layout.sheet.Set({rmsRow + 1, 0}, Cell::MakeText("RMSE in implied vol"));
    const Position rmsePrice{rmsRow, kPriceError}, rmseVol{rmsRow + 1, kVolError};
    layout.sheet.Set(rmsePrice, Cell::MakeRootMeanSquare({first, kPriceError}, {last, kPriceError},
                                                         kPriceFormat));
    layout.sheet.Set(rmseVol,
                     Cell::MakeRootMeanSquare({first, kVolError}, {last, kVolError}, kVolFormat));

    // The Bates smile on the smile grid's strikes and maturities, one array formula.
    const int smileHeader = rmsRow + 3;
    ColumnHeaders(layout, smileHeader,
                  {"strike", "maturity", "type (1 call, 2 put)", "rate", "Bates vol"});
    const int gridFirst = layout.maturities.front().firstSmileRow;
    const int gridLast = layout.maturities.back().lastSmileRow;
    const int smileFirst = smileHeader + 1;
    const int smileLast = smileFirst + gridLast - gridFirst;
    for (int r = gridFirst; r <= gridLast; ++r) {
        for (int c : {SmileColumns::kStrike, SmileColumns::kMaturity, SmileColumns::kType,
                      SmileColumns::kRate}) {
            layout.sheet.Set({smileFirst + r - gridFirst, c}, layout.sheet.At({r, c}));
        }
    }
    auto smileColumn = [&](int c) { return RangeName({smileFirst, c}, {smileLast, c}); };
    layout.sheet.Set(
        {smileFirst, 4},
        Cell::MakeAddinFormula("=heston_ModelImpliedVol(" + smileColumn(SmileColumns::kType) +
                                   ", " + spot + ", " + smileColumn(SmileColumns::kStrike) + ", " +
                                   smileColumn(SmileColumns::kMaturity) + ", " +
                                   smileColumn(SmileColumns::kRate) + ", 0, " + model + ")",
                               kVolFormat, smileLast - smileFirst + 1, 1));

    layout.bates = {fit, first, last, 0, kVolError, smileFirst - gridFirst, 4};
    layout.summary.push_back(FitSummary{{"Bates", "in implied vols"},
                                        fit,
                                        fit,
                                        rmsePrice,
                                        rmseVol,
                                        {fitRow + 9, 1},
                                        "evals",
                                        {fitRow + 10, 1}});
    layout.blocks.push_back(
        {"The Bates model",
         "heston_Calibrate with Model \"Bates\" fits Heston with lognormal jumps in the spot "
         "(lambda jumps a year, log jump sizes of mean muJ and spread deltaJ) to the quotes in "
         "implied vols from no initial guess: eight parameters, the RMSE, the evaluations and the "
         "status. Below: per quote the Bates smile (heston_ModelImpliedVol) and price "
         "(heston_Price) with the fit's rows 1-5 as Parameters and 6-8 as Jumps, their errors "
         "and root mean squares; and the Bates smile on the smile grid, which the Charts sheet "
         "draws beside the Heston fits.",
         firstRow, smileLast});
}

}  // namespace

DemoLayout BuildDemoLayout(const std::vector<Quote>& quotes, double spot) {
    if (quotes.empty()) throw std::runtime_error("no quotes to fit");
    DemoLayout layout;
    AddTitle(layout, quotes.size(), spot);
    const int monteCarloRow = kFitsFirstRow + kFitsRows + 1;
    const int quotesRow = monteCarloRow + kMonteCarloRows + 1;
    // The calibrations name the quote table's ranges: its first data row is fixed here.
    AddFits(layout, {quotesRow + 2, 0}, static_cast<int>(quotes.size()));
    AddMonteCarlo(layout, monteCarloRow, quotes);
    AddQuotes(layout, quotesRow, quotes);
    AddSmile(layout, layout.lastQuoteRow + 2);
    AddContour(layout, layout.blocks.back().lastRow + 2);
    // Beyond European options, at the fit the summary puts first.
    const std::string fitName = "heston_Calibrate's fit in implied vols";
    const std::string fit = FitColumn(layout.contourFits.inVols);
    AddExerciseAndBarrier(layout, layout.blocks.back().lastRow + 2, fitName, fit);
    AddPathDependent(layout, layout.blocks.back().lastRow + 2, fitName, fit);
    AddBates(layout, layout.blocks.back().lastRow + 2);
    for (std::size_t i = 1; i < layout.blocks.size(); ++i) {
        if (layout.blocks[i].firstRow <= layout.blocks[i - 1].lastRow)
            throw std::logic_error("block '" + layout.blocks[i].title + "' overlaps the one above");
    }
    layout.columnWidths = {14, 12, 12, 12, 22, 22, 16, 14, 12, 10, 12, 10, 14, 12, 14, 12};
    return layout;
}

}  // namespace demo
