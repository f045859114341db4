// ProcessMemory.cpp - native GetCurrentProcess and GetProcessMemoryInfo, from /proc/self/status:
// the working set is the resident set (VmRSS, peak VmHWM), the private commit the data
// segment and heap (VmData). Only the calling process can be asked.
#ifndef _WIN32

#include <cstdio>
#include <cstring>

#include "WindowsApi.h"

namespace {

// The pseudo handle of the current process, as Windows returns it.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

}  // namespace

HANDLE GetCurrentProcess() {
    return kCurrentProcess;
}

BOOL GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD size) {
    if (process != kCurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (counters == nullptr || size < sizeof(PROCESS_MEMORY_COUNTERS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *counters = PROCESS_MEMORY_COUNTERS{};
    counters->cb = sizeof(PROCESS_MEMORY_COUNTERS);
    char line[256];
    while (std::fgets(line, sizeof(line), status) != nullptr) {
        unsigned long kilobytes = 0;
        if (std::sscanf(line, "VmRSS: %lu", &kilobytes) == 1) {
            counters->WorkingSetSize = kilobytes * 1024;
        } else if (std::sscanf(line, "VmHWM: %lu", &kilobytes) == 1) {
            counters->PeakWorkingSetSize = kilobytes * 1024;
        } else if (std::sscanf(line, "VmData: %lu", &kilobytes) == 1) {
            counters->PagefileUsage = kilobytes * 1024;
            counters->PeakPagefileUsage = counters->PagefileUsage;
        }
    }
    std::fclose(status);
    return TRUE;
}

#endif  // _WIN32
