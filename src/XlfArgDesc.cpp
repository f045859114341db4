#include "XlfArgDesc.h"

#include <iostream>

#include "Diagnostics.h"
#include "XlfExcel.h"

namespace xlf {

namespace {

// The function wizard's argument list shows about this many characters of a name.
constexpr std::size_t kWizardNameLength = 18;
constexpr char kDescriptionEnding[] = ". ";

}  // namespace

XlfArgDesc::XlfArgDesc(const std::string& name, const std::string& description,
                       const std::string& type)
    : name_(name), description_(description), type_(type) {
    CheckNameLength();
    CompleteDescription();
}

void XlfArgDesc::SetName(const std::string& name) {
    name_ = name;
    CheckNameLength();
}

void XlfArgDesc::SetDescription(const std::string& description) {
    description_ = description;
    CompleteDescription();
}

std::string XlfArgDesc::TypeCode() const {
    if (type_ == "XLF_OPER") return XlfExcel::Current().OperTypeCode();
    if (type_ == "XLF_XLOPER") return XlfExcel::Current().XloperTypeCode();
    if (type_ == "XLF_WSTR") return XlfExcel::Current().WideStringTypeCode();
    return type_;
}

void XlfArgDesc::CheckNameLength() const {
    if (name_.size() > kWizardNameLength) {
        std::cerr << XLF_LOCATION("XlfArgDesc", 37) << "Argument name \"" << name_
                  << "\" may be too long to fit the in the function wizard" << std::endl;
    }
}

void XlfArgDesc::CompleteDescription() {
    // Excel runs the help texts of consecutive arguments together; the ending keeps them
    // apart as sentences.
    const std::size_t size = description_.size();
    if (size < 2 || description_.compare(size - 2, 2, kDescriptionEnding) != 0) {
        description_ += kDescriptionEnding;
    }
}

}  // namespace xlf
