// Worksheet functions of the path-dependent options: Asian options (arithmetic by simulation
// with the geometric closed form as control variate, geometric exactly) and forward-start
// options (closed form), under the Heston model or, with the optional last argument Jumps,
// under the Bates model.
//
// Both are thread-safe in Excel-12 mode, as the contour pricer's functions are (results in
// per-thread storage, arguments read without the temporary pool), and cluster-safe: on a
// compute cluster they make no callback (GuardedClusterSafeCall). The simulation runs on the
// add-in's shared pool and stops on Esc; its numbers do not depend on the pool's size.
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "EscapeRequest.h"
#include "FixingArguments.h"
#include "JumpArguments.h"
#include "OptionArguments.h"
#include "SharedThreadPool.h"
#include "ThreadResult.h"
#include "WorksheetFunctions.h"
#include "WorksheetGuard.h"
#include "pathsimulation/AsianOption.h"
#include "pathsimulation/ForwardStartPrice.h"

namespace {

using addin::GridArgument;
using addin::ReadGrid;
using addin::ThreadResult;
using xlf::CellMatrix;
using xlf::MatrixCell;

void SetNumber(CellMatrix& cells, std::uint32_t row, std::uint32_t column, double value) {
    if (std::isfinite(value)) cells.Cell(row, column) = MatrixCell(value);
}

}  // namespace

XLL_EXPORT LPXLFOPER WINAPI xlheston_AsianPrice(LPXLFOPER OptionType, double Spot, LPXLFOPER Strike,
                                                LPXLFOPER FixingTimes, double Rate,
                                                double DividendYield, LPXLFOPER Parameters,
                                                LPXLFOPER Average, LPXLFOPER Paths, LPXLFOPER Seed,
                                                LPXLFOPER Jumps) {
    return addin::GuardedClusterSafeCall<ThreadResult>([&] {
        const GridArgument types = ReadGrid(OptionType, "OptionType");
        const GridArgument strikes = ReadGrid(Strike, "Strike");
        const std::vector<double> fixings =
            addin::ReadFixingTimes(ReadGrid(FixingTimes, "FixingTimes"));
        const heston::BatesParameters model{
            addin::ReadParameters(ReadGrid(Parameters, "Parameters")),
            addin::ReadJumps(ReadGrid(Jumps, "Jumps"))};
        const heston::AsianAverage average = addin::ReadAverage(ReadGrid(Average, "Average"));
        heston::SimulationSettings settings;
        settings.paths = addin::ReadPaths(ReadGrid(Paths, "Paths"));
        settings.seed = addin::ReadSeed(ReadGrid(Seed, "Seed"));
        settings.stop = addin::EscapeRequest();
        if (!types.IsSingle() && types.Count() != strikes.Count()) {
            throw std::invalid_argument("OptionType: one value, or one per strike (" +
                                        std::to_string(strikes.Count()) + "), is needed");
        }

        // One row (price, standard error) per strike, row by row through the strikes' range.
        const std::size_t count = strikes.Count();
        std::vector<heston::StrikeOption> options;
        std::vector<std::uint32_t> rows;
        std::string problem;
        for (std::size_t k = 0; k < count; ++k) {
            heston::StrikeOption option{};
            const bool read =
                addin::ReadOptionType(types.Element(types.IsSingle() ? 0 : k), types.name,
                                      option.optionType, problem) &&
                addin::ReadNumber(strikes.Element(k), strikes.name, option.strike, problem);
            if (read && !(option.strike > 0.0 && std::isfinite(option.strike))) {
                problem = "Strike: must be positive";
                if (count == 1) throw std::invalid_argument(problem);
                continue;
            }
            if (!read) {
                if (count == 1) throw std::invalid_argument(problem);
                continue;
            }
            options.push_back(option);
            rows.push_back(static_cast<std::uint32_t>(k));
        }
        CellMatrix cells = addin::ErrorCells({static_cast<std::uint32_t>(count), 2});
        if (options.empty()) return cells;
        const std::vector<heston::SimulatedPrice> prices =
            heston::AsianPrices(Spot, options, fixings, Rate, DividendYield, model, average,
                                settings, addin::SharedPool());
        for (std::size_t i = 0; i < prices.size(); ++i) {
            SetNumber(cells, rows[i], 0, prices[i].price);
            SetNumber(cells, rows[i], 1, prices[i].standardError);
        }
        return cells;
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_ForwardStartPrice(LPXLFOPER OptionType, double Spot,
                                                       LPXLFOPER Moneyness, LPXLFOPER ResetTime,
                                                       LPXLFOPER Maturity, LPXLFOPER Rate,
                                                       LPXLFOPER DividendYield,
                                                       LPXLFOPER Parameters, LPXLFOPER Jumps) {
    return addin::GuardedClusterSafeCall<ThreadResult>([&] {
        const GridArgument types = ReadGrid(OptionType, "OptionType");
        const GridArgument moneyness = ReadGrid(Moneyness, "Moneyness");
        const GridArgument resets = ReadGrid(ResetTime, "ResetTime");
        const GridArgument maturities = ReadGrid(Maturity, "Maturity");
        const GridArgument rates = ReadGrid(Rate, "Rate");
        const GridArgument yields = ReadGrid(DividendYield, "DividendYield");
        const heston::BatesParameters model{
            addin::ReadParameters(ReadGrid(Parameters, "Parameters")),
            addin::ReadJumps(ReadGrid(Jumps, "Jumps"))};
        const addin::Shape shape =
            addin::CombinedShape({&types, &moneyness, &resets, &maturities, &rates, &yields});
        const bool single = shape.rows == 1 && shape.columns == 1;

        CellMatrix cells = addin::ErrorCells(shape);
        for (std::uint32_t i = 0; i < shape.rows; ++i) {
            for (std::uint32_t j = 0; j < shape.columns; ++j) {
                int type = 0;
                double k = 0, reset = 0, maturity = 0, rate = 0, yield = 0;
                std::string problem;
                const bool read =
                    addin::ReadOptionType(types.At(i, j), types.name, type, problem) &&
                    addin::ReadNumber(moneyness.At(i, j), moneyness.name, k, problem) &&
                    addin::ReadNumber(resets.At(i, j), resets.name, reset, problem) &&
                    addin::ReadNumber(maturities.At(i, j), maturities.name, maturity, problem) &&
                    addin::ReadNumber(rates.At(i, j), rates.name, rate, problem) &&
                    addin::ReadNumber(yields.At(i, j), yields.name, yield, problem);
                if (single) {
                    if (!read) throw std::invalid_argument(problem);
                    return CellMatrix(heston::ForwardStartPrice(type, Spot, k, reset, maturity,
                                                                rate, yield, model));
                }
                if (!read) continue;
                try {
                    SetNumber(cells, i, j,
                              heston::ForwardStartPrice(type, Spot, k, reset, maturity, rate, yield,
                                                        model));
                } catch (const std::exception&) {
                    // This option stays #NUM!.
                }
            }
        }
        return cells;
    });
}
