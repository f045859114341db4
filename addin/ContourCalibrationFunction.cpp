// heston_Calibrate: the contour calibration (ContourCalibration.h) from an observation table
// on the worksheet.
//
// The table's columns may be laid out as ranges of one shape, as a column of strikes with a row
// of maturities and a matrix of prices, or as lists of one value per option in any
// orientation; OptionTypes, Maturities, Rates, DividendYields and Weights may also be single
// values for all options. Options are numbered row by row through the prices from 1, and
// every message about an option uses that number. The result is a column: v0, theta, kappa,
// sigma, rho, the RMSE in the chosen measure, the number of evaluations and a status text.
// With the optional last argument Model "Bates" the fit is that of the Bates model
// (BatesCalibration.h): InitialGuess and the bounds take eight numbers, and the column has
// lambda, muJ and deltaJ after rho, so that its first five rows pass into a pricing function's
// Parameters and rows 6 to 8 into its Jumps.
// Thread-safe in Excel-12 mode, like the pricing functions; Esc ends it with "Calculation
// cancelled".
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "EscapeRequest.h"
#include "OptionArguments.h"
#include "SharedThreadPool.h"
#include "ThreadResult.h"
#include "WorksheetFunctions.h"
#include "WorksheetGuard.h"
#include "calibration/BatesCalibration.h"
#include "calibration/ContourCalibration.h"

namespace {

using addin::GridArgument;
using addin::ReadGrid;
using xlf::CellMatrix;
using xlf::MatrixCell;

// The table's arguments and how to find option k's cell in each.
class ObservationTable {
  public:
    ObservationTable(std::vector<const GridArgument*> columns, const GridArgument& prices)
        : columns_(std::move(columns)), prices_(prices) {
        byShape_ = true;
        for (const GridArgument* column : columns_) byShape_ = byShape_ && FitsPrices(*column);
        if (byShape_) return;
        for (const GridArgument* column : columns_) {
            if (column->Count() != 1 && column->Count() != prices_.Count()) {
                throw std::invalid_argument(
                    std::string(column->name) + " has " + std::to_string(column->Count()) +
                    " values and Prices " + std::to_string(prices_.Count()) +
                    ": give one value per option (or a single value where one serves all)");
            }
        }
    }

    std::size_t Count() const { return prices_.Count(); }

    // The cell of option k in an argument of the table.
    const MatrixCell& Cell(const GridArgument& column, std::size_t k) const {
        if (byShape_) {
            const std::uint32_t columns = prices_.Columns();
            return column.At(static_cast<std::uint32_t>(k / columns),
                             static_cast<std::uint32_t>(k % columns));
        }
        return column.Element(column.Count() == 1 ? 0 : k);
    }

  private:
    // True when the argument stretches to the prices' shape.
    bool FitsPrices(const GridArgument& column) const {
        try {
            const addin::Shape shape = addin::CombinedShape({&prices_, &column});
            return shape.rows == prices_.Rows() && shape.columns == prices_.Columns();
        } catch (const std::invalid_argument&) {
            return false;
        }
    }

    std::vector<const GridArgument*> columns_;
    const GridArgument& prices_;
    bool byShape_ = false;
};

[[noreturn]] void Refuse(const std::string& problem, std::size_t k) {
    throw std::invalid_argument(problem + " (option " + std::to_string(k + 1) + ")");
}

double NumberAt(const ObservationTable& table, const GridArgument& column, std::size_t k) {
    double value = 0.0;
    std::string problem;
    if (!addin::ReadNumber(table.Cell(column, k), column.name, value, problem)) Refuse(problem, k);
    return value;
}

heston::CalibrationErrorMeasure ReadMeasure(const GridArgument& argument) {
    if (addin::IsOmitted(argument)) return heston::CalibrationErrorMeasure::Price;
    const MatrixCell& cell = argument.Element(0);
    if (argument.IsSingle() && (cell.IsText() || cell.IsWideText())) {
        const std::string text = cell.LowerCaseText();
        if (text == "price") return heston::CalibrationErrorMeasure::Price;
        if (text == "relative") return heston::CalibrationErrorMeasure::Relative;
        if (text == "vol") return heston::CalibrationErrorMeasure::Vol;
    }
    throw std::invalid_argument(
        "ErrorMeasure: use \"price\", \"relative\" or \"vol\", or leave it out for \"price\"");
}

// False for the Heston model (the default), true for Bates.
bool ReadBatesModel(const GridArgument& argument) {
    if (addin::IsOmitted(argument)) return false;
    const MatrixCell& cell = argument.Element(0);
    if (argument.IsSingle() && (cell.IsText() || cell.IsWideText())) {
        const std::string text = cell.LowerCaseText();
        if (text == "heston") return false;
        if (text == "bates") return true;
    }
    throw std::invalid_argument(
        "Model: use \"Heston\" or \"Bates\", or leave it out for \"Heston\"");
}

int ReadMaxEvaluations(const GridArgument& argument) {
    if (addin::IsOmitted(argument)) return heston::kDefaultMaxEvaluations;
    const MatrixCell& cell = argument.Element(0);
    if (argument.IsSingle() && cell.IsNumber() && cell.AsNumber() >= 1.0 && cell.AsNumber() < 1e9) {
        return static_cast<int>(cell.AsNumber());
    }
    throw std::invalid_argument("MaxEvaluations: a whole number of at least 1 is needed");
}

// The Bates fit: its column has the jumps after rho.
CellMatrix CalibrateBates(double spot, const std::vector<heston::CalibrationQuote>& quotes,
                          heston::CalibrationErrorMeasure measure, const GridArgument& guess,
                          const GridArgument& lower, const GridArgument& upper,
                          const GridArgument& evaluations) {
    heston::BatesCalibrationSettings settings;
    settings.measure = measure;
    settings.hasInitialGuess = !addin::IsOmitted(guess);
    if (settings.hasInitialGuess) settings.initialGuess = addin::ReadBatesParameters(guess);
    if (!addin::IsOmitted(lower)) settings.lower = addin::ReadBatesParameters(lower);
    if (!addin::IsOmitted(upper)) settings.upper = addin::ReadBatesParameters(upper);
    settings.maxEvaluations = ReadMaxEvaluations(evaluations);

    const heston::BatesCalibrationResult fit =
        heston::CalibrateBates(spot, quotes, settings, addin::EscapeRequest(), addin::SharedPool());
    constexpr int n = heston::kBatesParameterCount;
    double parameters[n];
    heston::ToBatesCalibrationVector(fit.parameters, parameters);
    CellMatrix column(n + 3, 1);
    for (int j = 0; j < n; ++j) column.Cell(j, 0) = MatrixCell(parameters[j]);
    column.Cell(n, 0) = MatrixCell(fit.rmse);
    column.Cell(n + 1, 0) = MatrixCell(static_cast<double>(fit.evaluations));
    column.Cell(n + 2, 0) = MatrixCell(heston::StatusText(fit.status));
    return column;
}

}  // namespace

