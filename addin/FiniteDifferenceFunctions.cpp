// Worksheet functions of the finite-difference pricer: heston_BarrierPrice and
// heston_BarrierGreeks, and the American exercise of heston_Price and heston_Greeks.
//
// Thread-safe in Excel-12 mode like the contour pricer's functions: results in per-thread
// storage, arguments read without the temporary pool. The grid carries no jump term: a Jumps
// argument with jumps in it (lambda > 0) is refused with a text, one without (lambda = 0, the
// Heston model) is priced as if it were left out.
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "EscapeRequest.h"
#include "ExerciseArguments.h"
#include "FiniteDifferencePricing.h"
#include "GreeksTable.h"
#include "JumpArguments.h"
#include "SharedThreadPool.h"
#include "ThreadResult.h"
#include "WorksheetFunctions.h"
#include "WorksheetGuard.h"
#include "finitedifference/FiniteDifferencePricer.h"

namespace addin {

namespace {

using xlf::CellMatrix;
using xlf::MatrixCell;

heston::FiniteDifferenceOption OptionOf(const heston::BatchOption& o,
                                        const FiniteDifferenceTerms& terms) {
    heston::FiniteDifferenceOption option;
    option.optionType = o.optionType;
    option.strike = o.strike;
    option.maturity = o.maturity;
    option.rate = o.rate;
    option.dividendYield = o.dividendYield;
    option.exercise = terms.exercise;
    option.barrier = terms.barrier;
    return option;
}

struct Readable {
    std::vector<heston::BatchOption> options;
    std::vector<std::uint32_t> cells;  // row * columns + column
};

Readable ReadableOf(const OptionGrid& grid) {
    Readable readable;
    std::string problem;
    const Shape& shape = grid.ResultShape();
    for (std::uint32_t k = 0; k < shape.rows * shape.columns; ++k) {
        heston::BatchOption o{};
        if (!grid.OptionAt(k / shape.columns, k % shape.columns, o, problem)) continue;
        readable.options.push_back(o);
        readable.cells.push_back(k);
    }
    return readable;
}

// Runs f(i) for every readable option on the shared pool; an option whose pricing fails keeps
// NaN, a cancelled calculation ends the whole call.
template <class Result, class F>
std::vector<Result> OnPool(std::size_t count, Result failed, F f) {
    std::vector<Result> results(count, failed);
    auto task = [&](int i) {
        try {
            results[i] = f(i);
        } catch (const heston::CalculationCancelled&) {
            throw;
        } catch (const std::exception&) {
            // This option's cells stay #NUM!.
        }
    };
    SharedPool().ForEach(static_cast<int>(count), task);
    return results;
}

}  // namespace

void RefuseJumps(const heston::JumpParameters& jumps) {
    if (jumps.lambda > 0.0) {
        throw std::invalid_argument(
            "Jumps: jumps are not offered for American or barrier options; leave Jumps out or "
            "set lambda to 0");
    }
}

CellMatrix FiniteDifferencePrices(const OptionGrid& options, double spot,
                                  const heston::ModelParameters& model,
                                  const FiniteDifferenceTerms& terms) {
    if (options.IsSingle()) {
        return CellMatrix(heston::FiniteDifferencePrice(
            spot, OptionOf(options.SingleOption(), terms), model, terms.grid, EscapeRequest()));
    }
    const Readable readable = ReadableOf(options);
    CallerThreadStop stop(EscapeRequest());
    const std::vector<double> prices =
        OnPool(readable.options.size(), std::numeric_limits<double>::quiet_NaN(), [&](int i) {
            return heston::FiniteDifferencePrice(spot, OptionOf(readable.options[i], terms), model,
                                                 terms.grid, stop.Request());
        });
    CellMatrix cells = ErrorCells(options.ResultShape());
    const std::uint32_t columns = options.ResultShape().columns;
    for (std::size_t i = 0; i < prices.size(); ++i) {
        if (std::isfinite(prices[i]))
            cells.Cell(readable.cells[i] / columns, readable.cells[i] % columns) =
                MatrixCell(prices[i]);
    }
    return cells;
}

CellMatrix FiniteDifferenceGreeksTable(const OptionGrid& options, double spot,
                                       const heston::ModelParameters& model,
                                       const FiniteDifferenceTerms& terms) {
    const Shape& shape = options.ResultShape();
    CellMatrix table = EmptyGreeksTable(shape.rows * shape.columns);
    if (options.IsSingle()) {
        CallerThreadStop stop(EscapeRequest());
        SetGreeksColumn(
            table, 1,
            heston::FiniteDifferenceGreeks(spot, OptionOf(options.SingleOption(), terms), model,
                                           terms.grid, SharedPool(), stop.Request()));
        return table;
    }
    const Readable readable = ReadableOf(options);
    CallerThreadStop stop(EscapeRequest());
    heston::Greeks failed{};
    failed.price = std::numeric_limits<double>::quiet_NaN();
    const std::vector<heston::Greeks> greeks = OnPool(readable.options.size(), failed, [&](int i) {
        return heston::FiniteDifferenceGreeks(spot, OptionOf(readable.options[i], terms), model,
                                              terms.grid, heston::Serial(), stop.Request());
    });
    for (std::size_t i = 0; i < greeks.size(); ++i) {
        if (std::isfinite(greeks[i].price))
            SetGreeksColumn(table, 1 + readable.cells[i], greeks[i]);
    }
    return table;
}

}  // namespace addin

