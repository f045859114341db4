#include "XlfOperImpl12.h"

namespace xlf {

XLOPER* XlfOperImpl12::Xloper4Pointer(const XlfOper&) const {
    throw "Unable to convert Excel 12 datatype to Excel 4 datatype - operation not yet "
          "implemented";
}

}  // namespace xlf
