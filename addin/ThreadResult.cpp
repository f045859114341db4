#include "ThreadResult.h"

#include "RecordStorage.h"
#include "ResultRecord.h"
#include "XlfExcel.h"

namespace addin {

using xlf::CellMatrix;
using xlf::MatrixCell;

void ThreadResult::ReclaimPrevious() {
    xlf::XlfExcel::Current();
}

LPXLFOPER ThreadResult::Of(const CellMatrix& cells) {
    return xlf::WriteResult<xlf::ThreadStorage>(cells);
}

LPXLFOPER ThreadResult::Text(const std::string& text) {
    return Of(CellMatrix(text));
}

LPXLFOPER ThreadResult::Text(const char* text) {
    return Of(CellMatrix(std::string(text != nullptr ? text : "")));
}

LPXLFOPER ThreadResult::Boolean(bool value) {
    CellMatrix cells(1, 1);
    cells.Cell(0, 0) = MatrixCell(value);
    return Of(cells);
}

LPXLFOPER ThreadResult::Error(std::uint16_t code) {
    CellMatrix cells(1, 1);
    cells.Cell(0, 0) = MatrixCell(static_cast<std::uint32_t>(code), true);
    return Of(cells);
}

}  // namespace addin
