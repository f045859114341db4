// The fuzz target without libFuzzer: random inputs from a seeded generator, or the files
// named on the command line, for builds where libFuzzer is not at hand (the Windows add-ins
// under Wine). Usage:
//   addin_fuzz_driver ADDIN VERSION SEED CALLS [CORPUS_FILE...]
// replays every corpus file, then makes random inputs until CALLS calls were made; prints the
// counts and the time. A finding aborts with its description.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "AddinFuzzer.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s ADDIN VERSION SEED CALLS [CORPUS_FILE...]\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t seed = std::strtoull(argv[3], nullptr, 10);
    const std::size_t wanted = std::strtoull(argv[4], nullptr, 10);
    try {
        addinfuzz::AddinFuzzer fuzzer(argv[1], argv[2]);
        for (int i = 5; i < argc; ++i) {
            std::ifstream file(argv[i], std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
            fuzzer.Run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        }
        std::mt19937_64 generator(seed);
        std::vector<std::uint8_t> input;
        std::size_t inputs = 0;
        while (fuzzer.Calls() < wanted) {
            input.resize(1 + generator() % 400);
            for (std::uint8_t& byte : input) byte = static_cast<std::uint8_t>(generator());
            fuzzer.Run(input.data(), input.size());
            ++inputs;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf(
            "%zu calls (%zu random inputs, %d corpus files) of %zu functions, version "
            "%s, seed %llu: 0 findings in %.1f s\n",
            fuzzer.Calls(), inputs, argc - 5, fuzzer.FunctionCount(), argv[2],
            static_cast<unsigned long long>(seed), seconds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cannot run: %s\n", error.what());
        return 2;
    }
    return 0;
}
