// HostEntryPoints.cpp - the callback library's exported C entry points, undecorated, as the
// add-in finds them: Excel4 (cdecl, variadic) and Excel4v (stdcall). Each only hands over to
// the host. MdCallBack12 belongs to the host's main module instead (HostMdCallBack12.cpp).
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

}  // extern "C"
