// SimulatedDesktop.cpp - control of the simulated desktop seen by the native substitutes.
#ifndef _WIN32

#include "SimulatedDesktop.h"

#include <algorithm>
#include <cctype>

#include "SimulatedState.h"

namespace simulated {
namespace detail {

State& GetState() {
    // Never destroyed: substitutes may still be called from static destructors.
    static State* state = new State;
    return *state;
}

std::string ToLower(const std::string& text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

}  // namespace detail

using detail::GetState;

namespace {
std::unique_lock<std::mutex> Lock() {
    return std::unique_lock<std::mutex>(GetState().mutex);
}
}  // namespace

void AddWindow(HWND handle, const std::string& className, HWND parent) {
    auto lock = Lock();
    GetState().windows.push_back({handle, className, parent});
}

void ClearWindows() {
    auto lock = Lock();
    GetState().windows.clear();
}

void AttachDebugger() {
    auto lock = Lock();
    GetState().debuggerAttached = true;
}

void DetachDebugger() {
    auto lock = Lock();
    GetState().debuggerAttached = false;
}

std::vector<std::string> DebugOutput() {
    auto lock = Lock();
    return GetState().debugOutput;
}

void ClearDebugOutput() {
    auto lock = Lock();
    GetState().debugOutput.clear();
}

void SetModuleFileName(HMODULE module, const std::string& fileName) {
    auto lock = Lock();
    GetState().moduleFileNames[module] = fileName;
}

void ClearModuleFileNames() {
    auto lock = Lock();
    GetState().moduleFileNames.clear();
}

void SetVirtualQueryFails(bool fails) {
    auto lock = Lock();
    GetState().virtualQueryFails = fails;
}

void FailLoadLibrary(const std::string& fileName) {
    auto lock = Lock();
    GetState().failingLibraries.insert(detail::ToLower(fileName));
}

void FailProcAddress(const std::string& procName) {
    auto lock = Lock();
    GetState().failingProcs.insert(procName);
}

void ClearFailures() {
    auto lock = Lock();
    GetState().virtualQueryFails = false;
    GetState().failingLibraries.clear();
    GetState().failingProcs.clear();
}

std::vector<MessageBoxRecord> MessageBoxes() {
    auto lock = Lock();
    return GetState().messageBoxes;
}

void ClearMessageBoxes() {
    auto lock = Lock();
    GetState().messageBoxes.clear();
}

void Reset() {
    ClearWindows();
    DetachDebugger();
    ClearDebugOutput();
    ClearModuleFileNames();
    ClearFailures();
    ClearMessageBoxes();
}

}  // namespace simulated

#endif  // _WIN32
