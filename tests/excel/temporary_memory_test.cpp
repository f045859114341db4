// The temporary memory over many worksheet calls: each call releases the pool and builds a
// 1000-number column, as a worksheet function returning a column does. The pool must settle
// on one buffer and the process must not grow.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "XlfExcel.h"
#include "XlfOper.h"

namespace {

using xlf::XlfExcel;

// Under AddressSanitizer freed heap memory sits in quarantine instead of being reused, so
// the resident size grows with every allocation the platform layer makes (the named mutex
// allocates on each use) and says nothing about the pool; the run is also slower.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Resident set size in pages, from /proc/self/statm.
long ResidentPages() {
    long size = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return -1;
    if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2) resident = -1;
    std::fclose(statm);
    return resident;
}

// One simulated worksheet call; returns the address handed back to Excel.
void* WorksheetCall(const std::vector<double>& column) {
    XlfExcel::Current().ReleaseTemporary(false);
    xlf::XlfOper result;
    result.Assign(column);
    return result.HostPointer();
}

// The version, and the number of calls: each call takes the pool's named mutex three times,
// which dominates the run time, so the Excel-4 run is shorter.
struct Run {
    const char* version;
    int calls;
};

class TemporaryMemoryTest : public ::testing::TestWithParam<Run> {
  protected:
    void SetUp() override {
        simulated::Reset();
        delete &XlfExcel::Current();
        xlhost::Host::Instance().Reset();
        xlhost::Host::Instance().SetVersion(GetParam().version);
    }
};

TEST_P(TemporaryMemoryTest, ManyWorksheetCallsKeepOneBufferAndFlatMemory) {
    XlfExcel& excel = XlfExcel::Current();
    std::vector<double> column(1000);
    for (std::size_t i = 0; i < column.size(); ++i) column[i] = 0.5 * i;

    for (int call = 0; call < 100; ++call) WorksheetCall(column);
    const long before = ResidentPages();
    ASSERT_GT(before, 0);
    void* first = WorksheetCall(column);

    const int calls = kSanitized ? GetParam().calls / 10 : GetParam().calls;
    for (int call = 1; call < calls; ++call) {
        void* record = WorksheetCall(column);
        if (record != first) {
            FAIL() << "call " << call << " served from another place";
            break;
        }
    }
    const long after = ResidentPages();
    EXPECT_EQ(excel.TemporaryBufferSizes().size(), 1u);

    // The last result is still intact: its records were carved from the one buffer.
    const xlf::XlfOper last(first);
    ASSERT_EQ(last.RowCount(), 1000);
    EXPECT_EQ(last.ElementAt(999, 0).ToDouble(), 499.5);

    const long growthKiB = (after - before) * 4;
    std::printf("resident before %ld KiB, after %ld KiB, growth %ld KiB over %d calls\n",
                before * 4, after * 4, growthKiB, calls);
    if (!kSanitized) {
        EXPECT_LE(growthKiB, 256) << "resident memory grew";
    }
    excel.ReleaseTemporary(false);
    EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, TemporaryMemoryTest,
                         ::testing::Values(Run{"12.0", 100000}, Run{"11.0", 10000}));

}  // namespace
