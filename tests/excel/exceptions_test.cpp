// Tests of the layer's exceptions: their messages, copying, and which handlers catch them.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "XlfException.h"

namespace {

using xlf::XlfException;

// Which handler catches what `raise` throws: XlfException& first, then runtime_error, then
// any other std::exception.
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
    } catch (const std::exception& e) {
        return std::string("exception: ") + e.what();
    }
    return "none";
}

TEST(XlfException, MessagesAreCopiedAndFixedForTheSubclasses) {
    std::string message = "not an array";
    const XlfException e(message);
    message.assign("changed afterwards");
    EXPECT_STREQ(e.what(), "not an array");
    const XlfException copy(e);
    EXPECT_STREQ(copy.what(), "not an array");
    EXPECT_NE(copy.what(), e.what());  // the copy holds its own text

    EXPECT_STREQ(xlf::XlfExceptionAbort().what(), "abort");
    EXPECT_STREQ(xlf::XlfExceptionStackOverflow().what(), "stack overflow");
    EXPECT_STREQ(xlf::XlfExceptionUncalculated().what(), "");
}

TEST(XlfException, BaseHandlerCatchesTheSubclassesButNotRuntimeErrorNorTheReverse) {
    EXPECT_EQ(CaughtBy([] { throw xlf::XlfExceptionAbort(); }), "XlfException: abort");
    EXPECT_EQ(CaughtBy([] { throw xlf::XlfExceptionStackOverflow(); }),
              "XlfException: stack overflow");
    EXPECT_EQ(CaughtBy([] { throw xlf::XlfExceptionUncalculated(); }), "XlfException: ");
    EXPECT_EQ(CaughtBy([] { throw std::runtime_error("host"); }), "runtime_error: host");

    // Without the XlfException handler an XlfException passes runtime_error by.
    std::string caught = "none";
    try {
        try {
            throw XlfException("own");
        } catch (const std::runtime_error&) {
            caught = "runtime_error";
        }
    } catch (const std::exception& e) {
        caught = e.what();
    }
    EXPECT_EQ(caught, "own");
}

}  // namespace
