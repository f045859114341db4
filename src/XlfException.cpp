#include "XlfException.h"

namespace xlf {

XlfException::XlfException(const std::string& message) : message_(message) {}

XlfException::~XlfException() = default;

const char* XlfException::what() const noexcept {
    return message_.c_str();
}

XlfExceptionAbort::XlfExceptionAbort() : XlfException("abort") {}

XlfExceptionStackOverflow::XlfExceptionStackOverflow() : XlfException("stack overflow") {}

XlfExceptionUncalculated::XlfExceptionUncalculated() : XlfException("") {}

}  // namespace xlf
