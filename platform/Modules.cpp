// Modules.cpp - native library loading, entry-point lookup, module names and memory queries.
//
// An HMODULE is the load address of the module's first segment, as on Windows, so the
// AllocationBase that VirtualQuery reports for an address inside a module is that module's
// handle. dladdr maps addresses to modules; dlopen handles are kept per module for dlsym.
#ifndef _WIN32

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "SimulatedState.h"
#include "WindowsApi.h"

namespace {

// The host's callback library: natively its entry points live in the running process.
const char kCallbackLibrary[] = "xlcall32.dll";
const char kCallbackEntryPoint[] = "Excel4";

struct LoadedLibrary {
    void* handle;
    int references;
};

std::mutex modulesMutex;
std::map<void*, LoadedLibrary>& LoadedLibraries() {
    static auto* libraries = new std::map<void*, LoadedLibrary>;
    return *libraries;
}

int FirstModuleBase(dl_phdr_info* info, size_t, void* data) {
    ElfW(Addr) lowest = ~ElfW(Addr)(0);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD)
            lowest = std::min(lowest, info->dlpi_phdr[i].p_vaddr);
    }
    const ElfW(Addr) page = static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE));
    *static_cast<void**>(data) = reinterpret_cast<void*>(info->dlpi_addr + (lowest & ~(page - 1)));
    return 1;  // the first module reported is the main program
}

void* MainProgramBase() {
    static void* base = [] {
        void* found = nullptr;
        dl_iterate_phdr(FirstModuleBase, &found);
        return found;
    }();
    return base;
}

