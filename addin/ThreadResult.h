// ThreadResult: the result records of the thread-safe worksheet functions, held in storage
// that belongs to the calling thread.
//
// Excel-12 mode runs thread-safe functions on several threads at once. Their results cannot
// live in the layer's temporary pool: any other worksheet call reclaims the pool wholesale,
// possibly while Excel is still reading a result another thread returned. Each thread
// instead owns one result, rebuilt by the thread's next call (the layer's ThreadStorage).
// Excel copies a function's result before it calls that thread's next function, so one
// result per thread is enough, and nothing has to come back through xlAutoFree.
//
// The layer writes the record (ResultRecord.h): a 1 x 1 matrix becomes a single value, a
// larger one an array; an empty cell becomes an empty text; texts longer than the mode's
// record holds are cut; an array beyond the mode's limits becomes a text that says so.
#pragma once

#include <cstdint>
#include <string>

#include "CellMatrix.h"
#include "XllExport.h"

namespace addin {

class ThreadResult {
  public:
    // Nothing to reclaim: the thread's previous result is overwritten by the next write.
    // Loads the link to Excel when there is none, so that the mode is known.
    static void ReclaimPrevious();

    static LPXLFOPER Of(const xlf::CellMatrix& cells);
    static LPXLFOPER Text(const std::string& text);
    static LPXLFOPER Text(const char* text);  // null is an empty text
    static LPXLFOPER Boolean(bool value);
    static LPXLFOPER Error(std::uint16_t code);
};

}  // namespace addin
