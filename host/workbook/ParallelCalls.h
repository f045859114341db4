// ParallelCalls: the formulas of an evaluated workbook called again from several threads at
// once, as Excel's multi-threaded recalculation calls thread-safe functions, each result
// compared with the one of a call made alone.
//
// Only functions registered as thread-safe ("$" in their type text) run on the worker
// threads. Meanwhile the calling thread keeps calling the workbook's other functions, as
// Excel's main thread computes the cells that are not thread-safe during a multi-threaded
// recalculation; their results are not compared, since some draw from a random stream, but
// their temporary memory comes and goes while the workers' results are read. Threads are
// POSIX threads, which both the native runtime and mingw-w64's offer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Evaluator.h"
#include "SheetValue.h"
#include "Workbook.h"

namespace runner {

struct ThreadedCall {
    std::string cell;  // where the formula stands, for reports
    Formula formula;
    bool threadSafe = false;
    CallResult expected;  // the result of a call made alone
};

// Every formula of the workbook with its result called alone, after Evaluate gave sheet.
std::vector<ThreadedCall> ThreadedCalls(const Workbook& workbook, const Evaluator& evaluator,
                                        const std::vector<RegisteredFunction>& functions,
                                        const Sheet& sheet);

struct ParallelReport {
    std::size_t threadSafeCalls = 0;  // made on the worker threads
    std::size_t otherCalls = 0;       // made on the calling thread meanwhile
    std::size_t differing = 0;        // thread-safe results unlike the ones called alone
    std::string firstDifference;      // cell and both results of the first, if any
};

// threads worker threads each call every thread-safe formula rounds times, starting at
// different formulas; all start together. Throws std::runtime_error when a thread cannot be
// started.
ParallelReport CallFromThreads(const Evaluator& evaluator, const std::vector<ThreadedCall>& calls,
                               const Sheet& sheet, int threads, int rounds);

// Same kind, and the same number bit for bit, text, truth value or error code, cell by cell.
bool SameResult(const CallResult& a, const CallResult& b);

}  // namespace runner
