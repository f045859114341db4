// Worksheet functions of the contour pricer: prices, Greeks, the model's smile and the Black
// inversion, for one option or a whole range of them in one formula.
//
// All four are thread-safe in Excel-12 mode: they run in the guard's per-thread storage
// (ThreadResult.h) and read their arguments without the temporary pool. A single-cell result
// shows the text of the first problem; an array shows #NUM! in the cells of options that
// cannot be read or computed, and computes the rest. Prices of an array go through the batch
// pricer, which shares the per-maturity work among the options of one maturity.
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "ExerciseArguments.h"
#include "FiniteDifferencePricing.h"
#include "GreeksTable.h"
#include "OptionArguments.h"
#include "ThreadResult.h"
#include "WorksheetFunctions.h"
#include "WorksheetGuard.h"
#include "contour/ContourPricer.h"

namespace {

using addin::GridArgument;
using addin::GuardedWorksheetCall;
using addin::OptionGrid;
using addin::ReadGrid;
using addin::ThreadResult;
using xlf::CellMatrix;
using xlf::MatrixCell;

OptionGrid ReadOptions(LPXLFOPER optionType, LPXLFOPER strike, LPXLFOPER maturity, LPXLFOPER rate,
                       LPXLFOPER dividendYield, const GridArgument* price = nullptr) {
    GridArgument type = ReadGrid(optionType, "OptionType");
    GridArgument strikes = ReadGrid(strike, "Strike");
    GridArgument maturities = ReadGrid(maturity, "Maturity");
    GridArgument rates = ReadGrid(rate, "Rate");
    GridArgument yields = ReadGrid(dividendYield, "DividendYield");
    return OptionGrid(std::move(type), std::move(strikes), std::move(maturities), std::move(rates),
                      std::move(yields), price);
}

heston::ModelParameters ReadModel(LPXLFOPER parameters) {
    return addin::ReadParameters(ReadGrid(parameters, "Parameters"));
}

// The options of a grid that could be read, and the cells their results go to.
struct ReadableOptions {
    std::vector<heston::BatchOption> options;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cells;
};

ReadableOptions ReadableOptionsOf(const OptionGrid& grid) {
    ReadableOptions readable;
    std::string problem;
    for (std::uint32_t i = 0; i < grid.ResultShape().rows; ++i) {
        for (std::uint32_t j = 0; j < grid.ResultShape().columns; ++j) {
            heston::BatchOption option{};
            if (!grid.OptionAt(i, j, option, problem)) continue;
            readable.options.push_back(option);
            readable.cells.emplace_back(i, j);
        }
    }
    return readable;
}

// One batch for every readable option; NaN for those the pricer refuses.
std::vector<double> BatchPrices(double spot, const heston::ModelParameters& model,
                                const ReadableOptions& readable) {
    std::vector<double> prices(readable.options.size());
    if (!prices.empty()) {
        heston::EuropeanPrices(spot, model, readable.options.data(), readable.options.size(),
                               prices.data());
    }
    return prices;
}

void SetNumber(CellMatrix& cells, std::uint32_t row, std::uint32_t column, double value) {
    if (std::isfinite(value)) cells.Cell(row, column) = MatrixCell(value);
}

// American exercise: the finite-difference pricer on the grid Grid asks for; null for European.
bool AmericanTerms(LPXLFOPER exercise, LPXLFOPER grid, addin::FiniteDifferenceTerms& terms) {
    terms.exercise = addin::ReadExercise(ReadGrid(exercise, "Exercise"));
    if (terms.exercise != heston::ExerciseStyle::American) return false;
    terms.grid = addin::ReadFiniteDifferenceGrid(ReadGrid(grid, "Grid"));
    return true;
}

using addin::SetGreeksColumn;

}  // namespace

