// xllhost: loads an add-in into the substitute Excel host, opens it, lists what it
// registered, evaluates a CSV workbook through its worksheet functions and prints the sheet.
//
//   xllhost [--excel4 | --excel12] [--refs | --srefs] [--module-name NAME] ADDIN [WORKBOOK]
//
// --excel4 / --excel12  the version the host reports: "11.0" (Excel-4 mode) or "12.0" (default)
// --refs / --srefs      pass ranges as references (xltypeRef / xltypeSRef) instead of arrays
// --module-name NAME    the file name the add-in sees for itself, e.g. C:\addins\pricing.xll
//
// Exit status: 0 when the add-in opened and the workbook was evaluated, 1 when the add-in
// failed to open or left host memory unreleased after closing, 2 on usage or file errors.
#include <fstream>
#include <iostream>
#include <string>

#include "AddinModule.h"
#include "Evaluator.h"
#include "ExcelHost.h"
#include "SheetPrinter.h"
#include "SimulatedDesktop.h"
#include "Workbook.h"

namespace {

int Usage() {
    std::cerr << "usage: xllhost [--excel4 | --excel12] [--refs | --srefs] "
                 "[--module-name NAME] ADDIN [WORKBOOK.csv]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string version = "12.0";
    xllhost::ReferenceMode references = xllhost::ReferenceMode::Values;
    std::string moduleName;
    std::string addinPath;
    std::string workbookPath;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--excel4") {
            version = "11.0";
        } else if (argument == "--excel12") {
            version = "12.0";
        } else if (argument == "--refs") {
            references = xllhost::ReferenceMode::References;
        } else if (argument == "--srefs") {
            references = xllhost::ReferenceMode::SheetReferences;
        } else if (argument == "--module-name" && i + 1 < argc) {
            moduleName = argv[++i];
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
        xllhost::Workbook workbook;
        if (!workbookPath.empty()) {
            std::ifstream file(workbookPath);
            if (!file) {
                std::cerr << "xllhost: cannot read " << workbookPath << '\n';
                return 2;
            }
            workbook = xllhost::ParseWorkbook(file);
        }

        xlhost::Host& host = xlhost::Host::Instance();
        host.Reset();
        host.SetVersion(version);
        xllhost::AddinModule addin(addinPath);
        host.SetAddinPath(moduleName.empty() ? addinPath : moduleName);
        if (!moduleName.empty()) simulated::SetModuleFileName(addin.Handle(), moduleName);

        std::cout << "Excel " << version << ", add-in " << addinPath << '\n';
        if (addin.Open() != 1) {
            std::cerr << "xllhost: xlAutoOpen failed\n";
            addin.Close();
            return 1;
        }
        const auto functions = xllhost::RegisteredFunctions();
        xllhost::PrintRegistrations(std::cout, functions);

        if (!workbookPath.empty()) {
            xllhost::Evaluator evaluator(addin, functions, references);
            const xllhost::Sheet sheet = evaluator.Evaluate(workbook);
            std::cout << '\n';
            xllhost::PrintSheet(std::cout, sheet);
        }

        addin.Close();
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
