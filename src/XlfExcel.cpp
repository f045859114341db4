#include "XlfExcel.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <stdexcept>

#include "Diagnostics.h"
#include "NamedMutexLock.h"
#include "WindowsApi.h"
#include "XlCallback.h"
#include "XlfOper.h"
#include "XlfOperImpl12.h"
#include "XlfOperImpl4.h"

namespace xlf {

namespace {

// Resolved once per successful load; reset at the start of every load so that nothing can
// reach an entry point of a load that failed.
Excel4Proc excel4 = nullptr;
Excel4vProc excel4v = nullptr;

// Created on the first load that selects them and kept for the life of the process.
XlfOperImpl4* impl4 = nullptr;
XlfOperImpl12* impl12 = nullptr;

const char* const kPoolMutexName = "xlf_mutex";
const std::uint32_t kFirstBufferSize = 8192;

// Results whose auxiliary memory the host allocated (texts, references, arrays; integers
// are marked too, which xlFree accepts) go back to the host when their holder releases them.
template <class Record>
void MarkHostOwned(Record* result) {
    if (!result) return;
    if (result->xltype & (xltypeStr | xltypeRef | xltypeMulti | xltypeInt))
        result->xltype |= xlbitXLFree;
}

template <class Proc>
Proc EntryPoint(HMODULE module, const char* name) {
    // Through the generic function pointer type, which converts to any other without a
    // warning about incompatible signatures.
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The function wizard is a top-level window of class "bosa_sdm_XL..." owned by Excel.
struct WizardSearch {
    WORD excelWindow;
    bool found;
};

BOOL CALLBACK FindWizard(HWND window, LPARAM parameter) {
    static const char kWizardClass[] = "bosa_sdm_XL";
    WizardSearch& search = *reinterpret_cast<WizardSearch*>(parameter);
    char className[50];
    className[0] = '\0';
    GetClassNameA(window, className, sizeof className);
    className[sizeof className - 1] = '\0';
    const int wanted = lstrlenA(kWizardClass);
    const int length = lstrlenA(className);
    if (CompareStringA(0x0409, NORM_IGNORECASE, className, length > wanted ? wanted : length,
                       kWizardClass, wanted) == CSTR_EQUAL &&
        static_cast<WORD>(reinterpret_cast<std::uintptr_t>(GetParent(window)) & 0xFFFF) ==
            search.excelWindow) {
        search.found = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

struct XlfExcel::LibraryRecord {
    HMODULE handle = nullptr;
};

XlfExcel* XlfExcel::current_ = nullptr;

XlfExcel& XlfExcel::Current() {
    if (!current_) {
        current_ = new XlfExcel;
        try {
            current_->LoadCallbackLibrary();
        } catch (...) {
            // No half-loaded object survives: the next Current() loads afresh.
            delete current_;
            throw;
        }
    }
    return *current_;
}

XlfExcel::XlfExcel() : library_(new LibraryRecord) {}

XlfExcel::~XlfExcel() {
    ReleaseTemporary(true);
    library_.reset();
    if (current_ == this) current_ = nullptr;
}

void XlfExcel::LoadCallbackLibrary() {
    excel4 = nullptr;
    excel4v = nullptr;
    HMODULE module = LoadLibraryA("XLCALL32.DLL");
    if (!module) throw std::runtime_error("Could not load library XLCALL32.DLL");
    const Excel4Proc entry4 = EntryPoint<Excel4Proc>(module, "Excel4");
    if (!entry4) throw std::runtime_error("Could not get address of Excel4 callback");
    const Excel4vProc entry4v = EntryPoint<Excel4vProc>(module, "Excel4v");
    if (!entry4v) throw std::runtime_error("Could not get address of Excel4v callback");
    excel4 = entry4;
    excel4v = entry4v;

    DetectVersion();
    // The implementation of this mode becomes current even when it already exists from an
    // earlier load in the other mode.
    if (excel12_) {
        if (!impl12) impl12 = new XlfOperImpl12;
        XlfOperImpl::MakeCurrent(*impl12);
        operTypeCode_ = "Q";
        xloperTypeCode_ = "U";
        wideStringTypeCode_ = "C%";
    } else {
        if (!impl4) impl4 = new XlfOperImpl4;
        XlfOperImpl::MakeCurrent(*impl4);
        operTypeCode_ = "P";
        xloperTypeCode_ = "R";
        wideStringTypeCode_ = "C";
    }
    library_->handle = module;
}

// Excel 12 reports "12.0" as workspace item 2. Only exactly 12 selects Excel-12 mode; a
// failed query or coercion leaves Excel-4 mode, which every version understands. So does a
// host without MdCallBack12: every Excel-12 request would fail, while Excel 12 serves
// Excel-4 records as well.
void XlfExcel::DetectVersion() {
    XLOPER version, number, two, mask;
    std::memset(&version, 0, sizeof version);
    std::memset(&number, 0, sizeof number);
    std::memset(&two, 0, sizeof two);
    std::memset(&mask, 0, sizeof mask);
    version.xltype = xltypeNil;
    number.xltype = xltypeNil;
    two.xltype = xltypeInt;
    two.val.w = 2;
    mask.xltype = xltypeInt;
    mask.val.w = static_cast<std::int16_t>(xltypeInt);
    excel4(xlfGetWorkspace, &version, 1, &two);
    const int code = excel4(xlCoerce, &number, 2, &version, &mask);
    excel4(xlFree, nullptr, 1, &version);
    version_ = code == xlretSuccess && (number.xltype & xltypeInt) ? number.val.w : 0;
    excel12_ = code == xlretSuccess && (number.xltype & xltypeInt) && number.val.w == 12 &&
               FindExcel12Callback();
}

int XlfExcel::CallHost(int function, void* result, int count, ...) {
    std::vector<void*> arguments(count > 0 ? count : 0);
    va_list list;
    va_start(list, count);
    for (void*& argument : arguments) argument = va_arg(list, void*);
    va_end(list);
    if (excel12_) {
        std::vector<XLOPER12*> records(arguments.size());
        for (std::size_t i = 0; i < arguments.size(); ++i)
            records[i] = static_cast<XLOPER12*>(arguments[i]);
        return CallHost12v(function, static_cast<XLOPER12*>(result), count, records.data());
    }
    std::vector<XLOPER*> records(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i)
        records[i] = static_cast<XLOPER*>(arguments[i]);
    return CallHost4v(function, static_cast<XLOPER*>(result), count, records.data());
}

// A result is marked host-owned only when the request succeeded: a failed request leaves the
// result as it was, and what the layer put there is not the host's to free.
int XlfExcel::CallHost4v(int function, XLOPER* result, int count, XLOPER* arguments[]) {
    if (!excel4v) return xlretFailed;
    const int code = excel4v(function, result, count, arguments);
    if (code == xlretSuccess) MarkHostOwned(result);
    return code;
}

int XlfExcel::CallHost12v(int function, XLOPER12* result, int count, XLOPER12* arguments[]) {
    const int code = Excel12v(function, result, count, arguments);
    if (code == xlretSuccess) MarkHostOwned(result);
    return code;
}

void XlfExcel::AddTemporaryBuffer(std::uint32_t size) {
    std::unique_ptr<unsigned char[]> start(new unsigned char[size]);
    pool_.push_front(TemporaryBuffer{size, std::move(start)});
    offset_ = 0;
}

void XlfExcel::FailTemporaryRequests(int successes, int failures) {
    requestsBeforeFailure_ = successes;
    failingRequests_ = failures;
}

void* XlfExcel::AllocateTemporary(std::uint32_t bytes) {
    if (requestsBeforeFailure_ > 0) {
        --requestsBeforeFailure_;
    } else if (failingRequests_ > 0) {
        --failingRequests_;
        throw std::bad_alloc();
    }
    NamedMutexLock lock(kPoolMutexName);
    // Rounded up to a multiple of 8 so that every record carved from the pool is aligned.
    const std::uint64_t size = (std::uint64_t(bytes) + 7) & ~std::uint64_t(7);
    if (pool_.empty()) AddTemporaryBuffer(kFirstBufferSize);
    while (offset_ + size >= pool_.front().size) {
        const double grown = std::floor(pool_.front().size * 1.5);
        if (grown > 4294967295.0) throw std::bad_alloc();
        AddTemporaryBuffer(static_cast<std::uint32_t>(grown));
    }
    void* start = pool_.front().start.get() + offset_;
    offset_ += static_cast<std::uint32_t>(size);
    return start;
}

void XlfExcel::ReleaseTemporary(bool everything) {
    NamedMutexLock lock(kPoolMutexName);
    const std::size_t kept = everything ? 0 : 1;
    while (pool_.size() > kept) pool_.pop_back();
    offset_ = 0;
}

std::vector<std::uint32_t> XlfExcel::TemporaryBufferSizes() const {
    std::vector<std::uint32_t> sizes;
    for (const TemporaryBuffer& buffer : pool_) sizes.push_back(buffer.size);
    return sizes;
}

bool XlfExcel::InFunctionWizard() const {
    if (!excel4) return false;
    XLOPER window;
    std::memset(&window, 0, sizeof window);
    window.xltype = xltypeNil;
    if (excel4(xlGetHwnd, &window, 0) != xlretSuccess || !(window.xltype & xltypeInt)) return false;
    WizardSearch search{static_cast<WORD>(window.val.w), false};
    EnumWindows(FindWizard, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void XlfExcel::ShowStatus(const char* text) {
    if (text) {
        XlfOper show(true), message(text);
        CallHost(xlcMessage, nullptr, 2, show.HostPointer(), message.HostPointer());
    } else {
        XlfOper reset(false);
        CallHost(xlcMessage, nullptr, 1, reset.HostPointer());
    }
}

std::string XlfExcel::LibraryPath() {
    XlfOper name;
    if (CallHost(xlGetName, name.HostPointer(), 0) != xlretSuccess) {
        std::cerr << DiagnosticLocation("XlfExcel", 181) << "Could not get DLL name" << std::endl;
        return std::string();
    }
    int code = 0;
    const char* text = name.ToCString(&code);
    return code == xlretSuccess && text ? std::string(text) : std::string();
}

bool XlfExcel::EscapePressed() {
    XlfOper pressed, no(false);
    if (CallHost(xlAbort, pressed.HostPointer(), 1, no.HostPointer()) != xlretSuccess) return false;
    int code = 0;
    const bool value = pressed.ToBool(&code);
    return code == xlretSuccess && value;
}

// Records on the stack, not in the temporary pool: thread-safe functions ask this too. A
// boolean answer holds no memory of Excel's; anything else is given back and read as "no".
bool XlfExcel::RunningOnCluster() {
    if (excel12_) {
        XLOPER12 answer;
        std::memset(&answer, 0, sizeof answer);
        answer.xltype = xltypeNil;
        if (CallHost12v(xlRunningOnCluster, &answer, 0, nullptr) != xlretSuccess) return false;
        const bool yes = answer.xltype == xltypeBool && answer.val.xbool != 0;
        if ((answer.xltype & xlbitXLFree) != 0) {
            XLOPER12* freed[] = {&answer};
            CallHost12v(xlFree, nullptr, 1, freed);
        }
        return yes;
    }
    XLOPER answer;
    std::memset(&answer, 0, sizeof answer);
    answer.xltype = xltypeNil;
    if (CallHost4v(xlRunningOnCluster, &answer, 0, nullptr) != xlretSuccess) return false;
    const bool yes = answer.xltype == xltypeBool && answer.val.xbool != 0;
    if ((answer.xltype & xlbitXLFree) != 0) {
        XLOPER* freed[] = {&answer};
        CallHost4v(xlFree, nullptr, 1, freed);
    }
    return yes;
}

void XlfExcel::ErrorBox(const char* text, const char* caption) {
    if (!text) text = "";
    if (caption) {
        MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const DWORD error = GetLastError();
    char* systemMessage = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0x0400, reinterpret_cast<LPSTR>(&systemMessage), 0, nullptr);
    // snprintf cuts a long text at the buffer's end instead of writing past it.
    char composed[256];
    std::snprintf(composed, sizeof composed, "%s due to error %d :\n%s", text,
                  static_cast<int>(error), systemMessage ? systemMessage : "");
    MessageBoxA(nullptr, composed, "XLL Error", MB_OK | MB_ICONINFORMATION);
    if (systemMessage) LocalFree(systemMessage);
}

}  // namespace xlf
