// DesktopWindows.cpp - native EnumWindows, GetClassNameA and GetParent over the simulated
// top-level windows.
#ifndef _WIN32

#include <algorithm>
#include <cstring>

#include "SimulatedState.h"
#include "WindowsApi.h"

namespace {

bool FindWindow(HWND handle, simulated::detail::Window* window) {
    auto& state = simulated::detail::GetState();
    std::lock_guard<std::mutex> lock(state.mutex);
    for (const auto& candidate : state.windows) {
        if (candidate.handle == handle) {
            *window = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

BOOL EnumWindows(WNDENUMPROC enumProc, LPARAM lParam) {
    if (enumProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> handles;
    {
        auto& state = simulated::detail::GetState();
        std::lock_guard<std::mutex> lock(state.mutex);
        for (const auto& window : state.windows) handles.push_back(window.handle);
    }
    // The callback runs without the lock: it calls GetClassNameA and GetParent.
    for (HWND handle : handles) {
        if (!enumProc(handle, lParam)) return FALSE;
    }
    return TRUE;
}

int GetClassNameA(HWND window, LPSTR className, int maxCount) {
    simulated::detail::Window found;
    if (!FindWindow(window, &found)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (className == nullptr || maxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Cut to the buffer and always terminated; the result counts the characters copied.
    const size_t copied = std::min(found.className.size(), static_cast<size_t>(maxCount - 1));
    std::memcpy(className, found.className.data(), copied);
    className[copied] = '\0';
    return static_cast<int>(copied);
}

HWND GetParent(HWND window) {
    simulated::detail::Window found;
    if (!FindWindow(window, &found)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return found.parent;
}

#endif  // _WIN32
