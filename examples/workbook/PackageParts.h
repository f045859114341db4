// PackageParts: edits parts of a finished .xlsx file (a zip package of XML parts) in place,
// for what the workbook library cannot write itself (see DemoXlsx.cpp).
#pragma once

#include <functional>
#include <string>

namespace demo {

// Calls edit with each part's name and its content, which the call may change, and writes the
// package anew with its parts in the same order. It is written to a temporary file beside it
// first, so that a failure leaves it as it was. Throws std::runtime_error when the package
// cannot be read or written.
void EditPackageParts(
    const std::string& path,
    const std::function<void(const std::string& name, std::string& content)>& edit);

}  // namespace demo
