// EntryPointCall: calls an add-in's worksheet function whose argument list is known only at
// run time, from its registered type text, as Excel does.
//
// Every argument is a double ("B") or a pointer (value records, texts); the result is a
// pointer to a value record. The call goes through a function pointer of exactly the
// registered signature and Excel's calling convention (stdcall on 32-bit Windows), built by
// choosing, argument by argument, between double and pointer; that covers every signature of
// up to kMaxMixedArguments arguments, and of up to kMaxEntryPointArguments when the arguments
// beyond kMaxMixedArguments are pointers (each further mixed argument would double the
// number of signatures compiled).
#pragma once

#include <cstddef>
#include <vector>

#include "WindowsApi.h"

namespace runner {

constexpr std::size_t kMaxMixedArguments = 12;
constexpr std::size_t kMaxEntryPointArguments = 14;

struct CallArgument {
    bool isDouble = false;
    double number = 0.0;
    void* pointer = nullptr;

    static CallArgument Double(double value) { return {true, value, nullptr}; }
    static CallArgument Pointer(void* value) { return {false, 0.0, value}; }
};

// Throws std::length_error for more than kMaxEntryPointArguments arguments, or a double
// beyond the first kMaxMixedArguments.
void* CallEntryPoint(FARPROC entryPoint, const std::vector<CallArgument>& arguments);

}  // namespace runner
