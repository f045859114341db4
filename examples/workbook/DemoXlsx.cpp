#include "DemoXlsx.h"

#include <xlsxwriter.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

#include "PackageParts.h"

namespace demo {

namespace {

// Formats by style and number format, made once each.
class Formats {
  public:
    explicit Formats(lxw_workbook* workbook) : workbook_(workbook) {}

    lxw_format* Get(Style style, const std::string& numberFormat) {
        const auto key = std::make_pair(static_cast<int>(style), numberFormat);
        const auto found = formats_.find(key);
        if (found != formats_.end()) return found->second;
        lxw_format* format = workbook_add_format(workbook_);
        if (!numberFormat.empty()) format_set_num_format(format, numberFormat.c_str());
        switch (style) {
            case Style::Title:
                format_set_bold(format);
                format_set_font_size(format, 14);
                break;
            case Style::Heading:
                format_set_bold(format);
                format_set_font_size(format, 12);
                break;
            case Style::ColumnHeader:
                format_set_bold(format);
                format_set_text_wrap(format);
                format_set_bottom(format, LXW_BORDER_THIN);
                break;
            case Style::Input:
                format_set_font_color(format, 0x1F4E79);
                break;
            case Style::Result:
                format_set_bg_color(format, 0xEAF1DD);
                break;
            case Style::Note:
                format_set_text_wrap(format);
                format_set_align(format, LXW_ALIGN_VERTICAL_TOP);
                break;
            case Style::Plain:
                break;
        }
        formats_[key] = format;
        return format;
    }

