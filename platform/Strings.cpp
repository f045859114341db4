// Strings.cpp - native CompareStringA and lstrlenA.
//
// The comparison is ordinal on bytes, with ASCII case folding under NORM_IGNORECASE; the
// locale is accepted and not used. A negative count means "up to the terminating zero".
#ifndef _WIN32

#include <cctype>
#include <cstring>

#include "WindowsApi.h"

int CompareStringA(LCID, DWORD flags, LPCSTR string1, int count1, LPCSTR string2, int count2) {
    if (string1 == nullptr || string2 == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length1 = count1 < 0 ? std::strlen(string1) : static_cast<size_t>(count1);
    const size_t length2 = count2 < 0 ? std::strlen(string2) : static_cast<size_t>(count2);
    const bool ignoreCase = (flags & NORM_IGNORECASE) != 0;
    for (size_t i = 0; i < length1 && i < length2; ++i) {
        int c1 = static_cast<unsigned char>(string1[i]);
        int c2 = static_cast<unsigned char>(string2[i]);
        if (ignoreCase) {
            c1 = std::tolower(c1);
            c2 = std::tolower(c2);
        }
        if (c1 != c2) return c1 < c2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    }
    if (length1 == length2) return CSTR_EQUAL;
    return length1 < length2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

int lstrlenA(LPCSTR string) {
    return string == nullptr ? 0 : static_cast<int>(std::strlen(string));
}

#endif  // _WIN32
