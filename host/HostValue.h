// HostValue.h - the substitute host's one model of an Excel value, independent of the
// XLOPER/XLOPER12 record layouts it arrives in: the arguments and results of requests, the
// cells of the host's sheet and the values of recorded registrations.
//
// Texts are wide strings: 8-bit record strings widen byte by byte and narrow back, so the
// host depends on no locale.
#ifndef HOSTVALUE_H
#define HOSTVALUE_H

#include <cstdint>
#include <string>
#include <vector>

#include "XlRecords.h"

namespace xlhost {

// One rectangle of cells, zero-based and inclusive as in XLREF12.
struct Area {
    int rowFirst;
    int rowLast;
    int colFirst;
    int colLast;
};

struct Value {
    std::uint32_t type = xltypeNil;  // one of the xltype codes, without ownership bits
    double num = 0.0;
    std::wstring str;
    bool boolean = false;
    int err = 0;
    int integer = 0;
    int rows = 0;  // xltypeMulti
    int columns = 0;
    std::vector<Value> elements;  // rows * columns, row by row
    IDSHEET sheet = 0;            // xltypeRef
    std::vector<Area> areas;      // xltypeRef: any number; xltypeSRef: exactly one

    static Value Number(double value);
    static Value Text(const std::wstring& value);
    static Value Bool(bool value);
    static Value Error(int code);
    static Value Int(int value);
    static Value Nil();
    static Value Missing();
};

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace xlhost

#endif  // HOSTVALUE_H