  private:
    lxw_workbook* workbook_;
    std::map<std::pair<int, std::string>, lxw_format*> formats_;
};

void Check(lxw_error error, const std::string& what) {
    if (error != LXW_NO_ERROR) throw std::runtime_error(what + ": " + lxw_strerror(error));
}

// A cached value that is not a number: text as text, errors and booleans by their name.
std::string CachedText(const CellValue& value) {
    return value.kind == CellValue::Nil || value.kind == CellValue::Missing ? std::string()
                                                                            : value.text;
}

// The workbook's name that is TRUE when the add-in answers: a cheap call (the implied
// volatility of an at-the-money call) is a number then, and #NAME? without the add-in.
const char* const kAddinLoadedName = "HestonAddinLoaded";
const char* const kAddinLoadedFormula = "=ISNUMBER(heston_BlackImpliedVol(1,10,100,100,1,0,0))";

// The calculation engine of Excel 2019 and Microsoft 365, named as the one that computed the
// stored values, so that Excel shows them as they are when it opens the file.
const char* const kCalcProperties = "<calcPr calcId=\"191029\"/>";

// The DAX sheet's part in the package: the second sheet added (after "Read me").
const char* const kDaxSheetPart = "xl/worksheets/sheet2.xml";

// A value as an element of an array constant in a formula.
std::string ArrayConstantElement(const CellValue& value) {
    switch (value.kind) {
        case CellValue::Number: {
            char buffer[32];
            std::snprintf(buffer, sizeof(buffer), "%.17g", value.number);
            return buffer;
        }
        case CellValue::Bool:
        case CellValue::Error:
            return value.text;
        case CellValue::Text: {
            std::string quoted = "\"";
            for (char c : value.text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            return quoted + "\"";
        }
        case CellValue::Nil:
        case CellValue::Missing:
            break;
    }
    return "\"\"";
}

// An array formula as the file holds it: the add-in's formula while the add-in is loaded, and
// the values it gave, as an array constant, while it is not. LibreOffice recalculates array
// formulas whenever it opens a file, and an Excel of another calculation engine may
// recalculate everything, so without the add-in they would show #NAME? otherwise.
std::string GuardedArrayFormula(Position position, const Cell& cell, const CellValues& values) {
    std::string stored = "{";
    for (int i = 0; i < cell.arrayRows; ++i) {
        for (int j = 0; j < cell.arrayColumns; ++j) {
            if (j > 0) stored += ',';
            stored += ArrayConstantElement(values.At({position.row + i, position.col + j}));
        }
        if (i + 1 < cell.arrayRows) stored += ';';
    }
    stored += '}';
    return std::string("{=IF(") + kAddinLoadedName + ", " + cell.text.substr(1) + ", " + stored +
           ")}";
}

// XML text: &, < and > escaped.
std::string XmlText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    }
    return escaped;
}

// Gives an array formula's first cell in the sheet's XML the text it caches: the workbook
// library caches only numbers there.
void CacheText(std::string& sheetXml, Position position, const std::string& text) {
    const std::string where = "cell " + CellName(position);
    const auto cell = sheetXml.find("<c r=\"" + CellName(position) + "\"");
    const auto tagEnd = sheetXml.find('>', cell);
    const auto end = sheetXml.find("</c>", cell);
    if (cell == std::string::npos || tagEnd == std::string::npos || end == std::string::npos)
        throw std::runtime_error(where + " is not in the sheet's XML");
    const auto value = sheetXml.find("<v>", tagEnd);
    const auto valueEnd = sheetXml.find("</v>", tagEnd);
    if (value == std::string::npos || valueEnd == std::string::npos || valueEnd > end)
        throw std::runtime_error(where + " caches no value in the sheet's XML");
    sheetXml.replace(value + 3, valueEnd - value - 3, XmlText(text));
    sheetXml.insert(tagEnd, " t=\"str\"");
}

// What the workbook library cannot write: calculation properties that ask for no
// recalculation on opening (it always asks for one), and the texts that array formulas' first
// cells cache.
void FinishPackage(const std::string& path,
                   const std::vector<std::pair<Position, std::string>>& texts) {
    EditPackageParts(path, [&](const std::string& name, std::string& content) {
        if (name == "xl/workbook.xml") {
            const auto start = content.find("<calcPr ");
            const auto end = content.find("/>", start);
            if (start == std::string::npos || end == std::string::npos)
                throw std::runtime_error("the workbook part has no calculation properties");
            content.replace(start, end + 2 - start, kCalcProperties);
        } else if (name == kDaxSheetPart) {
            for (const auto& [position, text] : texts) CacheText(content, position, text);
        }
    });
}

// A cell of an array formula's range other than its first: the value alone, as the file
// format keeps it.
void WriteArrayMember(lxw_worksheet* sheet, Position position, const CellValue& value,
                      lxw_format* format) {
    if (value.kind == CellValue::Number) {
        Check(worksheet_write_number(sheet, position.row, position.col, value.number, format),
              "cell " + CellName(position));
    } else {
        Check(worksheet_write_string(sheet, position.row, position.col, CachedText(value).c_str(),
                                     format),
              "cell " + CellName(position));
    }
}

// Writes a formula and what the add-in computed for it. Returns the text an array formula's
// first cell caches, to be written into the package afterwards (empty for none).
std::string WriteFormula(lxw_worksheet* sheet, Position position, const Cell& cell,
                         const CellValues& values, lxw_format* format) {
    const CellValue& value = values.At(position);
    const std::string where = "cell " + CellName(position);
    const bool array = cell.arrayRows * cell.arrayColumns > 1;
    // A table whose first cell is a label (heston_Greeks) is an array formula all the same.
    const bool labelledTable = array && value.kind == CellValue::Text && cell.arrayColumns > 1;
    if (array && (value.kind == CellValue::Number || labelledTable)) {
        const std::string source = GuardedArrayFormula(position, cell, values);
        Check(worksheet_write_array_formula_num(
                  sheet, position.row, position.col, position.row + cell.arrayRows - 1,
                  position.col + cell.arrayColumns - 1, source.c_str(), format,
                  value.kind == CellValue::Number ? value.number : 0.0),
              where);
        for (int i = 0; i < cell.arrayRows; ++i) {
            for (int j = 0; j < cell.arrayColumns; ++j) {
                if (i == 0 && j == 0) continue;
                const Position member{position.row + i, position.col + j};
                WriteArrayMember(sheet, member, values.At(member), format);
            }
        }
        return labelledTable ? value.text : std::string();
    }
    // A single value, or an array formula that failed with a text (which the file format
    // cannot cache for an array): the formula in its one cell.
    if (value.kind == CellValue::Number) {
        Check(worksheet_write_formula_num(sheet, position.row, position.col, cell.text.c_str(),
                                          format, value.number),
              where);
    } else {
        Check(worksheet_write_formula_str(sheet, position.row, position.col, cell.text.c_str(),
                                          format, CachedText(value).c_str()),
              where);
    }
    return std::string();
}

// Returns the texts of array formulas' first cells, which the package gets afterwards.
std::vector<std::pair<Position, std::string>> WriteDaxSheet(lxw_worksheet* sheet,
                                                            const DemoLayout& layout,
                                                            const CellValues& values,
                                                            Formats& formats) {
    std::vector<std::pair<Position, std::string>> texts;
    for (std::size_t c = 0; c < layout.columnWidths.size(); ++c)
        worksheet_set_column(sheet, c, c, layout.columnWidths[c], nullptr);
    for (const auto& [position, cell] : layout.sheet.Cells()) {
        // Column headers wrap onto two lines.
        if (cell.style == Style::ColumnHeader && position.col == 0)
            worksheet_set_row(sheet, position.row, 30.0, nullptr);
        lxw_format* format = formats.Get(cell.style, cell.format);
        const std::string where = "cell " + CellName(position);
        switch (cell.kind) {
            case Cell::Number:
                Check(
                    worksheet_write_number(sheet, position.row, position.col, cell.number, format),
                    where);
                break;
            case Cell::Text:
                Check(worksheet_write_string(sheet, position.row, position.col, cell.text.c_str(),
                                             format),
                      where);
                break;
            case Cell::AddinFormula:
            case Cell::SheetFormula: {
                std::string text = WriteFormula(sheet, position, cell, values, format);
                if (!text.empty()) texts.emplace_back(position, std::move(text));
                break;
            }
            case Cell::Empty:
                break;
        }
    }
    worksheet_freeze_panes(sheet, 1, 0);
    return texts;
}

std::string Range(const DemoLayout& layout, int firstRow, int lastRow, int col) {
    return "='" + layout.sheetName + "'!" + RangeName({firstRow, col}, {lastRow, col}, true);
}

std::string MaturityTitle(double years) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "maturity %.3f years (%.0f days)", years, years * 365.0);
    return buffer;
}

