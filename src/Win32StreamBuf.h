// Win32StreamBuf: a stream buffer that hands each flushed piece of text to the debugger.
//
// Installed as the buffer of std::cerr while the add-in is open, it turns the layer's
// diagnostics into debugger output. With no debugger attached every flush discards the
// text. It keeps no put area, so every character reaches overflow() and is collected until
// the next flush; std::cerr flushes after every insertion, so one `<<` is one debug string.
//
// Neither overflow() nor sync() reports failure. The buffer has no lock: the stream's own
// sentry serialises output operations, and the add-in calls it from Excel's thread only.
#pragma once

#include <streambuf>
#include <string>

namespace xlf {

class Win32StreamBuf : public std::basic_streambuf<char> {
  public:
    Win32StreamBuf() = default;
    Win32StreamBuf(const Win32StreamBuf&) = delete;
    Win32StreamBuf& operator=(const Win32StreamBuf&) = delete;
    // Pending text is discarded, not sent.
    ~Win32StreamBuf() override;

    // The text written since the last flush.
    const std::string& PendingText() const { return pending_; }

  protected:
    // End-of-file flushes and returns the result of sync(), 0; any other character is
    // collected and returned.
    int_type overflow(int_type ch) override;
    // Sends the pending text to the debugger output when a debugger is attached and there
    // is text, then empties it either way. Always 0.
    int sync() override;

  private:
    std::string pending_;
};

}  // namespace xlf
