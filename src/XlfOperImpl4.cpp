#include "XlfOperImpl4.h"

namespace xlf {

XLOPER12* XlfOperImpl4::Xloper12Pointer(const XlfOper&) const {
    throw "Unable to convert Excel 4 datatype to Excel 12 datatype - operation not yet "
          "implemented";
}

}  // namespace xlf
