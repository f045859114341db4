#include "NamedMutexLock.h"

#include "WindowsApi.h"

namespace xlf {

NamedMutexLock::NamedMutexLock(const char* name)
    : handle_(CreateMutexA(nullptr, FALSE, name)), owned_(false) {
    if (!handle_) return;
    const DWORD wait = WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
    // An abandoned mutex (its last owner died holding it) is still ours now.
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

NamedMutexLock::~NamedMutexLock() {
    if (!handle_) return;
    if (owned_) ReleaseMutex(static_cast<HANDLE>(handle_));
    CloseHandle(static_cast<HANDLE>(handle_));
}

}  // namespace xlf
