// RecordTraits.h - what differs between the two record layouts, for code written once over
// both: the character of counted strings and how its count reads, the reference types, the
// longest string a record counts, and the building of one area.
//
// A string is a count character followed by that many characters, no terminator required.
// An XLOPER counts 8-bit characters with its first byte (at most 255); an XLOPER12 counts
// wide characters with a 16-bit word (at most 32767 by Excel's rule), whatever the width of
// XCHAR in the build. Wide characters beyond 8 bits have no place in an 8-bit string and
// are stored as '?'; 8-bit characters widen byte by byte, so no locale is involved.
#ifndef RECORDTRAITS_H
#define RECORDTRAITS_H

#include <cstddef>
#include <cstdint>

#include "XlRecords.h"

namespace xlrecords {

template <class Oper>
struct RecordTraits;

template <>
struct RecordTraits<XLOPER> {
    using Record = XLOPER;
    using Char = char;
    using Ref = XLREF;
    using MultiRef = XLMREF;
    static constexpr std::size_t kMaxString = 255;
    static constexpr bool kWide = false;

    // The length a string's count character gives.
    static std::size_t Length(Char count) { return static_cast<unsigned char>(count); }
    static Char FromWide(wchar_t c) {
        return static_cast<std::uint32_t>(c) < 256 ? static_cast<char>(c) : '?';
    }
    static wchar_t ToWide(Char c) { return static_cast<unsigned char>(c); }
    // One area, zero-based and inclusive; rows and columns are cut to the record's widths.
    static Ref MakeRef(std::int32_t rowFirst, std::int32_t rowLast, std::int32_t colFirst,
                       std::int32_t colLast) {
        return {static_cast<std::uint16_t>(rowFirst), static_cast<std::uint16_t>(rowLast),
                static_cast<std::uint8_t>(colFirst), static_cast<std::uint8_t>(colLast)};
    }
};

template <>
struct RecordTraits<XLOPER12> {
    using Record = XLOPER12;
    using Char = XCHAR;
    using Ref = XLREF12;
    using MultiRef = XLMREF12;
    static constexpr std::size_t kMaxString = 32767;
    static constexpr bool kWide = true;

    static std::size_t Length(Char count) { return static_cast<std::uint16_t>(count); }
    static Char FromWide(wchar_t c) { return c; }
    static wchar_t ToWide(Char c) { return c; }
    static Ref MakeRef(std::int32_t rowFirst, std::int32_t rowLast, std::int32_t colFirst,
                       std::int32_t colLast) {
        return {rowFirst, rowLast, colFirst, colLast};
    }
};

}  // namespace xlrecords

#endif  // RECORDTRAITS_H
