#include "Workbook.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace runner {

namespace {

std::string Trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return std::string();
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    // strtod also reads "nan", "inf" and hexadecimal; a worksheet knows only decimals.
    const bool decimal =
        text.find_first_not_of("0123456789+-.eE") == std::string::npos && end != text.c_str();
    return decimal && *end == '\0';
}

// Splits text at the separator wherever it is outside parentheses and double quotes.
std::vector<std::string> SplitTopLevel(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string current;
    int depth = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted) {
            if (c == '(') ++depth;
            if (c == ')') --depth;
            if (c == separator && depth == 0) {
                pieces.push_back(current);
                current.clear();
                continue;
            }
        }
        current += c;
    }
    pieces.push_back(current);
    return pieces;
}

// A quoted text without its quotes, "" read as one quotation mark.
std::string Unquote(const std::string& text) {
    std::string result;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        result += text[i];
        if (text[i] == '"' && text[i + 1] == '"') ++i;
    }
    return result;
}

Argument ParseArgument(const std::string& source) {
    const std::string text = Trim(source);
    Argument argument;
    if (text.empty()) return argument;  // omitted
    if (ParseNumber(text, argument.number)) {
        argument.kind = Argument::Number;
        return argument;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        argument.kind = Argument::Text;
        argument.text = Unquote(text);
        return argument;
    }
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        if (!ParseCellName(text, argument.first)) {
            throw std::runtime_error("not a number, text or cell reference: " + text);
        }
        argument.kind = Argument::Reference;
        argument.last = argument.first;
        return argument;
    }
    CellPosition a, b;
    if (!ParseCellName(Trim(text.substr(0, colon)), a) ||
        !ParseCellName(Trim(text.substr(colon + 1)), b)) {
        throw std::runtime_error("not a range: " + text);
    }
    argument.kind = Argument::Range;
    argument.first = {std::min(a.row, b.row), std::min(a.col, b.col)};
    argument.last = {std::max(a.row, b.row), std::max(a.col, b.col)};
    return argument;
}

InputCell ParseCell(const std::string& field) {
    InputCell cell;
    std::string text = Trim(field);
    // A quoted field is the text between the quotes, formula or not.
    const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
    if (quoted) text = Unquote(text);
    if (text.empty()) return cell;
    if (text.front() == '=') {
        cell.kind = InputCell::Formula;
        cell.text = text;
        cell.formula = ParseFormula(text);
        return cell;
    }
    if (ParseNumber(text, cell.number)) {
        cell.kind = InputCell::Number;
        return cell;
    }
    cell.kind = InputCell::Text;
    cell.text =
        text.size() >= 2 && text.front() == '"' && text.back() == '"' ? Unquote(text) : text;
    return cell;
}

}  // namespace

std::string CellName(CellPosition position) {
    std::string letters;
    for (int col = position.col + 1; col > 0; col = (col - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (col - 1) % 26));
    }
    return letters + std::to_string(position.row + 1);
}

bool ParseCellName(const std::string& text, CellPosition& position) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') ++i;
    long col = 0;
    const std::size_t lettersBegin = i;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
        col = col * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
        if (col > 16384) return false;  // beyond Excel's last column XFD
        ++i;
    }
    if (i == lettersBegin) return false;
    if (i < text.size() && text[i] == '$') ++i;
    const std::size_t digitsBegin = i;
    long row = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        row = row * 10 + (text[i] - '0');
        if (row > 1048576) return false;  // beyond Excel's last row
        ++i;
    }
    if (i == digitsBegin || i != text.size() || row == 0) return false;
    position.row = static_cast<int>(row - 1);
    position.col = static_cast<int>(col - 1);
    return true;
}

Formula ParseFormula(const std::string& source) {
    const std::string text = Trim(source);
    const auto open = text.find('(');
    if (text.empty() || text.front() != '=' || open == std::string::npos || text.back() != ')') {
        throw std::runtime_error("a formula reads =name(arguments): " + text);
    }
    Formula formula;
    formula.name = Trim(text.substr(1, open - 1));
    if (formula.name.empty()) throw std::runtime_error("formula without a name: " + text);
    const std::string inside = text.substr(open + 1, text.size() - open - 2);
    if (Trim(inside).empty()) return formula;  // no arguments at all
    for (const std::string& piece : SplitTopLevel(inside, ',')) {
        formula.arguments.push_back(ParseArgument(piece));
    }
    return formula;
}

int Workbook::ColumnCount() const {
    std::size_t columns = 0;
    for (const auto& row : rows) columns = std::max(columns, row.size());
    return static_cast<int>(columns);
}

Workbook ParseWorkbook(std::istream& input) {
    Workbook workbook;
    std::string line;
    int lineNumber = 0;
    while (std::getline(input, line)) {
        ++lineNumber;
        std::vector<InputCell> row;
        const std::vector<std::string> fields = SplitTopLevel(line, ',');
        for (std::size_t i = 0; i < fields.size(); ++i) {
            try {
                row.push_back(ParseCell(fields[i]));
            } catch (const std::exception& error) {
                throw std::runtime_error("line " + std::to_string(lineNumber) + ", cell " +
                                         CellName({lineNumber - 1, static_cast<int>(i)}) + ": " +
                                         error.what());
            }
        }
        // Trailing empty fields add nothing.
        while (!row.empty() && row.back().kind == InputCell::Empty) row.pop_back();
        workbook.rows.push_back(std::move(row));
    }
    return workbook;
}

}  // namespace runner