XLL_EXPORT LPXLFOPER WINAPI xlheston_Price(LPXLFOPER OptionType, double Spot, LPXLFOPER Strike,
                                           LPXLFOPER Maturity, LPXLFOPER Rate,
                                           LPXLFOPER DividendYield, LPXLFOPER Parameters,
                                           LPXLFOPER Exercise, LPXLFOPER Grid) {
    return GuardedWorksheetCall<ThreadResult>([&] {
        const OptionGrid grid = ReadOptions(OptionType, Strike, Maturity, Rate, DividendYield);
        const heston::ModelParameters model = ReadModel(Parameters);
        addin::FiniteDifferenceTerms american;
        if (AmericanTerms(Exercise, Grid, american))
            return addin::FiniteDifferencePrices(grid, Spot, model, american);
        if (grid.IsSingle()) {
            const heston::BatchOption o = grid.SingleOption();
            return CellMatrix(heston::EuropeanPrice(o.optionType, Spot, o.strike, o.maturity,
                                                    o.rate, o.dividendYield, model));
        }
        const ReadableOptions readable = ReadableOptionsOf(grid);
        const std::vector<double> prices = BatchPrices(Spot, model, readable);
        CellMatrix cells = addin::ErrorCells(grid.ResultShape());
        for (std::size_t k = 0; k < prices.size(); ++k)
            SetNumber(cells, readable.cells[k].first, readable.cells[k].second, prices[k]);
        return cells;
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_Greeks(LPXLFOPER OptionType, double Spot, LPXLFOPER Strike,
                                            LPXLFOPER Maturity, LPXLFOPER Rate,
                                            LPXLFOPER DividendYield, LPXLFOPER Parameters,
                                            LPXLFOPER Exercise, LPXLFOPER Grid) {
    return GuardedWorksheetCall<ThreadResult>([&] {
        const OptionGrid grid = ReadOptions(OptionType, Strike, Maturity, Rate, DividendYield);
        const heston::ModelParameters model = ReadModel(Parameters);
        addin::FiniteDifferenceTerms american;
        if (AmericanTerms(Exercise, Grid, american))
            return addin::FiniteDifferenceGreeksTable(grid, Spot, model, american);
        // One column of values per option, row by row through the combined shape.
        const addin::Shape& shape = grid.ResultShape();
        const std::uint32_t options = shape.rows * shape.columns;
        CellMatrix table = addin::EmptyGreeksTable(options);
        if (grid.IsSingle()) {
            const heston::BatchOption o = grid.SingleOption();
            SetGreeksColumn(table, 1,
                            heston::EuropeanGreeks(o.optionType, Spot, o.strike, o.maturity, o.rate,
                                                   o.dividendYield, model));
            return table;
        }
        std::string problem;
        for (std::uint32_t k = 0; k < options; ++k) {
            heston::BatchOption o{};
            if (!grid.OptionAt(k / shape.columns, k % shape.columns, o, problem)) continue;
            try {
                SetGreeksColumn(table, 1 + k,
                                heston::EuropeanGreeks(o.optionType, Spot, o.strike, o.maturity,
                                                       o.rate, o.dividendYield, model));
            } catch (const std::exception&) {
                // This option's column stays #NUM!.
            }
        }
        return table;
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_ModelImpliedVol(LPXLFOPER OptionType, double Spot,
                                                     LPXLFOPER Strike, LPXLFOPER Maturity,
                                                     LPXLFOPER Rate, LPXLFOPER DividendYield,
                                                     LPXLFOPER Parameters) {
    return GuardedWorksheetCall<ThreadResult>([&] {
        const OptionGrid grid = ReadOptions(OptionType, Strike, Maturity, Rate, DividendYield);
        const heston::ModelParameters model = ReadModel(Parameters);
        if (grid.IsSingle()) {
            const heston::BatchOption o = grid.SingleOption();
            return CellMatrix(heston::ModelImpliedVolatility(
                o.optionType, Spot, o.strike, o.maturity, o.rate, o.dividendYield, model));
        }
        const ReadableOptions readable = ReadableOptionsOf(grid);
        const std::vector<double> prices = BatchPrices(Spot, model, readable);
        CellMatrix cells = addin::ErrorCells(grid.ResultShape());
        for (std::size_t k = 0; k < prices.size(); ++k) {
            const heston::BatchOption& o = readable.options[k];
            try {
                SetNumber(cells, readable.cells[k].first, readable.cells[k].second,
                          heston::BlackImpliedVolatility(o.optionType, prices[k], Spot, o.strike,
                                                         o.maturity, o.rate, o.dividendYield));
            } catch (const std::exception&) {
                // A model price without an implied volatility stays #NUM!.
            }
        }
        return cells;
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_BlackImpliedVol(LPXLFOPER OptionType, LPXLFOPER Price,
                                                     double Spot, LPXLFOPER Strike,
                                                     LPXLFOPER Maturity, LPXLFOPER Rate,
                                                     LPXLFOPER DividendYield) {
    return GuardedWorksheetCall<ThreadResult>([&] {
        // Arguments are read in their order: the type first, then the prices.
        GridArgument type = ReadGrid(OptionType, "OptionType");
        const GridArgument prices = ReadGrid(Price, "Price");
        GridArgument strikes = ReadGrid(Strike, "Strike");
        GridArgument maturities = ReadGrid(Maturity, "Maturity");
        GridArgument rates = ReadGrid(Rate, "Rate");
        GridArgument yields = ReadGrid(DividendYield, "DividendYield");
        const OptionGrid grid(std::move(type), std::move(strikes), std::move(maturities),
                              std::move(rates), std::move(yields), &prices);
        if (grid.IsSingle()) {
            const heston::BatchOption o = grid.SingleOption();
            const double price = grid.SinglePrice();
            return CellMatrix(heston::BlackImpliedVolatility(o.optionType, price, Spot, o.strike,
                                                             o.maturity, o.rate, o.dividendYield));
        }
        CellMatrix cells = addin::ErrorCells(grid.ResultShape());
        std::string problem;
        for (std::uint32_t i = 0; i < grid.ResultShape().rows; ++i) {
            for (std::uint32_t j = 0; j < grid.ResultShape().columns; ++j) {
                heston::BatchOption o{};
                double price = 0.0;
                if (!grid.OptionAt(i, j, o, problem) || !grid.PriceAt(i, j, price, problem))
                    continue;
                try {
                    SetNumber(cells, i, j,
                              heston::BlackImpliedVolatility(o.optionType, price, Spot, o.strike,
                                                             o.maturity, o.rate, o.dividendYield));
                } catch (const std::exception&) {
                    // A price outside the no-arbitrage bounds stays #NUM!.
                }
            }
        }
        return cells;
    });
}