lxw_chart_series* AddSeries(lxw_chart* chart, const std::string& name, const std::string& x,
                            const std::string& y) {
    lxw_chart_series* series = chart_add_series(chart, x.c_str(), y.c_str());
    chart_series_set_name(series, name.c_str());
    return series;
}

void MarkersOnly(lxw_chart_series* series, lxw_color_t color, uint8_t marker) {
    lxw_chart_line none{};
    none.none = LXW_TRUE;
    chart_series_set_line(series, &none);
    chart_series_set_marker_type(series, marker);
    chart_series_set_marker_size(series, 6);
    lxw_chart_fill fill{};
    fill.color = color;
    chart_series_set_marker_fill(series, &fill);
    lxw_chart_line edge{};
    edge.color = color;
    chart_series_set_marker_line(series, &edge);
}

void LineOnly(lxw_chart_series* series, lxw_color_t color, uint8_t dash) {
    chart_series_set_marker_type(series, LXW_CHART_MARKER_NONE);
    lxw_chart_line line{};
    line.color = color;
    line.width = 1.75;
    line.dash_type = dash;
    chart_series_set_line(series, &line);
}

constexpr lxw_color_t kObservedColor = 0x000000;
constexpr lxw_color_t kDeColor = 0xC0504D;
constexpr lxw_color_t kLmColor = 0x1F77B4;
constexpr lxw_color_t kBatesColor = 0x2CA02C;

