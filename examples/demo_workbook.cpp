// demo_workbook: builds the demonstration workbook around the add-in.
//
//   demo_workbook sheet QUOTES.csv SHEET.csv
//       writes the DAX sheet as xllhost evaluates it (numbers, texts, add-in formulas)
//   demo_workbook xlsx QUOTES.csv VALUES.tsv WORKBOOK.xlsx "COMPUTED BY"
//       reads what the add-in computed for each cell (xllhost --values), writes the workbook
//       with live formulas carrying those values and with its charts, and prints both fits
//       side by side
//
// Both commands lay the sheet out from the same quotes, so the values land on their formulas.
// Exit status 0 on success, 1 on failure, 2 on usage errors.
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "CellValues.h"
#include "DaxQuotes.h"
#include "DemoLayout.h"
#include "DemoSummary.h"
#include "DemoXlsx.h"
#include "SheetArithmetic.h"

namespace {

// The DAX index level the quotes were taken at.
constexpr double kSpot = 4468.17;

int Usage() {
    std::cerr << "usage: demo_workbook sheet QUOTES.csv SHEET.csv\n"
                 "       demo_workbook xlsx QUOTES.csv VALUES.tsv WORKBOOK.xlsx \"COMPUTED BY\"\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (!((command == "sheet" && argc == 4) || (command == "xlsx" && argc == 6))) return Usage();
    try {
        const demo::DemoLayout layout = demo::BuildDemoLayout(demo::ReadQuotes(argv[2]), kSpot);
        if (command == "sheet") {
            std::ofstream out(argv[3], std::ios::binary);
            layout.sheet.WriteXllhostCsv(out);
            if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[3]);
            return 0;
        }
        std::ifstream in(argv[3], std::ios::binary);
        if (!in) throw std::runtime_error(std::string("cannot read ") + argv[3]);
        demo::CellValues values = demo::CellValues::Read(in);
        demo::ComputeSheetFormulas(layout.sheet, values);
        demo::WriteDemoXlsx(argv[4], layout, values, argv[5]);
        demo::PrintDemoSummary(std::cout, layout, values);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "demo_workbook: " << error.what() << '\n';
        return 1;
    }
}
