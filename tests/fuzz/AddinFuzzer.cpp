#include "AddinFuzzer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "EntryPointCall.h"
#include "ExcelHost.h"
#include "SheetValue.h"
#include "ValueRecords.h"

namespace addinfuzz {

namespace {

using runner::CellPosition;
using runner::SheetValue;

// The bit by which an add-in asks Excel to hand a result back through xlAutoFree; this add-in
// never does, so it must never be set.
constexpr std::uint32_t kAddinFreeBit = 0x4000;
constexpr int kSheetRows = 16;
constexpr int kSheetColumns = 12;
constexpr IDSHEET kOtherSheet = 77;

[[noreturn]] void Finding(const std::string& function, const std::string& what) {
    std::fprintf(stderr, "FINDING in %s: %s\n", function.c_str(), what.c_str());
    std::fflush(stderr);
    std::abort();
}

// The bytes of an input, read front to back; zeros once they run out.
class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    int Below(int n) { return Byte() % n; }

    double Double() {
        static const double kHuge[] = {1e300,
                                       -1e300,
                                       2147483648.0,
                                       -2147483649.0,
                                       1e19,
                                       -1e10,
                                       4294967296.0,
                                       std::numeric_limits<double>::max(),
                                       -std::numeric_limits<double>::max()};
        static const double kTypical[] = {100,  90, 110, 1,    0.5,  0.04, 0.05, -0.5,
                                          -0.9, 2,  0.3, 0.03, 1e-8, 0.01, 5,    0.9};
        switch (Below(12)) {
            case 0:
                return std::numeric_limits<double>::quiet_NaN();
            case 1:
                return std::numeric_limits<double>::infinity();
            case 2:
                return -std::numeric_limits<double>::infinity();
            case 3:
                return std::numeric_limits<double>::denorm_min() * (1 + Byte());
            case 4:
                return -0.0;
            case 5:
                return kHuge[Below(9)];
            case 6:
            case 7:
                return Below(41) - 5;
            case 8:
                return kTypical[Below(16)];
            case 9:
                return static_cast<std::int16_t>(Byte() | (Byte() << 8)) / 64.0;
            case 10: {
                // Any bit pattern; a count inside the range of int is kept below 100000, so that
                // one call's memory stays bounded (beyond that range a count is refused).
                std::uint64_t bits = 0;
                for (int i = 0; i < 8; ++i) bits = bits << 8 | Byte();
                double value;
                std::memcpy(&value, &bits, sizeof value);
                if (std::fabs(value) > 1e5 && std::fabs(value) < 2147483648.0)
                    value = std::fmod(value, 1e5);
                return value;
            }
            default:
                return kTypical[Below(16)] * (1 + static_cast<std::int8_t>(Byte()) / 256.0);
        }
    }

    std::string Text() {
        static const char* const kTexts[] = {"", "abc", "1.5", "TRUE", "-0.5e1", "#N/A", " 7 "};
        if (Below(4) != 0) return kTexts[Below(7)];
        std::string text(Byte() + (Below(4) == 0 ? 200 : 0), 'x');
        for (char& c : text) c = static_cast<char>(Byte() | 1);
        return text;
    }

    SheetValue Scalar() {
        static const int kErrors[] = {xlerrNull, xlerrDiv0, xlerrValue, xlerrRef,
                                      xlerrName, xlerrNum,  xlerrNA,    99};
        switch (Below(6)) {
            case 0:
            case 1:
                return SheetValue::MakeNumber(Double());
            case 2:
                return SheetValue::MakeText(Text());
            case 3:
                return SheetValue::MakeBool(Byte() & 1);
            case 4:
                return SheetValue::MakeError(kErrors[Below(8)]);
            default:
                return SheetValue();  // nil
        }
    }

