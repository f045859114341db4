// The registered close actions of the add-in's parts.
#include "CloseHooks.h"

#include <vector>

namespace xlf {

namespace {

// Filled during static initialisation, read at close: a function-local object so that
// registrations from any source file find it constructed.
std::vector<void (*)()>& Actions() {
    static std::vector<void (*)()> actions;
    return actions;
}

}  // namespace

CloseHook::CloseHook(void (*action)()) {
    Actions().push_back(action);
}

void RunCloseHooks() {
    for (void (*action)() : Actions()) action();
}

}  // namespace xlf
