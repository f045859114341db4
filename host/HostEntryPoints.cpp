// HostEntryPoints.cpp - the host's exported C entry points, undecorated, as the add-in finds
// them: Excel4 (cdecl, variadic) and Excel4v (stdcall) of the callback library, and
// MdCallBack12 (stdcall) of the host's main module. Each only hands over to the host.
#include <cstdarg>
#include <vector>

#include "ExcelHost.h"
#include "XlRecords.h"

extern "C" {

int XLCALL_CDECL Excel4(int function, XLOPER* result, int count, ...) {
    if (count < 0 || count > 255) return xlretInvCount;
    std::vector<XLOPER*> values(static_cast<std::size_t>(count));
    va_list arguments;
    va_start(arguments, count);
    for (auto& value : values) value = va_arg(arguments, XLOPER*);
    va_end(arguments);
    return xlhost::Host::Instance().Call4(function, result, count, values.data());
}

int XLCALL_STDCALL Excel4v(int function, XLOPER* result, int count, XLOPER* values[]) {
    return xlhost::Host::Instance().Call4(function, result, count, values);
}

int XLCALL_STDCALL MdCallBack12(int function, int count, XLOPER12* values[], XLOPER12* result) {
    return xlhost::Host::Instance().Call12(function, result, count, values);
}

}  // extern "C"
