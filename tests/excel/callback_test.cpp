// Excel12v: the layer's route to the host's MdCallBack12, looked up in the main module.
#include <gtest/gtest.h>

#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "XlCallback.h"

namespace {

// One test, because the address is kept for the life of the process once it is found.
TEST(Callback, Excel12vFailsWhileMdCallBack12IsMissingAndFindsItLater) {
    xlhost::Host::Instance().Reset();
    xlhost::Host::Instance().SetVersion("14.0");
    XLOPER12 two{}, version{};
    two.xltype = xltypeInt;
    two.val.w = 2;
    XLOPER12* values[] = {&two};

    simulated::FailProcAddress("MdCallBack12");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(xlf::Excel12v(xlfGetWorkspace, &version, 1, values), xlretFailed);
    }
    EXPECT_EQ(version.xltype, 0u) << "nothing reached the host";
    EXPECT_TRUE(xlhost::Host::Instance().Requests().empty());

    simulated::ClearFailures();
    ASSERT_EQ(xlf::Excel12v(xlfGetWorkspace, &version, 1, values), xlretSuccess);
    ASSERT_EQ(version.xltype, xltypeStr);
    EXPECT_EQ(std::wstring(version.val.str + 1, version.val.str[0]), L"14.0");
    // The host's own codes pass through unchanged.
    xlhost::Host::Instance().FailRequest(xlFree, xlretUncalced);
    XLOPER12* freed[] = {&version};
    EXPECT_EQ(xlf::Excel12v(xlFree, nullptr, 1, freed), xlretUncalced);
    xlhost::Host::Instance().ClearFailures();
    EXPECT_EQ(xlf::Excel12v(xlFree, nullptr, 1, freed), xlretSuccess);
    EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);

    // Once found the address is kept, so a later lookup failure no longer matters.
    simulated::FailProcAddress("MdCallBack12");
    XLOPER12 again{};
    EXPECT_EQ(xlf::Excel12v(xlfGetWorkspace, &again, 1, values), xlretSuccess);
    simulated::ClearFailures();
    XLOPER12* last[] = {&again};
    EXPECT_EQ(xlf::Excel12v(xlFree, nullptr, 1, last), xlretSuccess);
}

}  // namespace
