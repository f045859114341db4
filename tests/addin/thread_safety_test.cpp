// The thread-safe functions called by the substitute host from 8 threads at once, as Excel's
// multi-threaded recalculation calls them, while the main thread keeps calling functions that
// are not thread-safe: every result must equal the one of a call made alone. Ranges arrive as
// arrays and, in a second run, as references, which the functions read through the host's
// xlCoerce from every thread. Also run under ThreadSanitizer (the native-tsan preset).
#include <string>

#include "AddinSession.h"
#include "ParallelCalls.h"

namespace {

using addintest::AddinSession;
using runner::ReferenceMode;

// Parameters in A1:A5, strikes in B1:B4, maturities in C1:E1, an observation table in
// F1:H6; then single cells, arrays with a bad element, texts, Greeks, a calibration, and two
// of the nine (not thread-safe) for the main thread.
const char kWorkbook[] =
    "0.04,80,0.25,0.5,1,90,0.5,7.6\n"
    "0.06,100,,,,100,0.5,3.3\n"
    "1.5,120,,,,110,0.5,1.1\n"
    "0.5,-5,,,,90,1,10.0\n"
    "-0.6,,,,,100,1,5.3\n"
    ",,,,,110,1,2.5\n"
    "=heston_Price(\"C\",100,B1:B4,C1:E1,0.02,0.01,A1:A5)\n"
    ",,,,=heston_ModelImpliedVol(\"P\",100,B1:B4,C1:E1,0.02,0.01,A1:A5)\n"
    "\n\n\n"
    "=heston_Greeks(\"Put\",100,95,0.75,0.02,0.01,A1:A5),,,"
    "=heston_BlackImpliedVol(1,H1:H6,100,F1:F6,G1:G6,0.02,0)\n"
    "\n\n\n\n\n\n\n\n\n\n"
    "=heston_Price(2,100,105,2,0.03,0,A1:A5),=heston_Price(\"Z\",100,105,2,0.03,0,A1:A5),"
    "=heston_ModelImpliedVol(1,100,150,0.1,0.03,0,A1:A5),"
    "=heston_EuropeanCallPrice(100,100,1,0.02,-0.6,1.5,0.06,0,0.5,0.04),"
    "=heston_impliedVol(100,100,0.02,1,8,1,0,0.0001)\n"
    "=heston_Calibrate(100,F1:F6,G1:G6,1,H1:H6,0.02,0,,,A1:A5,,,4)\n";

class ThreadSafety : public AddinSession {
  protected:
    void SetUp() override {
        AddinSession::SetUp();
        ASSERT_EQ(Open(), 1);
    }

    void CheckFromEightThreads(ReferenceMode references) {
        std::istringstream input(kWorkbook);
        const runner::Workbook workbook = runner::ParseWorkbook(input);
        const auto functions = runner::RegisteredFunctions();
        runner::Evaluator evaluator(*addin_, functions, references);
        const runner::Sheet sheet = evaluator.Evaluate(workbook);
        const auto calls = runner::ThreadedCalls(workbook, evaluator, functions, sheet);
        // The workbook computes: nothing failed for want of a value.
        ASSERT_EQ(calls.size(), 10u);
        for (const runner::ThreadedCall& call : calls) {
            EXPECT_NE(call.expected.At(0, 0).kind, runner::SheetValue::Null) << call.cell;
            EXPECT_NE(call.expected.At(0, 0).kind, runner::SheetValue::Empty) << call.cell;
        }
        EXPECT_EQ(ThreadSafeCount(calls), 8u);

        const runner::ParallelReport report =
            runner::CallFromThreads(evaluator, calls, sheet, 8, 3);
        EXPECT_EQ(report.threadSafeCalls, 8u * 3u * 8u);
        EXPECT_GT(report.otherCalls, 0u);
        EXPECT_EQ(report.differing, 0u) << report.firstDifference;
    }

    static std::size_t ThreadSafeCount(const std::vector<runner::ThreadedCall>& calls) {
        std::size_t count = 0;
        for (const runner::ThreadedCall& call : calls) count += call.threadSafe ? 1 : 0;
        return count;
    }
};

TEST_P(ThreadSafety, EveryResultFromEightThreadsEqualsTheSingleThreadedOne) {
    CheckFromEightThreads(ReferenceMode::Values);
}

TEST_P(ThreadSafety, ReferencesAreCoercedFromEveryThread) {
    CheckFromEightThreads(ReferenceMode::References);
}

INSTANTIATE_TEST_SUITE_P(Excel12, ThreadSafety, ::testing::Values(addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
