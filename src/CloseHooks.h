// CloseHooks: work the add-in's own parts need done when Excel closes the add-in, such as
// joining threads they started. Each part owns a static CloseHook; xlAutoClose runs them all,
// in the order they were registered.
#pragma once

namespace xlf {

class CloseHook {
  public:
    // Registers action for every later close; it must not throw.
    explicit CloseHook(void (*action)());
};

// Runs every registered action (from xlAutoClose).
void RunCloseHooks();

}  // namespace xlf
