// Helpers of the tests that drive programs through the shell: a whole file as a string, and a
// text quoted for a POSIX shell.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace test_support {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The text in single quotes, each single quote inside written as '\''.
inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace test_support
