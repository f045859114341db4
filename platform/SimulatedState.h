// SimulatedState.h - the process-wide state behind the native Windows substitutes.
//
// Internal to platform/: the control functions of SimulatedDesktop.h write it, the
// substitutes read it. Every access holds the state's mutex.
#ifndef SIMULATEDSTATE_H
#define SIMULATEDSTATE_H

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "SimulatedDesktop.h"

namespace simulated {
namespace detail {

struct Window {
    HWND handle;
    std::string className;
    HWND parent;
};

struct State {
    std::mutex mutex;
    std::vector<Window> windows;
    bool debuggerAttached = false;
    std::vector<std::string> debugOutput;
    std::map<HMODULE, std::string> moduleFileNames;
    bool virtualQueryFails = false;
    std::set<std::string> failingLibraries;  // lower case; "" fails every library
    std::set<std::string> failingProcs;
    std::vector<MessageBoxRecord> messageBoxes;
};

State& GetState();

// ASCII lower case, as Windows compares module names.
std::string ToLower(const std::string& text);

}  // namespace detail
}  // namespace simulated

#endif  // SIMULATEDSTATE_H
