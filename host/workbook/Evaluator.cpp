#include "Evaluator.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "EntryPointCall.h"
#include "ExcelHost.h"
#include "ValueRecords.h"

namespace runner {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The type codes of a type text: the result's first, then one per argument. A code is a
// letter with an optional "%" (wide text) or "#"; "!" and "$" mark volatile and thread-safe.
std::vector<std::string> TypeCodes(const std::string& typeText) {
    std::vector<std::string> codes;
    for (char c : typeText) {
        if (std::isalpha(static_cast<unsigned char>(c))) {
            codes.emplace_back(1, c);
        } else if ((c == '%' || c == '#') && !codes.empty()) {
            codes.back() += c;
        }
    }
    return codes;
}

SheetValue CellAt(const Sheet& sheet, CellPosition position) {
    if (position.row < static_cast<int>(sheet.size()) &&
        position.col < static_cast<int>(sheet[position.row].size())) {
        return sheet[position.row][position.col];
    }
    return SheetValue();
}

bool AnyPending(const Sheet& sheet, const Argument& argument) {
    if (argument.kind != Argument::Reference && argument.kind != Argument::Range) return false;
    for (int r = argument.first.row; r <= argument.last.row; ++r) {
        for (int c = argument.first.col; c <= argument.last.col; ++c) {
            if (CellAt(sheet, {r, c}).kind == SheetValue::Pending) return true;
        }
    }
    return false;
}

// A double for a "B" argument, or the error the cell shows instead of calling.
std::optional<double> NumberOf(const SheetValue& value, int& error) {
    switch (value.kind) {
        case SheetValue::Number:
            return value.number;
        case SheetValue::Bool:
            return value.boolean ? 1.0 : 0.0;
        case SheetValue::Empty:
        case SheetValue::Nil:
            return 0.0;
        case SheetValue::Text: {
            char* end = nullptr;
            const double number = std::strtod(value.text.c_str(), &end);
            if (!value.text.empty() && *end == '\0') return number;
            error = xlerrValue;
            return std::nullopt;
        }
        case SheetValue::Error:
            error = value.error;
            return std::nullopt;
        default:
            error = xlerrValue;
            return std::nullopt;
    }
}

// Builds the arguments of one call in one record layout and calls.
template <class Oper>
class CallBuilder {
  public:
    CallBuilder(const Sheet& sheet, ReferenceMode references)
        : sheet_(sheet), references_(references) {}

    // False with error set when the argument makes the call impossible.
    bool Add(const std::string& code, const Argument& argument, std::vector<CallArgument>& call,
             int& error) {
        if (code == "B") {
            std::optional<double> number = DoubleOf(argument, error);
            if (!number) return false;
            call.push_back(CallArgument::Double(*number));
            return true;
        }
        const bool asReference = code == "R" || code == "U" || references_ != ReferenceMode::Values;
        call.push_back(CallArgument::Pointer(Record(argument, asReference)));
        return true;
    }

  private:
    std::optional<double> DoubleOf(const Argument& argument, int& error) const {
        switch (argument.kind) {
            case Argument::Missing:
                return 0.0;
            case Argument::Number:
                return argument.number;
            case Argument::Text:
                return NumberOf(SheetValue::MakeText(argument.text), error);
            case Argument::Reference:
                return NumberOf(CellAt(sheet_, argument.first), error);
            case Argument::Range:
                if (argument.first.row == argument.last.row &&
                    argument.first.col == argument.last.col) {
                    return NumberOf(CellAt(sheet_, argument.first), error);
                }
                error = xlerrValue;
                return std::nullopt;
        }
        error = xlerrValue;
        return std::nullopt;
    }

    Oper* Record(const Argument& argument, bool asReference) {
        switch (argument.kind) {
            case Argument::Missing:
                return arena_.Missing();
            case Argument::Number:
                return arena_.Value(SheetValue::MakeNumber(argument.number));
            case Argument::Text:
                return arena_.Value(SheetValue::MakeText(argument.text));
            case Argument::Reference:
            case Argument::Range:
                break;
        }
        if (asReference) {
            if (references_ == ReferenceMode::References) {
                return arena_.Reference(xlhost::Host::Instance().SheetId(), argument.first,
                                        argument.last);
            }
            return arena_.SheetReference(argument.first, argument.last);
        }
        if (argument.kind == Argument::Reference)
            return arena_.Value(CellAt(sheet_, argument.first));
        const int rows = argument.last.row - argument.first.row + 1;
        const int columns = argument.last.col - argument.first.col + 1;
        std::vector<SheetValue> values;
        for (int r = argument.first.row; r <= argument.last.row; ++r) {
            for (int c = argument.first.col; c <= argument.last.col; ++c) {
                values.push_back(CellAt(sheet_, {r, c}));
            }
        }
        return arena_.Array(rows, columns, values);
    }

    const Sheet& sheet_;
    ReferenceMode references_;
    RecordArena<Oper> arena_;
};

// What the host's sheet holds for a cell: the host's own errors show as #VALUE!.
xlhost::Value HostCell(const SheetValue& value) {
    switch (value.kind) {
        case SheetValue::Number:
            return xlhost::Value::Number(value.number);
        case SheetValue::Text:
            return xlhost::Value::Text(xlhost::Widen(value.text));
        case SheetValue::Bool:
            return xlhost::Value::Bool(value.boolean);
        case SheetValue::Error:
            return xlhost::Value::Error(value.error >= 0 ? value.error : xlerrValue);
        default:
            return xlhost::Value::Nil();
    }
}

void Store(Sheet& sheet, CellPosition position, const SheetValue& value) {
    if (static_cast<int>(sheet.size()) <= position.row) sheet.resize(position.row + 1);
    auto& row = sheet[position.row];
    if (static_cast<int>(row.size()) <= position.col) row.resize(position.col + 1);
    row[position.col] = value;
    xlhost::Host::Instance().SetCell(position.row, position.col, HostCell(value));
}

}  // namespace

