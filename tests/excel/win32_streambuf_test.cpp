// Tests of the debugger stream buffer and of the diagnostic-line location: what reaches the
// simulated debugger output, in which pieces, with and without a debugger attached.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "SimulatedDesktop.h"
#include "Win32StreamBuf.h"

namespace {

using Strings = std::vector<std::string>;

// Reaches the protected overrides the way the stream machinery does.
class ProbedStreamBuf : public xlf::Win32StreamBuf {
  public:
    using xlf::Win32StreamBuf::overflow;
    using xlf::Win32StreamBuf::sync;
};

// Installs a buffer into std::cerr for one scope and puts the old one back even when an
// assertion fails on the way.
class CerrRedirect {
  public:
    explicit CerrRedirect(std::streambuf* buffer) : previous_(std::cerr.rdbuf(buffer)) {}
    ~CerrRedirect() { std::cerr.rdbuf(previous_); }
    std::streambuf* Previous() const { return previous_; }

  private:
    std::streambuf* previous_;
};

class Win32StreamBufTest : public ::testing::Test {
  protected:
    void SetUp() override { simulated::Reset(); }
    void TearDown() override { simulated::Reset(); }
};

TEST(DiagnosticLocation, FormsTheRelativeSourcePathLineAndColon) {
    EXPECT_STREQ(XLF_LOCATION("XlfOperImpl4", 813), "..\\..\\src\\XlfOperImpl4(813): ");
    EXPECT_STREQ(XLF_LOCATION("XlOpenClose", 56), "..\\..\\src\\XlOpenClose(56): ");
    EXPECT_EQ(xlf::DiagnosticLocation("XlfArgDesc", 37), "..\\..\\src\\XlfArgDesc(37): ");
    EXPECT_EQ(xlf::DiagnosticLocation("XlfExcel", 181), XLF_LOCATION("XlfExcel", 181));
}

TEST_F(Win32StreamBufTest, DiagnosticLineReachesAttachedDebuggerInThreePieces) {
    xlf::Win32StreamBuf buffer;
    simulated::AttachDebugger();
    std::streambuf* original = std::cerr.rdbuf();
    {
        CerrRedirect redirect(&buffer);
        EXPECT_EQ(redirect.Previous(), original);
        std::cerr << XLF_LOCATION("XlfOperImpl4", 813) << "String truncated to 255 bytes"
                  << std::endl;
        // A text with its own leading blank keeps it behind the location's blank.
        std::cerr << XLF_LOCATION("XlOpenClose", 101) << " PATH set" << std::endl;
        EXPECT_EQ(buffer.PendingText(), "");
    }
    EXPECT_EQ(std::cerr.rdbuf(), original);

    EXPECT_EQ(simulated::DebugOutput(),
              (Strings{"..\\..\\src\\XlfOperImpl4(813): ", "String truncated to 255 bytes", "\n",
                       "..\\..\\src\\XlOpenClose(101): ", " PATH set", "\n"}));
}

TEST_F(Win32StreamBufTest, WithoutDebuggerNothingIsSentAndEachFlushEmptiesThePendingText) {
    xlf::Win32StreamBuf buffer;
    {
        CerrRedirect redirect(&buffer);
        std::cerr << "lost";
        EXPECT_EQ(buffer.PendingText(), "");
        std::cerr << XLF_LOCATION("XlfExcel", 181) << "Could not get DLL name" << std::endl;
        EXPECT_EQ(buffer.PendingText(), "");
    }
    EXPECT_EQ(simulated::DebugOutput(), Strings{});

    // Text written while detached is gone; attaching later sends only what follows.
    std::ostream stream(&buffer);
    stream << "before";
    EXPECT_EQ(buffer.PendingText(), "before");
    stream.flush();
    EXPECT_EQ(buffer.PendingText(), "");
    simulated::AttachDebugger();
    stream << "after";
    stream.flush();
    EXPECT_EQ(simulated::DebugOutput(), Strings{"after"});
}

TEST_F(Win32StreamBufTest, OverflowCollectsCharactersAndEndOfFileFlushesReturningZero) {
    using Traits = std::char_traits<char>;
    ProbedStreamBuf buffer;
    simulated::AttachDebugger();

    EXPECT_EQ(buffer.overflow(Traits::to_int_type('o')), Traits::to_int_type('o'));
    // A byte with the high bit set is a character, not end-of-file.
    EXPECT_EQ(buffer.overflow(Traits::to_int_type('\xFF')), Traits::to_int_type('\xFF'));
    EXPECT_EQ(buffer.PendingText(), "o\xFF");
    EXPECT_EQ(simulated::DebugOutput(), Strings{});

    EXPECT_EQ(buffer.overflow(Traits::eof()), 0);
    EXPECT_EQ(buffer.PendingText(), "");
    EXPECT_EQ(simulated::DebugOutput(), Strings{"o\xFF"});

    // Flushing with nothing pending sends nothing, by sync or by end-of-file.
    EXPECT_EQ(buffer.sync(), 0);
    EXPECT_EQ(buffer.overflow(Traits::eof()), 0);
    EXPECT_EQ(buffer.pubsync(), 0);
    EXPECT_EQ(simulated::DebugOutput(), Strings{"o\xFF"});

    // Text still pending when the buffer goes is discarded, not sent.
    {
        ProbedStreamBuf last;
        last.overflow(Traits::to_int_type('x'));
    }
    EXPECT_EQ(simulated::DebugOutput(), Strings{"o\xFF"});
}

}  // namespace
