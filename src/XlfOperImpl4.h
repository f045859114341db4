// XlfOperImpl4: the value implementation of Excel-4 mode, over XLOPER records.
//
// Strings are a count byte and 8-bit characters. A text written from 8-bit characters counts
// a terminating NUL (at most 254 characters); one written from wide characters is converted
// to the runtime's code page and counts no NUL (at most 255). Longer texts are truncated and
// reported on the diagnostic stream.
#pragma once

#include "XlfOperImplBase.h"

namespace xlf {
namespace detail {

struct Excel4ImplTraits : Excel4Form {
    static constexpr const char* kFile = "XlfOperImpl4";
    static constexpr int kFreeLine = 78;
    static constexpr int kCStringLine = 782;
    static constexpr int kWideStringLine = 813;
    static constexpr bool kWideCellIsWide = false;
    static constexpr bool kWideCellAsText = true;
    static constexpr bool kElementFailureThrows = false;
};

}  // namespace detail

class XlfOperImpl4 : public detail::XlfOperImplBase<detail::Excel4ImplTraits> {
  public:
    XlfOperImpl4() = default;

    XLOPER* Xloper4Pointer(const XlfOper& oper) const override { return Rec(oper); }
    // Throws the plain text "Unable to convert Excel 4 datatype to Excel 12 datatype -
    // operation not yet implemented".
    XLOPER12* Xloper12Pointer(const XlfOper& oper) const override;
};

}  // namespace xlf
