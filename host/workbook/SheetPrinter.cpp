#include "SheetPrinter.h"

#include <algorithm>
#include <cstdio>

namespace runner {

std::string DisplayText(const SheetValue& value, int significantDigits) {
    switch (value.kind) {
        case SheetValue::Number: {
            char buffer[32];
            std::snprintf(buffer, sizeof(buffer), "%.*g", significantDigits, value.number);
            return buffer;
        }
        case SheetValue::Text:
            return value.text;
        case SheetValue::Bool:
            return value.boolean ? "TRUE" : "FALSE";
        case SheetValue::Error:
            return ErrorName(value.error);
        case SheetValue::Null:
            return "(null)";
        case SheetValue::Pending:
            return "(pending)";
        default:
            return "";
    }
}

void PrintSheet(std::ostream& out, const Sheet& sheet, int significantDigits) {
    std::size_t columns = 0;
    for (const auto& row : sheet) columns = std::max(columns, row.size());
    const std::string rowLabelWidth(std::to_string(sheet.size()).size(), ' ');
    std::vector<std::size_t> widths(columns, 1);
    for (const auto& row : sheet) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayText(row[c], significantDigits).size());
        }
    }
    auto pad = [&](const std::string& text, std::size_t width, bool right) {
        const std::string fill(width > text.size() ? width - text.size() : 0, ' ');
        return right ? fill + text : text + fill;
    };
    std::string header = rowLabelWidth;
    for (std::size_t c = 0; c < columns; ++c) {
        std::string letters = CellName({0, static_cast<int>(c)});
        letters.pop_back();  // the row number "1"
        header += "  " + pad(letters, widths[c], false);
    }
    while (!header.empty() && header.back() == ' ') header.pop_back();
    out << header << '\n';
    for (std::size_t r = 0; r < sheet.size(); ++r) {
        std::string line = pad(std::to_string(r + 1), rowLabelWidth.size(), true);
        for (std::size_t c = 0; c < columns; ++c) {
            const SheetValue value = c < sheet[r].size() ? sheet[r][c] : SheetValue();
            line += "  " + pad(DisplayText(value, significantDigits), widths[c],
                               value.kind == SheetValue::Number);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

void PrintRegistrations(std::ostream& out, const std::vector<RegisteredFunction>& functions) {
    out << "Registered functions: " << functions.size() << '\n';
    for (const RegisteredFunction& function : functions) {
        out << "  " << function.worksheetName << " -> " << function.exportName << "  "
            << function.typeText << "  (" << function.argumentText << ")  [" << function.category
            << "]\n";
    }
}

}  // namespace runner