    CellPosition Position() {
        CellPosition position;
        position.row = Below(kSheetRows + 2);
        position.col = Below(kSheetColumns + 1);
        return position;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// The host's sheet: plausible numbers in the first six columns (so that calibrations get
// past their conversions), every other kind of cell in the rest.
void FillSheet() {
    xlhost::Host& host = xlhost::Host::Instance();
    const double numbers[kSheetRows] = {0.01, 0.5, 0.05, 90,  0.5,  1,   12.5, 0.03,
                                        1,    100, 2,    0.1, -0.9, 0.3, 110,  5.8};
    for (int r = 0; r < kSheetRows; ++r) {
        for (int c = 0; c < kSheetColumns; ++c) {
            xlhost::Value cell;
            if (c < 6) {
                cell = xlhost::Value::Number(numbers[(r + 3 * c) % kSheetRows]);
            } else {
                switch ((r + c) % 7) {
                    case 0:
                        cell = xlhost::Value::Text(c % 2 ? L"abc" : L"2.5");
                        break;
                    case 1:
                        cell = xlhost::Value::Bool(r % 2 == 0);
                        break;
                    case 2:
                        cell = xlhost::Value::Error(r % 2 ? xlerrNA : xlerrDiv0);
                        break;
                    case 3:
                        cell = xlhost::Value::Number(std::numeric_limits<double>::quiet_NaN());
                        break;
                    case 4:
                        cell = xlhost::Value::Number(r * 1e300);
                        break;
                    case 5:
                        cell = xlhost::Value::Text(std::wstring(300, L'y'));
                        break;
                    default:
                        cell = xlhost::Value::Nil();
                }
            }
            host.SetCell(r, c, cell);
        }
    }
}

template <class Oper>
void* RecordArgument(Bytes& bytes, runner::RecordArena<Oper>& arena) {
    switch (bytes.Below(10)) {
        case 0:
            return arena.Missing();
        case 1:
        case 2:
        case 3:
            return arena.Value(bytes.Scalar());
        case 4: {
            // A column of five numbers, the shape the calibrations want.
            std::vector<SheetValue> values;
            for (int i = 0; i < 5; ++i) values.push_back(SheetValue::MakeNumber(bytes.Double()));
            return arena.Array(5, 1, values);
        }
        case 5:
        case 6: {
            int rows = 1 + bytes.Below(6), columns = 1 + bytes.Below(6);
            if (bytes.Below(16) == 0) (bytes.Byte() & 1 ? rows : columns) = 200 + bytes.Byte();
            std::vector<SheetValue> values;
            for (int i = 0; i < rows * columns; ++i) values.push_back(bytes.Scalar());
            Oper* array = arena.Array(rows, columns, values);
            const int oddity = bytes.Below(32);
            // Records Excel does not send, which must not take the add-in down either.
            if (oddity == 0) array->val.array.lparray = nullptr;
            if (oddity == 1) array->val.array.lparray[0].xltype = xltypeMissing;
            if (oddity == 2) array->val.array.rows = 0;
            return array;
        }
        case 7:
        case 8:
            return arena.SheetReference(bytes.Position(), bytes.Position());
        default: {
            const IDSHEET sheet =
                bytes.Below(4) == 0 ? kOtherSheet : xlhost::Host::Instance().SheetId();
            return arena.Reference(sheet, bytes.Position(), bytes.Position());
        }
    }
}

template <class Oper>
void CheckText(const std::string& function, const Oper& record) {
    if (record.val.str == nullptr) Finding(function, "text without storage");
    // The count is read and every character touched, so a dangling text shows.
    const std::size_t count = static_cast<std::uint16_t>(record.val.str[0]);
    unsigned sum = 0;
    for (std::size_t i = 1; i <= count; ++i) sum += static_cast<unsigned>(record.val.str[i]);
    (void)sum;
}

template <class Oper>
void CheckScalar(const std::string& function, const Oper& record, bool inArray) {
    const std::uint32_t type = static_cast<std::uint32_t>(record.xltype);
    if (type & (xlbitXLFree | kAddinFreeBit))
        Finding(function, "ownership bit set: type word " + std::to_string(type));
    switch (type) {
        case xltypeNum:
        case xltypeBool:
        case xltypeErr:
        case xltypeInt:
        case xltypeNil:
            return;
        case xltypeStr:
            return CheckText(function, record);
        default:
            Finding(function, std::string(inArray ? "array element" : "result") + " of type " +
                                  std::to_string(type));
    }
}

template <class Oper>
void CheckResult(const std::string& function, const Oper* record) {
    if (record == nullptr) return;
    if (static_cast<std::uint32_t>(record->xltype) != xltypeMulti)
        return CheckScalar(function, *record, false);
    const long rows = static_cast<long>(record->val.array.rows);
    const long columns = static_cast<long>(record->val.array.columns);
    if (rows < 1 || columns < 1 || record->val.array.lparray == nullptr)
        Finding(function,
                "malformed array " + std::to_string(rows) + " x " + std::to_string(columns));
    if (sizeof(Oper) == sizeof(XLOPER) && std::is_same<Oper, XLOPER>::value &&
        (rows > 65535 || columns > 255))
        Finding(function, "array beyond the Excel-4 limits");
    for (long i = 0; i < rows * columns; ++i)
        CheckScalar(function, record->val.array.lparray[i], true);
    runner::ReadResult(record);
}

template <class Oper>
void Call(Bytes& bytes, const runner::AddinModule& module,
          const runner::RegisteredFunction& function) {
    xlhost::Host& host = xlhost::Host::Instance();
    runner::RecordArena<Oper> arena;
    std::vector<runner::CallArgument> arguments;
    // The type text: the return code, then one code per argument ("C%" and "!" do not occur).
    for (std::size_t i = 1; i < function.typeText.size(); ++i) {
        const char code = function.typeText[i];
        if (code == '!' || code == '$' || code == '#') continue;
        if (code == 'B')
            arguments.push_back(runner::CallArgument::Double(bytes.Double()));
        else
            arguments.push_back(runner::CallArgument::Pointer(RecordArgument(bytes, arena)));
    }
    const int failure = bytes.Below(8);
    if (failure == 0) {
        static const int kCodes[] = {xlretFailed, xlretUncalced, xlretAbort, xlretInvXloper};
        host.FailNthRequest(xlCoerce, 1 + bytes.Below(8), kCodes[bytes.Below(4)]);
    }
    // Esc at the second question mostly: long work gets about 50 ms; sometimes at once.
    host.SetAbortAfter(bytes.Below(4) == 0 ? 1 : 2);

    void* result = runner::CallEntryPoint(module.EntryPoint(function.exportName), arguments);

    host.SetAbortAfter(0);
    host.SetAbortPending(false);
    host.ClearFailures();
    CheckResult(function.worksheetName, static_cast<const Oper*>(result));
    if (host.OutstandingBlocks() != 0)
        Finding(function.worksheetName,
                std::to_string(host.OutstandingBlocks()) + " host blocks not given back");
    if (host.InvalidFrees() != 0)
        Finding(function.worksheetName, "xlFree of memory not the host's");
}

}  // namespace

AddinFuzzer::AddinFuzzer(const std::string& addinPath, const std::string& version) {
    xlhost::Host& host = xlhost::Host::Instance();
    host.Reset();
    host.SetVersion(version);
    host.SetAddinPath("C:\\addins\\pricing.xll");
    module_.reset(new runner::AddinModule(addinPath));
    if (module_->Open() != 1) throw std::runtime_error("xlAutoOpen failed");
    functions_ = runner::RegisteredFunctions();
    if (functions_.empty()) throw std::runtime_error("the add-in registered no function");
    excel12_ = functions_.front().typeText.substr(0, 1) == "Q";
    FillSheet();
}

// The add-in closed by the fuzzer, still loaded (see ~AddinFuzzer). Not in the anonymous
// namespace, so that no compiler drops the store and leaves the module unreachable.
runner::AddinModule* keptLoaded = nullptr;

AddinFuzzer::~AddinFuzzer() {
    if (module_->Close() != 1) Finding("xlAutoClose", "did not return 1");
    if (xlhost::Host::Instance().OutstandingBlocks() != 0)
        Finding("xlAutoClose", "host blocks left outstanding");
    // The module stays loaded to the end of the process, as Excel keeps an add-in: what the
    // layer keeps for the life of the process (its value implementations) stays reachable.
    keptLoaded = module_.release();
}

std::size_t AddinFuzzer::Run(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    std::size_t made = 0;
    // At most 16 calls per input, so that one input stays quick.
    while (!bytes.Empty() && made < 16) {
        const runner::RegisteredFunction& function =
            functions_[bytes.Below(static_cast<int>(functions_.size()))];
        if (excel12_)
            Call<XLOPER12>(bytes, *module_, function);
        else
            Call<XLOPER>(bytes, *module_, function);
        // The host's log of requests would otherwise grow with every call.
        xlhost::Host::Instance().ClearRecords();
        ++made;
    }
    calls_ += made;
    return made;
}

std::string VersionFromEnvironment() {
    const char* version = std::getenv("HESTON_FUZZ_VERSION");
    return version && *version ? version : "12.0";
}

}  // namespace addinfuzz
