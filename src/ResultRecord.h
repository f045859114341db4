// ResultRecord: a worksheet function's result as the record Excel receives, written by the
// layer in the record form of the current mode (an XLOPER in Excel-4 mode, an XLOPER12 in
// Excel-12 mode), in the storage the caller chooses (RecordStorage.h).
//
// A 1 x 1 matrix becomes a single value, a larger one an array; an empty matrix and an empty
// cell become an empty text. Numbers that are not finite become #NUM!, as Excel holds no
// infinities or NaN. Texts longer than the form holds (255 characters in an XLOPER, 32767 in
// an XLOPER12) are cut, and count no terminating NUL; wide texts keep the low 8 bits of each
// character in an XLOPER, narrow texts widen byte by byte in an XLOPER12. An array beyond
// the mode's limits (65535 rows and 255 columns in Excel-4 mode, a whole sheet in Excel-12
// mode) becomes a text that says so.
#pragma once

#include "CellMatrix.h"
#include "RecordStorage.h"

namespace xlf {

// The cells as a result record, with every piece in Storage; Storage::BeginResult comes
// first. The record stays valid as long as Storage keeps it. Throws std::bad_alloc when the
// storage cannot serve, and what XlfExcel::Current throws when the mode cannot be told.
template <class Storage>
void* WriteResult(const CellMatrix& cells);

extern template void* WriteResult<TemporaryPool>(const CellMatrix& cells);
extern template void* WriteResult<ThreadStorage>(const CellMatrix& cells);

// #VALUE! in the record form of the current mode, built without allocating: the result of
// last resort when no other can be built. Excel only reads a result it is not asked to free,
// so one record per form serves every call and every thread (nothing writes it after its
// initialisation). Null when not even the mode can be told.
void* StaticErrorResult() noexcept;

}  // namespace xlf