void WriteCharts(lxw_workbook* workbook, lxw_worksheet* sheet, const DemoLayout& layout) {
    const lxw_color_t fitColors[] = {kDeColor, kLmColor};
    const uint8_t fitDashes[] = {LXW_CHART_LINE_DASH_DASH, LXW_CHART_LINE_DASH_SOLID};
    const int chartsPerRow = 4;
    const int rowsPerChart = 15, columnsPerChart = 7;
    int index = 0;
    for (const MaturityRows& maturity : layout.maturities) {
        lxw_chart* chart = workbook_add_chart(workbook, LXW_CHART_SCATTER_STRAIGHT);
        lxw_chart_series* observed = AddSeries(
            chart, "observed",
            Range(layout, maturity.firstQuoteRow, maturity.lastQuoteRow, QuoteColumns::kStrike),
            Range(layout, maturity.firstQuoteRow, maturity.lastQuoteRow,
                  QuoteColumns::kObservedVol));
        MarkersOnly(observed, kObservedColor, LXW_CHART_MARKER_CIRCLE);
        for (std::size_t f = 0; f < layout.fits.size(); ++f) {
            const FitCells& fit = layout.fits[f];
            lxw_chart_series* smile = AddSeries(
                chart, fit.shortName + " fit",
                Range(layout, maturity.firstSmileRow, maturity.lastSmileRow, SmileColumns::kStrike),
                Range(layout, maturity.firstSmileRow, maturity.lastSmileRow, fit.smileVolColumn));
            LineOnly(smile, fitColors[f % 2], fitDashes[f % 2]);
        }
        const BatesCells& bates = layout.bates;
        lxw_chart_series* batesSmile = AddSeries(
            chart, "Bates fit",
            Range(layout, maturity.firstSmileRow, maturity.lastSmileRow, SmileColumns::kStrike),
            Range(layout, maturity.firstSmileRow + bates.smileRowOffset,
                  maturity.lastSmileRow + bates.smileRowOffset, bates.smileVolColumn));
        LineOnly(batesSmile, kBatesColor, LXW_CHART_LINE_DASH_SOLID);
        const std::string title = MaturityTitle(maturity.maturity);
        chart_title_set_name(chart, title.c_str());
        lxw_chart_font titleFont{};
        titleFont.size = 11;
        titleFont.bold = LXW_TRUE;
        chart_title_set_name_font(chart, &titleFont);
        chart_axis_set_name(chart->x_axis, "strike");
        chart_axis_set_name(chart->y_axis, "implied vol");
        chart_axis_set_num_format(chart->y_axis, "0%");
        chart_axis_set_min(chart->x_axis, 3200);
        chart_axis_set_max(chart->x_axis, 5800);
        chart_axis_set_major_unit(chart->x_axis, 400);
        chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM);
        lxw_chart_options options{};
        options.x_scale = 0.92;
        options.y_scale = 1.0;
        Check(worksheet_insert_chart_opt(sheet, (index / chartsPerRow) * rowsPerChart,
                                         (index % chartsPerRow) * columnsPerChart, chart, &options),
              "smile chart");
        ++index;
    }

    lxw_chart* residuals = workbook_add_chart(workbook, LXW_CHART_SCATTER);
    const uint8_t markers[] = {LXW_CHART_MARKER_DIAMOND, LXW_CHART_MARKER_CIRCLE};
    for (std::size_t f = 0; f < layout.fits.size(); ++f) {
        const FitCells& fit = layout.fits[f];
        lxw_chart_series* series = AddSeries(
            residuals, fit.shortName + " fit",
            Range(layout, layout.firstQuoteRow, layout.lastQuoteRow, QuoteColumns::kStrike),
            Range(layout, layout.firstQuoteRow, layout.lastQuoteRow, fit.volErrorColumn));
        MarkersOnly(series, fitColors[f % 2], markers[f % 2]);
    }
    lxw_chart_series* batesResiduals =
        AddSeries(residuals, "Bates fit",
                  Range(layout, layout.bates.firstQuoteRow, layout.bates.lastQuoteRow,
                        layout.bates.strikeColumn),
                  Range(layout, layout.bates.firstQuoteRow, layout.bates.lastQuoteRow,
                        layout.bates.volErrorColumn));
    MarkersOnly(batesResiduals, kBatesColor, LXW_CHART_MARKER_TRIANGLE);
    chart_title_set_name(residuals, "Fit residuals: model minus observed implied vol, all quotes");
    chart_axis_set_name(residuals->x_axis, "strike");
    chart_axis_set_name(residuals->y_axis, "implied vol error");
    chart_axis_set_num_format(residuals->y_axis, "0.0%");
    chart_axis_set_min(residuals->x_axis, 3200);
    chart_axis_set_max(residuals->x_axis, 5800);
    chart_axis_set_major_unit(residuals->x_axis, 400);
    chart_axis_set_label_position(residuals->x_axis, LXW_CHART_AXIS_LABEL_POSITION_LOW);
    chart_legend_set_position(residuals, LXW_CHART_LEGEND_BOTTOM);
    lxw_chart_options options{};
    options.x_scale = 2.5;
    options.y_scale = 1.3;
    const int rows = (static_cast<int>(layout.maturities.size()) + chartsPerRow - 1) / chartsPerRow;
    Check(worksheet_insert_chart_opt(sheet, rows * rowsPerChart, 0, residuals, &options),
          "residual chart");
    worksheet_set_landscape(sheet);
    worksheet_set_paper(sheet, 9);  // A4
    worksheet_fit_to_pages(sheet, 1, 1);
    worksheet_print_area(sheet, 0, 0, rows * rowsPerChart + 18, chartsPerRow * columnsPerChart - 1);
}

