// AddinFuzzer: throws value records decoded from arbitrary bytes at every worksheet function
// the add-in registered, through the substitute host, and checks each call.
//
// The functions are taken from the host's record of xlfRegister, so a function added to the
// add-in is fuzzed with no change here: each "B" argument gets a double, every other argument
// a value record in the mode's layout. Inputs decode as a series of calls; each call's bytes
// choose the function, its arguments (numbers including NaN, infinities, denormals and huge
// counts; texts; booleans; errors; missing and nil values; arrays of random shapes with mixed
// elements; references to cells of every kind, on the sheet or on another one), optionally one
// failing coercion, and the xlAbort request at which Esc is pressed, so that long work is cut
// short as a user would. After every call:
//   - the result is null (the layer's failure) or a well-formed record of the registered
//     return type: a known type, no ownership bit, texts and arrays with storage, arrays of
//     scalars within the mode's size limits;
//   - every block the host handed out (coercion results) has been given back, and nothing
//     was freed that the host does not own.
// A failed check is a finding: it is printed and the process aborts, so that libFuzzer keeps
// the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AddinModule.h"

namespace addinfuzz {

class AddinFuzzer {
  public:
    // Loads the add-in and opens it in a host reporting `version` ("11.0": Excel-4 mode,
    // "12.0": Excel-12 mode). Throws std::runtime_error when that fails.
    AddinFuzzer(const std::string& addinPath, const std::string& version);
    // Closes the add-in; a close that does not return 1 or leaves host blocks out is a finding.
    ~AddinFuzzer();

    // Decodes and makes the calls of one input; returns how many it made.
    std::size_t Run(const std::uint8_t* data, std::size_t size);

    std::size_t Calls() const { return calls_; }
    std::size_t FunctionCount() const { return functions_.size(); }

  private:
    std::unique_ptr<runner::AddinModule> module_;
    std::vector<runner::RegisteredFunction> functions_;
    bool excel12_ = false;
    std::size_t calls_ = 0;
};

// The mode a fuzzing program runs in: the environment variable HESTON_FUZZ_VERSION, "12.0"
// when it is unset.
std::string VersionFromEnvironment();

}  // namespace addinfuzz
