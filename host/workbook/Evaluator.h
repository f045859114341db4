// Evaluator: computes a workbook through an add-in's registered worksheet functions, as
// Excel would call them.
//
// Cells are evaluated row by row, left to right, each formula once; the order is fixed so
// that functions drawing random numbers give the same results on every run. A formula may
// refer only to cells above it or to its left (or to cells filled by an earlier array); a
// reference to a formula not yet evaluated gives #REF! without a call. Array results spill
// down (and right) from their cell; an array that would cover filled cells gives #SPILL!.
//
// Arguments are built from the registered type text: "B" gets a double (an omitted argument
// 0, a text or multi-cell range #VALUE! without a call, an error cell that error); "P"/"Q"
// get a value record: a number, a text, a one-cell reference's value, a range's values as an
// array (empty cells nil), an omitted argument xltypeMissing; "R"/"U" get references. The
// references option passes ranges and cell references to "P"/"Q" as references too, so that
// the add-in reads them through the host's coercion. Every value the workbook knows is also
// written to the host's sheet, so that coercion sees it.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AddinModule.h"
#include "SheetValue.h"
#include "Workbook.h"

namespace runner {

using Sheet = std::vector<std::vector<SheetValue>>;

enum class ReferenceMode {
    Values,           // ranges arrive as arrays, as Excel passes them to "P"/"Q"
    References,       // as xltypeRef on the host's sheet
    SheetReferences,  // as xltypeSRef on the current sheet
};

class Evaluator {
  public:
    Evaluator(const AddinModule& module, std::vector<RegisteredFunction> functions,
              ReferenceMode references = ReferenceMode::Values);

    Sheet Evaluate(const Workbook& workbook);

    // Told after each formula's call in Evaluate: its cell, its result and the call's
    // wall-clock seconds (the demonstration workbook reports how long each fit took).
    using CallObserver = std::function<void(CellPosition, const CallResult&, double seconds)>;
    void ObserveCalls(CallObserver observer) { observer_ = std::move(observer); }

    // One call of a registered function by its worksheet name (any case), with arguments
    // read from the sheet. Unknown names give #NAME?.
    CallResult Call(const std::string& worksheetName, const std::vector<Argument>& arguments,
                    const Sheet& sheet) const;

  private:
    const RegisteredFunction* Find(const std::string& worksheetName) const;

    const AddinModule& module_;
    std::vector<RegisteredFunction> functions_;
    ReferenceMode references_;
    CallObserver observer_;
};

}  // namespace runner
