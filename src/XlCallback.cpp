// XlCallback.cpp - Excel12v over the host module's MdCallBack12.
#include "XlCallback.h"

#include <atomic>

#include "WindowsApi.h"

namespace xlf {
namespace {

// Atomic so that a lookup racing with a call never yields a torn pointer.
std::atomic<MdCallBack12Proc> mdCallBack12{nullptr};

MdCallBack12Proc FindMdCallBack12() {
    MdCallBack12Proc entry = mdCallBack12.load();
    if (entry != nullptr) return entry;
    HMODULE module = GetModuleHandleA(nullptr);
    if (module == nullptr) return nullptr;
    // Through the generic function type, which converts to any other without a warning.
    entry = reinterpret_cast<MdCallBack12Proc>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "MdCallBack12")));
    if (entry != nullptr) mdCallBack12.store(entry);
    return entry;
}

}  // namespace

bool FindExcel12Callback() {
    mdCallBack12.store(nullptr);
    return FindMdCallBack12() != nullptr;
}

int Excel12v(int function, XLOPER12* result, int count, XLOPER12* values[]) {
    MdCallBack12Proc entry = FindMdCallBack12();
    if (entry == nullptr) return xlretFailed;
    return entry(function, count, values, result);
}

}  // namespace xlf
