#include "SheetModel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace demo {

namespace {

std::string ColumnLetters(int col) {
    std::string letters;
    for (int c = col + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), 'A' + (c - 1) % 26);
    return letters;
}

// A CSV field: quoted when it holds a comma or a quotation mark, with "" for a quotation mark.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// The shortest of 15 to 17 significant digits that gives back the same double.
std::string ShortestText(double value) {
    char buffer[32];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(buffer, sizeof(buffer), "%.*g", digits, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
}

}  // namespace

std::string CellName(Position position, bool absolute) {
    const std::string dollar = absolute ? "$" : "";
    return dollar + ColumnLetters(position.col) + dollar + std::to_string(position.row + 1);
}

std::string RangeName(Position first, Position last, bool absolute) {
    if (first.row == last.row && first.col == last.col) return CellName(first, absolute);
    return CellName(first, absolute) + ":" + CellName(last, absolute);
}

Cell Cell::MakeNumber(double value, Style style, std::string format) {
    Cell cell;
    cell.kind = Number;
    cell.number = value;
    cell.style = style;
    cell.format = std::move(format);
    return cell;
}

Cell Cell::MakeText(std::string text, Style style) {
    Cell cell;
    cell.kind = Text;
    cell.text = std::move(text);
    cell.style = style;
    return cell;
}

Cell Cell::MakeAddinFormula(std::string source, std::string format, int arrayRows,
                            int arrayColumns) {
    Cell cell;
    cell.kind = AddinFormula;
    cell.text = std::move(source);
    cell.style = Style::Result;
    cell.format = std::move(format);
    cell.arrayRows = arrayRows;
    cell.arrayColumns = arrayColumns;
    return cell;
}

Cell Cell::MakeDifference(Position minuend, Position subtrahend, std::string format) {
    Cell cell;
    cell.kind = SheetFormula;
    cell.arithmetic = Difference;
    cell.first = minuend;
    cell.second = subtrahend;
    cell.text = "=" + CellName(minuend) + "-" + CellName(subtrahend);
    cell.style = Style::Result;
    cell.format = std::move(format);
    return cell;
}

Cell Cell::MakeRootMeanSquare(Position first, Position last, std::string format) {
    Cell cell;
    cell.kind = SheetFormula;
    cell.arithmetic = RootMeanSquare;
    cell.first = first;
    cell.second = last;
    const std::string range = RangeName(first, last);
    cell.text = "=SQRT(SUMSQ(" + range + ")/COUNT(" + range + "))";
    cell.style = Style::Result;
    cell.format = std::move(format);
    return cell;
}

void SheetModel::Set(Position position, Cell cell) {
    cells_[position] = std::move(cell);
}

const Cell& SheetModel::At(Position position) const {
    static const Cell empty;
    const auto found = cells_.find(position);
    return found == cells_.end() ? empty : found->second;
}

int SheetModel::RowCount() const {
    return cells_.empty() ? 0 : cells_.rbegin()->first.row + 1;
}

int SheetModel::ColumnCount() const {
    int columns = 0;
    for (const auto& [position, cell] : cells_) columns = std::max(columns, position.col + 1);
    return columns;
}

bool SheetModel::IsDifferenceOfNumbers(const Cell& cell) const {
    return cell.kind == Cell::SheetFormula && cell.arithmetic == Cell::Difference &&
           At(cell.first).kind == Cell::Number && At(cell.second).kind == Cell::Number;
}

void SheetModel::WriteXllhostCsv(std::ostream& out) const {
    const int columns = ColumnCount();
    for (int r = 0; r < RowCount(); ++r) {
        std::string line;
        for (int c = 0; c < columns; ++c) {
            const Cell& cell = At({r, c});
            if (c > 0) line += ',';
            if (cell.kind == Cell::Number) {
                line += ShortestText(cell.number);
            } else if (IsDifferenceOfNumbers(cell)) {
                line += ShortestText(At(cell.first).number - At(cell.second).number);
            } else if (cell.kind == Cell::Text || cell.kind == Cell::AddinFormula) {
                line += CsvField(cell.text);
            }
        }
        while (!line.empty() && line.back() == ',') line.pop_back();
        out << line << '\n';
    }
}

}  // namespace demo
