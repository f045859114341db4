// Messages.cpp - native MessageBoxA (recorded, answers OK), FormatMessageA for system
// error texts, and LocalFree for the buffers FormatMessageA allocates.
#ifndef _WIN32

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SimulatedState.h"
#include "WindowsApi.h"

namespace {

// System texts of the error codes the native substitutes set; others get a generic text.
std::string SystemMessage(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS:
            return "The operation completed successfully.\r\n";
        case ERROR_FILE_NOT_FOUND:
            return "The system cannot find the file specified.\r\n";
        case ERROR_ACCESS_DENIED:
            return "Access is denied.\r\n";
        case ERROR_INVALID_HANDLE:
            return "The handle is invalid.\r\n";
        case ERROR_NOT_ENOUGH_MEMORY:
            return "Not enough memory resources are available to process this command.\r\n";
        case ERROR_BAD_LENGTH:
            return "The program issued a command but the command length is incorrect.\r\n";
        case ERROR_INVALID_PARAMETER:
            return "The parameter is incorrect.\r\n";
        case ERROR_INSUFFICIENT_BUFFER:
            return "The data area passed to a system call is too small.\r\n";
        case ERROR_MOD_NOT_FOUND:
            return "The specified module could not be found.\r\n";
        case ERROR_PROC_NOT_FOUND:
            return "The specified procedure could not be found.\r\n";
        case ERROR_ALREADY_EXISTS:
            return "Cannot create a file when that file already exists.\r\n";
        case ERROR_ENVVAR_NOT_FOUND:
            return "The system could not find the environment option that was entered.\r\n";
        case ERROR_NOT_OWNER:
            return "Attempt to release mutex not owned by caller.\r\n";
        case ERROR_INVALID_WINDOW_HANDLE:
            return "Invalid window handle.\r\n";
        default:
            return "Unknown error " + std::to_string(code) + ".\r\n";
    }
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    auto& state = simulated::detail::GetState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.messageBoxes.push_back(
        {owner, text != nullptr ? text : "", caption != nullptr ? caption : "Error", type});
    return IDOK;
}

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list*) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string message = SystemMessage(messageId);
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        // buffer is really the address of a pointer that receives the allocated text.
        auto* text = static_cast<char*>(std::malloc(std::max<size_t>(message.size() + 1, size)));
        if (text == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(text, message.c_str(), message.size() + 1);
        *reinterpret_cast<char**>(buffer) = text;
        return static_cast<DWORD>(message.size());
    }
    if (message.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, message.c_str(), message.size() + 1);
    return static_cast<DWORD>(message.size());
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

#endif  // _WIN32
