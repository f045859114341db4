// XlfException: the exceptions of the Excel interface layer.
//
// XlfException carries a message; its three subclasses carry fixed messages and are told
// apart by type. They derive from std::exception but not from std::runtime_error, so a
// handler for one of the two families never catches the other. A worksheet function turns
// any XlfException into a null result.
#pragma once

#include <exception>
#include <string>

namespace xlf {

// Failure of an operation of the layer, such as an array operation on a value that is not
// an array, or a host return code reporting failure.
class XlfException : public std::exception {
  public:
    // The message is copied, so what() stays valid as long as the exception lives.
    explicit XlfException(const std::string& message);
    XlfException(const XlfException&) = default;
    XlfException& operator=(const XlfException&) = default;
    ~XlfException() override;

    const char* what() const noexcept override;

  private:
    std::string message_;
};

// The host reported that the user aborted the computation.
class XlfExceptionAbort : public XlfException {
  public:
    XlfExceptionAbort();
};

// The host reported a stack overflow.
class XlfExceptionStackOverflow : public XlfException {
  public:
    XlfExceptionStackOverflow();
};

// The host reported that a referenced cell is not yet calculated; the message is empty.
class XlfExceptionUncalculated : public XlfException {
  public:
    XlfExceptionUncalculated();
};

}  // namespace xlf
