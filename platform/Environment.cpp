// Environment.cpp - native GetEnvironmentVariableA and SetEnvironmentVariableA over the
// process environment.
#ifndef _WIN32

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "WindowsApi.h"

namespace {
// getenv and setenv are not safe against each other; the substitutes serialise them.
std::mutex environmentMutex;
}  // namespace

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> lock(environmentMutex);
    const char* value = std::getenv(name);
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const size_t length = std::strlen(value);
    // Too small a buffer: nothing is copied and the size needed, terminator included, comes
    // back, so a caller can allocate and ask again.
    if (buffer == nullptr || length + 1 > size) return static_cast<DWORD>(length + 1);
    std::memcpy(buffer, value, length + 1);
    return static_cast<DWORD>(length);
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(environmentMutex);
    // A null value removes the variable.
    const int result = value == nullptr ? unsetenv(name) : setenv(name, value, 1);
    if (result != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

#endif  // _WIN32
