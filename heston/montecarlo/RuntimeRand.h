// RuntimeRand: the uniform integer stream behind the normal random numbers and the Monte Carlo
// prices, 0 ... 32767, never seeded by the library.
//
// On Windows it is the C runtime's rand. Elsewhere it is the Windows runtime's generator
// (state = state * 214013 + 2531011 modulo 2^32, output (state >> 16) & 0x7fff, first state 1),
// because other runtimes' rand has a larger range and a different stream; both builds thus draw
// the same numbers. The stream is process-wide and unlocked: one computation at a time.
#pragma once

#include <cstdint>

// The next integer of the stream, in 0 ... 32767.
int RuntimeRand();

// How many integers RuntimeRand has drawn since the process started. With the first state known
// this tells where the stream stands, so tests can count draws and replay the generator.
std::uint64_t RuntimeRandDrawCount();

// Puts the stream back at its first state and the draw count at 0, so that a test can replay
// the same numbers twice. The library itself never calls it.
void RuntimeRandRestart();