Evaluator::Evaluator(const AddinModule& module, std::vector<RegisteredFunction> functions,
                     ReferenceMode references)
    : module_(module), functions_(std::move(functions)), references_(references) {}

const RegisteredFunction* Evaluator::Find(const std::string& worksheetName) const {
    const std::string wanted = Lower(worksheetName);
    for (const RegisteredFunction& function : functions_) {
        if (Lower(function.worksheetName) == wanted) return &function;
    }
    return nullptr;
}

CallResult Evaluator::Call(const std::string& worksheetName, const std::vector<Argument>& arguments,
                           const Sheet& sheet) const {
    const RegisteredFunction* function = Find(worksheetName);
    FARPROC entry = function != nullptr ? module_.EntryPoint(function->exportName) : nullptr;
    if (entry == nullptr) return CallResult::Single(SheetValue::MakeError(xlerrName));
    for (const Argument& argument : arguments) {
        if (AnyPending(sheet, argument)) return CallResult::Single(SheetValue::MakeError(xlerrRef));
    }

    const std::vector<std::string> codes = TypeCodes(function->typeText);
    if (codes.empty() || codes.size() - 1 > kMaxEntryPointArguments) {
        return CallResult::Single(SheetValue::MakeError(xlerrValue));
    }
    // Missing trailing arguments are omitted ones; surplus arguments are an error, as in Excel.
    if (arguments.size() > codes.size() - 1) {
        return CallResult::Single(SheetValue::MakeError(xlerrValue));
    }
    std::vector<Argument> all = arguments;
    all.resize(codes.size() - 1);

    CallBuilder<XLOPER> records4(sheet, references_);
    CallBuilder<XLOPER12> records12(sheet, references_);
    std::vector<CallArgument> call;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& code = codes[i + 1];
        int error = xlerrValue;
        bool built = false;
        if (code == "B") {
            built = records4.Add(code, all[i], call, error);
        } else if (code == "P" || code == "R") {
            built = records4.Add(code, all[i], call, error);
        } else if (code == "Q" || code == "U") {
            built = records12.Add(code, all[i], call, error);
        }
        if (!built) return CallResult::Single(SheetValue::MakeError(error));
    }

    const std::string& result = codes[0];
    if (result == "P" || result == "R") {
        return ReadResult(static_cast<const XLOPER*>(CallEntryPoint(entry, call)));
    }
    if (result == "Q" || result == "U") {
        return ReadResult(static_cast<const XLOPER12*>(CallEntryPoint(entry, call)));
    }
    return CallResult::Single(SheetValue::MakeError(xlerrValue));
}

Sheet Evaluator::Evaluate(const Workbook& workbook) {
    xlhost::Host::Instance().ClearCells();
    Sheet sheet;
    for (int r = 0; r < workbook.RowCount(); ++r) {
        const auto& row = workbook.rows[r];
        for (int c = 0; c < static_cast<int>(row.size()); ++c) {
            const InputCell& cell = row[c];
            if (cell.kind == InputCell::Number)
                Store(sheet, {r, c}, SheetValue::MakeNumber(cell.number));
            if (cell.kind == InputCell::Text) Store(sheet, {r, c}, SheetValue::MakeText(cell.text));
            if (cell.kind == InputCell::Formula)
                Store(sheet, {r, c}, SheetValue::Make(SheetValue::Pending));
        }
    }
    auto filledByInput = [&](int r, int c) {
        return r < workbook.RowCount() && c < static_cast<int>(workbook.rows[r].size()) &&
               workbook.rows[r][c].kind != InputCell::Empty;
    };
    for (int r = 0; r < workbook.RowCount(); ++r) {
        for (int c = 0; c < static_cast<int>(workbook.rows[r].size()); ++c) {
            const InputCell& cell = workbook.rows[r][c];
            if (cell.kind != InputCell::Formula) continue;
            const auto started = std::chrono::steady_clock::now();
            const CallResult result = Call(cell.formula.name, cell.formula.arguments, sheet);
            if (observer_) {
                const std::chrono::duration<double> took =
                    std::chrono::steady_clock::now() - started;
                observer_({r, c}, result, took.count());
            }
            bool blocked = false;
            for (int i = 0; i < result.rows; ++i) {
                for (int j = 0; j < result.columns; ++j) {
                    if ((i != 0 || j != 0) &&
                        (filledByInput(r + i, c + j) ||
                         CellAt(sheet, {r + i, c + j}).kind != SheetValue::Empty)) {
                        blocked = true;
                    }
                }
            }
            if (blocked) {
                Store(sheet, {r, c}, SheetValue::MakeError(kSpillError));
                continue;
            }
            for (int i = 0; i < result.rows; ++i) {
                for (int j = 0; j < result.columns; ++j)
                    Store(sheet, {r + i, c + j}, result.At(i, j));
            }
        }
    }
    return sheet;
}

}  // namespace runner
