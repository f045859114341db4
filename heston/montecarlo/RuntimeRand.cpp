#include "montecarlo/RuntimeRand.h"

#ifdef _WIN32
#include <cstdlib>
#endif

namespace {

std::uint64_t drawCount = 0;

#ifdef _WIN32
int NextFromRuntime() {
    return std::rand();
}

// The runtime starts as if seeded with 1.
void RestartRuntime() {
    std::srand(1);
}
#else
std::uint32_t state = 1;

int NextFromRuntime() {
    state = state * 214013u + 2531011u;  // unsigned arithmetic wraps modulo 2^32
    return static_cast<int>((state >> 16) & 0x7fffu);
}

void RestartRuntime() {
    state = 1;
}
#endif

}  // namespace

int RuntimeRand() {
    ++drawCount;
    return NextFromRuntime();
}

std::uint64_t RuntimeRandDrawCount() {
    return drawCount;
}

void RuntimeRandRestart() {
    RestartRuntime();
    drawCount = 0;
}
