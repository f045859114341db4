// Diagnostics: the location prefix of the layer's one-line diagnostics.
//
// A diagnostic is one statement `std::cerr << location << text << std::endl`. The location is
// the source file's path relative to the build directory without its extension, the line
// number in parentheses, a colon and one blank, e.g. "..\..\src\XlfOperImpl4(813): ". Some
// texts begin with a blank of their own, which then follows the location's blank.
//
// Warning: the file stems and line numbers are part of the debugger output that readers of
// it search for; they are fixed texts, not the position of the statement in today's source.
// Writing each piece with its own `<<` matters: std::cerr flushes after every insertion, so
// the debugger receives the location, the text and the newline as separate strings.
#pragma once

#include <string>

// The location as a string literal, for a file stem and a line number given as literals:
// XLF_LOCATION("XlOpenClose", 56) is "..\\..\\src\\XlOpenClose(56): ".
#define XLF_LOCATION(stem, line) "..\\..\\src\\" stem "(" XLF_STRINGIZE_(line) "): "
#define XLF_STRINGIZE_(x) XLF_STRINGIZE_TEXT_(x)
#define XLF_STRINGIZE_TEXT_(x) #x

namespace xlf {

// The same location built at run time.
inline std::string DiagnosticLocation(const std::string& stem, int line) {
    return "..\\..\\src\\" + stem + "(" + std::to_string(line) + "): ";
}

}  // namespace xlf
