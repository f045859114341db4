// Debugger.cpp - native IsDebuggerPresent and OutputDebugStringA over the simulated desktop.
#ifndef _WIN32

#include "SimulatedState.h"
#include "WindowsApi.h"

BOOL IsDebuggerPresent() {
    auto& state = simulated::detail::GetState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.debuggerAttached ? TRUE : FALSE;
}

void OutputDebugStringA(LPCSTR outputString) {
    auto& state = simulated::detail::GetState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.debugOutput.emplace_back(outputString != nullptr ? outputString : "");
}

#endif  // _WIN32
