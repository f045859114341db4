#include "DemoSummary.h"

#include <cstdio>
#include <functional>
#include <string>

namespace demo {

namespace {

std::string Format(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), format, value);
    return buffer;
}

// A label and one value per fit; four fits fill an 80-character terminal (the first heading,
// "heston_Calibrate", takes the column's leading space).
void Row(std::ostream& out, const std::string& label, const DemoLayout& layout,
         const std::function<std::string(const FitSummary&)>& value) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "  %-13s", label.c_str());
    std::string line = buffer;
    for (const FitSummary& fit : layout.summary) {
        std::snprintf(buffer, sizeof(buffer), " %15s", value(fit).c_str());
        line += buffer;
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
}

}  // namespace

void PrintDemoSummary(std::ostream& out, const DemoLayout& layout, const CellValues& values) {
    out << "Heston and Bates fits to " << (layout.lastQuoteRow - layout.firstQuoteRow + 1)
        << " DAX option quotes, spot " << Format("%.2f", values.Number(layout.spot)) << "\n\n";
    for (int line = 0; line < 2; ++line)
        Row(out, "", layout, [&](const FitSummary& fit) { return fit.heading[line]; });
    for (std::size_t i = 0; i < layout.parameterNames.size(); ++i) {
        const int offset = static_cast<int>(i);
        Row(out, layout.parameterNames[i], layout, [&](const FitSummary& fit) {
            return Format("%.6f", values.Number({fit.parameters.row + offset, fit.parameters.col}));
        });
    }
    Row(out, "RMSE in price", layout,
        [&](const FitSummary& fit) { return Format("%.4f", values.Number(fit.rmsePrice)); });
    Row(out, "RMSE in vol", layout, [&](const FitSummary& fit) {
        return Format("%.3f %%", 100.0 * values.Number(fit.rmseVol));
    });
    Row(out, "iterations", layout, [&](const FitSummary& fit) {
        return Format("%.0f ", values.Number(fit.iterations)) + fit.iterationsUnit;
    });
    Row(out, "status", layout, [&](const FitSummary& fit) {
        return fit.status.row < 0 ? std::string() : values.At(fit.status).text;
    });
    Row(out, "time", layout,
        [&](const FitSummary& fit) { return Format("%.2f s", values.Call(fit.formula).seconds); });
}

}  // namespace demo