XLL_EXPORT LPXLFOPER WINAPI xlheston_Calibrate(double Spot, LPXLFOPER Strikes, LPXLFOPER Maturities,
                                               LPXLFOPER OptionTypes, LPXLFOPER Prices,
                                               LPXLFOPER Rates, LPXLFOPER DividendYields,
                                               LPXLFOPER Weights, LPXLFOPER ErrorMeasure,
                                               LPXLFOPER InitialGuess, LPXLFOPER LowerBounds,
                                               LPXLFOPER UpperBounds, LPXLFOPER MaxEvaluations,
                                               LPXLFOPER Model) {
    return addin::GuardedWorksheetCall<addin::ThreadResult>([&] {
        const GridArgument strikes = ReadGrid(Strikes, "Strikes");
        const GridArgument maturities = ReadGrid(Maturities, "Maturities");
        const GridArgument types = ReadGrid(OptionTypes, "OptionTypes");
        const GridArgument prices = ReadGrid(Prices, "Prices");
        const GridArgument rates = ReadGrid(Rates, "Rates");
        const GridArgument yields = ReadGrid(DividendYields, "DividendYields");
        const GridArgument weights = ReadGrid(Weights, "Weights");
        const GridArgument measure = ReadGrid(ErrorMeasure, "ErrorMeasure");
        const GridArgument guess = ReadGrid(InitialGuess, "InitialGuess");
        const GridArgument lower = ReadGrid(LowerBounds, "LowerBounds");
        const GridArgument upper = ReadGrid(UpperBounds, "UpperBounds");
        const GridArgument evaluations = ReadGrid(MaxEvaluations, "MaxEvaluations");
        // The model says how many numbers the guess and the bounds hold, so it is read first.
        const bool bates = ReadBatesModel(ReadGrid(Model, "Model"));

        const bool weighted = !addin::IsOmitted(weights);
        std::vector<const GridArgument*> columns = {&strikes, &maturities, &types, &rates, &yields};
        if (weighted) columns.push_back(&weights);
        const ObservationTable table(columns, prices);

        std::vector<heston::CalibrationQuote> quotes(table.Count());
        for (std::size_t k = 0; k < table.Count(); ++k) {
            heston::CalibrationQuote& quote = quotes[k];
            std::string problem;
            if (!addin::ReadOptionType(table.Cell(types, k), types.name, quote.option.optionType,
                                       problem)) {
                Refuse(problem, k);
            }
            quote.option.strike = NumberAt(table, strikes, k);
            quote.option.maturity = NumberAt(table, maturities, k);
            quote.price = NumberAt(table, prices, k);
            quote.option.rate = NumberAt(table, rates, k);
            quote.option.dividendYield = NumberAt(table, yields, k);
            quote.weight = weighted ? NumberAt(table, weights, k) : 1.0;
        }

        if (bates) {
            return CalibrateBates(Spot, quotes, ReadMeasure(measure), guess, lower, upper,
                                  evaluations);
        }

        heston::ContourCalibrationSettings settings;
        settings.measure = ReadMeasure(measure);
        settings.hasInitialGuess = !addin::IsOmitted(guess);
        if (settings.hasInitialGuess) settings.initialGuess = addin::ReadParameters(guess);
        if (!addin::IsOmitted(lower)) settings.lower = addin::ReadParameters(lower);
        if (!addin::IsOmitted(upper)) settings.upper = addin::ReadParameters(upper);
        settings.maxEvaluations = ReadMaxEvaluations(evaluations);

        const heston::ContourCalibrationResult fit = heston::CalibrateAccurately(
            Spot, quotes, settings, addin::EscapeRequest(), addin::SharedPool());
        double parameters[heston::kModelParameterCount];
        heston::ToCalibrationVector(fit.parameters, parameters);
        CellMatrix column(heston::kModelParameterCount + 3, 1);
        for (int j = 0; j < heston::kModelParameterCount; ++j)
            column.Cell(j, 0) = MatrixCell(parameters[j]);
        column.Cell(5, 0) = MatrixCell(fit.rmse);
        column.Cell(6, 0) = MatrixCell(static_cast<double>(fit.evaluations));
        column.Cell(7, 0) = MatrixCell(heston::StatusText(fit.status));
        return column;
    });
}
