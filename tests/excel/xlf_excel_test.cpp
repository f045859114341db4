// XlfExcel against the substitute host: loading and the mode, the temporary memory, the
// function-wizard test, the status bar, the library path and the error box.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/stream_capture.h"
#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "XlfExcel.h"
#include "XlfOper.h"

namespace {

using xlf::XlfExcel;

// Reloads XlfExcel against a host that reports the given version.
XlfExcel& LoadWithVersion(const std::string& version) {
    delete &XlfExcel::Current();
    xlhost::Host::Instance().Reset();
    xlhost::Host::Instance().SetVersion(version);
    return XlfExcel::Current();
}

class XlfExcelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        simulated::Reset();
        LoadWithVersion("12.0");
    }
    void TearDown() override {
        XlfExcel::Current().ReleaseTemporary(false);
        EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);
        EXPECT_EQ(xlhost::Host::Instance().InvalidFrees(), 0u);
        simulated::Reset();
    }
};

std::uintptr_t Offset(const void* from, const void* to) {
    return reinterpret_cast<std::uintptr_t>(to) - reinterpret_cast<std::uintptr_t>(from);
}

// Growth: a request that does not fit strictly below the end adds a buffer 1.5 times the
// front one; requests are rounded up to 8 bytes.
TEST_F(XlfExcelTest, TemporaryMemoryGrowsByHalfAndAlignsRequests) {
    XlfExcel& excel = XlfExcel::Current();
    excel.ReleaseTemporary(true);
    EXPECT_TRUE(excel.TemporaryBufferSizes().empty());

    char* first = static_cast<char*>(excel.AllocateTemporary(10));
    EXPECT_EQ(excel.TemporaryBufferSizes(), std::vector<std::uint32_t>{8192});
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 8, 0u);
    char* second = static_cast<char*>(excel.AllocateTemporary(10));
    EXPECT_EQ(Offset(first, second), 16u) << "10 bytes round up to 16";
    EXPECT_EQ(excel.TemporaryOffset(), 32u);

    // Fill to 8184; a 2-byte request (8 after rounding) reaches 8192, which is not below the
    // buffer's end, so a 12288-byte buffer serves it from its start.
    excel.AllocateTemporary(8184 - 32);
    EXPECT_EQ(excel.TemporaryOffset(), 8184u);
    excel.AllocateTemporary(2);
    EXPECT_EQ(excel.TemporaryBufferSizes(), (std::vector<std::uint32_t>{12288, 8192}));
    EXPECT_EQ(excel.TemporaryOffset(), 8u);

    excel.ReleaseTemporary(true);
    excel.AllocateTemporary(20000);
    EXPECT_EQ(excel.TemporaryBufferSizes(),
              (std::vector<std::uint32_t>{27648, 18432, 12288, 8192}));
    EXPECT_EQ(excel.TemporaryOffset(), 20000u);

    excel.ReleaseTemporary(false);
    EXPECT_EQ(excel.TemporaryBufferSizes(), std::vector<std::uint32_t>{27648});
    EXPECT_EQ(excel.TemporaryOffset(), 0u);
    excel.ReleaseTemporary(true);
    EXPECT_TRUE(excel.TemporaryBufferSizes().empty());
}

// Only version 12 selects Excel-12 mode; its registration letters follow the mode, and the
// values built afterwards use that mode's records.
TEST_F(XlfExcelTest, VersionSelectsModeAndTypeCodes) {
    struct Case {
        const char* version;
        bool excel12;
        const char* oper;
        const char* xloper;
        const char* wide;
    };
    for (const Case& c : {Case{"12.0", true, "Q", "U", "C%"}, Case{"11.0", false, "P", "R", "C"},
                          Case{"14.0", false, "P", "R", "C"}, Case{"12.0", true, "Q", "U", "C%"}}) {
        SCOPED_TRACE(c.version);
        XlfExcel& excel = LoadWithVersion(c.version);
        EXPECT_EQ(excel.IsExcel12(), c.excel12);
        EXPECT_EQ(excel.OperTypeCode(), c.oper);
        EXPECT_EQ(excel.XloperTypeCode(), c.xloper);
        EXPECT_EQ(excel.WideStringTypeCode(), c.wide);
        // A text longer than 255 characters survives only in XLOPER12 records, so this also
        // shows that the implementation of the mode is the current one after a reload.
        xlf::XlfOper text(std::string(300, 'x'));
        EXPECT_EQ(std::string(text.ToCString()).size(), c.excel12 ? 300u : 254u);
        // The version text the host answered went back to it.
        EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);
    }
}