namespace {

using addin::GridArgument;
using addin::ReadGrid;

struct BarrierCall {
    addin::OptionGrid options;
    heston::ModelParameters model;
    addin::FiniteDifferenceTerms terms;
};

// Arguments in their order, each refused with a text naming it.
BarrierCall ReadBarrierCall(LPXLFOPER OptionType, LPXLFOPER BarrierType, LPXLFOPER Barrier,
                            LPXLFOPER Rebate, LPXLFOPER Strike, LPXLFOPER Maturity, LPXLFOPER Rate,
                            LPXLFOPER DividendYield, LPXLFOPER Parameters, LPXLFOPER Exercise,
                            LPXLFOPER Monitoring, LPXLFOPER Grid, LPXLFOPER Jumps) {
    GridArgument type = ReadGrid(OptionType, "OptionType");
    addin::FiniteDifferenceTerms terms;
    terms.barrier.type = addin::ReadBarrierType(ReadGrid(BarrierType, "BarrierType"));
    addin::ReadBarrierLevels(ReadGrid(Barrier, "Barrier"), terms.barrier);
    terms.barrier.rebate = addin::ReadRebate(ReadGrid(Rebate, "Rebate"));
    GridArgument strikes = ReadGrid(Strike, "Strike");
    GridArgument maturities = ReadGrid(Maturity, "Maturity");
    GridArgument rates = ReadGrid(Rate, "Rate");
    GridArgument yields = ReadGrid(DividendYield, "DividendYield");
    addin::OptionGrid options(std::move(type), std::move(strikes), std::move(maturities),
                              std::move(rates), std::move(yields));
    const heston::ModelParameters model = addin::ReadParameters(ReadGrid(Parameters, "Parameters"));
    terms.exercise = addin::ReadExercise(ReadGrid(Exercise, "Exercise"));
    const bool knockIn = terms.barrier.type == heston::BarrierType::DownIn ||
                         terms.barrier.type == heston::BarrierType::UpIn ||
                         terms.barrier.type == heston::BarrierType::DoubleIn;
    if (knockIn && terms.exercise == heston::ExerciseStyle::American)
        throw std::invalid_argument(
            "Exercise: American knock-ins are not supported; use \"European\", or a knock-out");
    terms.barrier.observations = addin::ReadMonitoring(ReadGrid(Monitoring, "Monitoring"));
    terms.grid = addin::ReadFiniteDifferenceGrid(ReadGrid(Grid, "Grid"));
    addin::RefuseJumps(addin::ReadJumps(ReadGrid(Jumps, "Jumps")));
    return BarrierCall{std::move(options), model, terms};
}

}  // namespace

XLL_EXPORT LPXLFOPER WINAPI xlheston_BarrierPrice(LPXLFOPER OptionType, LPXLFOPER BarrierType,
                                                  LPXLFOPER Barrier, LPXLFOPER Rebate, double Spot,
                                                  LPXLFOPER Strike, LPXLFOPER Maturity,
                                                  LPXLFOPER Rate, LPXLFOPER DividendYield,
                                                  LPXLFOPER Parameters, LPXLFOPER Exercise,
                                                  LPXLFOPER Monitoring, LPXLFOPER Grid,
                                                  LPXLFOPER Jumps) {
    return addin::GuardedWorksheetCall<addin::ThreadResult>([&] {
        const BarrierCall call =
            ReadBarrierCall(OptionType, BarrierType, Barrier, Rebate, Strike, Maturity, Rate,
                            DividendYield, Parameters, Exercise, Monitoring, Grid, Jumps);
        return addin::FiniteDifferencePrices(call.options, Spot, call.model, call.terms);
    });
}

XLL_EXPORT LPXLFOPER WINAPI xlheston_BarrierGreeks(LPXLFOPER OptionType, LPXLFOPER BarrierType,
                                                   LPXLFOPER Barrier, LPXLFOPER Rebate, double Spot,
                                                   LPXLFOPER Strike, LPXLFOPER Maturity,
                                                   LPXLFOPER Rate, LPXLFOPER DividendYield,
                                                   LPXLFOPER Parameters, LPXLFOPER Exercise,
                                                   LPXLFOPER Monitoring, LPXLFOPER Grid,
                                                   LPXLFOPER Jumps) {
    return addin::GuardedWorksheetCall<addin::ThreadResult>([&] {
        const BarrierCall call =
            ReadBarrierCall(OptionType, BarrierType, Barrier, Rebate, Strike, Maturity, Rate,
                            DividendYield, Parameters, Exercise, Monitoring, Grid, Jumps);
        return addin::FiniteDifferenceGreeksTable(call.options, Spot, call.model, call.terms);
    });
}
