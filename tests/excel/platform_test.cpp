// The native Windows substitutes as the layer uses them: the simulated desktop, the debugger
// capture, the environment, module lookup and names, and the error texts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "WindowsApi.h"

namespace {

HWND Window(std::uintptr_t handle) {
    return reinterpret_cast<HWND>(handle);
}

class Platform : public ::testing::Test {
  protected:
    void SetUp() override { simulated::Reset(); }
    void TearDown() override { simulated::Reset(); }
};

TEST_F(Platform, WindowsEnumerateWithClassNamesAndParents) {
    simulated::AddWindow(Window(0x100), "XLMAIN", nullptr);
    simulated::AddWindow(Window(0x200), "BOSA_SDM_XL9", Window(0x7001234));
    simulated::AddWindow(Window(0x300), "Shell_TrayWnd", nullptr);

    struct Seen {
        std::vector<HWND> windows;
        std::size_t stopAfter;
    } seen{{}, 99};
    auto collect = [](HWND window, LPARAM data) -> BOOL {
        auto* seen = reinterpret_cast<Seen*>(data);
        seen->windows.push_back(window);
        return seen->windows.size() < seen->stopAfter;
    };
    EXPECT_TRUE(EnumWindows(collect, reinterpret_cast<LPARAM>(&seen)));
    EXPECT_EQ(seen.windows, (std::vector<HWND>{Window(0x100), Window(0x200), Window(0x300)}));
    // A callback answering FALSE ends the enumeration, and EnumWindows then answers FALSE.
    seen = {{}, 2};
    EXPECT_FALSE(EnumWindows(collect, reinterpret_cast<LPARAM>(&seen)));
    EXPECT_EQ(seen.windows.size(), 2u);

    char name[50];
    EXPECT_EQ(GetClassNameA(Window(0x200), name, sizeof(name)), 12);
    EXPECT_STREQ(name, "BOSA_SDM_XL9");
    EXPECT_EQ(GetClassNameA(Window(0x200), name, 5), 4) << "cut to the buffer, terminated";
    EXPECT_STREQ(name, "BOSA");
    EXPECT_EQ(GetParent(Window(0x200)), Window(0x7001234));
    EXPECT_EQ(GetParent(Window(0x100)), nullptr);
    EXPECT_EQ(GetClassNameA(Window(0x999), name, sizeof(name)), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

    simulated::ClearWindows();
    seen = {{}, 99};
    EXPECT_TRUE(EnumWindows(collect, reinterpret_cast<LPARAM>(&seen)));
    EXPECT_TRUE(seen.windows.empty());
}

TEST_F(Platform, CompareStringHonoursCaseFlagAndLengths) {
    const char* wizard = "bosa_sdm_XL";
    const int length = lstrlenA(wizard);
    EXPECT_EQ(length, 11);
    EXPECT_EQ(lstrlenA(""), 0);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    // The prefix comparison the function-wizard test makes.
    EXPECT_EQ(CompareStringA(0x0409, NORM_IGNORECASE, "BOSA_SDM_XL9", length, wizard, length),
              CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(0x0409, NORM_IGNORECASE, "BOSA_SDM_XL9", -1, wizard, -1),
              CSTR_GREATER_THAN);
    EXPECT_EQ(CompareStringA(0x0409, 0, "BOSA_SDM_XL", -1, wizard, -1), CSTR_LESS_THAN)
        << "without the flag case counts ('B' < 'b')";
    EXPECT_EQ(CompareStringA(0x0409, NORM_IGNORECASE, "bosa_sdm", -1, wizard, length),
              CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringA(0x0409, 0, "abc", 2, "abd", 2), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(0x0409, 0, "abc", 0, "", -1), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(0x0409, 0, nullptr, -1, "a", -1), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Platform, DebugOutputIsCapturedInOrder) {
    EXPECT_FALSE(IsDebuggerPresent());
    simulated::AttachDebugger();
    EXPECT_TRUE(IsDebuggerPresent());
    OutputDebugStringA("..\\..\\src\\XlOpenClose(70): first\n");
    OutputDebugStringA("second");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(simulated::DebugOutput(),
              (std::vector<std::string>{"..\\..\\src\\XlOpenClose(70): first\n", "second", ""}));
    simulated::ClearDebugOutput();
    EXPECT_TRUE(simulated::DebugOutput().empty());
    simulated::DetachDebugger();
    EXPECT_FALSE(IsDebuggerPresent());
}

TEST_F(Platform, EnvironmentReportsTheSizeNeededWhenTheBufferIsSmall) {
    const char* name = "XLF_PLATFORM_TEST_PATH";
    ASSERT_TRUE(SetEnvironmentVariableA(name, "C:\\bin;C:\\addins"));  // 16 characters
    char buffer[32] = "untouched";
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 4), 17u) << "length plus terminator";
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 16), 17u);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 17), 16u) << "fits: length without it";
    EXPECT_STREQ(buffer, "C:\\bin;C:\\addins");
    EXPECT_EQ(GetEnvironmentVariableA(name, nullptr, 0), 17u);

    ASSERT_TRUE(SetEnvironmentVariableA(name, nullptr));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof(buffer)), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
}

