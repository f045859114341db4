#include "OptionArguments.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "XlfOper.h"

namespace addin {

namespace {

using xlf::MatrixCell;

std::string ErrorName(std::uint32_t code) {
    switch (code) {
        case xlerrNull:
            return "#NULL!";
        case xlerrDiv0:
            return "#DIV/0!";
        case xlerrValue:
            return "#VALUE!";
        case xlerrRef:
            return "#REF!";
        case xlerrName:
            return "#NAME?";
        case xlerrNum:
            return "#NUM!";
        case xlerrNA:
            return "#N/A";
        default:
            return "error " + std::to_string(code);
    }
}

// What a cell holds, for a message: "the text \"abc\"", "TRUE", "the error value #N/A".
std::string Describe(const MatrixCell& cell) {
    if (cell.IsText() || cell.IsWideText()) return "the text \"" + cell.AsText() + "\"";
    if (cell.IsBoolean()) return cell.AsBoolean() ? "TRUE" : "FALSE";
    if (cell.IsError()) return "the error value " + ErrorName(cell.ErrorCode());
    if (cell.IsEmpty()) return "an empty cell";
    char number[32];
    std::snprintf(number, sizeof number, "%.15g", cell.AsNumber());
    return std::string("the number ") + number;
}

std::string ShapeText(const GridArgument& argument) {
    return std::to_string(argument.Rows()) + " x " + std::to_string(argument.Columns());
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

GridArgument ReadGrid(void* record, const char* name) {
    GridArgument argument;
    argument.name = name;
    argument.cells = xlf::XlfOper(record).ToCellMatrix(name);
    // A range can hold no cell only in a malformed record; treat it as one empty cell.
    if (argument.Rows() == 0 || argument.Columns() == 0) argument.cells = xlf::CellMatrix(1, 1);
    return argument;
}

bool IsOmitted(const GridArgument& argument) {
    for (std::size_t k = 0; k < argument.Count(); ++k)
        if (!argument.Element(k).IsEmpty()) return false;
    return true;
}

Shape CombinedShape(std::initializer_list<const GridArgument*> arguments) {
    Shape shape;
    const GridArgument* rowsFrom = nullptr;
    const GridArgument* columnsFrom = nullptr;
    auto refuse = [](const GridArgument* first, const GridArgument* second) {
        throw std::invalid_argument(
            std::string(first->name) + " (" + ShapeText(*first) + ") and " + second->name + " (" +
            ShapeText(*second) +
            ") cannot be combined: give ranges of one shape, single values, or a column and a "
            "row");
    };
    for (const GridArgument* argument : arguments) {
        if (argument->Rows() != 1) {
            if (rowsFrom != nullptr && argument->Rows() != shape.rows) refuse(rowsFrom, argument);
            shape.rows = argument->Rows();
            rowsFrom = argument;
        }
        if (argument->Columns() != 1) {
            if (columnsFrom != nullptr && argument->Columns() != shape.columns)
                refuse(columnsFrom, argument);
            shape.columns = argument->Columns();
            columnsFrom = argument;
        }
    }
    return shape;
}

bool ReadNumber(const MatrixCell& cell, const char* name, double& value, std::string& problem) {
    if (cell.IsNumber()) {
        value = cell.AsNumber();
        return true;
    }
    problem = std::string(name) + ": a number is needed, not " + Describe(cell);
    return false;
}

bool ReadOptionType(const MatrixCell& cell, const char* name, int& type, std::string& problem) {
    if (cell.IsNumber() && (cell.AsNumber() == 1.0 || cell.AsNumber() == 2.0)) {
        type = cell.AsNumber() == 1.0 ? heston::kCall : heston::kPut;
        return true;
    }
    if (cell.IsText() || cell.IsWideText()) {
        const std::string text = Trimmed(cell.LowerCaseText());
        if (text == "c" || text == "call") {
            type = heston::kCall;
            return true;
        }
        if (text == "p" || text == "put") {
            type = heston::kPut;
            return true;
        }
    }
    problem = std::string(name) + ": use 1, \"C\" or \"Call\" for a call and 2, \"P\" or \"Put\" " +
              "for a put, not " + Describe(cell);
    return false;
}

namespace {

// The first `count` numbers of the argument into values; cells that are not numbers are
// passed over, an error value among them is refused. `what` names the numbers for the
// message, e.g. "five numbers are needed (v0, theta, kappa, sigma, rho)".
void ReadLeadingNumbers(const GridArgument& argument, int count, const char* countWord,
                        const char* names, double* values) {
    int found = 0;
    for (std::size_t k = 0; k < argument.Count() && found < count; ++k) {
        const MatrixCell& cell = argument.Element(k);
        if (cell.IsNumber()) {
            values[found++] = cell.AsNumber();
        } else if (cell.IsError()) {
            throw std::invalid_argument(std::string(argument.name) + ": holds " + Describe(cell) +
                                        " among its first " + countWord + " numbers");
        }
    }
    if (found < count) {
        throw std::invalid_argument(std::string(argument.name) + ": " + countWord +
                                    " numbers are needed (" + names + "), found " +
                                    std::to_string(found));
    }
}

}  // namespace

heston::ModelParameters ReadParameters(const GridArgument& argument) {
    double values[heston::kModelParameterCount];
    ReadLeadingNumbers(argument, heston::kModelParameterCount, "five",
                       "v0, theta, kappa, sigma, rho", values);
    return heston::FromCalibrationVector(values);
}

heston::BatesParameters ReadBatesParameters(const GridArgument& argument) {
    double values[heston::kBatesParameterCount];
    ReadLeadingNumbers(argument, heston::kBatesParameterCount, "eight",
                       "v0, theta, kappa, sigma, rho, lambda, muJ, deltaJ", values);
    return heston::FromBatesCalibrationVector(values);
}

OptionGrid::OptionGrid(GridArgument optionType, GridArgument strike, GridArgument maturity,
                       GridArgument rate, GridArgument dividendYield, const GridArgument* price)
    : optionType_(std::move(optionType)),
      strike_(std::move(strike)),
      maturity_(std::move(maturity)),
      rate_(std::move(rate)),
      dividendYield_(std::move(dividendYield)),
      price_(price != nullptr ? *price : GridArgument()),
      hasPrice_(price != nullptr) {
    if (hasPrice_) {
        shape_ =
            CombinedShape({&optionType_, &price_, &strike_, &maturity_, &rate_, &dividendYield_});
    } else {
        shape_ = CombinedShape({&optionType_, &strike_, &maturity_, &rate_, &dividendYield_});
    }
}

bool OptionGrid::OptionAt(std::uint32_t row, std::uint32_t column, heston::BatchOption& option,
                          std::string& problem) const {
    return ReadOptionType(optionType_.At(row, column), optionType_.name, option.optionType,
                          problem) &&
           ReadNumber(strike_.At(row, column), strike_.name, option.strike, problem) &&
           ReadNumber(maturity_.At(row, column), maturity_.name, option.maturity, problem) &&
           ReadNumber(rate_.At(row, column), rate_.name, option.rate, problem) &&
           ReadNumber(dividendYield_.At(row, column), dividendYield_.name, option.dividendYield,
                      problem);
}

bool OptionGrid::PriceAt(std::uint32_t row, std::uint32_t column, double& price,
                         std::string& problem) const {
    if (!hasPrice_) {
        problem = "no prices given";
        return false;
    }
    return ReadNumber(price_.At(row, column), price_.name, price, problem);
}

heston::BatchOption OptionGrid::SingleOption() const {
    heston::BatchOption option{};
    std::string problem;
    if (!OptionAt(0, 0, option, problem)) throw std::invalid_argument(problem);
    return option;
}

double OptionGrid::SinglePrice() const {
    double price = 0.0;
    std::string problem;
    if (!PriceAt(0, 0, price, problem)) throw std::invalid_argument(problem);
    return price;
}

xlf::CellMatrix ErrorCells(const Shape& shape) {
    xlf::CellMatrix cells(shape.rows, shape.columns);
    for (std::uint32_t i = 0; i < shape.rows; ++i)
        for (std::uint32_t j = 0; j < shape.columns; ++j)
            cells.Cell(i, j) = xlf::MatrixCell(kNumError, true);
    return cells;
}

}  // namespace addin
