// WindowsApi.h - the one header through which the Excel layer reaches the Windows API.
//
// On Windows it is <windows.h>. In the native build it declares substitutes with the same
// names, types and meaning over POSIX; SimulatedDesktop.h lets tests drive what the
// substitutes see (windows, debugger, module names, failures).
//
// Native semantics worth knowing:
// - LoadLibraryA("XLCALL32.DLL") resolves to the module of the running process that exports
//   Excel4 (executables containing the substitute host link with exported symbols).
// - HMODULE is the module's load address, as on Windows, so VirtualQuery's AllocationBase
//   can be handed to GetModuleFileNameA. Module file names are reported with '\' separators
//   so that path logic written for Windows behaves the same; LoadLibraryA accepts either.
// - A named mutex excludes other processes too (an flock'ed file; released on process death).
// - OutputDebugStringA records every string, attached debugger or not, so tests can also
//   check that nothing was written; only an attached debugger would see them on Windows.
// - Environment names are case-sensitive (POSIX), unlike Windows.
// - GetProcessMemoryInfo answers for the current process only, from /proc/self/status.
#ifndef WINDOWSAPI_H
#define WINDOWSAPI_H

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After <windows.h>, which it needs.
#include <psapi.h>

#else  // native substitutes

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef wchar_t WCHAR;
typedef char CHAR;
typedef std::size_t SIZE_T;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t LPARAM;
typedef std::uintptr_t WPARAM;
typedef DWORD LCID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

typedef void* HANDLE;
typedef void* HLOCAL;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HWND__;
typedef HWND__* HWND;

// The generic procedure address. Convert it to the real signature with reinterpret_cast.
typedef void (*FARPROC)(void);

typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct MEMORY_BASIC_INFORMATION {
    PVOID BaseAddress;
    PVOID AllocationBase;  // the module's load address (its HMODULE) for code and data
    DWORD AllocationProtect;
    WORD PartitionId;
    SIZE_T RegionSize;
    DWORD State;
    DWORD Protect;
    DWORD Type;
};
typedef MEMORY_BASIC_INFORMATION* PMEMORY_BASIC_INFORMATION;

struct PROCESS_MEMORY_COUNTERS {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize;
    SIZE_T WorkingSetSize;
    SIZE_T QuotaPeakPagedPoolUsage;
    SIZE_T QuotaPagedPoolUsage;
    SIZE_T QuotaPeakNonPagedPoolUsage;
    SIZE_T QuotaNonPagedPoolUsage;
    SIZE_T PagefileUsage;  // private committed bytes
    SIZE_T PeakPagefileUsage;
};
typedef PROCESS_MEMORY_COUNTERS* PPROCESS_MEMORY_COUNTERS;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

#define LOWORD(l) (static_cast<WORD>(static_cast<std::uintptr_t>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<std::uintptr_t>(l) >> 16) & 0xffff))
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

#define NORM_IGNORECASE 0x00000001u
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define LOCALE_USER_DEFAULT 0x0400u

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNO 0x00000004u
#define MB_ICONERROR 0x00000010u
#define MB_ICONHAND MB_ICONERROR
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONEXCLAMATION MB_ICONWARNING
#define MB_ICONINFORMATION 0x00000040u
#define MB_ICONASTERISK MB_ICONINFORMATION
#define IDOK 1
#define IDCANCEL 2

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

#define MEM_COMMIT 0x00001000u
#define MEM_FREE 0x00010000u
#define MEM_PRIVATE 0x00020000u
#define MEM_IMAGE 0x01000000u
#define PAGE_READONLY 0x02u
#define PAGE_EXECUTE_READ 0x20u

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_BAD_LENGTH 24u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_ENVVAR_NOT_FOUND 203u
#define ERROR_NOT_OWNER 288u
#define ERROR_INVALID_WINDOW_HANDLE 1400u

// Library loading and lookup.
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
HMODULE GetModuleHandleA(LPCSTR moduleName);

// Synchronisation.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);
BOOL CloseHandle(HANDLE handle);

// User interface.
BOOL EnumWindows(WNDENUMPROC enumProc, LPARAM lParam);
int GetClassNameA(HWND window, LPSTR className, int maxCount);
HWND GetParent(HWND window);
int CompareStringA(LCID locale, DWORD flags, LPCSTR string1, int count1, LPCSTR string2,
                   int count2);
int lstrlenA(LPCSTR string);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments);

// Errors and local memory.
DWORD GetLastError();
void SetLastError(DWORD errorCode);
HLOCAL LocalFree(HLOCAL memory);

// Process.
SIZE_T VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION buffer, SIZE_T length);
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value);
BOOL IsDebuggerPresent();
HANDLE GetCurrentProcess();
BOOL GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD size);
void OutputDebugStringA(LPCSTR outputString);

#endif  // _WIN32

#endif  // WINDOWSAPI_H