TEST_F(Platform, CallbackLibraryResolvesToTheRunningHost) {
    HMODULE library = LoadLibraryA("xlcall32.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library, GetModuleHandleA(nullptr)) << "this test program contains the host";
    EXPECT_NE(GetProcAddress(library, "Excel4"), nullptr);
    EXPECT_NE(GetProcAddress(library, "Excel4v"), nullptr);
    EXPECT_NE(GetProcAddress(GetModuleHandleA(nullptr), "MdCallBack12"), nullptr);
    EXPECT_EQ(GetProcAddress(library, "Excel12"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    simulated::FailLoadLibrary("XLCALL32.DLL");
    EXPECT_EQ(LoadLibraryA("XLCALL32.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    simulated::ClearFailures();
    simulated::FailProcAddress("Excel4v");
    EXPECT_EQ(GetProcAddress(LoadLibraryA("XLCALL32.DLL"), "Excel4v"), nullptr);
    EXPECT_NE(GetProcAddress(LoadLibraryA("XLCALL32.DLL"), "Excel4"), nullptr);
    simulated::ClearFailures();
    EXPECT_EQ(LoadLibraryA("no_such_library.xll"), nullptr);
}

TEST_F(Platform, MemoryQueryLeadsFromAnAddressToItsModuleAndName) {
    static int inThisProgram = 0;
    MEMORY_BASIC_INFORMATION info;
    ASSERT_EQ(VirtualQuery(&inThisProgram, &info, sizeof(info)), sizeof(info));
    HMODULE self = static_cast<HMODULE>(info.AllocationBase);
    EXPECT_EQ(self, GetModuleHandleA(nullptr));
    char name[MAX_PATH];
    const DWORD length = GetModuleFileNameA(self, name, sizeof(name));
    ASSERT_GT(length, 0u);
    const std::string path(name, length);
    EXPECT_EQ(path.find('/'), std::string::npos) << path;
    EXPECT_EQ(path.substr(path.rfind('\\') + 1), "platform_test") << path;

    // A shared library: its handle is its load address, found again from any address in it.
    HMODULE math = LoadLibraryA("libm.so.6");
    ASSERT_NE(math, nullptr);
    auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(math, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
    ASSERT_EQ(VirtualQuery(reinterpret_cast<const void*>(cosine), &info, sizeof(info)),
              sizeof(info));
    EXPECT_EQ(info.AllocationBase, static_cast<void*>(math));
    EXPECT_EQ(GetModuleHandleA("LIBM.SO.6"), math);
    ASSERT_GT(GetModuleFileNameA(math, name, sizeof(name)), 0u);
    EXPECT_NE(std::string(name).find("\\libm"), std::string::npos) << name;
    EXPECT_TRUE(FreeLibrary(math));

    // A Windows path set by the test; a buffer too small cuts it and says so.
    simulated::SetModuleFileName(self, "C:\\addins\\pricing.xll");
    EXPECT_EQ(GetModuleFileNameA(self, name, sizeof(name)), 21u);
    EXPECT_STREQ(name, "C:\\addins\\pricing.xll");
    EXPECT_EQ(GetModuleFileNameA(nullptr, name, sizeof(name)), 21u) << "null is the program";
    EXPECT_EQ(GetModuleFileNameA(self, name, 8), 8u);
    EXPECT_STREQ(name, "C:\\addi");
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    simulated::SetVirtualQueryFails(true);
    EXPECT_EQ(VirtualQuery(&inThisProgram, &info, sizeof(info)), 0u);
}

TEST_F(Platform, MessageBoxesAreRecordedAndSystemErrorsHaveTexts) {
    EXPECT_EQ(MessageBoxA(nullptr, "Pricing failed", "XLL Error", MB_OK | MB_ICONINFORMATION),
              IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "no caption", nullptr, MB_OK), IDOK);
    const auto boxes = simulated::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Pricing failed");
    EXPECT_EQ(boxes[0].caption, "XLL Error");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(boxes[1].caption, "Error") << "Windows' default caption";

    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, ERROR_MOD_NOT_FOUND, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&message), 0, nullptr);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(std::string(message, length), "The specified module could not be found.\r\n");
    EXPECT_EQ(LocalFree(message), nullptr);
    char small[8];
    EXPECT_EQ(
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, small, sizeof(small), nullptr),
        0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
