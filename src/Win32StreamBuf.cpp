#include "Win32StreamBuf.h"

#include "WindowsApi.h"

namespace xlf {

Win32StreamBuf::~Win32StreamBuf() = default;

Win32StreamBuf::int_type Win32StreamBuf::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return sync();
    pending_.push_back(traits_type::to_char_type(ch));
    return ch;
}

int Win32StreamBuf::sync() {
    if (IsDebuggerPresent() && !pending_.empty()) OutputDebugStringA(pending_.c_str());
    pending_.clear();
    return 0;
}

}  // namespace xlf
