// XlCallback.h - the host's callback entry points and Excel12v, the layer's route to
// MdCallBack12.
//
// Excel4 and Excel4v live in XLCALL32.DLL, which XlfExcel loads and resolves. MdCallBack12
// is exported by the host process's main module; Excel12v finds it there on first use.
#ifndef XLCALLBACK_H
#define XLCALLBACK_H

#include "XlRecords.h"

namespace xlf {

// Sends a request through MdCallBack12: the host's code, or xlretFailed (32) while the
// entry point cannot be found. The lookup is kept once it succeeds and retried on every call
// until then, so a host that exports it late is still reached.
int Excel12v(int function, XLOPER12* result, int count, XLOPER12* values[]);

// Looks MdCallBack12 up afresh, forgetting an earlier lookup; true when it was found. Each
// load of XlfExcel asks this before it settles on Excel-12 mode.
bool FindExcel12Callback();

}  // namespace xlf

#endif  // XLCALLBACK_H
