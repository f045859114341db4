#include "ResultRecord.h"

#include "XlfExcel.h"
#include "XlfOperImpl12.h"
#include "XlfOperImpl4.h"

namespace xlf {

namespace {

template <class Traits, class Storage>
void* WriteResultIn(const CellMatrix& cells) {
    using Ops = detail::RecordOps<Traits, Storage>;
    Storage::BeginResult();
    typename Traits::Record* record = Ops::NewRecord();
    Ops::WriteResult(*record, cells);
    return record;
}

}  // namespace

template <class Storage>
void* WriteResult(const CellMatrix& cells) {
    if (XlfExcel::Current().IsExcel12())
        return WriteResultIn<detail::Excel12ImplTraits, Storage>(cells);
    return WriteResultIn<detail::Excel4ImplTraits, Storage>(cells);
}

template void* WriteResult<TemporaryPool>(const CellMatrix& cells);
template void* WriteResult<ThreadStorage>(const CellMatrix& cells);

void* StaticErrorResult() noexcept {
    static XLOPER error4 = [] {
        XLOPER record{};
        record.xltype = xltypeErr;
        record.val.err = xlerrValue;
        return record;
    }();
    static XLOPER12 error12 = [] {
        XLOPER12 record{};
        record.xltype = xltypeErr;
        record.val.err = xlerrValue;
        return record;
    }();
    try {
        return XlfExcel::Current().IsExcel12() ? static_cast<void*>(&error12)
                                               : static_cast<void*>(&error4);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace xlf
