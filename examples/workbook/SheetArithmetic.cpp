#include "SheetArithmetic.h"

#include <cmath>
#include <optional>

namespace demo {

namespace {

std::optional<double> ValueOf(const SheetModel& sheet, CellValues& values, Position position);

std::optional<double> Compute(const SheetModel& sheet, CellValues& values, const Cell& cell) {
    if (cell.arithmetic == Cell::Difference) {
        const auto a = ValueOf(sheet, values, cell.first);
        const auto b = ValueOf(sheet, values, cell.second);
        if (!a || !b) return std::nullopt;
        return *a - *b;
    }
    double squares = 0.0;
    int count = 0;
    for (int r = cell.first.row; r <= cell.second.row; ++r) {
        const auto value = ValueOf(sheet, values, {r, cell.first.col});
        if (!value) return std::nullopt;
        squares += *value * *value;
        ++count;
    }
    if (count == 0) return std::nullopt;
    return std::sqrt(squares / count);
}

// A cell's number, computing a sheet formula (and the ones it reads) on first use.
std::optional<double> ValueOf(const SheetModel& sheet, CellValues& values, Position position) {
    const CellValue& known = values.At(position);
    if (known.kind == CellValue::Number) return known.number;
    if (known.kind != CellValue::Missing) return std::nullopt;
    const Cell& cell = sheet.At(position);
    if (cell.kind == Cell::Number) return cell.number;
    if (cell.kind != Cell::SheetFormula) return std::nullopt;
    CellValue computed;
    const auto result = Compute(sheet, values, cell);
    if (result && std::isfinite(*result)) {
        computed.kind = CellValue::Number;
        computed.number = *result;
    } else {
        computed.kind = CellValue::Error;
        computed.text = "#VALUE!";
    }
    values.Set(position, computed);
    if (computed.kind != CellValue::Number) return std::nullopt;
    return computed.number;
}

}  // namespace

void ComputeSheetFormulas(const SheetModel& sheet, CellValues& values) {
    for (const auto& [position, cell] : sheet.Cells()) {
        if (cell.kind == Cell::SheetFormula) ValueOf(sheet, values, position);
    }
}

}  // namespace demo
