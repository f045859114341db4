#include "CellValuesFile.h"

#include <cmath>
#include <cstdio>

namespace runner {

namespace {

std::string ExactNumber(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%.17g", value);
    return buffer;
}

}  // namespace

std::string EscapeCellText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

void WriteCellValues(std::ostream& out, const Sheet& sheet, const std::vector<FormulaCall>& calls) {
    for (std::size_t r = 0; r < sheet.size(); ++r) {
        for (std::size_t c = 0; c < sheet[r].size(); ++c) {
            const SheetValue& value = sheet[r][c];
            std::string kind;
            std::string text;
            switch (value.kind) {
                case SheetValue::Number:
                    kind = "number";
                    text = ExactNumber(value.number);
                    break;
                case SheetValue::Text:
                    kind = "text";
                    text = EscapeCellText(value.text);
                    break;
                case SheetValue::Bool:
                    kind = "bool";
                    text = value.boolean ? "TRUE" : "FALSE";
                    break;
                case SheetValue::Error:
                    kind = "error";
                    text = ErrorName(value.error);
                    break;
                case SheetValue::Nil:
                    kind = "nil";
                    break;
                case SheetValue::Null:
                    kind = "null";
                    break;
                default:
                    continue;  // empty, or a formula never evaluated
            }
            out << "value\t" << CellName({static_cast<int>(r), static_cast<int>(c)}) << '\t' << kind
                << '\t' << text << '\n';
        }
    }
    for (const FormulaCall& call : calls) {
        out << "call\t" << CellName(call.cell) << '\t' << call.rows << '\t' << call.columns << '\t'
            << ExactNumber(call.seconds) << '\n';
    }
}

}  // namespace runner
