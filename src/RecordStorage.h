// RecordStorage: where the records the layer writes for Excel live, the allocation policy of
// its record writer (RecordOps). Each policy hands out raw bytes, rounded up to a multiple of
// 8 so that every record carved from them is aligned, and throws std::bad_alloc when the
// memory cannot be had.
//
// TemporaryPool  the temporary memory of XlfExcel, shared by every value of the add-in and
//                reclaimed wholesale at the start of the next worksheet call. Only functions
//                Excel calls on its main thread may use it: any call reclaims it.
// ThreadStorage  storage that belongs to the calling thread and holds one result at a time:
//                BeginResult reclaims whatever the thread's previous result used. Excel
//                copies a function's result before it calls that thread's next function, so
//                the thread-safe functions of Excel-12 mode return their results from here
//                while other threads work, and nothing comes back through xlAutoFree. A
//                thread's storage is freed when the thread ends, the closing thread's when
//                Excel closes the add-in.
#pragma once

#include <cstddef>

namespace xlf {

struct TemporaryPool {
    static void* Allocate(std::size_t bytes);
    // Nothing to do: the pool is reclaimed per worksheet call, not per result.
    static void BeginResult() {}
};

struct ThreadStorage {
    static void* Allocate(std::size_t bytes);
    // The thread's previous result is given up: its records and texts may be overwritten.
    static void BeginResult();
};

}  // namespace xlf
