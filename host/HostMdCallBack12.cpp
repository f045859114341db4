// HostMdCallBack12.cpp - MdCallBack12 (stdcall, undecorated), the XLOPER12 entry point that
// the host's main module exports. Kept apart from Excel4/Excel4v because on Windows it is
// linked into the host program while those live in XLCALL32.DLL.
#include "ExcelHost.h"
#include "XlRecords.h"

extern "C" int XLCALL_STDCALL MdCallBack12(int function, int count, XLOPER12* values[],
                                           XLOPER12* result) {
    return xlhost::Host::Instance().Call12(function, result, count, values);
}
