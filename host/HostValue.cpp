// HostValue.cpp - constructors of the host's values and the byte-wise text conversions.
#include "HostValue.h"

#include "RecordTraits.h"

namespace xlhost {

Value Value::Number(double value) {
    Value v;
    v.type = xltypeNum;
    v.num = value;
    return v;
}

Value Value::Text(const std::wstring& value) {
    Value v;
    v.type = xltypeStr;
    v.str = value;
    return v;
}

Value Value::Bool(bool value) {
    Value v;
    v.type = xltypeBool;
    v.boolean = value;
    return v;
}

Value Value::Error(int code) {
    Value v;
    v.type = xltypeErr;
    v.err = code;
    return v;
}

Value Value::Int(int value) {
    Value v;
    v.type = xltypeInt;
    v.integer = value;
    return v;
}

Value Value::Nil() {
    return Value();
}

Value Value::Missing() {
    Value v;
    v.type = xltypeMissing;
    return v;
}

// As the characters of an 8-bit record widen and narrow.
using Narrow8 = xlrecords::RecordTraits<XLOPER>;

std::wstring Widen(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text) wide.push_back(Narrow8::ToWide(c));
    return wide;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t c : text) narrow.push_back(Narrow8::FromWide(c));
    return narrow;
}

}  // namespace xlhost
