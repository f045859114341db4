// XlfOperImpl12: the value implementation of Excel-12 mode, over XLOPER12 records.
//
// Strings are a count character and wide characters, with no length limit of their own:
// a text written from 8-bit characters is converted from the runtime's code page and keeps
// its length in bytes as its count.
#pragma once

#include "XlfOperImplBase.h"

namespace xlf {
namespace detail {

struct Excel12ImplTraits : Excel12Form {
    static constexpr const char* kFile = "XlfOperImpl12";
    static constexpr int kFreeLine = 77;
    static constexpr int kCStringLine = 0;  // no truncation in this form
    static constexpr int kWideStringLine = 0;
    static constexpr bool kWideCellIsWide = true;
    static constexpr bool kWideCellAsText = false;
    static constexpr bool kElementFailureThrows = false;
};

}  // namespace detail

class XlfOperImpl12 : public detail::XlfOperImplBase<detail::Excel12ImplTraits> {
  public:
    XlfOperImpl12() = default;

    // Throws the plain text "Unable to convert Excel 12 datatype to Excel 4 datatype -
    // operation not yet implemented".
    XLOPER* Xloper4Pointer(const XlfOper& oper) const override;
    XLOPER12* Xloper12Pointer(const XlfOper& oper) const override { return Rec(oper); }
};

}  // namespace xlf
