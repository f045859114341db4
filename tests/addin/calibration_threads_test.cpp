// The add-in's calibrations run on its thread pool, which starts with the first calibration,
// sized by HESTON_THREADS, and leaves no thread behind once Excel has closed the add-in.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "AddinSession.h"
#include "process_threads.h"

namespace {

using addintest::AddinSession;
using runner::Sheet;
using runner::SheetValue;
using test_support::ProcessThreads;
using test_support::ProcessThreadsSettledAt;

// Bounds (A, B), initial guess (C) and three options at two maturities (D to I), spot J1.
const char kInputs[] =
    "0.01,0.5,0.05,90,0.5,1,12.5,0.03,1,100\n"
    "0.01,0.5,0.05,100,0.5,2,5.8,0.03,1\n"
    "0.5,5,2,110,1,1,6.1,0.03,1\n"
    "0.1,1,0.4\n"
    "-0.9,0.5,-0.5\n";

class CalibrationThreads : public AddinSession {};

TEST_P(CalibrationThreads, CalibrationsStartThePoolAndClosingJoinsIt) {
    // The pool is sized once, on the module's first calibration.
    setenv("HESTON_THREADS", "3", 1);
    const int workers = static_cast<int>(std::min(3u, std::thread::hardware_concurrency())) - 1;
    const int before = test_support::ThreadsBefore();
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(ProcessThreads(), before);  // nothing started by opening

    const Sheet sheet =
        Evaluate(std::string(kInputs) +
                 "=heston_CalibrateLevMar(A1:A5,B1:B5,C1:C5,D1:D3,E1:E3,F1:F3,G1:G3,J1,H1:H3,"
                 "I1:I3,20),"
                 "=heston_CalibrateDE(A1:A5,B1:B5,D1:D3,E1:E3,F1:F3,G1:G3,J1,H1:H3,I1:I3,2)\n");
    for (const char* cell : {"A6", "A10", "B6", "B10"}) {
        EXPECT_EQ(At(sheet, cell).kind, SheetValue::Number)
            << cell << ": " << runner::DisplayText(At(sheet, cell));
    }
    EXPECT_EQ(ProcessThreads(), before + std::max(workers, 0));

    opened_ = false;
    EXPECT_EQ(addin_->Close(), 1);
    EXPECT_EQ(ProcessThreadsSettledAt(before), before);
    EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);
    unsetenv("HESTON_THREADS");
}

INSTANTIATE_TEST_SUITE_P(BothModes, CalibrationThreads,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
