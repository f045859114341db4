// Esc during long work, in both modes: the host finds Esc pressed at a chosen xlAbort request,
// and each long worksheet function (both Monte Carlo prices, the three calibrations, the
// contour one with Model "Bates" too) comes back within 0.2 s of that answer with the text
// "Calculation cancelled", nothing of the host's left outstanding; the break is cleared, so
// the next cell of the same recalculation and the next call compute normally.
#include <chrono>
#include <string>

#include "AddinSession.h"

namespace {

using addintest::AddinSession;
using runner::Sheet;
using runner::SheetValue;

const char kCancelled[] = "Calculation cancelled";

// Rows 1-40: bounds (A, B) and guess (C) in rows 1-5, then 40 calls of 5 maturities and 8
// strikes (D, E, F) with their closed-form prices (G), rates (H) and weights (I); J1 the spot.
std::string CalibrationTable() {
    const char* bounds[5] = {"0.01,0.5,0.1", "0.01,0.5,0.1", "0.1,5,1", "0.1,1,0.3",
                             "-0.95,0.5,-0.3"};
    std::string csv;
    int row = 1;
    for (double maturity : {0.25, 0.5, 1.0, 1.5, 2.0}) {
        for (int k = 0; k < 8; ++k, ++row) {
            const std::string r = std::to_string(row);
            csv += std::string(row <= 5 ? bounds[row - 1] : ",,") + "," +
                   std::to_string(80 + 6 * k) + "," + std::to_string(maturity) + ",1," +
                   "=heston_EuropeanCallPrice(100,D" + r + ",E" + r +
                   ",0.02,-0.6,1.5,0.05,0,0.4,0.04),0.02,1" + (row == 1 ? ",100" : "") + "\n";
        }
    }
    return csv;
}

const char kTableRanges[] = "D1:D40,E1:E40,F1:F40,G1:G40,J1,H1:H40,I1:I40";

class Escape : public AddinSession {
  protected:
    void SetUp() override {
        AddinSession::SetUp();
        ASSERT_EQ(Open(), 1);
    }

    // Evaluates the workbook with Esc pressed at the given xlAbort request; the last cell of
    // column A must show the cancellation, within 0.2 s of the host's answer.
    void ExpectCancelled(const std::string& csv, const std::string& cell, int request) {
        xlhost::Host& host = xlhost::Host::Instance();
        host.SetAbortAfter(request);
        const std::size_t before = host.AbortRequests();
        const Sheet sheet = Evaluate(csv);
        const auto returned = std::chrono::steady_clock::now();
        const SheetValue value = At(sheet, cell);
        ASSERT_EQ(value.kind, SheetValue::Text) << cell << ": " << runner::DisplayText(value);
        EXPECT_EQ(value.text, kCancelled);
        EXPECT_EQ(host.AbortRequests() - before, static_cast<std::size_t>(request));
        EXPECT_LT(returned - host.AbortAnsweredAt(), std::chrono::milliseconds(200)) << cell;
        host.SetAbortAfter(0);
    }
};

TEST_P(Escape, MonteCarloPricesStopAndTheRestOfTheRecalculationGoesOn) {
    const std::string mc = "(100,100,1,0.05,-0.5,2,0.04,0,0.3,0.04,";
    // The third question comes after about 100 ms of a run that would take minutes, the second
    // after about 50 ms.
    ExpectCancelled("=heston_EuropeanCallPriceMC" + mc + "100000000,50)\n", "A1", 3);
    ExpectCancelled("=heston_EuropeanPutPriceMC" + mc + "100000000,50)\n", "A1", 2);

    // Esc in the first cell leaves the second, computed in the same recalculation, as it is.
    xlhost::Host::Instance().SetAbortAfter(3);
    const Sheet sheet = Evaluate(
        "=heston_EuropeanCallPriceMC" + mc + "100000000,50)\n" + "=heston_EuropeanCallPriceMC" +
        mc + "2000,50)\n" + "=heston_EuropeanCallPrice(100,100,1,0.05,-0.5,2,0.04,0,0.3,0.04)\n");
    EXPECT_EQ(runner::DisplayText(At(sheet, "A1")), kCancelled);
    ASSERT_EQ(At(sheet, "A2").kind, SheetValue::Number);
    ASSERT_EQ(At(sheet, "A3").kind, SheetValue::Number);
    EXPECT_NEAR(At(sheet, "A2").number, At(sheet, "A3").number, 1.5);
}

TEST_P(Escape, CalibrationsStopAndTheNextCallFitsNormally) {
    const std::string table = CalibrationTable();
    // Levenberg-Marquardt converges on this table in about 50 ms, too soon to wait for a
    // second question: Esc is pressed at the first, before any evaluation (a stop part-way is
    // tested on the numerics, in tests/numerics/stop_request_test.cpp).
    ExpectCancelled(table + "=heston_CalibrateDE(A1:A5,B1:B5," + kTableRanges + ",10000000)\n",
                    "A41", 3);
    ExpectCancelled(
        table + "=heston_CalibrateLevMar(A1:A5,B1:B5,C1:C5," + kTableRanges + ",10000000)\n", "A41",
        1);
    // The contour calibration, as quick: Esc at its first question, before its input checks.
    ExpectCancelled(table + "=heston_Calibrate(J1,D1:D40,E1:E40,F1:F40,G1:G40,H1:H40,0)\n", "A41",
                    1);
    ExpectCancelled(
        table + "=heston_Calibrate(J1,D1:D40,E1:E40,F1:F40,G1:G40,H1:H40,0,,,,,,,\"Bates\")\n",
        "A41", 1);

    // Without Esc both run to the end: Levenberg-Marquardt fits the table the closed form
    // priced (v 0.04, theta 0.05, kappa 1.5, sigma 0.4, rho -0.6); thirty generations of
    // Differential Evolution, whose draws depend on every earlier search of the process, give
    // five parameters within their bounds.
    const Sheet fitted =
        Evaluate(table + "=heston_CalibrateLevMar(A1:A5,B1:B5,C1:C5," + kTableRanges +
                 ",2000),=heston_CalibrateDE(A1:A5,B1:B5," + kTableRanges + ",30)\n");
    ASSERT_EQ(At(fitted, "A41").kind, SheetValue::Number) << runner::DisplayText(At(fitted, "A41"));
    EXPECT_NEAR(At(fitted, "A41").number, 0.04, 0.01);
    for (int row = 1; row <= 5; ++row) {
        const SheetValue value = At(fitted, "B" + std::to_string(40 + row));
        ASSERT_EQ(value.kind, SheetValue::Number) << runner::DisplayText(value);
        EXPECT_GE(value.number, At(fitted, "A" + std::to_string(row)).number);
        EXPECT_LE(value.number, At(fitted, "B" + std::to_string(row)).number);
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, Escape,
                         ::testing::Values(addintest::kExcel4, addintest::kExcel12),
                         addintest::ModeName);

}  // namespace
