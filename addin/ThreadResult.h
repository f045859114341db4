// ThreadResult: the result records of the thread-safe worksheet functions, held in storage
// that belongs to the calling thread.
//
// Excel-12 mode runs thread-safe functions on several threads at once. Their results cannot
// live in the layer's temporary pool: any other worksheet call reclaims the pool wholesale,
// possibly while Excel is still reading a result another thread returned. Each thread
// instead owns one result: a record with its array elements and texts, rebuilt by the
// thread's next call. Excel copies a function's result before it calls that thread's next
// function, so one record per thread is enough, and nothing has to come back through
// xlAutoFree.
//
// The record has the current mode's form (XLOPER12 or XLOPER). A 1 x 1 matrix becomes a
// single value, a larger one an array; an empty cell becomes an empty text. Texts longer
// than the form holds (255 characters in an XLOPER, 32767 in an XLOPER12) are cut. An array
// beyond the form's limits (65535 rows and 255 columns in Excel-4 mode) becomes a text that
// says so.
#pragma once

#include <cstdint>
#include <string>

#include "CellMatrix.h"
#include "XllExport.h"

namespace addin {

class ThreadResult {
  public:
    // The value the thread-safe guard hands Excel for a body's result.
    using Value = xlf::CellMatrix;

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
