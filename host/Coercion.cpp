// Coercion.cpp - scalar conversions of the substitute host.
#include "Coercion.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace xlhost {
namespace {

bool ParseNumber(const std::wstring& text, double* number) {
    std::string narrow = Narrow(text);
    const auto first = narrow.find_first_not_of(' ');
    if (first == std::string::npos) return false;
    narrow = narrow.substr(first, narrow.find_last_not_of(' ') - first + 1);
    // Plain decimal notation only: strtod alone would also take hexadecimal, inf and nan.
    for (unsigned char c : narrow) {
        if (!std::isdigit(c) && c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-') {
            return false;
        }
    }
    char* end = nullptr;
    *number = std::strtod(narrow.c_str(), &end);
    return end == narrow.c_str() + narrow.size() && std::isfinite(*number);
}

bool ToNumber(const Value& value, double* number) {
    switch (value.type) {
        case xltypeNum:
            *number = value.num;
            return true;
        case xltypeInt:
            *number = value.integer;
            return true;
        case xltypeBool:
            *number = value.boolean ? 1.0 : 0.0;
            return true;
        case xltypeNil:
        case xltypeMissing:
            *number = 0.0;
            return true;
        case xltypeStr:
            return ParseNumber(value.str, number);
        default:
            return false;
    }
}

bool ToBool(const Value& value, bool* boolean) {
    switch (value.type) {
        case xltypeNum:
            *boolean = value.num != 0.0;
            return true;
        case xltypeInt:
            *boolean = value.integer != 0;
            return true;
        case xltypeBool:
            *boolean = value.boolean;
            return true;
        case xltypeNil:
        case xltypeMissing:
            *boolean = false;
            return true;
        case xltypeStr: {
            std::string text = Narrow(value.str);
            for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (text != "TRUE" && text != "FALSE") return false;
            *boolean = text == "TRUE";
            return true;
        }
        default:
            return false;
    }
}

bool ToText(const Value& value, std::wstring* text) {
    switch (value.type) {
        case xltypeNum:
            *text = FormatNumber(value.num);
            return true;
        case xltypeInt:
            *text = std::to_wstring(value.integer);
            return true;
        case xltypeBool:
            *text = value.boolean ? L"TRUE" : L"FALSE";
            return true;
        case xltypeNil:
        case xltypeMissing:
            text->clear();
            return true;
        case xltypeStr:
            *text = value.str;
            return true;
        default:
            return false;
    }
}

}  // namespace

std::wstring FormatNumber(double number) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.15G", number);
    return Widen(text);
}

bool ConvertScalar(const Value& value, std::uint32_t target, bool wide, Value* converted) {
    switch (target) {
        case xltypeNum: {
            double number;
            if (!ToNumber(value, &number)) return false;
            *converted = Value::Number(number);
            return true;
        }
        case xltypeInt: {
            double number;
            if (!ToNumber(value, &number)) return false;
            const double rounded = std::round(number);
            const double lowest = wide ? std::numeric_limits<std::int32_t>::min() : -32768.0;
            const double highest = wide ? std::numeric_limits<std::int32_t>::max() : 32767.0;
            if (!(rounded >= lowest && rounded <= highest)) return false;
            *converted = Value::Int(static_cast<int>(rounded));
            return true;
        }
        case xltypeBool: {
            bool boolean;
            if (!ToBool(value, &boolean)) return false;
            *converted = Value::Bool(boolean);
            return true;
        }
        case xltypeStr: {
            std::wstring text;
            if (!ToText(value, &text)) return false;
            *converted = Value::Text(text);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace xlhost
