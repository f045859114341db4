// SimulatedDesktop.h - what the native Windows substitutes see, set up by tests.
//
// Native build only. Every setting is process-wide and thread-safe; Reset() puts all of it
// back to the start state: no windows, no debugger, empty debug capture, real module names,
// no injected failures, no message boxes.
#ifndef SIMULATEDDESKTOP_H
#define SIMULATEDDESKTOP_H

#include <string>
#include <vector>

#include "WindowsApi.h"

namespace simulated {

// Top-level windows, enumerated by EnumWindows in the order they were added.
void AddWindow(HWND handle, const std::string& className, HWND parent);
void ClearWindows();

// Debugger: IsDebuggerPresent answers what was set; OutputDebugStringA appends every string
// to the capture, in call order.
void AttachDebugger();
void DetachDebugger();
std::vector<std::string> DebugOutput();
void ClearDebugOutput();

// Module file names: GetModuleFileNameA of that module (null: the main program) returns the
// given text instead of the real path, e.g. a Windows path such as C:\addins\pricing.xll.
void SetModuleFileName(HMODULE module, const std::string& fileName);
void ClearModuleFileNames();

// Injected failures.
void SetVirtualQueryFails(bool fails);
// LoadLibraryA of this name (compared ignoring case; "" means every name) fails.
void FailLoadLibrary(const std::string& fileName);
// GetProcAddress of this entry-point name fails in every module.
void FailProcAddress(const std::string& procName);
void ClearFailures();

// Message boxes shown through MessageBoxA, in order; each answers IDOK.
struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
std::vector<MessageBoxRecord> MessageBoxes();
void ClearMessageBoxes();

void Reset();

}  // namespace simulated

#endif  // SIMULATEDDESKTOP_H
