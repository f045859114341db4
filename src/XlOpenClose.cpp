// The add-in's open and close entry points, and the registration of every worksheet function.
//
// Opening sends the layer's diagnostics to the debugger, appends the add-in's own folder to
// the process's "Path" (so that libraries placed beside the add-in are found) and registers
// the functions of the FunctionRegistry. Closing frees the link to Excel and its temporary
// memory and gives std::cerr its buffer back. Functions are never unregistered.
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "CloseHooks.h"
#include "Diagnostics.h"
#include "FunctionRegistry.h"
#include "Win32StreamBuf.h"
#include "WindowsApi.h"
#include "XlfArgDesc.h"
#include "XlfExcel.h"
#include "XlfFuncDesc.h"
#include "XllExport.h"

namespace {

// The buffer std::cerr writes into while the add-in is open, and the one it replaced.
xlf::Win32StreamBuf debuggerBuffer;
std::streambuf* replacedBuffer = nullptr;

// Destroyed before debuggerBuffer (reverse order of definition): should the add-in be
// unloaded while std::cerr still writes into debuggerBuffer (an open that failed and was
// never closed), std::cerr gets its old buffer back instead of a destroyed one.
struct CerrBufferGuard {
    ~CerrBufferGuard() {
        if (replacedBuffer != nullptr && std::cerr.rdbuf() == &debuggerBuffer) {
            std::cerr.rdbuf(replacedBuffer);
        }
    }
} cerrBufferGuard;

// Any static object of the add-in lies in the add-in's module; its memory region tells the
// module's load address.
const int moduleAnchor = 0;

constexpr DWORD kPathBufferSize = 4096;

void RedirectCerr() {
    std::streambuf* previous = std::cerr.rdbuf(&debuggerBuffer);
    // Opening twice must not make debuggerBuffer the buffer to go back to.
    if (previous != &debuggerBuffer) replacedBuffer = previous;
}

// Appends the module's folder to "Path"; false when any step failed.
bool AppendFolderToPath(const std::string& moduleName) {
    std::vector<char> buffer(kPathBufferSize, '\0');
    DWORD size = GetEnvironmentVariableA("Path", buffer.data(), kPathBufferSize);
    if (size > kPathBufferSize) {
        buffer.assign(size, '\0');
        size = GetEnvironmentVariableA("Path", buffer.data(), size);
        if (size == 0) {
            std::cerr << XLF_LOCATION("XlOpenClose", 74)
                      << " Could not get PATH Environment Variable" << std::endl;
            return false;
        }
    }
    const std::string current(buffer.data());
    const std::string folder = moduleName.substr(0, moduleName.find_last_of('\\'));
    // Without a "Path" (or with an empty one) the folder alone is the search path; a leading
    // ";" would add an empty entry.
    const std::string extended = current.empty() ? folder : current + ";" + folder;
    if (!SetEnvironmentVariableA("Path", extended.c_str())) {
        std::cerr << XLF_LOCATION("XlOpenClose", 96) << " SetEnvironmentVariable failed to set PATH"
                  << std::endl;
        return false;
    }
    std::cerr << XLF_LOCATION("XlOpenClose", 101) << " PATH set successfully " << std::endl;
    return true;
}

}  // namespace

namespace xlf {

void RegisterAllFunctions() {
    for (const RegistrationRecord& record : FunctionRegistry::Instance().Records()) {
        const std::string returnTypeCode = record.returnTypeCode.empty()
                                               ? XlfExcel::Current().OperTypeCode()
                                               : record.returnTypeCode;
        XlfFuncDesc function(record.exportName, record.worksheetName, record.description,
                             record.category,
                             record.isVolatile ? XlfFuncDesc::Volatile : XlfFuncDesc::NotVolatile,
                             record.isThreadSafe, returnTypeCode,
                             FunctionRegistry::Instance().IsClusterSafe(record));
        XlfArgDescList arguments;
        for (int i = 0; i < record.argumentCount; ++i) {
            arguments.emplace_back(record.argumentNames[i], record.argumentDescriptions[i],
                                   record.argumentTypes[i]);
        }
        function.SetArguments(arguments);
        function.RegisterInExcel();
    }
}

}  // namespace xlf

// Neither entry point lets an exception reach Excel: opening reports any failure as 0,
// closing always finishes with 1.
XLL_EXPORT int WINAPI xlAutoOpen() noexcept {
    try {
        RedirectCerr();
        std::cerr << XLF_LOCATION("XlOpenClose", 56) << "std::cerr redirected to MSVC debugger"
                  << std::endl;

        bool pathFailed = false;
        char moduleName[MAX_PATH] = {};
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(&moduleAnchor, &region, sizeof(region)) == 0) {
            std::cerr << XLF_LOCATION("XlOpenClose", 83) << " Could not attain path of DLL"
                      << std::endl;
            pathFailed = true;
        } else {
            GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), moduleName,
                               MAX_PATH - 1);
            xlf::XlfExcel::Current().ShowStatus(moduleName);
            pathFailed = !AppendFolderToPath(moduleName);
        }
        if (pathFailed) {
            std::cerr << XLF_LOCATION("XlOpenClose", 106)
                      << " Warning: Unable to initialise PATH to directory of library "
                      << std::endl;
        }

        xlf::XlfExcel::Current().ShowStatus("Registering library...");
        xlf::RegisterAllFunctions();
        xlf::XlfExcel::Current().ShowStatus(nullptr);
        return 1;
    } catch (...) {
        return 0;
    }
}

XLL_EXPORT int WINAPI xlAutoClose() noexcept {
    try {
        std::cerr << XLF_LOCATION("XlOpenClose", 125) << "Releasing ressources" << std::endl;
    } catch (...) {
        // A diagnostic that cannot be written is not worth stopping the close for.
    }
    try {
        xlf::RunCloseHooks();
    } catch (...) {
        // The worker threads are joined by the hooks; a failure there must not stop the close.
    }
    try {
        delete &xlf::XlfExcel::Current();
    } catch (...) {
        // Without Excel's callback library there is no object to free; closing goes on.
    }
    if (replacedBuffer != nullptr) {
        std::cerr.rdbuf(replacedBuffer);
        replacedBuffer = nullptr;
    }
    return 1;
}
