// XlRecords.h - Excel's value records (XLOPER, XLOPER12), type codes, function numbers and
// return codes, as both the add-in and the substitute host exchange them.
//
// The layouts are Excel's published ABI, so sizes and offsets are asserted per target:
// 32-bit XLOPER 16 bytes (type word at 8), XLOPER12 32 bytes (type word at 24);
// 64-bit XLOPER 24 bytes (type word at 16), XLOPER12 32 bytes (type word at 24).
//
// Warning: XCHAR is wchar_t, which is 16 bits on Windows (Excel's layout) but 32 bits in the
// native build. Native builds never meet a real Excel, and keeping wchar_t lets the layer use
// mbstowcs/wcstombs on wide strings unchanged in both builds.
//
// The records live in the global namespace because they are a C contract shared with the
// host; everything built on them lives in namespace xlf.
#ifndef XLRECORDS_H
#define XLRECORDS_H

#include <cstddef>
#include <cstdint>

// Calling conventions of the host's entry points. Only 32-bit Windows distinguishes them.
#if defined(_WIN32) && !defined(_WIN64)
#define XLCALL_STDCALL __stdcall
#define XLCALL_CDECL __cdecl
#else
#define XLCALL_STDCALL
#define XLCALL_CDECL
#endif

// Sheet identifiers are 32-bit in the 32-bit build and pointer-sized in the 64-bit build.
typedef std::uintptr_t IDSHEET;
typedef wchar_t XCHAR;
typedef std::int32_t RW;
typedef std::int32_t COL;

extern "C" {

// One rectangular area, Excel-4 form: rows 16 bits, columns 8 bits, zero-based, inclusive.
struct XLREF {
    std::uint16_t rwFirst;
    std::uint16_t rwLast;
    std::uint8_t colFirst;
    std::uint8_t colLast;
};

// One rectangular area, Excel-12 form: rows and columns 32 bits, zero-based, inclusive.
struct XLREF12 {
    RW rwFirst;
    RW rwLast;
    COL colFirst;
    COL colLast;
};

// A multi-area reference: count areas follow; allocate with room for count - 1 more.
struct XLMREF {
    std::uint16_t count;
    XLREF reftbl[1];
};

struct XLMREF12 {
    std::uint16_t count;
    XLREF12 reftbl[1];
};

struct XLOPER {
    union {
        double num;
        char* str;  // count byte, then that many 8-bit characters (no terminator required)
        std::uint16_t xbool;
        std::uint16_t err;
        std::int16_t w;
        struct {
            std::uint16_t count;
            XLREF ref;
        } sref;
        struct {
            XLMREF* lpmref;
            IDSHEET idSheet;
        } mref;
        struct {
            XLOPER* lparray;  // rows * columns records, row by row
            std::uint16_t rows;
            std::uint16_t columns;
        } array;
    } val;
    std::uint16_t xltype;
};

struct XLOPER12 {
    union {
        double num;
        XCHAR* str;  // count character, then that many characters (no terminator required)
        std::int32_t xbool;
        std::int32_t err;
        std::int32_t w;
        struct {
            std::uint16_t count;
            XLREF12 ref;
        } sref;
        struct {
            XLMREF12* lpmref;
            IDSHEET idSheet;
        } mref;
        struct {
            XLOPER12* lparray;  // rows * columns records, row by row
            RW rows;
            COL columns;
        } array;
    } val;
    std::uint32_t xltype;
};

typedef XLOPER* LPXLOPER;
typedef XLOPER12* LPXLOPER12;

// Entry points of the host: Excel4 (cdecl, variadic) and Excel4v (stdcall) of XLCALL32.DLL,
// MdCallBack12 (stdcall) of the host's main module.
typedef int(XLCALL_CDECL* Excel4Proc)(int function, XLOPER* result, int count, ...);
typedef int(XLCALL_STDCALL* Excel4vProc)(int function, XLOPER* result, int count, XLOPER* values[]);
typedef int(XLCALL_STDCALL* MdCallBack12Proc)(int function, int count, XLOPER12* values[],
                                              XLOPER12* result);

}  // extern "C"

// Type codes of the type word.
enum : std::uint32_t {
    xltypeNum = 0x0001,
    xltypeStr = 0x0002,
    xltypeBool = 0x0004,
    xltypeRef = 0x0008,
    xltypeErr = 0x0010,
    xltypeFlow = 0x0020,
    xltypeMulti = 0x0040,
    xltypeMissing = 0x0080,
    xltypeNil = 0x0100,
    xltypeSRef = 0x0400,
    xltypeInt = 0x0800,
    // Set on values whose auxiliary memory the host allocated; they go back through xlFree.
    xlbitXLFree = 0x8000,
};

// Error codes carried in the err member.
enum : std::int32_t {
    xlerrNull = 0,
    xlerrDiv0 = 7,
    xlerrValue = 15,
    xlerrRef = 23,
    xlerrName = 29,
    xlerrNum = 36,
    xlerrNA = 42,
};

// Return codes of every request.
enum : int {
    xlretSuccess = 0,
    xlretAbort = 1,
    xlretInvXlfn = 2,
    xlretInvCount = 4,
    xlretInvXloper = 8,
    xlretStackOvfl = 16,
    xlretFailed = 32,
    xlretUncalced = 64,
};

// Function numbers of the requests this system makes.
enum : int {
    xlFree = 0x4000,
    xlCoerce = 0x4002,
    xlAbort = 0x4006,
    xlGetHwnd = 0x4008,
    xlGetName = 0x4009,
    xlRunningOnCluster = 0x4012,
    xlcMessage = 0x807A,
    xlfRegister = 149,
    xlfGetWorkspace = 186,
    xlfUnregister = 201,
};

static_assert(sizeof(XLREF) == 6, "XLREF layout");
static_assert(sizeof(XLREF12) == 16, "XLREF12 layout");
static_assert(offsetof(XLMREF, reftbl) == 2, "XLMREF layout");
static_assert(offsetof(XLMREF12, reftbl) == 4, "XLMREF12 layout");
static_assert(sizeof(XLOPER12) == 32, "XLOPER12 is 32 bytes on every target");
static_assert(offsetof(XLOPER12, xltype) == 24, "XLOPER12 type word follows a 24-byte union");
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(XLOPER) == 16, "32-bit XLOPER is 16 bytes");
static_assert(offsetof(XLOPER, xltype) == 8, "32-bit XLOPER type word at offset 8");
#else
static_assert(sizeof(XLOPER) == 24, "64-bit XLOPER is 24 bytes");
static_assert(offsetof(XLOPER, xltype) == 16, "64-bit XLOPER type word at offset 16");
#endif

#endif  // XLRECORDS_H
