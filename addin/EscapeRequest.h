// EscapeRequest: the stop request the long worksheet functions (Monte Carlo prices, both
// calibrations) hand to the numerics: "has the user pressed Esc in Excel?".
//
// It asks Excel through xlAbort with FALSE, which also clears the break: the function being
// computed ends with the text "Calculation cancelled", and Excel goes on with the rest of the
// recalculation as if nothing had been pressed; a later long cell runs until Esc is pressed
// again. The numerics asks about every 50 ms of work, so the asking costs nothing measurable.
#pragma once

#include "XlfExcel.h"
#include "execution/StopRequest.h"

namespace addin {

inline heston::StopRequest EscapeRequest() {
    heston::StopRequest request;
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
