// StreamCapture: what a standard stream (std::cerr unless told otherwise) receives while the
// object lives, for tests of diagnostics. The stream's own buffer is put back on destruction.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace test_support {

class StreamCapture {
  public:
    explicit StreamCapture(std::ostream& stream = std::cerr)
        : stream_(stream), previous_(stream.rdbuf(text_.rdbuf())) {}
    ~StreamCapture() { stream_.rdbuf(previous_); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::string Text() const { return text_.str(); }

  private:
    std::ostringstream text_;
    std::ostream& stream_;
    std::streambuf* previous_;
};

}  // namespace test_support
