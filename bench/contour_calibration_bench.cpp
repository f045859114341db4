// The contour pricer's worksheet functions on the 104-option DAX surface through the native
// add-in: heston_Calibrate from no initial guess, and the whole surface priced by one
// heston_Price array formula (items = options, so the rate gives the time per option). The
// library's calibration beside QuantLib's is in contour_calibration_qlbench.cpp.
//
// The add-in is loaded into the substitute host in this process and its entry points called
// as Excel calls them (Excel-12 mode); the cases exist when the build has the add-in.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef HESTON_ADDIN_PATH
#include "AddinModule.h"
#include "Evaluator.h"
#include "ExcelHost.h"
#include "SheetPrinter.h"
#include "Workbook.h"

namespace {

// The add-in opened once in the substitute host, with the DAX table on its sheet in A1:E104
// (strike, maturity, type, price, rate) and parameters near its fit in F1:F5.
struct DaxWorkbook {
    runner::AddinModule addin{HESTON_ADDIN_PATH};
    std::vector<runner::RegisteredFunction> functions;
    runner::Sheet sheet;

    DaxWorkbook() {
        xlhost::Host::Instance().Reset();
        xlhost::Host::Instance().SetVersion("12.0");
        xlhost::Host::Instance().SetAddinPath(HESTON_ADDIN_PATH);
        addin.Open();
        functions = runner::RegisteredFunctions();
        const double parameters[] = {0.12889, 0.07218, 3.62, 1.2293, -0.579};
        std::ifstream in(HESTON_SOURCE_DIR "/examples/dax-surface.csv");
        std::string line;
        std::getline(in, line);  // header: strike, maturity, type, price, rate, weight
        std::ostringstream csv;
        for (int row = 0; std::getline(in, line); ++row) {
            csv << line.substr(0, line.rfind(','));
            if (row < 5) csv << ',' << parameters[row];
            csv << '\n';
        }
        std::istringstream input(csv.str());
        runner::Evaluator evaluator(addin, functions);
        sheet = evaluator.Evaluate(runner::ParseWorkbook(input));
    }
};

DaxWorkbook& Dax() {
    static DaxWorkbook* workbook = new DaxWorkbook;
    return *workbook;
}

void CallFormula(benchmark::State& state, const std::string& text) {
    DaxWorkbook& dax = Dax();
    const runner::Evaluator evaluator(dax.addin, dax.functions);
    const runner::Formula formula = runner::ParseFormula(text);
    runner::CallResult result;
    for (auto _ : state) {
        result = evaluator.Call(formula.name, formula.arguments, dax.sheet);
        xlhost::Host::Instance().ClearRecords();
    }
    state.counters["cells"] = static_cast<double>(result.values.size());
    if (result.values.size() == 1) state.SetLabel(runner::DisplayText(result.values[0]));
    if (!result.values.empty() && result.values[0].kind == runner::SheetValue::Number)
        state.counters["first"] = result.values[0].number;
}

void BM_HestonCalibrateDax_Addin(benchmark::State& state) {
    CallFormula(state, "=heston_Calibrate(4468.17,A1:A104,B1:B104,C1:C104,D1:D104,E1:E104,0)");
}
BENCHMARK(BM_HestonCalibrateDax_Addin)->Unit(benchmark::kMillisecond);

// One array formula over the whole surface at the fit; per option = time / 104.
void BM_HestonPriceDax104_Addin(benchmark::State& state) {
    CallFormula(state, "=heston_Price(C1:C104,4468.17,A1:A104,B1:B104,E1:E104,0,F1:F5)");
    state.SetItemsProcessed(state.iterations() * 104);
}
BENCHMARK(BM_HestonPriceDax104_Addin)->Unit(benchmark::kMillisecond);

}  // namespace

#endif