void WriteReadMe(lxw_worksheet* sheet, const DemoLayout& layout, const std::string& computedBy,
                 Formats& formats) {
    worksheet_set_column(sheet, 0, 0, 110, formats.Get(Style::Plain, ""));
    lxw_format* wrap = formats.Get(Style::Note, "");
    int row = 0;
    auto line = [&](const std::string& text, Style style) {
        lxw_format* format = style == Style::Plain ? nullptr : formats.Get(style, "");
        Check(worksheet_write_string(sheet, row++, 0, text.c_str(), format), "Read me");
    };
    auto paragraph = [&](const std::string& text) {
        Check(worksheet_write_string(sheet, row, 0, text.c_str(), wrap), "Read me");
        // About 120 characters fit on a line of the 110-character-wide column.
        const int lines = 1 + static_cast<int>(text.size()) / 120;
        worksheet_set_row(sheet, row, 15.0 * lines + 2.0, nullptr);
        ++row;
    };
    line("Heston stochastic volatility in Excel: demonstration workbook", Style::Title);
    ++row;
    line("Which add-in goes with which Excel", Style::Heading);
    line("heston64.xll: 64-bit Excel (the usual install today).", Style::Plain);
    line(
        "heston32.xll: 32-bit Excel. Excel's bitness is shown under File > Account > About "
        "Excel.",
        Style::Plain);
    ++row;
    line("How to load it", Style::Heading);
    paragraph(
        "Copy the matching .xll to a folder of your choice. In Excel: File > Options > "
        "Add-ins > Manage: Excel Add-ins > Go... > Browse..., pick the .xll and tick it. "
        "The functions appear in the function wizard under the category "
        "KX_HestonStochasticVolatility. A file of the wrong bitness is refused as not a "
        "valid add-in.");
    ++row;
    line("Recalculation", Style::Heading);
    paragraph(
        "Every formula on the DAX sheet calls the add-in and carries the value the add-in "
        "computed for it (" +
        computedBy +
        "). The file asks for no recalculation when it is opened, so these values show "
        "with the add-in or without it. Formulas that fill a range (the calibrations, the "
        "normal draws, the Greeks, the columns of the contour pricer's block and of the "
        "blocks below it) read "
        "IF(HestonAddinLoaded, formula, {the values it gave}): HestonAddinLoaded is a name of "
        "this workbook that is TRUE when the add-in answers, so without the add-in these "
        "ranges keep their values even where they are recalculated, as LibreOffice does on "
        "opening. Once the add-in is loaded the sheet recalculates live: change a quote, a "
        "bound or an iteration limit and the fits, prices, charts and errors follow. If the "
        "file was opened before the add-in was loaded, a full recalculation (Ctrl+Alt+F9) "
        "brings it live. Differential Evolution continues its random stream on every run, so "
        "each recalculation of column E gives a slightly different fit; the Asian prices "
        "are simulated from their seed, so they come out the same on every recalculation.");
    ++row;
    line("What the DAX sheet shows", Style::Heading);
    for (const Block& block : layout.blocks) {
        line(block.title + " (rows " + std::to_string(block.firstRow + 1) + "-" +
                 std::to_string(block.lastRow + 1) + ")",
             Style::ColumnHeader);
        paragraph(block.description);
    }
    ++row;
    line("What the Charts sheet shows", Style::Heading);
    paragraph(
        "Per quoted maturity the observed implied volatilities (dots) and the smiles of "
        "both Heston fits (lines) against strike, from the model smile block, with the Bates "
        "fit's smile (green) from the Bates block, where the jumps bend the short end; below "
        "them the residuals of the three fits in implied volatility for all quotes.");
}

}  // namespace

void WriteDemoXlsx(const std::string& path, const DemoLayout& layout, const CellValues& values,
                   const std::string& computedBy) {
    lxw_workbook* workbook = workbook_new(path.c_str());
    if (workbook == nullptr) throw std::runtime_error("cannot create " + path);
    std::vector<std::pair<Position, std::string>> texts;
    try {
        Formats formats(workbook);
        lxw_doc_properties properties{};
        std::string title = "Heston fits to DAX options";
        std::string comments = "Values computed by " + computedBy;
        properties.title = title.data();
        properties.comments = comments.data();
        workbook_set_properties(workbook, &properties);
        lxw_worksheet* readMe = workbook_add_worksheet(workbook, "Read me");
        lxw_worksheet* dax = workbook_add_worksheet(workbook, layout.sheetName.c_str());
        lxw_worksheet* charts = workbook_add_worksheet(workbook, "Charts");
        if (readMe == nullptr || dax == nullptr || charts == nullptr)
            throw std::runtime_error("cannot add the sheets");
        Check(workbook_define_name(workbook, kAddinLoadedName, kAddinLoadedFormula),
              std::string("name ") + kAddinLoadedName);
        WriteReadMe(readMe, layout, computedBy, formats);
        texts = WriteDaxSheet(dax, layout, values, formats);
        WriteCharts(workbook, charts, layout);
        worksheet_activate(dax);
    } catch (...) {
        workbook_close(workbook);
        std::remove(path.c_str());
        throw;
    }
    Check(workbook_close(workbook), "cannot write " + path);
    try {
        FinishPackage(path, texts);
    } catch (...) {
        std::remove(path.c_str());
        throw;
    }
}

}  // namespace demo
