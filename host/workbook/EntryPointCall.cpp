#include "EntryPointCall.h"

#include <stdexcept>
#include <string>

namespace runner {

namespace {

// Appends the type of argument i to Args... and recurses; at the end of the list calls the
// entry point as a function of exactly Args....
template <typename... Args>
void* CallWith(FARPROC entryPoint, const std::vector<CallArgument>& arguments, Args... values) {
    constexpr std::size_t i = sizeof...(Args);
    if (i == arguments.size()) {
        using Function = void*(WINAPI*)(Args...);
        // Through the generic void(*)(): Windows declares FARPROC with a return type.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entryPoint))(values...);
    }
    if constexpr (i < kMaxEntryPointArguments) {
        const CallArgument& next = arguments[i];
        if constexpr (i < kMaxMixedArguments) {
            if (next.isDouble)
                return CallWith<Args..., double>(entryPoint, arguments, values..., next.number);
        }
        return CallWith<Args..., void*>(entryPoint, arguments, values..., next.pointer);
    }
    return nullptr;
}

}  // namespace

void* CallEntryPoint(FARPROC entryPoint, const std::vector<CallArgument>& arguments) {
    if (arguments.size() > kMaxEntryPointArguments) {
        throw std::length_error("entry points take at most " +
                                std::to_string(kMaxEntryPointArguments) + " arguments here");
    }
    for (std::size_t i = kMaxMixedArguments; i < arguments.size(); ++i) {
        if (arguments[i].isDouble) {
            throw std::length_error("arguments beyond the first " +
                                    std::to_string(kMaxMixedArguments) + " must be pointers here");
        }
    }
    return CallWith<>(entryPoint, arguments);
}

}  // namespace runner
