// Worksheet functions of the contour pricer: prices, Greeks, the model's smile and the Black
// inversion, for one option or a whole range of them in one formula.
//
// All four are thread-safe in Excel-12 mode: they run in the guard's per-thread storage
// (ThreadResult.h) and read their arguments without the temporary pool. A single-cell result
// shows the text of the first problem; an array shows #NUM! in the cells of options that
// cannot be read or computed, and computes the rest. Prices of an array go through the batch
// pricer, which shares the per-maturity work among the options of one maturity.
//
// heston_Price, heston_Greeks and heston_ModelImpliedVol take an optional last argument Jumps
// (JumpArguments.h): when it is given the Bates overloads of the pricer compute, and
// heston_Greeks adds the three rows of the jump derivatives. Left out, the Heston code runs
// exactly as without the argument. American exercise refuses jumps (FiniteDifferencePricing.h).
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "ExerciseArguments.h"
#include "FiniteDifferencePricing.h"
#include "GreeksTable.h"
#include "JumpArguments.h"
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

// The Jumps argument: false when it is left out (the Heston model), otherwise true with the
// jumps in `model`.
bool ReadBatesModel(LPXLFOPER jumps, const heston::ModelParameters& heston,
                    heston::BatesParameters& model) {
    const GridArgument argument = ReadGrid(jumps, "Jumps");
    if (addin::IsOmitted(argument)) return false;
    model = heston::BatesParameters{heston, addin::ReadJumps(argument)};
    return true;
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

// One batch for every readable option; NaN for those the pricer refuses. Model is
// heston::ModelParameters or heston::BatesParameters.
template <class Model>
std::vector<double> BatchPrices(double spot, const Model& model, const ReadableOptions& readable) {
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

// European prices in the grid's shape under either model.
template <class Model>
CellMatrix EuropeanPriceCells(const OptionGrid& grid, double spot, const Model& model) {
    if (grid.IsSingle()) {
        const heston::BatchOption o = grid.SingleOption();
        return CellMatrix(heston::EuropeanPrice(o.optionType, spot, o.strike, o.maturity, o.rate,
                                                o.dividendYield, model));
    }
    const ReadableOptions readable = ReadableOptionsOf(grid);
    const std::vector<double> prices = BatchPrices(spot, model, readable);
    CellMatrix cells = addin::ErrorCells(grid.ResultShape());
    for (std::size_t k = 0; k < prices.size(); ++k)
        SetNumber(cells, readable.cells[k].first, readable.cells[k].second, prices[k]);
    return cells;
}

// The Greeks table, one column per option row by row through the combined shape: eleven rows
// under the Heston model, fourteen under the Bates model.
template <class Model>
CellMatrix EuropeanGreeksTable(const OptionGrid& grid, double spot, const Model& model,
                               std::uint32_t rows) {
    const addin::Shape& shape = grid.ResultShape();
    const std::uint32_t options = shape.rows * shape.columns;
    CellMatrix table = addin::EmptyGreeksTable(options, rows);
    if (grid.IsSingle()) {
        const heston::BatchOption o = grid.SingleOption();
        SetGreeksColumn(table, 1,
                        heston::EuropeanGreeks(o.optionType, spot, o.strike, o.maturity, o.rate,
                                               o.dividendYield, model));
        return table;
    }
    std::string problem;
    for (std::uint32_t k = 0; k < options; ++k) {
        heston::BatchOption o{};
        if (!grid.OptionAt(k / shape.columns, k % shape.columns, o, problem)) continue;
        try {
            SetGreeksColumn(table, 1 + k,
                            heston::EuropeanGreeks(o.optionType, spot, o.strike, o.maturity, o.rate,
                                                   o.dividendYield, model));
        } catch (const std::exception&) {
            // This option's column stays #NUM!.
        }
    }
    return table;
}

// The model's implied volatilities in the grid's shape: an array's prices come from one batch.
template <class Model>
CellMatrix ModelImpliedVolCells(const OptionGrid& grid, double spot, const Model& model) {
    if (grid.IsSingle()) {
        const heston::BatchOption o = grid.SingleOption();
        return CellMatrix(heston::ModelImpliedVolatility(o.optionType, spot, o.strike, o.maturity,
                                                         o.rate, o.dividendYield, model));
    }
    const ReadableOptions readable = ReadableOptionsOf(grid);
    const std::vector<double> prices = BatchPrices(spot, model, readable);
    CellMatrix cells = addin::ErrorCells(grid.ResultShape());
    for (std::size_t k = 0; k < prices.size(); ++k) {
        const heston::BatchOption& o = readable.options[k];
        try {
            SetNumber(cells, readable.cells[k].first, readable.cells[k].second,
                      heston::BlackImpliedVolatility(o.optionType, prices[k], spot, o.strike,
                                                     o.maturity, o.rate, o.dividendYield));
        } catch (const std::exception&) {
            // A model price without an implied volatility stays #NUM!.
        }
    }
    return cells;
}

}  // namespace

XLL_EXPORT LPXLFOPER WINAPI xlheston_Price(LPXLFOPER OptionType, double Spot, LPXLFOPER Strike,
                                           LPXLFOPER Maturity, LPXLFOPER Rate,
                                           LPXLFOPER DividendYield, LPXLFOPER Parameters,
                                           LPXLFOPER Exercise, LPXLFOPER Grid, LPXLFOPER Jumps) {
    return GuardedWorksheetCall<ThreadResult>([&] {
        const OptionGrid grid = ReadOptions(OptionType, Strike, Maturity, Rate, DividendYield);
        const heston::ModelParameters model = ReadModel(Parameters);
        addin::FiniteDifferenceTerms american;
        const bool isAmerican = AmericanTerms(Exercise, Grid, american);
        heston::BatesParameters bates{};
        const bool jumps = ReadBatesModel(Jumps, model, bates);
        if (isAmerican) {
            if (jumps) addin::RefuseJumps(bates.jumps);
            return addin::FiniteDifferencePrices(grid, Spot, model, american);
        }
        return jumps ? EuropeanPriceCells(grid, Spot, bates)
                     : EuropeanPriceCells(grid, Spot, model);
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_Greeks(LPXLFOPER OptionType, double Spot, LPXLFOPER Strike,
                                            LPXLFOPER Maturity, LPXLFOPER Rate,
                                            LPXLFOPER DividendYield, LPXLFOPER Parameters,
                                            LPXLFOPER Exercise, LPXLFOPER Grid, LPXLFOPER Jumps) {
    return GuardedWorksheetCall<ThreadResult>([&] {
        const OptionGrid grid = ReadOptions(OptionType, Strike, Maturity, Rate, DividendYield);
        const heston::ModelParameters model = ReadModel(Parameters);
        addin::FiniteDifferenceTerms american;
        const bool isAmerican = AmericanTerms(Exercise, Grid, american);
        heston::BatesParameters bates{};
        const bool jumps = ReadBatesModel(Jumps, model, bates);
        if (isAmerican) {
            if (jumps) addin::RefuseJumps(bates.jumps);
            return addin::FiniteDifferenceGreeksTable(grid, Spot, model, american);
        }
        return jumps ? EuropeanGreeksTable(grid, Spot, bates, addin::kBatesGreekCount)
                     : EuropeanGreeksTable(grid, Spot, model, addin::kGreekCount);
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_ModelImpliedVol(LPXLFOPER OptionType, double Spot,
                                                     LPXLFOPER Strike, LPXLFOPER Maturity,
                                                     LPXLFOPER Rate, LPXLFOPER DividendYield,
                                                     LPXLFOPER Parameters, LPXLFOPER Jumps) {
    return GuardedWorksheetCall<ThreadResult>([&] {
        const OptionGrid grid = ReadOptions(OptionType, Strike, Maturity, Rate, DividendYield);
        const heston::ModelParameters model = ReadModel(Parameters);
        heston::BatesParameters bates{};
        if (ReadBatesModel(Jumps, model, bates)) return ModelImpliedVolCells(grid, Spot, bates);
        return ModelImpliedVolCells(grid, Spot, model);
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
