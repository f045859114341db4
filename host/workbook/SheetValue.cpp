#include "SheetValue.h"

#include "XlRecords.h"

namespace runner {

SheetValue SheetValue::MakeNumber(double value) {
    SheetValue result = Make(Number);
    result.number = value;
    return result;
}

SheetValue SheetValue::MakeText(const std::string& value) {
    SheetValue result = Make(Text);
    result.text = value;
    return result;
}

SheetValue SheetValue::MakeBool(bool value) {
    SheetValue result = Make(Bool);
    result.boolean = value;
    return result;
}

SheetValue SheetValue::MakeError(int code) {
    SheetValue result = Make(Error);
    result.error = code;
    return result;
}

SheetValue SheetValue::Make(Kind kind) {
    SheetValue result;
    result.kind = kind;
    return result;
}

CallResult CallResult::Single(const SheetValue& value) {
    CallResult result;
    result.values.push_back(value);
    return result;
}

std::string ErrorName(int code) {
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
        case kSpillError:
            return "#SPILL!";
        default:
            return "#ERR" + std::to_string(code);
    }
}

}  // namespace runner
