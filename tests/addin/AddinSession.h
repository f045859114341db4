// AddinSession: the add-in loaded into the substitute host of the test process, as xllhost
// runs it, for the end-to-end tests of tests/addin.
//
// Each test starts from a reset host and desktop, chooses Excel's version, opens the add-in
// and evaluates CSV workbooks through it; TearDown closes it and checks that the host got
// back every block of memory it handed out.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "AddinModule.h"
#include "Evaluator.h"
#include "ExcelHost.h"
#include "SheetPrinter.h"
#include "SimulatedDesktop.h"
#include "Workbook.h"

namespace addintest {

constexpr char kExcel4[] = "11.0";
constexpr char kExcel12[] = "12.0";

class AddinSession : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        simulated::Reset();
        xlhost::Host::Instance().Reset();
        xlhost::Host::Instance().SetVersion(GetParam());
        xlhost::Host::Instance().SetAddinPath("C:\\addins\\pricing.xll");
        addin_ = &Module();
    }

    void TearDown() override {
        if (opened_) {
            EXPECT_EQ(addin_->Close(), 1);
            EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);
            EXPECT_EQ(xlhost::Host::Instance().InvalidFrees(), 0u);
        }
        simulated::Reset();
    }

    int Open() {
        opened_ = true;
        return addin_->Open();
    }

    runner::Sheet Evaluate(const std::string& csv,
                           runner::ReferenceMode references = runner::ReferenceMode::Values) {
        std::istringstream input(csv);
        const runner::Workbook workbook = runner::ParseWorkbook(input);
        runner::Evaluator evaluator(*addin_, runner::RegisteredFunctions(), references);
        return evaluator.Evaluate(workbook);
    }

    static runner::SheetValue At(const runner::Sheet& sheet, const std::string& name) {
        runner::CellPosition position;
        if (!runner::ParseCellName(name, position)) ADD_FAILURE() << "bad cell name " << name;
        if (position.row >= static_cast<int>(sheet.size()) ||
            position.col >= static_cast<int>(sheet[position.row].size())) {
            return runner::SheetValue();
        }
        return sheet[position.row][position.col];
    }

    bool IsExcel12() const { return std::string(GetParam()) == kExcel12; }

    // Loaded once for the whole test program, as Excel keeps an add-in loaded across opens
    // and closes; the layer's value implementations live as long as the module.
    static runner::AddinModule& Module() {
        static auto* module = new runner::AddinModule(HESTON_ADDIN_PATH);
        return *module;
    }

    runner::AddinModule* addin_ = nullptr;
    bool opened_ = false;
};

inline std::string ModeName(const ::testing::TestParamInfo<const char*>& info) {
    return std::string(info.param) == kExcel12 ? "Excel12" : "Excel4";
}

// Everything the debugger received, joined.
inline std::string DebugText() {
    std::string text;
    for (const std::string& piece : simulated::DebugOutput()) text += piece;
    return text;
}

}  // namespace addintest
