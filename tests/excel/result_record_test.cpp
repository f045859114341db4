// Worksheet results written by the layer: the record each kind of cell becomes in both modes,
// the same records whichever storage holds them, and the per-thread storage keeping a
// thread's result intact while it grows and while other threads write theirs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "CellMatrix.h"
#include "CloseHooks.h"
#include "RecordStorage.h"
#include "ResultRecord.h"
#include "XlRecords.h"
#include "host_session.h"

namespace {

using xlf::CellMatrix;
using xlf::MatrixCell;
using xlf::TemporaryPool;
using xlf::ThreadStorage;

// A record as text: "n:1.5", "b:1", "e:36", "s<count>:<characters>", or "a<rows>x<columns>"
// followed by its elements.
template <class Record>
std::string Describe(const Record& r) {
    switch (r.xltype) {
        case xltypeNum:
            return "n:" + std::to_string(r.val.num);
        case xltypeBool:
            return "b:" + std::to_string(r.val.xbool);
        case xltypeErr:
            return "e:" + std::to_string(r.val.err);
        case xltypeStr: {
            const std::size_t count = sizeof(r.val.str[0]) == 1
                                          ? static_cast<unsigned char>(r.val.str[0])
                                          : static_cast<std::uint16_t>(r.val.str[0]);
            std::string text;
            for (std::size_t i = 1; i <= count; ++i)
                text += static_cast<char>(static_cast<unsigned>(r.val.str[i]) < 128 ? r.val.str[i]
                                                                                    : '~');
            return "s" + std::to_string(count) + ":" + text;
        }
        case xltypeMulti: {
            std::string text =
                "a" + std::to_string(r.val.array.rows) + "x" + std::to_string(r.val.array.columns);
            const std::size_t count = std::size_t(r.val.array.rows) * r.val.array.columns;
            for (std::size_t k = 0; k < count; ++k) text += " " + Describe(r.val.array.lparray[k]);
            return text;
        }
        default:
            return "type " + std::to_string(r.xltype);
    }
}

std::string Describe(void* record, bool excel12) {
    if (record == nullptr) return "null";
    return excel12 ? Describe(*static_cast<XLOPER12*>(record))
                   : Describe(*static_cast<XLOPER*>(record));
}

CellMatrix Row(std::vector<MatrixCell> cells) {
    CellMatrix row(1, static_cast<std::uint32_t>(cells.size()));
    for (std::uint32_t j = 0; j < cells.size(); ++j) row.Cell(0, j) = cells[j];
    return row;
}

class ResultRecord : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { ConnectToHost(GetParam()); }
    void TearDown() override { delete &xlf::XlfExcel::Current(); }

    bool Excel12() const { return GetParam() == std::string("12.0"); }
    template <class Storage>
    std::string Written(const CellMatrix& cells) const {
        return Describe(xlf::WriteResult<Storage>(cells), Excel12());
    }
};

TEST_P(ResultRecord, EachKindOfCellBecomesItsRecord) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const CellMatrix cells = Row({MatrixCell(1.5), MatrixCell(true), MatrixCell(42u, true),
                                  MatrixCell("ab"), MatrixCell(std::wstring(L"cd")), MatrixCell(),
                                  MatrixCell(nan), MatrixCell(-infinity)});
    EXPECT_EQ(Written<ThreadStorage>(cells), "a1x8 n:1.500000 b:1 e:42 s2:ab s2:cd s0: e:36 e:36");

    // One cell is a single value, no array; no cells at all an empty text.
    EXPECT_EQ(Written<ThreadStorage>(CellMatrix(2.5)), "n:2.500000");
    EXPECT_EQ(Written<ThreadStorage>(CellMatrix("text")), "s4:text");
    EXPECT_EQ(Written<ThreadStorage>(CellMatrix()), "s0:");
}

// Texts are cut to the longest the form counts, with no terminating NUL counted; wide
// characters keep their low 8 bits in an XLOPER.
TEST_P(ResultRecord, TextsAreCutToTheFormsLongest) {
    const std::size_t longest = Excel12() ? 32767 : 255;
    const std::string cut = Written<ThreadStorage>(CellMatrix(std::string(longest + 10, 'x')));
    EXPECT_EQ(cut, "s" + std::to_string(longest) + ":" + std::string(longest, 'x'));
    EXPECT_EQ(Written<ThreadStorage>(CellMatrix(std::string(longest, 'y'))),
              "s" + std::to_string(longest) + ":" + std::string(longest, 'y'));

    void* wide = xlf::WriteResult<ThreadStorage>(CellMatrix(std::wstring(L"a\x0141")));
    if (Excel12()) {
        EXPECT_EQ(static_cast<XLOPER12*>(wide)->val.str[2], L'\x0141');
    } else {
        EXPECT_EQ(static_cast<unsigned char>(static_cast<XLOPER*>(wide)->val.str[2]), 0x41);
    }
}

