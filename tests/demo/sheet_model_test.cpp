// The demonstration sheet as xllhost reads it: every input and add-in formula in its place,
// formulas with quotation marks and commas in one field, and of the spreadsheet's own formulas
// only the differences of two numbers, as their values (the add-in's formulas may read those).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "SheetModel.h"

namespace {

TEST(SheetModel, XllhostGetsInputsAddinFormulasAndDifferencesOfNumbers) {
    demo::SheetModel sheet;
    sheet.Set({0, 0}, demo::Cell::MakeText("reset, maturity"));
    sheet.Set({0, 1}, demo::Cell::MakeNumber(0.9));
    sheet.Set({0, 2}, demo::Cell::MakeNumber(1.0));
    sheet.Set({0, 3}, demo::Cell::MakeDifference({0, 2}, {0, 1}));  // two numbers: its value
    sheet.Set({1, 1},
              demo::Cell::MakeAddinFormula(
                  "=heston_Price(\"P\", 100, 90, D1, 0.03, 0, A5:A9, \"American\")", "", 2, 1));
    sheet.Set({1, 2}, demo::Cell::MakeDifference({1, 1}, {0, 1}));      // reads a formula: left out
    sheet.Set({1, 3}, demo::Cell::MakeRootMeanSquare({0, 1}, {0, 2}));  // left out
    sheet.Set({3, 0}, demo::Cell::MakeNumber(4468.17));

    std::ostringstream csv;
    sheet.WriteXllhostCsv(csv);
    // 1 - 0.9 is the double the spreadsheet computes, not 0.1.
    EXPECT_EQ(csv.str(),
              "\"reset, maturity\",0.9,1,0.09999999999999998\n"
              ",\"=heston_Price(\"\"P\"\", 100, 90, D1, 0.03, 0, A5:A9, \"\"American\"\")\"\n"
              "\n"
              "4468.17\n");
}

}  // namespace
