// xllhost: loads an add-in into the substitute Excel host, opens it, lists what it
// registered, evaluates a CSV workbook through its worksheet functions and prints the sheet.
//
//   xllhost [--excel4 | --excel12] [--refs | --srefs] [--module-name NAME] [--full-precision]
//           [--repeat N FORMULA] [--values FILE] [--threads N] ADDIN [WORKBOOK]
//
// --excel4 / --excel12  the version the host reports: "11.0" (Excel-4 mode) or "12.0" (default)
// --refs / --srefs      pass ranges as references (xltypeRef / xltypeSRef) instead of arrays
// --module-name NAME    the file name the add-in sees for itself, e.g. C:\addins\pricing.xll
//                       (native build only: on Windows the module's real name is used)
// --full-precision      print numbers with 17 significant digits, so that the outputs of two
//                       builds can be compared number for number
// --repeat N FORMULA    after the workbook, call FORMULA (numbers and texts as arguments) N
//                       times and print the process's working set and private bytes before
//                       and after, and the host memory the calls left outstanding
// --values FILE         also write every cell's value with its type, and each formula's
//                       result size and call time, to FILE (see CellValuesFile.h)
// --threads N           after the workbook, call its thread-safe formulas again from N threads
//                       at once (three rounds each) while this thread calls the others, and
//                       report how many results differ from the single-threaded ones; any
//                       difference makes the exit status 1
//
// After closing, prints what xlAutoClose returned and how many blocks of host memory are
// still outstanding. Exit status: 0 when the add-in opened, the workbook was evaluated and
// the add-in closed with 1 and gave back all host memory; 1 otherwise; 2 on usage or file
// errors.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "AddinModule.h"
#include "CellValuesFile.h"
#include "Evaluator.h"
#include "ExcelHost.h"
#include "ParallelCalls.h"
#include "SheetPrinter.h"
#include "SimulatedDesktop.h"
#include "WindowsApi.h"
#include "Workbook.h"

namespace {

int Usage() {
    std::cerr << "usage: xllhost [--excel4 | --excel12] [--refs | --srefs] "
                 "[--module-name NAME] [--full-precision] [--repeat N FORMULA] "
                 "[--values FILE] [--threads N] ADDIN "
                 "[WORKBOOK.csv]\n";
    return 2;
}

struct MemoryUse {
    std::size_t workingSet = 0;
    std::size_t privateBytes = 0;
};

MemoryUse CurrentMemoryUse() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    MemoryUse use;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        use.workingSet = counters.WorkingSetSize;
        use.privateBytes = counters.PagefileUsage;
    }
    return use;
}