void* ModuleBaseOf(const void* address) {
    Dl_info info;
    if (address == nullptr || dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

std::string FileNameOf(const char* path) {
    std::string name(path);
    const auto slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool IsCallbackLibrary(const char* fileName) {
    return simulated::detail::ToLower(FileNameOf(fileName)) == kCallbackLibrary;
}

bool LibraryLoadFails(const char* fileName) {
    auto& state = simulated::detail::GetState();
    std::lock_guard<std::mutex> lock(state.mutex);
    const auto& failing = state.failingLibraries;
    return failing.count("") != 0 || failing.count(simulated::detail::ToLower(fileName)) != 0 ||
           failing.count(simulated::detail::ToLower(FileNameOf(fileName))) != 0;
}

// A dlopen handle for the module at base, for dlsym; null when the module is unknown.
void* HandleOfModule(void* base) {
    if (base == MainProgramBase()) {
        static void* program = dlopen(nullptr, RTLD_LAZY);
        return program;
    }
    std::lock_guard<std::mutex> lock(modulesMutex);
    auto found = LoadedLibraries().find(base);
    if (found != LoadedLibraries().end()) return found->second.handle;
    Dl_info info;
    if (dladdr(base, &info) == 0 || info.dli_fbase != base || info.dli_fname == nullptr) {
        return nullptr;
    }
    // Already loaded by someone else: take a reference that stays for the process's life.
    void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) LoadedLibraries()[base] = {handle, 1};
    return handle;
}

std::string RealModuleFileName(void* base) {
    if (base == MainProgramBase()) {
        char path[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
        return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
    }
    Dl_info info;
    if (dladdr(base, &info) == 0 || info.dli_fbase != base || info.dli_fname == nullptr) {
        return std::string();
    }
    return info.dli_fname;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (LibraryLoadFails(fileName)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (IsCallbackLibrary(fileName)) {
        void* entry = dlsym(RTLD_DEFAULT, kCallbackEntryPoint);
        void* base = ModuleBaseOf(entry);
        if (base == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
        return static_cast<HMODULE>(base);
    }
    std::string path(fileName);
    std::replace(path.begin(), path.end(), '\\', '/');
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    link_map* map = nullptr;
    void* base = dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 ? ModuleBaseOf(map->l_ld) : nullptr;
    if (base == nullptr) {
        dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(modulesMutex);
    auto inserted = LoadedLibraries().insert({base, {handle, 0}});
    if (!inserted.second) dlclose(handle);  // one dlopen reference per module is enough
    ++inserted.first->second.references;
    return static_cast<HMODULE>(base);
}

BOOL FreeLibrary(HMODULE module) {
    std::lock_guard<std::mutex> lock(modulesMutex);
    auto found = LoadedLibraries().find(module);
    if (found == LoadedLibraries().end()) {
        // The main program and libraries loaded by others stay; that is not an error.
        return module != nullptr ? TRUE : (SetLastError(ERROR_INVALID_HANDLE), FALSE);
    }
    if (--found->second.references == 0) {
        dlclose(found->second.handle);
        LoadedLibraries().erase(found);
    }
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    // Lookup by ordinal (a name below 0x10000) does not exist natively.
    if (reinterpret_cast<std::uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    {
        auto& state = simulated::detail::GetState();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.failingProcs.count(procName) != 0) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
    }
    void* handle =
        HandleOfModule(module != nullptr ? static_cast<void*>(module) : MainProgramBase());
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* address = dlsym(handle, procName);
    if (address == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName == nullptr) return static_cast<HMODULE>(MainProgramBase());
    if (IsCallbackLibrary(moduleName)) {
        void* base = ModuleBaseOf(dlsym(RTLD_DEFAULT, kCallbackEntryPoint));
        if (base == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
        return static_cast<HMODULE>(base);
    }
    // Only the file name part is compared, ignoring case, as Windows does for a bare name.
    struct Search {
        std::string wanted;
        void* base;
    } search{simulated::detail::ToLower(FileNameOf(moduleName)), nullptr};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* search = static_cast<Search*>(data);
            if (info->dlpi_name == nullptr || *info->dlpi_name == '\0') return 0;
            if (simulated::detail::ToLower(FileNameOf(info->dlpi_name)) != search->wanted) return 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                    search->base = ModuleBaseOf(
                        reinterpret_cast<void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr));
                    return 1;
                }
            }
            return 0;
        },
        &search);
    if (search.base == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
    return static_cast<HMODULE>(search.base);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    void* base = module != nullptr ? static_cast<void*>(module) : MainProgramBase();
    std::string name;
    bool simulatedName = false;
    {
        auto& state = simulated::detail::GetState();
        std::lock_guard<std::mutex> lock(state.mutex);
        const auto& names = state.moduleFileNames;
        auto found = names.find(static_cast<HMODULE>(base));
        if (found == names.end() && base == MainProgramBase()) found = names.find(nullptr);
        if (found != names.end()) {
            name = found->second;
            simulatedName = true;
        }
    }
    if (!simulatedName) {
        name = RealModuleFileName(base);
        if (name.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        std::replace(name.begin(), name.end(), '/', '\\');
    }
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As Windows does: a name that does not fit is cut, terminated, and the size returned.
    if (name.size() >= size) {
        std::memcpy(fileName, name.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, name.c_str(), name.size() + 1);
    return static_cast<DWORD>(name.size());
}

SIZE_T VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION buffer, SIZE_T length) {
    {
        auto& state = simulated::detail::GetState();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.virtualQueryFails) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    if (buffer == nullptr || length < sizeof(MEMORY_BASIC_INFORMATION)) {
        SetLastError(ERROR_BAD_LENGTH);
        return 0;
    }
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    void* pageStart =
        reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(address) & ~(page - 1));
    void* moduleBase = ModuleBaseOf(address);
    *buffer = MEMORY_BASIC_INFORMATION{};
    buffer->BaseAddress = pageStart;
    buffer->AllocationBase = moduleBase != nullptr ? moduleBase : pageStart;
    buffer->AllocationProtect = PAGE_EXECUTE_READ;
    buffer->RegionSize = page;
    buffer->State = MEM_COMMIT;
    buffer->Protect = PAGE_READONLY;
    buffer->Type = moduleBase != nullptr ? MEM_IMAGE : MEM_PRIVATE;
    return sizeof(MEMORY_BASIC_INFORMATION);
}

#endif  // _WIN32
