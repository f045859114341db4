// Tests of the layer's exceptions: their messages, copying, and which handlers catch them.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "XlfException.h"

namespace {

using xlf::XlfException;
using xlf::XlfExceptionAbort;
using xlf::XlfExceptionStackOverflow;
using xlf::XlfExceptionUncalculated;

// Which of two handlers, XlfException& first, catches the exception thrown by `raise`.
template <typename Raise>
std::string CaughtBy(Raise raise) {
    try {
        try {
            raise();
        } catch (const XlfException& e) {
            return std::string("XlfException: ") + e.what();
        }
    } catch (const std::runtime_error& e) {
        return std::string("runtime_error: ") + e.what();
    } catch (...) {
        return "other";
    }
    return "none";
}

TEST(XlfException, MessagesAreCopiedAndFixedForTheSubclasses) {
    std::string message = "array operation on a non-array value";
    const XlfException e(message);
    message.assign("changed afterwards");
    EXPECT_STREQ(e.what(), "array operation on a non-array value");

    const XlfException copy(e);
    EXPECT_STREQ(copy.what(), "array operation on a non-array value");
    EXPECT_NE(copy.what(), e.what());  // the copy holds its own text

    EXPECT_STREQ(XlfExceptionAbort().what(), "abort");
    EXPECT_STREQ(XlfExceptionStackOverflow().what(), "stack overflow");
    EXPECT_STREQ(XlfExceptionUncalculated().what(), "");
}

TEST(XlfException, BaseHandlerCatchesEverySubclassAndKeepsItsType) {
    EXPECT_EQ(CaughtBy([] { throw XlfException("plain"); }), "XlfException: plain");
    EXPECT_EQ(CaughtBy([] { throw XlfExceptionAbort(); }), "XlfException: abort");
    EXPECT_EQ(CaughtBy([] { throw XlfExceptionStackOverflow(); }), "XlfException: stack overflow");
    EXPECT_EQ(CaughtBy([] { throw XlfExceptionUncalculated(); }), "XlfException: ");

    // The dynamic type survives the catch by base reference.
    try {
        throw XlfExceptionStackOverflow();
    } catch (const XlfException& e) {
        EXPECT_NE(dynamic_cast<const XlfExceptionStackOverflow*>(&e), nullptr);
        EXPECT_EQ(dynamic_cast<const XlfExceptionAbort*>(&e), nullptr);
    }
}

TEST(XlfException, RuntimeErrorAndXlfExceptionAreSeparateFamilies) {
    // A runtime_error passes the XlfException handler.
    EXPECT_EQ(CaughtBy([] { throw std::runtime_error("host"); }), "runtime_error: host");

    // An XlfException passes a runtime_error handler but is still a std::exception.
    std::string caught = "none";
    try {
        try {
            throw XlfExceptionAbort();
        } catch (const std::runtime_error&) {
            caught = "runtime_error";
        }
    } catch (const std::exception& e) {
        caught = std::string("exception: ") + e.what();
    }
    EXPECT_EQ(caught, "exception: abort");
}

}  // namespace
