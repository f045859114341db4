// LastError.cpp - native GetLastError/SetLastError: one error code per thread, as on Windows.
#ifndef _WIN32

#include "WindowsApi.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD errorCode) {
    lastError = errorCode;
}

#endif  // _WIN32
