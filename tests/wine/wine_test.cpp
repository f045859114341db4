// The Windows add-ins (32- and 64-bit) under Wine against the native build, end to end: the
// same xllhost program, built for Windows over the real XLCALL32.DLL, loads the real .xll
// and evaluates the same workbooks in both Excel modes. Registrations must match text for
// text, texts and error values exactly, numbers to 1e-12 relative (both builds draw the same
// rand stream), calibrated parameters and what is computed from them within the
// calibrations' own accuracy. The add-in must close with 1 and give back all host memory,
// keep the process's memory flat over 100000 worksheet calls, and export exactly its eighteen
// entry points while importing only system DLLs. The thread-safe functions must give the
// same results when the Windows xllhost calls them from 8 threads at once.
//
// A machine whose kernel cannot run 32-bit programs cannot run 32-bit Wine: those cases are
// skipped with the reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../support/shell_files.h"

namespace {

// Every Wine process of the tests: the private prefix, no debug output, no prompts for the
// .NET and HTML runtimes.
[[maybe_unused]] const bool kWineEnvironment = [] {
    setenv("WINEPREFIX", WINE_TEST_PREFIX, 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    return true;
}();

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

using test_support::Quote;
using test_support::ReadFile;

// Runs a shell command with output in files, never in a pipe: the Wine server the command
// may start outlives it and would hold a pipe open.
Output RunShell(const std::string& command) {
    static int counter = 0;
    const std::string base = std::string(WINE_TEST_WORK_DIR) + "/run" + std::to_string(getpid()) +
                             "-" + std::to_string(++counter);
    const std::string full =
        command + " </dev/null >" + Quote(base + ".out") + " 2>" + Quote(base + ".err");
    Output output;
    const int status = std::system(full.c_str());
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    output.out = ReadFile(base + ".out");
    output.err = ReadFile(base + ".err");
    std::remove((base + ".out").c_str());
    std::remove((base + ".err").c_str());
    // Windows programs end their lines with CR LF.
    output.out.erase(std::remove(output.out.begin(), output.out.end(), '\r'), output.out.end());
    return output;
}

// A Unix path as a Windows program under Wine sees it (drive Z: is the root).
std::string WinePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

struct Target {
    int bits;
    const char* mode;  // --excel12 or --excel4
};

void PrintTo(const Target& target, std::ostream* out) {
    *out << target.bits << "-bit " << target.mode;
}

std::string PrintTarget(const testing::TestParamInfo<Target>& info) {
    return "Windows" + std::to_string(info.param.bits) +
           (std::string(info.param.mode) == "--excel4" ? "Excel4" : "Excel12");
}

std::string WindowsBuild(int bits) {
    return bits == 32 ? WINE_TEST_MINGW32_DIR : WINE_TEST_MINGW64_DIR;
}

std::string WindowsAddin(int bits) {
    return std::string(WINE_TEST_DIST_DIR) + (bits == 32 ? "/heston32.xll" : "/heston64.xll");
}

std::string WineCommand(int bits) {
    return bits == 32 ? WINE_TEST_WINE32 : WINE_TEST_WINE64;
}

// Empty when Wine runs programs of that bitness here, otherwise why not.
std::string WineUnavailable(int bits) {
    static std::map<int, std::string> answers;
    auto found = answers.find(bits);
    if (found != answers.end()) return found->second;
    // Without arguments xllhost prints its usage and exits with 2.
    const Output probe =
        RunShell(WineCommand(bits) + " " + Quote(WindowsBuild(bits) + "/xllhost.exe"));
    std::string reason;
    if (probe.status != 2 || probe.err.find("usage: xllhost") == std::string::npos) {
        reason = "Wine cannot run " + std::to_string(bits) + "-bit programs on this machine (" +
                 probe.err.substr(0, probe.err.find('\n')) + ")";
    }
    answers[bits] = reason;
    return reason;
}

Output RunNative(const std::vector<std::string>& arguments) {
    std::string command = Quote(WINE_TEST_NATIVE_XLLHOST);
    for (const std::string& argument : arguments) command += " " + Quote(argument);
    return RunShell(command);
}

Output RunWindows(int bits, const std::vector<std::string>& arguments) {
    std::string command = WineCommand(bits) + " " + Quote(WindowsBuild(bits) + "/xllhost.exe");
    for (const std::string& argument : arguments) command += " " + Quote(argument);
    return RunShell(command);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The parts of xllhost's output: registration listing, the sheet's cells by name, and the
// closing line.
struct Report {
    std::vector<std::string> registrations;
    std::map<std::string, std::string> cells;
    std::vector<std::string> cellOrder;
    std::string closing;
};

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The sheet is an aligned table: the header's column letters start each column, so a cell's
// text lies between the start of its column and the start of the next.
Report ParseReport(const std::string& text) {
    Report report;
    const std::vector<std::string> lines = Lines(text);
    std::size_t i = 0;
    while (i < lines.size() && lines[i].rfind("Registered functions", 0) != 0) ++i;
    for (; i < lines.size() && !lines[i].empty(); ++i) report.registrations.push_back(lines[i]);
    for (const std::string& line : lines) {
        if (line.rfind("xlAutoClose returned", 0) == 0) report.closing = line;
    }
    if (i + 1 >= lines.size() || lines[i + 1].rfind("xlAutoClose", 0) == 0) return report;
    const std::string& header = lines[i + 1];
    std::vector<std::size_t> starts;
    std::vector<std::string> letters;
    for (std::size_t p = 0; p < header.size(); ++p) {
        if (header[p] != ' ' && (p == 0 || header[p - 1] == ' ')) {
            starts.push_back(p);
            letters.push_back(header.substr(p, header.find(' ', p) - p));
        }
    }
    for (std::size_t r = i + 2; r < lines.size() && !lines[r].empty(); ++r) {
        const std::string& line = lines[r];
        const std::string row = Trim(line.substr(0, starts.empty() ? 0 : starts[0]));
        for (std::size_t c = 0; c < starts.size(); ++c) {
            const std::size_t end = c + 1 < starts.size() ? starts[c + 1] - 2 : line.size();
            if (starts[c] >= line.size()) break;
            const std::string cell = Trim(line.substr(starts[c], end - starts[c]));
            if (cell.empty()) continue;
            report.cells[letters[c] + row] = cell;
            report.cellOrder.push_back(letters[c] + row);
        }
    }
    return report;
}

bool ParseNumber(const std::string& text, double* value) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (lower.find("nan") != std::string::npos) {
        *value = std::nan("");
        return true;
    }
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

// Largest relative difference seen per kind of cell, for the report.
struct Differences {
    double exact = 0.0;
    double calibrated = 0.0;
};

// Cells whose values come from a calibration: the fitted parameters and whatever the
// workbook computes from them. Their tolerance is the calibrations' own accuracy.
using Tolerance = double (*)(const std::string& cell);

double ExactTolerance(const std::string&) {
    return 1e-12;
}

void CompareReports(const Report& native, const Report& windows, Tolerance tolerance,
                    Differences* largest) {
    EXPECT_EQ(windows.registrations, native.registrations);
    EXPECT_EQ(windows.closing, "xlAutoClose returned 1, host memory outstanding: 0 blocks");
    EXPECT_EQ(native.closing, windows.closing);
    EXPECT_EQ(windows.cellOrder, native.cellOrder);
    for (const auto& [name, expected] : native.cells) {
        auto found = windows.cells.find(name);
        if (found == windows.cells.end()) {
            ADD_FAILURE() << name << ": missing under Wine, natively " << expected;
            continue;
        }
        const std::string& calculated = found->second;
        double a = 0.0;
        double b = 0.0;
        if (!ParseNumber(expected, &b) || !ParseNumber(calculated, &a)) {
            EXPECT_EQ(calculated, expected) << name;
            continue;
        }
        if (std::isnan(a) || std::isnan(b) || std::isinf(a) || std::isinf(b)) {
            EXPECT_TRUE((std::isnan(a) && std::isnan(b)) || a == b)
                << name << ": calculated " << calculated << ", expected " << expected;
            continue;
        }
        const double allowed = tolerance(name);
        const double difference = std::fabs(a - b) / std::max(std::fabs(b), 1e-300);
        const double absolute = std::fabs(a - b);
        double& record = allowed > 1e-12 ? largest->calibrated : largest->exact;
        record = std::max(record, std::min(difference, absolute));
        EXPECT_TRUE(difference <= allowed || absolute <= allowed)
            << name << ": calculated " << calculated << ", expected " << expected << ", tolerance "
            << allowed << " relative";
    }
}

class WineTest : public testing::TestWithParam<Target> {
  protected:
    void SetUp() override {
        const std::string reason = WineUnavailable(GetParam().bits);
        if (!reason.empty()) GTEST_SKIP() << reason;
    }

    // Native and Windows output of one workbook in this test's mode.
    void CompareWorkbook(const std::string& workbook, Tolerance tolerance) {
        const Target target = GetParam();
        const Output native =
            RunNative({"--full-precision", target.mode, WINE_TEST_NATIVE_ADDIN, workbook});
        const Output windows =
            RunWindows(target.bits, {"--full-precision", target.mode,
                                     WinePath(WindowsAddin(target.bits)), WinePath(workbook)});
        ASSERT_EQ(native.status, 0) << native.err;
        ASSERT_EQ(windows.status, 0) << windows.err << windows.out;
        Differences largest;
        CompareReports(ParseReport(native.out), ParseReport(windows.out), tolerance, &largest);
        std::printf("largest relative difference: %.3g exact cells, %.3g calibrated cells\n",
                    largest.exact, largest.calibrated);
    }
};

TEST_P(WineTest, RegistersTheSameFunctionsAndClosesCleanly) {
    const Target target = GetParam();
    const Output native = RunNative({target.mode, WINE_TEST_NATIVE_ADDIN});
    const Output windows =
        RunWindows(target.bits, {target.mode, WinePath(WindowsAddin(target.bits))});
    ASSERT_EQ(native.status, 0) << native.err;
    ASSERT_EQ(windows.status, 0) << windows.err << windows.out;
    const Report nativeReport = ParseReport(native.out);
    const Report windowsReport = ParseReport(windows.out);
    ASSERT_EQ(windowsReport.registrations.size(), 19u) << windows.out;
    EXPECT_EQ(windowsReport.registrations[0], "Registered functions: 18");
    EXPECT_EQ(windowsReport.registrations, nativeReport.registrations);
    EXPECT_EQ(windowsReport.closing, "xlAutoClose returned 1, host memory outstanding: 0 blocks");
}

// Demonstration workbook: rows 5-9 hold the two fits (E: Differential Evolution, F:
// Levenberg-Marquardt); rows 13-116 columns I-L the prices and vols at the fits, and rows
// 118-119 prices at the DE fit. Differential Evolution compares candidates' errors, so a
// last-bit difference of the runtime's exp or log may change one decision and with it the
// path; both paths end within the fit's own accuracy. (Seen: identical DE fits, LM fits
// 1.2e-11 apart.)
double DemoTolerance(const std::string& cell) {
    const std::string column = cell.substr(0, cell.find_first_of("0123456789"));
    const int row = std::atoi(cell.c_str() + column.size());
    const bool fit = row >= 5 && row <= 9 && (column == "E" || column == "F");
    const bool atFit = row >= 13 && row <= 116 && column >= "I" && column <= "L";
    const bool belowFit = (row == 118 || row == 119) && column == "B";
    return fit || atFit || belowFit ? 1e-8 : 1e-12;
}

TEST_P(WineTest, DemonstrationWorkbookMatchesTheNativeBuild) {
    CompareWorkbook(std::string(WINE_TEST_EXAMPLES_DIR) + "/demo-workbook.csv", DemoTolerance);
}

TEST_P(WineTest, FailureValuesMatchTheNativeBuild) {
    CompareWorkbook(std::string(WINE_TEST_WORKBOOK_DIR) + "/failure-values.csv", ExactTolerance);
}

TEST_P(WineTest, BadInputMatchesTheNativeBuild) {
    CompareWorkbook(std::string(WINE_TEST_WORKBOOK_DIR) + "/bad-input.csv", ExactTolerance);
}

// The contour pricer's workbook: F11:G18 hold two calibrations from no guess (parameters,
// RMSE, evaluations, status) and A23 a price at the first fit. A last-bit difference of the
// runtime's exp or log may move the minimiser's path: the fits agree within their accuracy,
// the evaluation counts within a few.
double ContourTolerance(const std::string& cell) {
    const std::string column = cell.substr(0, cell.find_first_of("0123456789"));
    const int row = std::atoi(cell.c_str() + column.size());
    if ((column == "F" || column == "G") && row == 17) return 0.2;
    const bool fit = (column == "F" || column == "G") && row >= 11 && row <= 16;
    return fit || cell == "A23" ? 1e-8 : 1e-12;
}

TEST_P(WineTest, ContourFunctionsMatchTheNativeBuild) {
    CompareWorkbook(std::string(WINE_TEST_WORKBOOK_DIR) + "/contour-functions.csv",
                    ContourTolerance);
}

// The finite-difference functions: American and barrier prices and Greeks, arrays of strikes
// (one bad), the Grid argument as cells, discrete monitoring, a spot beyond a knock-in
// barrier, and the texts of bad arguments.
TEST_P(WineTest, FiniteDifferenceFunctionsMatchTheNativeBuild) {
    CompareWorkbook(std::string(WINE_TEST_WORKBOOK_DIR) + "/finite-difference-functions.csv",
                    ExactTolerance);
}

// A workbook of thread-safe functions called from 8 threads at once (Excel-12 mode; Excel-4
// mode has none to call): each call gives what it gave alone.
void ExpectTheSameResultsFromEightThreads(const Target& target, const std::string& workbook) {
    if (std::string(target.mode) != "--excel12") GTEST_SKIP() << "no thread-safe functions";
    const Output windows =
        RunWindows(target.bits, {target.mode, "--threads", "8", WinePath(WindowsAddin(target.bits)),
                                 WinePath(std::string(WINE_TEST_WORKBOOK_DIR) + "/" + workbook)});
    ASSERT_EQ(windows.status, 0) << windows.err << windows.out;
    const auto line = windows.out.find("threads: 8 threads made ");
    ASSERT_NE(line, std::string::npos) << windows.out;
    const std::string report = windows.out.substr(line, windows.out.find('\n', line) - line);
    std::printf("%s\n", report.c_str());
    EXPECT_NE(report.find(" 0 results differ"), std::string::npos) << windows.out;
}

// Excel-12 mode registers the contour pricer's functions as thread-safe: called from 8
// threads at once, each gives what it gave alone (Excel-4 mode has none to call).
TEST_P(WineTest, ThreadSafeFunctionsGiveTheSameResultsFromEightThreads) {
    ExpectTheSameResultsFromEightThreads(GetParam(), "contour-functions.csv");
}

// The finite-difference functions are thread-safe too, their arrays and Greeks on the pool.
TEST_P(WineTest, FiniteDifferenceFunctionsGiveTheSameResultsFromEightThreads) {
    ExpectTheSameResultsFromEightThreads(GetParam(), "finite-difference-functions.csv");
}

// The path simulations: the same seed gives the same simulated prices and standard errors
// (the simulation's arithmetic is the library's own, bit for bit on every platform); the
// closed forms within rounding of the runtime's complex exp and log.
TEST_P(WineTest, PathSimulationsMatchTheNativeBuild) {
    CompareWorkbook(std::string(WINE_TEST_WORKBOOK_DIR) + "/path-simulation.csv", ExactTolerance);
}

// The path simulations called from 8 threads at once give what each gave alone.
TEST_P(WineTest, PathSimulationsGiveTheSameResultsFromEightThreads) {
    ExpectTheSameResultsFromEightThreads(GetParam(), "path-simulation.csv");
}

// The Bates model's workbook: European prices, smiles and Greeks with Jumps (arrays with a
// bad strike), lambda = 0 beside no Jumps, jumps refused on the finite-difference grid, bad
// Jumps and Model texts, and in E29:G39 three fits of a fifteen-option surface (Bates in vols
// and prices, Heston in vols), with H29 and I29 computed at the Bates fits. The fits agree
// within their accuracy, the evaluation counts (E38, F38, G35) within a few.
double BatesTolerance(const std::string& cell) {
    const std::string column = cell.substr(0, cell.find_first_of("0123456789"));
    const int row = std::atoi(cell.c_str() + column.size());
    if (cell == "E38" || cell == "F38" || cell == "G35") return 0.2;
    const bool fit = (column == "E" || column == "F" || column == "G") && row >= 29 && row <= 39;
    return fit || cell == "H29" || cell == "I29" ? 1e-8 : 1e-12;
}

TEST_P(WineTest, BatesFunctionsMatchTheNativeBuild) {
    CompareWorkbook(std::string(WINE_TEST_WORKBOOK_DIR) + "/bates-functions.csv", BatesTolerance);
}

// The same workbook from 8 threads at once: each call gives what it gave alone.
TEST_P(WineTest, BatesFunctionsGiveTheSameResultsFromEightThreads) {
    ExpectTheSameResultsFromEightThreads(GetParam(), "bates-functions.csv");
}

long Field(const std::string& text, const std::string& name) {
    const auto at = text.find(" " + name + "=");
    return at == std::string::npos ? -1 : std::atol(text.c_str() + at + name.size() + 2);
}

// 100000 recalculations of one cell returning a column (the pool's largest use) leave the
// working set and private bytes where the first thousand put them. Every call takes the
// pool's named mutex a few times, a round trip to the Wine server each (about 0.3 ms a
// call), so Excel-4 mode, whose pool is the same, runs a tenth of the calls.
TEST_P(WineTest, MemoryStaysFlatOverManyWorksheetCalls) {
    const Target target = GetParam();
    const std::string calls = std::string(target.mode) == "--excel12" ? "100000" : "10000";
    const Output windows =
        RunWindows(target.bits, {target.mode, "--repeat", calls, "=heston_RandomVars(20)",
                                 WinePath(WindowsAddin(target.bits))});
    ASSERT_EQ(windows.status, 0) << windows.err << windows.out;
    const auto line = windows.out.find("repeat: calls=" + calls + " ");
    ASSERT_NE(line, std::string::npos) << windows.out;
    const std::string report = windows.out.substr(line, windows.out.find('\n', line) - line);
    std::printf("%s\n", report.c_str());
    const long growthLimit = 1L << 20;
    EXPECT_LE(Field(report, "working_set_after") - Field(report, "working_set_before"), growthLimit)
        << report;
    EXPECT_LE(Field(report, "private_after") - Field(report, "private_before"), growthLimit)
        << report;
    EXPECT_EQ(Field(report, "outstanding_blocks_added"), 0) << report;
}

INSTANTIATE_TEST_SUITE_P(AllTargets, WineTest,
                         testing::Values(Target{32, "--excel12"}, Target{32, "--excel4"},
                                         Target{64, "--excel12"}, Target{64, "--excel4"}),
                         PrintTarget);

// The shipped files: the eighteen entry points exported under their plain names, and nothing
// imported but Windows system DLLs (the C and C++ runtimes are linked in).
TEST(WindowsAddinFiles, ExportPlainNamesAndImportOnlySystemDlls) {
    const std::vector<std::string> exports = {"xlAutoClose",
                                              "xlAutoOpen",
                                              "xlheston_AsianPrice",
                                              "xlheston_BarrierGreeks",
                                              "xlheston_BarrierPrice",
                                              "xlheston_BlackImpliedVol",
                                              "xlheston_Calibrate",
                                              "xlheston_CalibrateDE",
                                              "xlheston_CalibrateLevMar",
                                              "xlheston_EuropeanCallPrice",
                                              "xlheston_EuropeanCallPriceMC",
                                              "xlheston_EuropeanPutPrice",
                                              "xlheston_EuropeanPutPriceMC",
                                              "xlheston_ForwardStartPrice",
                                              "xlheston_Greeks",
                                              "xlheston_ModelImpliedVol",
                                              "xlheston_Price",
                                              "xlheston_RandomVars",
                                              "xlheston_impliedVol",
                                              "xlheston_weightBSvega"};
    const std::vector<std::string> systemDlls = {"KERNEL32.dll", "USER32.dll", "msvcrt.dll",
                                                 "ADVAPI32.dll"};
    for (int bits : {32, 64}) {
        const std::string objdump =
            bits == 32 ? "i686-w64-mingw32-objdump" : "x86_64-w64-mingw32-objdump";
        const Output dump = RunShell(objdump + " -p " + Quote(WindowsAddin(bits)));
        ASSERT_EQ(dump.status, 0) << dump.err;
        std::vector<std::string> exported;
        std::vector<std::string> imported;
        bool inExports = false;
        for (const std::string& line : Lines(dump.out)) {
            if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
                inExports = true;
                continue;
            }
            if (inExports && line.empty()) inExports = false;
            if (inExports) exported.push_back(Trim(line.substr(line.find(']') + 1)));
            const auto dll = line.find("DLL Name: ");
            if (dll != std::string::npos) imported.push_back(line.substr(dll + 10));
        }
        EXPECT_EQ(exported, exports) << bits << "-bit add-in";
        for (const std::string& name : imported) {
            EXPECT_NE(std::find(systemDlls.begin(), systemDlls.end(), name), systemDlls.end())
                << bits << "-bit add-in imports " << name;
        }
    }
}

}  // namespace
