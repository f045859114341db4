// ExcelHost.cpp - the substitute host's answers to the add-in's requests.
#include "ExcelHost.h"

#include <cmath>
#include <mutex>
#include <new>

#include "Coercion.h"
#include "RecordCodec.h"

namespace xlhost {

namespace {

// The scalar types a cell of the sheet holds.
bool IsCellType(std::uint32_t type) {
    return type == xltypeNum || type == xltypeStr || type == xltypeBool || type == xltypeErr ||
           type == xltypeInt;
}

bool IsReference(const Value& value) {
    return value.type == xltypeRef || value.type == xltypeSRef;
}

// A number argument given as a number, an integer or a boolean.
bool NumberArgument(const Value& value, double* number) {
    Value converted;
    if (!ConvertScalar(value, xltypeNum, true, &converted)) return false;
    *number = converted.num;
    return true;
}

const std::uint32_t kScalarOrder[] = {xltypeNum, xltypeInt, xltypeBool, xltypeStr};

}  // namespace

Host& Host::Instance() {
    // Never destroyed: the add-in may still call in while statics are torn down.
    static Host* host = new Host;
    return *host;
}

Host::Host() {
    Reset();
}

void Host::Reset() {
    version_ = "12.0";
    mainWindow_ = 0x1234;
    addinPath_.clear();
    abortPending_ = false;
    runningOnCluster_ = false;
    abortCountdown_ = 0;
    abortRequests_ = 0;
    abortAnsweredAt_ = std::chrono::steady_clock::time_point();
    sheetId_ = 1;
    cells_.clear();
    ClearFailures();
    ClearRecords();
    nextRegisterId_ = 1001;
    allocated_ = 0;
    freed_ = 0;
    invalidFrees_ = 0;
    // Blocks still out stay allocated, so that a record holding one is never left dangling.
    blocks_.clear();
}

void Host::SetVersion(const std::string& version) {
    version_ = version;
}

void Host::SetMainWindow(std::uintptr_t handle) {
    mainWindow_ = handle;
}

void Host::SetAddinPath(const std::string& path) {
    addinPath_ = path;
}

void Host::SetAbortPending(bool pending) {
    abortPending_ = pending;
}

void Host::SetRunningOnCluster(bool onCluster) {
    runningOnCluster_ = onCluster;
}

void Host::SetAbortAfter(std::size_t requests) {
    abortCountdown_ = requests;
}

std::size_t Host::AbortRequests() const {
    return abortRequests_;
}

std::chrono::steady_clock::time_point Host::AbortAnsweredAt() const {
    return abortAnsweredAt_;
}

void Host::SetSheetId(IDSHEET id) {
    sheetId_ = id;
}

IDSHEET Host::SheetId() const {
    return sheetId_;
}

void Host::SetCell(int row, int col, const Value& value) {
    if (IsCellType(value.type)) {
        cells_[{row, col}] = value;
    } else {
        cells_.erase({row, col});
    }
}

Value Host::GetCell(int row, int col) const {
    auto found = cells_.find({row, col});
    return found != cells_.end() ? found->second : Value::Nil();
}

void Host::ClearCells() {
    cells_.clear();
}

void Host::FailRequest(int function, int code) {
    failures_[function] = code;
}

void Host::FailNthRequest(int function, std::size_t n, int code) {
    nthFailures_[function] = {n, code};
}

void Host::FailExcel4Requests(int code) {
    excel4Failure_ = code;
}

void Host::ClearFailures() {
    failures_.clear();
    nthFailures_.clear();
    excel4Failure_ = 0;
}

std::vector<Registration> Host::Registrations() const {
    return registrations_;
}

std::vector<double> Host::Unregistered() const {
    return unregistered_;
}

std::vector<StatusEvent> Host::StatusEvents() const {
    return statusEvents_;
}

std::vector<int> Host::Requests() const {
    return requests_;
}

void Host::ClearRecords() {
    registrations_.clear();
    unregistered_.clear();
    statusEvents_.clear();
    requests_.clear();
}

std::size_t Host::AllocatedBlocks() const {
    return allocated_;
}

std::size_t Host::FreedBlocks() const {
    return freed_;
}

std::size_t Host::OutstandingBlocks() const {
    return blocks_.size();
}

std::size_t Host::InvalidFrees() const {
    return invalidFrees_;
}

void* Host::AllocateBlock(std::size_t bytes) {
    void* block = ::operator new(bytes);
    blocks_[block] = bytes;
    ++allocated_;
    return block;
}

bool Host::FreeBlock(void* block) {
    auto found = blocks_.find(block);
    if (found == blocks_.end()) {
        ++invalidFrees_;
        return false;
    }
    ::operator delete(block);
    blocks_.erase(found);
    ++freed_;
    return true;
}

int Host::Call4(int function, XLOPER* result, int count, XLOPER* values[]) {
    std::lock_guard<RequestLock> lock(requestLock_);
    if (excel4Failure_ != 0) {
        requests_.push_back(function);
        return excel4Failure_;
    }
    return Call(function, result, count, values);
}

int Host::Call12(int function, XLOPER12* result, int count, XLOPER12* values[]) {
    std::lock_guard<RequestLock> lock(requestLock_);
    return Call(function, result, count, values);
}

template <class Oper>
int Host::Call(int function, Oper* result, int count, Oper* values[]) {
    requests_.push_back(function);
    auto failure = failures_.find(function);
    if (failure != failures_.end()) return failure->second;
    auto nth = nthFailures_.find(function);
    if (nth != nthFailures_.end() && nth->second.first > 0 && --nth->second.first == 0)
        return nth->second.second;
    if (count < 0 || count > 255 || (count > 0 && values == nullptr)) return xlretInvCount;

    if (function == xlFree) {
        // Gives back the block behind each value; the values themselves stay as they are.
        for (int i = 0; i < count; ++i) {
            if (values[i] == nullptr) continue;
            void* memory = AuxiliaryMemory(*values[i]);
            if (memory != nullptr) FreeBlock(memory);
        }
        return xlretSuccess;
    }

    std::vector<Value> arguments(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (values[i] == nullptr || !ReadRecord(*values[i], &arguments[i])) return xlretInvXloper;
    }
    Value answer;
    const int code = Answer(function, arguments, RecordTraits<Oper>::kWide, &answer);
    if (code != xlretSuccess || result == nullptr) return code;

    const std::size_t bytes = BlockBytes<Oper>(answer);
    char* block = bytes > 0 ? static_cast<char*>(AllocateBlock(bytes)) : nullptr;
    char* cursor = block;
    WriteRecord(answer, sheetId_, result, &cursor);
    return xlretSuccess;
}

int Host::Answer(int function, const std::vector<Value>& arguments, bool wide, Value* result) {
    switch (function) {
        case xlCoerce:
            return Coerce(arguments, wide, result);
        case xlAbort: {
            ++abortRequests_;
            if (abortCountdown_ > 0 && --abortCountdown_ == 0) abortPending_ = true;
            if (abortPending_) abortAnsweredAt_ = std::chrono::steady_clock::now();
            *result = Value::Bool(abortPending_);
            // FALSE acknowledges the break; without it the break stays pending.
            bool keep = true;
            if (!arguments.empty() && arguments[0].type == xltypeBool) keep = arguments[0].boolean;
            if (!keep) abortPending_ = false;
            return xlretSuccess;
        }
        case xlRunningOnCluster:
            *result = Value::Bool(runningOnCluster_);
            return xlretSuccess;
        case xlGetHwnd:
            // An XLOPER integer holds only the low 16 bits of the handle.
            *result = Value::Int(wide ? static_cast<int>(static_cast<std::uint32_t>(mainWindow_))
                                      : static_cast<std::int16_t>(mainWindow_ & 0xffff));
            return xlretSuccess;
        case xlGetName:
            *result = Value::Text(Widen(addinPath_));
            return xlretSuccess;
        case xlcMessage: {
            if (arguments.empty()) return xlretInvCount;
            bool show = false;
            Value converted;
            if (ConvertScalar(arguments[0], xltypeBool, wide, &converted)) show = converted.boolean;
            if (show) {
                if (arguments.size() < 2 ||
                    !ConvertScalar(arguments[1], xltypeStr, wide, &converted)) {
                    return xlretInvXloper;
                }
                statusEvents_.push_back({true, Narrow(converted.str)});
            } else {
                statusEvents_.push_back({false, std::string()});
            }
            *result = Value::Bool(true);
            return xlretSuccess;
        }
        case xlfGetWorkspace: {
            double what = 0;
            if (arguments.empty() || !NumberArgument(arguments[0], &what)) return xlretInvXloper;
            *result = what == 2 ? Value::Text(Widen(version_)) : Value::Error(xlerrNA);
            return xlretSuccess;
        }
        case xlfRegister: {
            if (arguments.empty()) return xlretInvCount;
            const Registration registration{nextRegisterId_++, arguments};
            registrations_.push_back(registration);
            *result = Value::Number(registration.id);
            return xlretSuccess;
        }
        case xlfUnregister: {
            double id = 0;
            if (arguments.size() != 1 || !NumberArgument(arguments[0], &id)) return xlretInvXloper;
            bool known = false;
            for (const auto& registration : registrations_) known = known || registration.id == id;
            for (double gone : unregistered_) known = known && gone != id;
            if (known) unregistered_.push_back(id);
            *result = Value::Bool(known);
            return xlretSuccess;
        }
        default:
            return xlretInvXlfn;
    }
}

Value Host::Dereference(const Value& value, int* code) const {
    *code = xlretSuccess;
    if (value.areas.size() != 1 || (value.type == xltypeRef && value.sheet != sheetId_)) {
        *code = xlretFailed;  // several areas, or a sheet this host does not hold
        return Value();
    }
    const Area& area = value.areas.front();
    const int rows = area.rowLast - area.rowFirst + 1;
    const int columns = area.colLast - area.colFirst + 1;
    if (rows <= 0 || columns <= 0) {
        *code = xlretFailed;
        return Value();
    }
    if (rows == 1 && columns == 1) return GetCell(area.rowFirst, area.colFirst);
    Value array;
    array.type = xltypeMulti;
    array.rows = rows;
    array.columns = columns;
    for (int r = area.rowFirst; r <= area.rowLast; ++r) {
        for (int c = area.colFirst; c <= area.colLast; ++c) array.elements.push_back(GetCell(r, c));
    }
    return array;
}

int Host::Coerce(const std::vector<Value>& arguments, bool wide, Value* result) const {
    if (arguments.empty() || arguments.size() > 2) return xlretInvCount;
    const Value& source = arguments[0];
    std::uint32_t mask = 0;
    if (arguments.size() == 2) {
        double number = 0;
        if (!NumberArgument(arguments[1], &number)) return xlretInvXloper;
        mask = static_cast<std::uint32_t>(number);
    }

    // References to references: an SRef gains the current sheet's identifier.
    if (IsReference(source) && (mask & (xltypeRef | xltypeSRef)) != 0) {
        if ((mask & xltypeRef) != 0) {
            *result = source;
            result->type = xltypeRef;
            if (source.type == xltypeSRef) result->sheet = sheetId_;
            return xlretSuccess;
        }
        if (source.type == xltypeRef && (source.sheet != sheetId_ || source.areas.size() != 1)) {
            return xlretFailed;
        }
        *result = source;
        result->type = xltypeSRef;
        result->sheet = 0;
        return xlretSuccess;
    }

    Value value = source;
    if (IsReference(source)) {
        int code;
        value = Dereference(source, &code);
        if (code != xlretSuccess) return code;
    }
    if (mask == 0 || (value.type & mask) != 0) {
        *result = value;
        return xlretSuccess;
    }
    // An array that must become a scalar gives its first element.
    if (value.type == xltypeMulti) {
        if (value.elements.empty()) return xlretFailed;
        Value first = value.elements.front();
        value = first;
        if ((value.type & mask) != 0) {
            *result = value;
            return xlretSuccess;
        }
    }
    for (std::uint32_t target : kScalarOrder) {
        if ((mask & target) != 0 && ConvertScalar(value, target, wide, result)) return xlretSuccess;
    }
    // A scalar that may become an array gives a one-by-one array.
    if ((mask & xltypeMulti) != 0) {
        Value array;
        array.type = xltypeMulti;
        array.rows = 1;
        array.columns = 1;
        array.elements.push_back(value);
        *result = array;
        return xlretSuccess;
    }
    return xlretFailed;
}

template int Host::Call<XLOPER>(int, XLOPER*, int, XLOPER*[]);
template int Host::Call<XLOPER12>(int, XLOPER12*, int, XLOPER12*[]);

}  // namespace xlhost
