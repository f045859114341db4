// RealDesktop.cpp - the simulated desktop's controls in the Windows build, where the add-in
// meets the real desktop instead: windows, debugger, module names and failures are whatever
// Windows reports, so every control does nothing and the captures stay empty. Programs that
// run in both builds (xllhost) may call them unconditionally.
#ifdef _WIN32

#include "SimulatedDesktop.h"

namespace simulated {

void AddWindow(HWND, const std::string&, HWND) {}
void ClearWindows() {}
void AttachDebugger() {}
void DetachDebugger() {}
std::vector<std::string> DebugOutput() {
    return {};
}
void ClearDebugOutput() {}
void SetModuleFileName(HMODULE, const std::string&) {}
void ClearModuleFileNames() {}
void SetVirtualQueryFails(bool) {}
void FailLoadLibrary(const std::string&) {}
void FailProcAddress(const std::string&) {}
void ClearFailures() {}
std::vector<MessageBoxRecord> MessageBoxes() {
    return {};
}
void ClearMessageBoxes() {}
void Reset() {}

}  // namespace simulated

#endif  // _WIN32
