// EscapeRequest: the stop request the long worksheet functions (Monte Carlo prices, both
// calibrations, the path simulations) hand to the numerics: "has the user pressed Esc in
// Excel?". A call that Excel runs on a compute cluster (GuardedClusterSafeCall) gets an empty
// request: nothing is asked there, and the numerics never stops.
//
// It asks Excel through xlAbort with FALSE, which also clears the break: the function being
// computed ends with the text "Calculation cancelled", and Excel goes on with the rest of the
// recalculation as if nothing had been pressed; a later long cell runs until Esc is pressed
// again. The numerics asks about every 50 ms of work, so the asking costs nothing measurable.
#pragma once

#include "WorksheetGuard.h"
#include "XlfExcel.h"
#include "execution/StopRequest.h"

namespace addin {

inline heston::StopRequest EscapeRequest() {
    heston::StopRequest request;
    if (RunningOnClusterNow()) return request;
    // A question that cannot be put (no link, no memory for its records) is answered "go on".
    request.shouldStop = []() noexcept {
        try {
            return xlf::XlfExcel::Current().EscapePressed();
        } catch (...) {
            return false;
        }
    };
    return request;
}

}  // namespace addin