TEST_F(XlfExcelTest, FailedLoadThrowsAndLeavesNoObject) {
    delete &XlfExcel::Current();
    simulated::FailLoadLibrary("XLCALL32.DLL");
    try {
        XlfExcel::Current();
        FAIL() << "load succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Could not load library XLCALL32.DLL");
    }
    simulated::ClearFailures();
    for (const char* entry : {"Excel4", "Excel4v"}) {
        simulated::FailProcAddress(entry);
        try {
            XlfExcel::Current();
            FAIL() << "load succeeded without " << entry;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("Could not get address of ") + entry + " callback");
        }
        simulated::ClearFailures();
    }
    // Nothing survived the failures: the next request loads afresh and works.
    xlhost::Host::Instance().ClearRecords();
    EXPECT_TRUE(XlfExcel::Current().IsExcel12());
    EXPECT_FALSE(xlhost::Host::Instance().Requests().empty());
}

TEST_F(XlfExcelTest, FunctionWizardNeedsClassPrefixUnderExcelWindow) {
    xlhost::Host::Instance().SetMainWindow(0x51234);
    XlfExcel& excel = XlfExcel::Current();
    HWND excelLow = reinterpret_cast<HWND>(std::uintptr_t{0x71234});  // same low 16 bits
    HWND other = reinterpret_cast<HWND>(std::uintptr_t{0x1235});

    EXPECT_FALSE(excel.InFunctionWizard()) << "no windows";
    simulated::AddWindow(reinterpret_cast<HWND>(std::uintptr_t{1}), "bosa_sdm_X", excelLow);
    simulated::AddWindow(reinterpret_cast<HWND>(std::uintptr_t{2}), "BOSA_SDM_XL9", other);
    simulated::AddWindow(reinterpret_cast<HWND>(std::uintptr_t{3}), "xbosa_sdm_XL", excelLow);
    EXPECT_FALSE(excel.InFunctionWizard()) << "short class, wrong parent, prefix elsewhere";
    simulated::AddWindow(reinterpret_cast<HWND>(std::uintptr_t{4}), "BOSA_SDM_XL9", excelLow);
    EXPECT_TRUE(excel.InFunctionWizard());

    xlhost::Host::Instance().FailRequest(xlGetHwnd, xlretFailed);
    EXPECT_FALSE(excel.InFunctionWizard());
}

TEST_F(XlfExcelTest, StatusBarAndLibraryPathReachTheHost) {
    for (const char* version : {"12.0", "11.0"}) {
        SCOPED_TRACE(version);
        XlfExcel& excel = LoadWithVersion(version);
        excel.ShowStatus("Registering library...");
        excel.ShowStatus(nullptr);
        const std::vector<xlhost::StatusEvent> events = xlhost::Host::Instance().StatusEvents();
        ASSERT_EQ(events.size(), 2u);
        EXPECT_TRUE(events[0].shown);
        // An Excel-4 text written from 8-bit characters counts its terminating NUL.
        const std::string shown = std::string("Registering library...") +
                                  (excel.IsExcel12() ? std::string() : std::string(1, '\0'));
        EXPECT_EQ(events[0].text, shown);
        EXPECT_FALSE(events[1].shown);

        xlhost::Host::Instance().SetAddinPath("C:\\addins\\heston.xll");
        EXPECT_EQ(excel.LibraryPath(), "C:\\addins\\heston.xll");
        EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u) << "name given back";
    }

    xlhost::Host::Instance().FailRequest(xlGetName, xlretFailed);
    test_support::StreamCapture cerr;
    const std::string path = XlfExcel::Current().LibraryPath();
    EXPECT_EQ(path, "");
    EXPECT_EQ(cerr.Text(), "..\\..\\src\\XlfExcel(181): Could not get DLL name\n");
}

TEST_F(XlfExcelTest, EscapePressedReadsTheHostsAnswer) {
    XlfExcel& excel = XlfExcel::Current();
    EXPECT_FALSE(excel.EscapePressed());
    xlhost::Host::Instance().SetAbortPending(true);
    EXPECT_TRUE(excel.EscapePressed());
    EXPECT_FALSE(excel.EscapePressed()) << "answering FALSE acknowledges the break";
}

TEST_F(XlfExcelTest, ErrorBoxCutsLongTextAtItsBuffer) {
    XlfExcel& excel = XlfExcel::Current();
    excel.ErrorBox("plain", "Caption");
    SetLastError(ERROR_FILE_NOT_FOUND);
    excel.ErrorBox(std::string(1000, 'a').c_str());
    const std::vector<simulated::MessageBoxRecord> boxes = simulated::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "plain");
    EXPECT_EQ(boxes[0].caption, "Caption");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(boxes[1].caption, "XLL Error");
    EXPECT_EQ(boxes[1].text, std::string(255, 'a')) << "255 characters and the NUL";
}

}  // namespace
