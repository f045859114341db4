// Host faults around opening, worksheet calls and closing, in both modes: coercions failing
// or uncalculated for any argument, xlGetName failing, a missing or strange version text,
// registration failing for one function, every Excel4v request aborted, and no MdCallBack12.
// Each run must end with xlAutoClose returning 1 and every host block given back (checked by
// the session's TearDown), and each fault has its own stated outcome.
#include <string>
#include <vector>

#include "AddinSession.h"

namespace {

using addintest::AddinSession;
using runner::ReferenceMode;
using runner::Sheet;
using runner::SheetValue;

// Bounds (A, B), guess (C) and three options (D-I), spot J1, then both calibrations and a
// closed-form price.
const char kWorkbook[] =
    "0.01,0.5,0.05,90,0.5,1,12.5,0.03,1,100\n"
    "0.01,0.5,0.05,100,0.5,2,5.8,0.03,1\n"
    "0.5,5,2,110,1,1,6.1,0.03,1\n"
    "0.1,1,0.4\n"
    "-0.9,0.5,-0.5\n"
    "=heston_CalibrateLevMar(A1:A5,B1:B5,C1:C5,D1:D3,E1:E3,F1:F3,G1:G3,J1,H1:H3,I1:I3,5),"
    "=heston_CalibrateDE(A1:A5,B1:B5,D1:D3,E1:E3,F1:F3,G1:G3,J1,H1:H3,I1:I3,10),"
    "=heston_EuropeanCallPrice(100,100,1,0.05,-0.5,2,0.04,0,0.3,0.04)\n";

// The nine original worksheet functions, the five of the contour pricer, the two barrier
// functions of the finite-difference pricer and the two path-dependent ones.
constexpr std::size_t kRegisteredFunctions = 18;

class HostFaults : public AddinSession {
  protected:
    xlhost::Host& host() { return xlhost::Host::Instance(); }

    std::size_t Count(int function) const {
        std::size_t n = 0;
        for (int request : xlhost::Host::Instance().Requests()) n += request == function;
        return n;
    }

    // Every registered type text begins with the mode's value code.
    void ExpectRegisteredInMode(bool excel12, std::size_t functions = kRegisteredFunctions) {
        const auto registered = runner::RegisteredFunctions();
        EXPECT_EQ(registered.size(), functions);
        for (const auto& function : registered)
            EXPECT_EQ(function.typeText.substr(0, 1), excel12 ? "Q" : "P") << function.exportName;
    }