TEST_P(ResultRecord, ArraysBeyondTheModesLimitsBecomeAText) {
    const std::string refusal =
        "The result has more rows or columns than an array of this Excel holds";
    const std::string asText = "s" + std::to_string(refusal.size()) + ":" + refusal;
    const std::uint32_t mostColumns = Excel12() ? 16384 : 255;
    EXPECT_EQ(Written<ThreadStorage>(CellMatrix(1, mostColumns + 1)), asText);
    EXPECT_EQ(Written<ThreadStorage>(CellMatrix(2, 255)).substr(0, 7), "a2x255 ");
    // A whole Excel-12 sheet of cells is too large to build in a test; 16-bit row counts are
    // the limit that matters.
    if (!Excel12()) {
        EXPECT_EQ(Written<ThreadStorage>(CellMatrix(65536, 1)), asText);
        EXPECT_EQ(Written<ThreadStorage>(CellMatrix(65535, 1)).substr(0, 9), "a65535x1 ");
    }
}

// The pool and the per-thread storage hold the same records; the per-thread storage never
// touches the pool, so a failing pool does not reach a thread-safe function's result.
TEST_P(ResultRecord, BothStoragesHoldTheSameRecordsAndOnlyThePoolUsesThePool) {
    CellMatrix cells(3, 2);
    cells.Cell(0, 0) = MatrixCell(0.25);
    cells.Cell(1, 1) = MatrixCell(std::string(300, 'z'));
    cells.Cell(2, 0) = MatrixCell(7u, true);
    xlf::XlfExcel& excel = xlf::XlfExcel::Current();

    excel.ReleaseTemporary(false);
    const std::string inPool = Written<TemporaryPool>(cells);
    EXPECT_GT(excel.TemporaryOffset(), 0u);

    excel.ReleaseTemporary(false);
    excel.FailTemporaryRequests(0, 1000);
    EXPECT_THROW(xlf::WriteResult<TemporaryPool>(cells), std::bad_alloc);
    EXPECT_EQ(Written<ThreadStorage>(cells), inPool);
    excel.FailTemporaryRequests(0, 0);
    EXPECT_EQ(excel.TemporaryOffset(), 0u);
}

// A result larger than the thread's first block grows the storage without moving what was
// written; the next result replaces it; another thread's writes leave it alone.
TEST_P(ResultRecord, ThreadStorageKeepsEachThreadsResult) {
    CellMatrix large(400, 3);
    for (std::uint32_t i = 0; i < large.Rows(); ++i) {
        large.Cell(i, 0) = MatrixCell(static_cast<double>(i));
        large.Cell(i, 1) = MatrixCell("row " + std::to_string(i));
        large.Cell(i, 2) = MatrixCell(std::wstring(i % 50, L'w'));
    }
    const std::string expected = Written<TemporaryPool>(large);
    void* held = xlf::WriteResult<ThreadStorage>(large);
    EXPECT_EQ(Describe(held, Excel12()), expected);

    std::thread other([&] {
        for (int round = 0; round < 20; ++round) {
            CellMatrix cells(50 + round * 40, 2);
            for (std::uint32_t i = 0; i < cells.Rows(); ++i)
                cells.Cell(i, 1) = MatrixCell(std::string(i % 90, 'o'));
            xlf::WriteResult<ThreadStorage>(cells);
        }
    });
    other.join();
    EXPECT_EQ(Describe(held, Excel12()), expected);

    EXPECT_EQ(Written<ThreadStorage>(CellMatrix(3.0)), "n:3.000000");
    EXPECT_EQ(Written<ThreadStorage>(large), expected);
}

// Closing the add-in gives up the per-thread storage; results written after a close (an
// add-in opened again) get storage of their own, however often that happens.
TEST_P(ResultRecord, ThreadStorageServesAgainAfterEveryClose) {
    for (int close = 0; close < 1500; ++close) {
        ASSERT_EQ(Written<ThreadStorage>(CellMatrix(static_cast<double>(close))),
                  "n:" + std::to_string(static_cast<double>(close)))
            << close;
        xlf::RunCloseHooks();
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, ResultRecord, ::testing::Values("11.0", "12.0"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "12.0" ? "Excel12" : "Excel4";
                         });

}  // namespace