// Calls one formula count times, as many recalculations of one cell would, and reports the
// memory of the process around the loop. The first calls warm up the add-in's temporary
// memory, which grows to its working size once and is reused from then on.
void RepeatFormula(const runner::Evaluator& evaluator, const std::string& formulaText, long count,
                   int significantDigits) {
    const runner::Formula formula = runner::ParseFormula(formulaText);
    const runner::Sheet noCells;
    xlhost::Host& host = xlhost::Host::Instance();
    auto call = [&] {
        runner::CallResult result = evaluator.Call(formula.name, formula.arguments, noCells);
        host.ClearRecords();  // the host's own log of requests must not grow either
        return result;
    };
    const long warmUp = count < 1000 ? count : 1000;
    for (long i = 0; i < warmUp; ++i) call();
    const MemoryUse before = CurrentMemoryUse();
    const std::size_t outstandingBefore = host.OutstandingBlocks();
    runner::CallResult last;
    for (long i = 0; i < count; ++i) last = call();
    const MemoryUse after = CurrentMemoryUse();
    std::cout << "repeat: calls=" << count << " value="
              << (last.values.empty() ? std::string()
                                      : runner::DisplayText(last.values[0], significantDigits))
              << " working_set_before=" << before.workingSet
              << " working_set_after=" << after.workingSet
              << " private_before=" << before.privateBytes
              << " private_after=" << after.privateBytes
              << " outstanding_blocks_added=" << host.OutstandingBlocks() - outstandingBefore
              << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    std::string version = "12.0";
    runner::ReferenceMode references = runner::ReferenceMode::Values;
    std::string moduleName;
    std::string addinPath;
    std::string workbookPath;
    int significantDigits = 10;
    long repeatCount = 0;
    std::string repeatFormula;
    std::string valuesPath;
    long threadCount = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--excel4") {
            version = "11.0";
        } else if (argument == "--excel12") {
            version = "12.0";
        } else if (argument == "--refs") {
            references = runner::ReferenceMode::References;
        } else if (argument == "--srefs") {
            references = runner::ReferenceMode::SheetReferences;
        } else if (argument == "--module-name" && i + 1 < argc) {
            moduleName = argv[++i];
        } else if (argument == "--full-precision") {
            significantDigits = 17;
        } else if (argument == "--repeat" && i + 2 < argc) {
            char* end = nullptr;
            repeatCount = std::strtol(argv[++i], &end, 10);
            if (end == nullptr || *end != '\0' || repeatCount < 1) return Usage();
            repeatFormula = argv[++i];
        } else if (argument == "--values" && i + 1 < argc) {
            valuesPath = argv[++i];
        } else if (argument == "--threads" && i + 1 < argc) {
            char* end = nullptr;
            threadCount = std::strtol(argv[++i], &end, 10);
            if (end == nullptr || *end != '\0' || threadCount < 1 || threadCount > 64)
                return Usage();
        } else if (!argument.empty() && argument[0] == '-') {
            return Usage();
        } else if (addinPath.empty()) {
            addinPath = argument;
        } else if (workbookPath.empty()) {
            workbookPath = argument;
        } else {
            return Usage();
        }
    }
    if (addinPath.empty()) return Usage();

    try {
        runner::Workbook workbook;
        if (!workbookPath.empty()) {
            std::ifstream file(workbookPath);
            if (!file) {
                std::cerr << "xllhost: cannot read " << workbookPath << '\n';
                return 2;
            }
            workbook = runner::ParseWorkbook(file);
        }

        xlhost::Host& host = xlhost::Host::Instance();
        host.Reset();
        host.SetVersion(version);
        runner::AddinModule addin(addinPath);
        host.SetAddinPath(moduleName.empty() ? addinPath : moduleName);
        if (!moduleName.empty()) simulated::SetModuleFileName(addin.Handle(), moduleName);

        std::cout << "Excel " << version << ", add-in " << addinPath << '\n';
        if (addin.Open() != 1) {
            std::cerr << "xllhost: xlAutoOpen failed\n";
            addin.Close();
            return 1;
        }
        const auto functions = runner::RegisteredFunctions();
        runner::PrintRegistrations(std::cout, functions);

        runner::Evaluator evaluator(addin, functions, references);
        bool threadsDiffer = false;
        std::vector<runner::FormulaCall> calls;
        if (!valuesPath.empty()) {
            evaluator.ObserveCalls([&calls](runner::CellPosition cell,
                                            const runner::CallResult& result, double seconds) {
                calls.push_back({cell, result.rows, result.columns, seconds});
            });
        }
        if (!workbookPath.empty()) {
            const runner::Sheet sheet = evaluator.Evaluate(workbook);
            std::cout << '\n';
            runner::PrintSheet(std::cout, sheet, significantDigits);
            if (!valuesPath.empty()) {
                std::ofstream values(valuesPath, std::ios::binary);
                runner::WriteCellValues(values, sheet, calls);
                if (!values.flush()) {
                    std::cerr << "xllhost: cannot write " << valuesPath << '\n';
                    addin.Close();
                    return 2;
                }
            }
            if (threadCount > 0) {
                const auto threaded = runner::ThreadedCalls(workbook, evaluator, functions, sheet);
                const runner::ParallelReport report = runner::CallFromThreads(
                    evaluator, threaded, sheet, static_cast<int>(threadCount), 3);
                std::cout << "\nthreads: " << threadCount << " threads made "
                          << report.threadSafeCalls << " calls of thread-safe functions, this "
                          << "thread " << report.otherCalls << " others; " << report.differing
                          << " results differ from the single-threaded ones\n";
                if (report.differing > 0) {
                    std::cout << "first difference: " << report.firstDifference << '\n';
                    threadsDiffer = true;
                }
            }
        }
        if (repeatCount > 0) {
            std::cout << '\n';
            RepeatFormula(evaluator, repeatFormula, repeatCount, significantDigits);
        }

        const int closed = addin.Close();
        std::cout << "\nxlAutoClose returned " << closed
                  << ", host memory outstanding: " << host.OutstandingBlocks() << " blocks\n";
        if (closed != 1) {
            std::cerr << "xllhost: xlAutoClose failed\n";
            return 1;
        }
        if (threadsDiffer) {
            std::cerr << "xllhost: calls from several threads gave other results\n";
            return 1;
        }
        if (host.OutstandingBlocks() != 0) {
            std::cerr << "xllhost: " << host.OutstandingBlocks()
                      << " blocks of host memory were not given back\n";
            return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "xllhost: " << error.what() << '\n';
        return 2;
    }
}
