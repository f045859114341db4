#include "WorksheetArguments.h"

#include <climits>

namespace addin {

int TruncateToInt(double value) {
    // Both bounds are exact doubles; NaN fails both comparisons.
    if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int>(value);
    return INT_MIN;
}

}  // namespace addin
