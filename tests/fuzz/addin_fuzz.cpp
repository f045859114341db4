// libFuzzer target: inputs decoded by AddinFuzzer into calls of the add-in's worksheet
// functions in the substitute host, in the mode HESTON_FUZZ_VERSION selects. Built with
// clang's -fsanitize=fuzzer together with AddressSanitizer and UndefinedBehaviorSanitizer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "AddinFuzzer.h"

namespace {

std::unique_ptr<addinfuzz::AddinFuzzer> fuzzer;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    try {
        fuzzer.reset(
            new addinfuzz::AddinFuzzer(HESTON_ADDIN_PATH, addinfuzz::VersionFromEnvironment()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cannot start: %s\n", error.what());
        std::exit(2);
    }
    std::atexit([] {
        std::fprintf(stderr, "addin_fuzz: %zu calls of %zu functions in Excel %s mode\n",
                     fuzzer->Calls(), fuzzer->FunctionCount(),
                     addinfuzz::VersionFromEnvironment() == "12.0" ? "12" : "4");
        fuzzer.reset();  // closes the add-in
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzer->Run(data, size);
    return 0;
}
