#include "DemoSummary.h"

#include <cstdio>
#include <string>

namespace demo {

namespace {

std::string Format(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), format, value);
    return buffer;
}

void Row(std::ostream& out, const std::string& label, const std::string& first,
         const std::string& second) {
    char buffer[160];
    std::snprintf(buffer, sizeof(buffer), "  %-22s %24s %24s\n", label.c_str(), first.c_str(),
                  second.c_str());
    out << buffer;
}

}  // namespace

void PrintDemoSummary(std::ostream& out, const DemoLayout& layout, const CellValues& values) {
    const FitCells& de = layout.fits.at(0);
    const FitCells& lm = layout.fits.at(1);
    out << "Heston fits to " << (layout.lastQuoteRow - layout.firstQuoteRow + 1)
        << " DAX option quotes, spot " << Format("%.2f", values.Number(layout.spot)) << "\n\n";
    Row(out, "", de.name, lm.name);
    for (std::size_t i = 0; i < layout.parameterNames.size(); ++i) {
        const int offset = static_cast<int>(i);
        Row(out, layout.parameterNames[i],
            Format("%.6f", values.Number({de.parameters.row + offset, de.parameters.col})),
            Format("%.6f", values.Number({lm.parameters.row + offset, lm.parameters.col})));
    }
    Row(out, "RMSE in price", Format("%.4f", values.Number(de.rmsePrice)),
        Format("%.4f", values.Number(lm.rmsePrice)));
    Row(out, "RMSE in implied vol", Format("%.3f %%", 100.0 * values.Number(de.rmseVol)),
        Format("%.3f %%", 100.0 * values.Number(lm.rmseVol)));
    Row(out, "iterations", Format("%.0f generations", values.Number(de.iterations)),
        Format("%.0f evaluations max", values.Number(lm.iterations)));
    Row(out, "time", Format("%.2f s", values.Call(de.parameters).seconds),
        Format("%.2f s", values.Call(lm.parameters).seconds));
}

}  // namespace demo
