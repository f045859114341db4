// XllExport: how the add-in declares the entry points Excel calls.
//
// C linkage keeps the names undecorated by C++; WINAPI is Excel's calling convention for
// add-in entry points (stdcall on 32-bit Windows, nothing natively). The Windows build lists
// the exports in the add-in's .def file, which also drops the 32-bit stdcall decoration
// (_name@N), so Excel finds exactly the names given to xlfRegister. Natively every function
// has default visibility and the loader finds it by its plain name.
#pragma once

#include "WindowsApi.h"

#define XLL_EXPORT extern "C"

// A worksheet function's result: the address of an XLOPER (Excel-4 mode) or an XLOPER12
// (Excel-12 mode) record, or null.
typedef void* LPXLFOPER;