    void ExpectWorkbookComputes(ReferenceMode mode = ReferenceMode::Values) {
        const Sheet sheet = Evaluate(kWorkbook, mode);
        for (const char* cell : {"A6", "B6", "C6"})
            EXPECT_EQ(At(sheet, cell).kind, SheetValue::Number)
                << cell << ": " << runner::DisplayText(At(sheet, cell));
    }
};

TEST_P(HostFaults, CoercionFailingOrUncalculatedForAnyArgument) {
    ASSERT_EQ(Open(), 1);
    const std::size_t before = Count(xlCoerce);
    ExpectWorkbookComputes(ReferenceMode::References);
    const std::size_t coercions = Count(xlCoerce) - before;
    ASSERT_GT(coercions, 60u) << "every range cell is read through xlCoerce";

    for (int code : {xlretFailed, xlretUncalced}) {
        for (std::size_t n = 1; n <= coercions; ++n) {
            host().FailNthRequest(xlCoerce, n, code);
            const Sheet sheet = Evaluate(kWorkbook, ReferenceMode::References);
            // Exactly one of the two calibrations meets the failure; the other and the price
            // compute as ever.
            int failed = 0;
            for (const char* cell : {"A6", "B6"}) {
                const SheetValue value = At(sheet, cell);
                if (value.kind == SheetValue::Number) continue;
                ++failed;
                if (code == xlretUncalced) {
                    EXPECT_EQ(value.kind, SheetValue::Null) << cell << " " << n;
                } else {
                    ASSERT_EQ(value.kind, SheetValue::Text) << cell << " " << n;
                    EXPECT_EQ(value.text.rfind("command failed, ", 0), 0u) << value.text;
                    EXPECT_NE(value.text.find(" conversion to double vector"), std::string::npos);
                }
            }
            EXPECT_EQ(failed, 1) << "coercion " << n;
            EXPECT_EQ(At(sheet, "C6").kind, SheetValue::Number);
            host().ClearFailures();
        }
    }
}

TEST_P(HostFaults, CoercionFailingWhileOpeningLeavesExcel4Mode) {
    for (int code : {xlretFailed, xlretUncalced}) {
        host().FailNthRequest(xlCoerce, 1, code);  // the version text's coercion
        ASSERT_EQ(Open(), 1);
        ExpectRegisteredInMode(false);
        ExpectWorkbookComputes();
        ASSERT_EQ(addin_->Close(), 1);
        host().ClearRecords();
    }
}

TEST_P(HostFaults, LibraryNameFailingRegistersNothingAndOpeningReportsIt) {
    host().FailRequest(xlGetName, xlretFailed);
    EXPECT_EQ(Open(), 0);
    EXPECT_TRUE(runner::RegisteredFunctions().empty());
}

TEST_P(HostFaults, VersionFailingOrStrangeMeansExcel4Mode) {
    host().FailRequest(xlfGetWorkspace, xlretFailed);
    ASSERT_EQ(Open(), 1);
    ExpectRegisteredInMode(false);
    ExpectWorkbookComputes();
    host().ClearFailures();
    for (const char* version : {"", "abc", "99.0"}) {
        ASSERT_EQ(addin_->Close(), 1);
        host().ClearRecords();
        host().SetVersion(version);
        ASSERT_EQ(addin_->Open(), 1) << version;
        ExpectRegisteredInMode(false);
        ExpectWorkbookComputes();
    }
}

TEST_P(HostFaults, RegistrationFailingForOneFunctionRegistersTheOthers) {
    simulated::AttachDebugger();
    for (std::size_t n = 1; n <= kRegisteredFunctions; ++n) {
        host().ClearRecords();
        host().FailNthRequest(xlfRegister, n, xlretFailed);
        ASSERT_EQ(Open(), 1);
        // The host records only the registrations it accepted.
        ExpectRegisteredInMode(IsExcel12(), kRegisteredFunctions - 1);
        EXPECT_NE(addintest::DebugText().find("while registering"), std::string::npos);
        ASSERT_EQ(addin_->Close(), 1);
        EXPECT_EQ(host().OutstandingBlocks(), 0u);
    }
}

TEST_P(HostFaults, Excel4EntryPointsAborting) {
    // While opening: the version query aborts (Excel-4 mode) and so does the library name.
    host().FailExcel4Requests(xlretAbort);
    EXPECT_EQ(Open(), 0);
    EXPECT_TRUE(runner::RegisteredFunctions().empty());
    EXPECT_EQ(addin_->Close(), 1);
    host().ClearFailures();
    host().ClearRecords();

    // During worksheet calls: numbers passed by value still compute; in Excel-4 mode a
    // range read through the host ends with the layer's null result, in Excel-12 mode ranges
    // are read through MdCallBack12 and compute.
    ASSERT_EQ(addin_->Open(), 1);
    host().FailExcel4Requests(xlretAbort);
    const Sheet sheet = Evaluate(kWorkbook, ReferenceMode::References);
    EXPECT_EQ(At(sheet, "C6").kind, SheetValue::Number);
    for (const char* cell : {"A6", "B6"})
        EXPECT_EQ(At(sheet, cell).kind, IsExcel12() ? SheetValue::Number : SheetValue::Null)
            << cell;
    const Sheet mc = Evaluate(
        "=heston_EuropeanCallPriceMC(100,100,1,0.05,-0.5,2,0.04,0,0.3,0.04,"
        "100,10)\n");
    EXPECT_EQ(At(mc, "A1").kind, SheetValue::Number) << "xlAbort aborting does not stop it";
    host().ClearFailures();
}

TEST_P(HostFaults, MissingMdCallBack12MeansExcel4Mode) {
    simulated::FailProcAddress("MdCallBack12");
    ASSERT_EQ(Open(), 1);
    ExpectRegisteredInMode(false);
    ExpectWorkbookComputes(ReferenceMode::References);
    simulated::ClearFailures();
    ASSERT_EQ(addin_->Close(), 1);
    host().ClearRecords();
    // Found again at the next opening.
    ASSERT_EQ(addin_->Open(), 1);
    ExpectRegisteredInMode(IsExcel12());
}

INSTANTIATE_TEST_SUITE_P(BothModes, HostFaults,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
