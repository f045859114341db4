#include "CellValues.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace demo {

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    while (true) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

std::string Unescape(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        const char next = text[++i];
        plain += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return plain;
}

bool ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

}  // namespace

bool ParseCellName(const std::string& text, Position& position) {
    std::size_t i = 0;
    int col = 0;
    while (i < text.size() && std::isupper(static_cast<unsigned char>(text[i]))) {
        col = col * 26 + (text[i] - 'A' + 1);
        ++i;
    }
    if (i == 0 || i == text.size() || col > 16384) return false;
    int row = 0;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (!std::isdigit(static_cast<unsigned char>(text[j])) || row > 1048576) return false;
        row = row * 10 + (text[j] - '0');
    }
    if (row < 1) return false;
    position = {row - 1, col - 1};
    return true;
}

CellValues CellValues::Read(std::istream& in) {
    CellValues values;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::vector<std::string> fields = SplitTabs(line);
        Position position;
        const auto malformed = [&] {
            return std::runtime_error("cell values line " + std::to_string(lineNumber) +
                                      ": malformed entry '" + line + "'");
        };
        if (fields.size() < 2 || !ParseCellName(fields[1], position)) throw malformed();
        if (fields[0] == "value" && fields.size() == 4) {
            CellValue value;
            const std::string& kind = fields[2];
            if (kind == "number") {
                value.kind = CellValue::Number;
                if (!ParseNumber(fields[3], value.number)) throw malformed();
            } else if (kind == "text") {
                value.kind = CellValue::Text;
                value.text = Unescape(fields[3]);
            } else if (kind == "bool" || kind == "error") {
                value.kind = kind == "bool" ? CellValue::Bool : CellValue::Error;
                value.text = fields[3];
            } else if (kind == "nil" || kind == "null") {
                value.kind = CellValue::Nil;
            } else {
                throw malformed();
            }
            values.values_[position] = value;
        } else if (fields[0] == "call" && fields.size() == 5) {
            FormulaCall call;
            double rows = 0.0, columns = 0.0;
            if (!ParseNumber(fields[2], rows) || !ParseNumber(fields[3], columns) ||
                !ParseNumber(fields[4], call.seconds)) {
                throw malformed();
            }
            call.rows = static_cast<int>(rows);
            call.columns = static_cast<int>(columns);
            values.calls_[position] = call;
        } else {
            throw malformed();
        }
    }
    return values;
}

const CellValue& CellValues::At(Position position) const {
    static const CellValue missing;
    const auto found = values_.find(position);
    return found == values_.end() ? missing : found->second;
}

double CellValues::Number(Position position) const {
    const CellValue& value = At(position);
    if (value.kind == CellValue::Number) return value.number;
    throw std::runtime_error(
        "cell " + CellName(position) + " holds " +
        (value.kind == CellValue::Missing ? std::string("nothing") : "'" + value.text + "'") +
        " instead of a number");
}

const FormulaCall& CellValues::Call(Position position) const {
    const auto found = calls_.find(position);
    if (found == calls_.end())
        throw std::runtime_error("no formula was evaluated in cell " + CellName(position));
    return found->second;
}

}  // namespace demo
