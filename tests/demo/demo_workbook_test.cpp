// The demonstration workbook in a real spreadsheet application. The demo is run through the
// native add-in (cmake/run-demo.sh --native), then LibreOffice Calc, headless, with its default
// settings and without the add-in, opens heston-demo.xlsx and converts its DAX sheet to CSV
// twice, once with the values and once with the formulas; the demo's own rendering printed
// each sheet to one PDF page.
//
// - Values in Calc: every cell the add-in computed shows the value the add-in computed (Calc
//   writes 15 significant digits: 1e-14 relative), and no cell shows #NAME?. Calc keeps the
//   stored results of single-cell formulas and recalculates array formulas, which without the
//   add-in take the values stored in them. The inputs equal the quote file; the differences
//   and root mean squares equal what Calc's values give.
// - Values on opening in Excel: the file asks for no recalculation when it is opened, names
//   the add-in test the array formulas use, and caches in every cell of an array formula the
//   value the add-in computed (read from the file's XML).
// - Formulas: every formula cell reads back as its formula, array formulas as one array
//   formula over their whole range: the add-in's formula while the add-in is loaded, else the
//   values it gave.
// - Charts: the charts page shows every maturity's smile chart and the residual chart, and is
//   drawn (dark pixels where the charts are).
// A workbook Calc cannot open fails the test. The whole check takes three LibreOffice runs
// and one native demo run: 30-50 s on a shared 2-core machine.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../support/shell_files.h"
#include "CellValues.h"
#include "DaxQuotes.h"
#include "DemoLayout.h"
#include "SheetArithmetic.h"

namespace {

const std::string kOut = DEMO_TEST_WORK_DIR;
const std::string kWorkbook = kOut + "/heston-demo.xlsx";

using test_support::Quote;
using test_support::ReadFile;

// Runs a shell command; its exit status, and its output in a file that failures show.
int RunShell(const std::string& command, const std::string& log) {
    const int status = std::system((command + " </dev/null >" + Quote(log) + " 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One Calc conversion of the workbook; the CSV filter's options pick the DAX sheet (2) and
// whether formulas are written instead of values.
std::string ConvertDaxSheet(bool formulas, std::string& error) {
    const std::string dir = kOut + (formulas ? "/calc-formulas" : "/calc-values");
    const std::string filter = std::string(
                                   "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,"
                                   "true,false,") +
                               (formulas ? "true" : "false") + ",false,2";
    std::remove((dir + "/heston-demo-DAX.csv").c_str());
    const std::string log = dir + ".log";
    const int status =
        RunShell("mkdir -p " + Quote(dir) +
                     " && soffice --headless --norestore "
                     "-env:UserInstallation=file://" +
                     kOut + "/work/libreoffice-profile --convert-to " + Quote(filter) +
                     " --outdir " + Quote(dir) + " " + Quote(kWorkbook),
                 log);
    const std::string csv = ReadFile(dir + "/heston-demo-DAX.csv");
    if (status != 0 || csv.empty())
        error = "LibreOffice could not open and convert the workbook:\n" + ReadFile(log);
    return csv;
}

// Rows of fields; quoted fields may hold commas, line breaks and "" for a quotation mark.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!rows.back().empty() || !field.empty()) rows.back().push_back(field);
    return rows;
}

struct Calc {
    std::vector<std::vector<std::string>> rows;
    std::string Field(demo::Position p) const {
        if (p.row >= static_cast<int>(rows.size()) || p.col >= static_cast<int>(rows[p.row].size()))
            return "";
        return rows[p.row][p.col];
    }
};

// A number as Calc writes it unformatted ("0.0356714285714292", "3.56714285714292%",
// "1E-08"); false for anything else.
bool CalcNumber(std::string text, double& value) {
    double scale = 1.0;
    if (!text.empty() && text.back() == '%') {
        text.pop_back();
        scale = 0.01;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end) * scale;
    return !text.empty() && *end == '\0';
}

// XML text with its five entities replaced.
std::string XmlUnescaped(const std::string& text) {
    static const std::pair<const char*, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
    std::string plain;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : kEntities) {
            if (text.compare(i, std::strlen(entity), entity) == 0) {
                plain += c;
                i += std::strlen(entity);
                replaced = true;
                break;
            }
        }
        if (!replaced) plain += text[i++];
    }
    return plain;
}

// The workbook's shared strings in order ("<si><t>text</t></si>").
std::vector<std::string> SharedStrings(const std::string& xml) {
    std::vector<std::string> strings;
    for (auto at = xml.find("<si>"); at != std::string::npos; at = xml.find("<si>", at + 4)) {
        const auto text = xml.find('>', xml.find("<t", at)) + 1;
        strings.push_back(XmlUnescaped(xml.substr(text, xml.find("</t>", text) - text)));
    }
    return strings;
}

// The value a cell caches in the sheet's XML ("<c r="E5" ...>...<v>0.118</v></c>"), a shared
// string's text for a cell of type "s"; false when it caches none.
bool CachedInFile(const std::string& xml, const std::vector<std::string>& sharedStrings,
                  demo::Position p, std::string& value) {
    const std::string open = "<c r=\"" + demo::CellName(p) + "\"";
    const auto at = xml.find(open);
    if (at == std::string::npos) return false;
    const auto end = xml.find("</c>", at);
    const auto v = xml.find("<v>", at);
    if (v == std::string::npos || v > end) return false;
    value = XmlUnescaped(xml.substr(v + 3, xml.find("</v>", v) - v - 3));
    const std::string tag = xml.substr(at, xml.find('>', at) - at);
    if (tag.find(" t=\"s\"") != std::string::npos) {
        const std::size_t index = std::stoul(value);
        if (index >= sharedStrings.size()) return false;
        value = sharedStrings[index];
    }
    return true;
}

// The elements of an array constant's inside ("0.1;12;\"converged\""), rows and columns
// in order; texts without their quotation marks.
std::vector<std::string> ArrayConstantElements(const std::string& text) {
    std::vector<std::string> elements(1);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                elements.back() += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (!quoted && (c == ';' || c == ',')) {
            elements.emplace_back();
        } else {
            elements.back() += c;
        }
    }
    return elements;
}

// A formula for comparison: lower case, no spaces or array braces, each number literal as
// its double (Calc writes 1e-8 as 0.00000001 and function names in lower case).
std::string Normalized(const std::string& formula) {
    std::string out;
    for (std::size_t i = 0; i < formula.size();) {
        const char c = formula[i];
        const char before = out.empty() ? '(' : out.back();
        const bool numberStart = (std::isdigit(static_cast<unsigned char>(c)) || c == '.') &&
                                 !std::isalnum(static_cast<unsigned char>(before)) &&
                                 before != '$' && before != '.';
        if (numberStart) {
            char* end = nullptr;
            const double value = std::strtod(formula.c_str() + i, &end);
            char buffer[32];
            std::snprintf(buffer, sizeof(buffer), "%.17g", value);
            out += buffer;
            i = static_cast<std::size_t>(end - formula.c_str());
            continue;
        }
        if (c != ' ' && c != '{' && c != '}')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ++i;
    }
    return out;
}

bool Near(double actual, double expected, double relative) {
    return std::fabs(actual - expected) <= relative * std::fabs(expected) + 1e-300;
}

// The demo run and the conversions, once for all tests.
class DemoWorkbookTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string log = kOut + "-demo.log";
        RunShell("mkdir -p " + Quote(kOut), "/dev/null");
        const int status =
            RunShell("bash " + Quote(std::string(DEMO_TEST_SOURCE_DIR) + "/cmake/run-demo.sh") +
                         " --native --out " + Quote(kOut) + " --build " +
                         Quote(DEMO_TEST_BUILD_DIR) + " " + Quote(DEMO_TEST_SOURCE_DIR),
                     log);
        if (status != 0) {
            setupError_ = "the demo failed:\n" + ReadFile(log);
            return;
        }
        demoOutput_ = ReadFile(log);
        values_.rows = ParseCsv(ConvertDaxSheet(false, setupError_));
        formulas_.rows = ParseCsv(ConvertDaxSheet(true, setupError_));
        RunShell("unzip -p " + Quote(kWorkbook) + " xl/worksheets/sheet2.xml",
                 kOut + "/sheet2.xml");
        sheetXml_ = ReadFile(kOut + "/sheet2.xml");
        RunShell("unzip -p " + Quote(kWorkbook) + " xl/workbook.xml", kOut + "/workbook.xml");
        RunShell("unzip -p " + Quote(kWorkbook) + " xl/sharedStrings.xml",
                 kOut + "/sharedStrings.xml");
        sharedStrings_ = SharedStrings(ReadFile(kOut + "/sharedStrings.xml"));
    }

    void SetUp() override { ASSERT_TRUE(setupError_.empty()) << setupError_; }

    static demo::DemoLayout Layout() {
        return demo::BuildDemoLayout(demo::ReadQuotes(kQuotes), 4468.17);
    }

    static demo::CellValues AddinValues() {
        std::ifstream in(kOut + "/work/heston-demo-values.tsv", std::ios::binary);
        return demo::CellValues::Read(in);
    }

    static inline const std::string kQuotes =
        std::string(DEMO_TEST_SOURCE_DIR) + "/examples/dax-surface.csv";
    static inline std::string setupError_;
    static inline std::string demoOutput_;
    static inline Calc values_;
    static inline Calc formulas_;
    static inline std::string sheetXml_;
    static inline std::vector<std::string> sharedStrings_;
};

TEST_F(DemoWorkbookTest, CalcShowsTheValuesTheAddinComputed) {
    const demo::DemoLayout layout = Layout();
    const demo::CellValues addin = AddinValues();
    int checked = 0;
    for (const auto& [position, cell] : layout.sheet.Cells()) {
        if (cell.kind != demo::Cell::AddinFormula) continue;
        for (int i = 0; i < cell.arrayRows; ++i) {
            for (int j = 0; j < cell.arrayColumns; ++j) {
                const demo::Position p{position.row + i, position.col + j};
                const demo::CellValue& expected = addin.At(p);
                const std::string shown = values_.Field(p);
                // Labels of a table (heston_Greeks) and a calibration's status text.
                if (expected.kind == demo::CellValue::Text) {
                    EXPECT_EQ(shown, expected.text) << demo::CellName(p);
                    continue;
                }
                ASSERT_EQ(expected.kind, demo::CellValue::Number)
                    << demo::CellName(p) << " " << cell.text << " gave '" << expected.text << "'";
                double value = 0.0;
                ASSERT_TRUE(CalcNumber(shown, value))
                    << demo::CellName(p) << " shows '" << shown << "'";
                EXPECT_TRUE(Near(value, expected.number, 1e-14))
                    << demo::CellName(p) << " shows " << shown << ", add-in " << expected.number;
                ++checked;
            }
        }
    }
    // At least: 104 quotes x 6 formulas, 184 grid points x 4, 2 x 5 parameters, 6 prices,
    // 5 draws, and the contour pricer's block: 2 x 7 of its fits, 3 x 11 Greeks, 3 x 104 per
    // quote; 5 strikes x 3 puts and 5 x 11 Greeks, 10 Asian strikes x 3, 9 forward starts x 4.
    EXPECT_GE(checked, 104 * 6 + 184 * 4 + 10 + 6 + 5 + 14 + 33 + 3 * 104 + 15 + 55 + 30 + 36);

    // Nothing on the sheet is a #NAME? (or any other error).
    std::vector<std::string> errors;
    for (std::size_t r = 0; r < values_.rows.size(); ++r) {
        for (std::size_t c = 0; c < values_.rows[r].size(); ++c) {
            const std::string& field = values_.rows[r][c];
            if (!field.empty() && field[0] == '#')
                errors.push_back(demo::CellName({int(r), int(c)}) + " " + field);
        }
    }
    EXPECT_EQ(errors.size(), 0u) << "the first: " << (errors.empty() ? "" : errors.front());

    // The inputs are the quote file's, sorted by maturity and strike.
    std::vector<demo::Quote> quotes = demo::ReadQuotes(kQuotes);
    std::stable_sort(quotes.begin(), quotes.end(), [](const demo::Quote& a, const demo::Quote& b) {
        return a.maturity != b.maturity ? a.maturity < b.maturity : a.strike < b.strike;
    });
    ASSERT_EQ(layout.lastQuoteRow - layout.firstQuoteRow + 1, 104);
    for (int i = 0; i < 104; ++i) {
        const int r = layout.firstQuoteRow + i;
        const double inputs[] = {quotes[i].strike, quotes[i].maturity, double(quotes[i].type),
                                 quotes[i].price,  quotes[i].rate,     quotes[i].weight};
        for (int c = 0; c < 6; ++c) {
            double value = 0.0;
            ASSERT_TRUE(CalcNumber(values_.Field({r, c}), value));
            EXPECT_TRUE(Near(value, inputs[c], 1e-14)) << demo::CellName({r, c});
        }
    }
    double spot = 0.0;
    ASSERT_TRUE(CalcNumber(values_.Field(layout.spot), spot));
    EXPECT_EQ(spot, 4468.17);

    // The sheet's own arithmetic, against Calc's values of its operands.
    for (const auto& [position, cell] : layout.sheet.Cells()) {
        if (cell.kind != demo::Cell::SheetFormula) continue;
        double shown = 0.0, expected = 0.0;
        ASSERT_TRUE(CalcNumber(values_.Field(position), shown)) << demo::CellName(position);
        if (cell.arithmetic == demo::Cell::Difference) {
            double a = 0.0, b = 0.0;
            ASSERT_TRUE(CalcNumber(values_.Field(cell.first), a));
            ASSERT_TRUE(CalcNumber(values_.Field(cell.second), b));
            expected = a - b;
            EXPECT_NEAR(shown, expected, 1e-13 * (std::fabs(a) + std::fabs(b)))
                << demo::CellName(position);
        } else {
            double squares = 0.0;
            const int n = cell.second.row - cell.first.row + 1;
            for (int r = cell.first.row; r <= cell.second.row; ++r) {
                double e = 0.0;
                ASSERT_TRUE(CalcNumber(values_.Field({r, cell.first.col}), e));
                squares += e * e;
            }
            expected = std::sqrt(squares / n);
            EXPECT_TRUE(Near(shown, expected, 1e-12)) << demo::CellName(position);
        }
    }
}

TEST_F(DemoWorkbookTest, ExcelShowsTheStoredValuesOnOpening) {
    const std::string workbookXml = ReadFile(kOut + "/workbook.xml");
    ASSERT_NE(workbookXml.find("<calcPr "), std::string::npos) << workbookXml;
    EXPECT_EQ(workbookXml.find("fullCalcOnLoad"), std::string::npos)
        << "the file asks for a recalculation on opening";
    EXPECT_NE(workbookXml.find("<definedName name=\"HestonAddinLoaded\">ISNUMBER(heston_"),
              std::string::npos)
        << workbookXml;

    // Every cell of an array formula caches the add-in's value, texts included.
    const demo::DemoLayout layout = Layout();
    const demo::CellValues addin = AddinValues();
    int arrays = 0;
    for (const auto& [position, cell] : layout.sheet.Cells()) {
        if (cell.kind != demo::Cell::AddinFormula || cell.arrayRows * cell.arrayColumns == 1)
            continue;
        ++arrays;
        for (int i = 0; i < cell.arrayRows; ++i) {
            for (int j = 0; j < cell.arrayColumns; ++j) {
                const demo::Position p{position.row + i, position.col + j};
                const demo::CellValue& expected = addin.At(p);
                std::string cached;
                ASSERT_TRUE(CachedInFile(sheetXml_, sharedStrings_, p, cached))
                    << demo::CellName(p);
                if (expected.kind == demo::CellValue::Text) {
                    EXPECT_EQ(cached, expected.text) << demo::CellName(p);
                } else {
                    double value = 0.0;
                    ASSERT_TRUE(CalcNumber(cached, value)) << demo::CellName(p) << " " << cached;
                    EXPECT_TRUE(Near(value, expected.number, 1e-15))
                        << demo::CellName(p) << " caches " << cached << ", add-in "
                        << expected.number;
                }
            }
        }
    }
    // Two calibrations, the draws, two contour calibrations, the Greeks, three quote columns;
    // three columns of puts and their Greeks, the Asian and European calls, four forward
    // columns; the Bates fit, its three quote columns and its smile on the grid.
    EXPECT_EQ(arrays, 9 + 4 + 2 + 4 + 5);
}

TEST_F(DemoWorkbookTest, FormulasSurviveInCalc) {
    const demo::DemoLayout layout = Layout();
    const demo::CellValues addin = AddinValues();
    int formulas = 0;
    for (const auto& [position, cell] : layout.sheet.Cells()) {
        if (cell.kind != demo::Cell::AddinFormula && cell.kind != demo::Cell::SheetFormula)
            continue;
        const bool array = cell.arrayRows * cell.arrayColumns > 1;
        for (int i = 0; i < cell.arrayRows; ++i) {
            for (int j = 0; j < cell.arrayColumns; ++j) {
                const demo::Position p{position.row + i, position.col + j};
                const std::string text = formulas_.Field(p);
                if (!array) {
                    EXPECT_EQ(Normalized(text), Normalized(cell.text)) << demo::CellName(p);
                    continue;
                }
                // {=IF(HestonAddinLoaded,<the add-in's formula>,{<the values it gave>})}
                ASSERT_TRUE(text.size() > 2 && text.front() == '{' && text.back() == '}')
                    << demo::CellName(p) << " is no array formula: " << text;
                const auto stored = text.rfind('{');
                ASSERT_TRUE(stored > 0 && text.size() >= stored + 4 &&
                            text.compare(text.size() - 3, 3, "})}") == 0)
                    << demo::CellName(p) << " keeps no values: " << text;
                EXPECT_EQ(Normalized(text.substr(0, stored)),
                          Normalized("=IF(HestonAddinLoaded, " + cell.text.substr(1) + ", "))
                    << demo::CellName(p);
                const std::vector<std::string> elements =
                    ArrayConstantElements(text.substr(stored + 1, text.size() - stored - 4));
                ASSERT_EQ(elements.size(), std::size_t(cell.arrayRows * cell.arrayColumns))
                    << demo::CellName(p);
                for (int k = 0; k < cell.arrayRows * cell.arrayColumns; ++k) {
                    const demo::Position member{position.row + k / cell.arrayColumns,
                                                position.col + k % cell.arrayColumns};
                    const demo::CellValue& expected = addin.At(member);
                    double value = 0.0;
                    if (expected.kind == demo::CellValue::Number) {
                        ASSERT_TRUE(CalcNumber(elements[k], value)) << elements[k];
                        EXPECT_TRUE(Near(value, expected.number, 1e-14))
                            << demo::CellName(member) << " stored as " << elements[k];
                    } else {
                        EXPECT_EQ(elements[k], expected.text) << demo::CellName(member);
                    }
                }
            }
        }
        ++formulas;
    }
    EXPECT_GT(formulas, 1000);
    // Inputs stay values.
    EXPECT_EQ(formulas_.Field(layout.spot), "4468.17");
}

// The blocks beyond European options hold the relations between their prices that any
// sound model gives, so a formula wired to the wrong cell or argument shows.
TEST_F(DemoWorkbookTest, ExoticPricesKeepTheirNoArbitrageRelations) {
    const demo::DemoLayout layout = Layout();
    const demo::CellValues addin = AddinValues();
    const double spot = addin.Number(layout.spot);

    using X = demo::ExerciseBarrierCells;
    const X& puts = layout.exerciseBarrier;
    ASSERT_EQ(puts.lastRow - puts.firstRow + 1, 5);
    double previousAmerican = 0.0;
    for (int r = puts.firstRow; r <= puts.lastRow; ++r) {
        const std::string row = "row " + std::to_string(r + 1);
        const double strike = addin.Number({r, X::kStrike});
        const double european = addin.Number({r, X::kEuropean});
        const double american = addin.Number({r, X::kAmerican});
        const double downOut = addin.Number({r, X::kDownOut});
        // Early exercise is worth something to a put when rates are positive, and never less
        // than exercising now; knocking out only takes value away.
        EXPECT_GT(american, european) << row;
        EXPECT_GE(american, strike - spot) << row;
        EXPECT_GT(downOut, 0.0) << row;
        EXPECT_LT(downOut, european) << row;
        EXPECT_GT(american, previousAmerican) << row;
        previousAmerican = american;
        // The Greeks table's column of this strike: its price is the American price itself.
        const int column = puts.greeks.col + 1 + (r - puts.firstRow);
        EXPECT_EQ(addin.Number({puts.greeks.row, column}), american) << row;
        const double delta = addin.Number({puts.greeks.row + 1, column});
        EXPECT_TRUE(delta > -1.0 && delta < 0.0) << row << ": delta " << delta;
        EXPECT_GT(addin.Number({puts.greeks.row + 2, column}), 0.0) << row << ": gamma";
    }

    using P = demo::PathDependentCells;
    const P& paths = layout.pathDependent;
    ASSERT_EQ(paths.lastAsianRow - paths.firstAsianRow + 1, 10);
    const double rate = addin.Number(paths.rate);
    std::vector<double> fixings;
    for (int c = paths.firstFixing.col; c <= paths.lastFixing.col; ++c)
        fixings.push_back(addin.Number({paths.firstFixing.row, c}));
    ASSERT_EQ(fixings.size(), 12u);
    double meanForward = 0.0;
    for (double t : fixings) meanForward += spot * std::exp(rate * t) / fixings.size();
    double previousAsian = spot;
    for (int r = paths.firstAsianRow; r <= paths.lastAsianRow; ++r) {
        const std::string row = "row " + std::to_string(r + 1);
        const double strike = addin.Number({r, P::kStrike});
        const double asian = addin.Number({r, P::kAsian});
        const double error = addin.Number({r, P::kStandardError});
        const double european = addin.Number({r, P::kEuropean});
        EXPECT_TRUE(error > 0.0 && error < 1e-4 * spot) << row << ": standard error " << error;
        // Averaging lowers the call's value; by convexity the call on the average is worth at
        // least the payoff at the mean of the forwards, discounted from the last fixing.
        EXPECT_LT(asian, european - 3.0 * error) << row;
        EXPECT_GT(asian + 3.0 * error,
                  std::exp(-rate * fixings.back()) * std::max(meanForward - strike, 0.0))
            << row;
        EXPECT_LT(asian, previousAsian) << row;
        previousAsian = asian;
    }

    ASSERT_EQ(paths.lastForwardRow - paths.firstForwardRow + 1, 9);
    double previousPrice = spot;
    for (int r = paths.firstForwardRow; r <= paths.lastForwardRow; ++r) {
        const std::string row = "row " + std::to_string(r + 1);
        const double price = addin.Number({r, P::kForwardStart});
        const double perUnit = addin.Number({r, P::kPerUnitSpot});
        // The forward-start price is proportional to the spot.
        EXPECT_NEAR(price, spot * perUnit, 1e-12 * price) << row;
        EXPECT_LT(price, previousPrice) << row;
        previousPrice = price;
        const double forwardVol = addin.Number({r, P::kForwardVol});
        const double todayVol = addin.Number({r, P::kSpotStartVol});
        EXPECT_TRUE(forwardVol > 0.01 && forwardVol < 2.0) << row << ": " << forwardVol;
        EXPECT_TRUE(todayVol > 0.01 && todayVol < 2.0) << row << ": " << todayVol;
    }
}

// The Bates fit bends the short end: its vol errors are a fraction of the Heston fits' at the
// shortest maturity and over the whole surface, its smile on the grid passes through the
// quotes it was fitted to, and the summary shows it beside the others.
TEST_F(DemoWorkbookTest, BatesFitBendsTheShortEnd) {
    const demo::DemoLayout layout = Layout();
    const demo::CellValues addin = AddinValues();
    const demo::BatesCells& bates = layout.bates;
    ASSERT_EQ(bates.lastQuoteRow - bates.firstQuoteRow, layout.lastQuoteRow - layout.firstQuoteRow);
    EXPECT_EQ(addin.At({bates.fit.row + 10, bates.fit.col}).text, "converged");
    const double lambda = addin.Number({bates.fit.row + 5, bates.fit.col});
    EXPECT_GT(lambda, 0.01) << "a fit with jumps, not Heston's";

    // The Bates vol errors at the shortest maturity (model vol minus heston_BlackImpliedVol of
    // the quote, the two columns left of the errors), and the fits' RMSEs as Calc shows them.
    const int modelVol = bates.volErrorColumn - 3, observedVol = bates.volErrorColumn - 4;
    const demo::MaturityRows& shortest = layout.maturities.front();
    const int count = shortest.lastQuoteRow - shortest.firstQuoteRow + 1;
    double squares = 0.0;
    for (int i = 0; i < count; ++i) {
        const int r = bates.firstQuoteRow + i;
        const double e = addin.Number({r, modelVol}) - addin.Number({r, observedVol});
        squares += e * e;
    }
    EXPECT_LT(std::sqrt(squares / count), 0.015);
    auto shown = [&](demo::Position p) {
        double value = 0.0;
        EXPECT_TRUE(CalcNumber(values_.Field(p), value)) << demo::CellName(p);
        return value;
    };
    const demo::FitSummary& heston = layout.summary.front();
    const demo::FitSummary& batesSummary = layout.summary.back();
    EXPECT_EQ(batesSummary.heading[0], "Bates");
    EXPECT_LT(shown(batesSummary.rmseVol), 0.5 * shown(heston.rmseVol));

    // The grid's smile at a quoted strike of the shortest maturity is the quote's model vol.
    for (int r = shortest.firstSmileRow; r <= shortest.lastSmileRow; ++r) {
        const double strike = addin.Number({r, demo::SmileColumns::kStrike});
        for (int i = 0; i < count; ++i) {
            const int q = bates.firstQuoteRow + i;
            if (addin.Number({q, bates.strikeColumn}) != strike) continue;
            EXPECT_NEAR(addin.Number({r + bates.smileRowOffset, bates.smileVolColumn}),
                        addin.Number({q, modelVol}), 1e-12)
                << "strike " << strike;
        }
    }
    EXPECT_NE(demoOutput_.find("Bates"), std::string::npos) << demoOutput_;
}

TEST_F(DemoWorkbookTest, ChartsRenderInCalc) {
    const demo::DemoLayout layout = Layout();
    const std::string pdf = kOut + "/work/heston-demo.pdf";
    ASSERT_EQ(RunShell("pdfinfo " + Quote(pdf), kOut + "/pdfinfo.txt"), 0);
    EXPECT_NE(ReadFile(kOut + "/pdfinfo.txt").find("Pages:           3"), std::string::npos)
        << "one page per sheet: Read me, DAX, Charts";
    ASSERT_EQ(RunShell("pdftotext -f 3 -l 3 " + Quote(pdf) + " " + Quote(kOut + "/charts.txt"),
                       "/dev/null"),
              0);
    const std::string text = ReadFile(kOut + "/charts.txt");
    ASSERT_EQ(layout.maturities.size(), 8u);
    for (const demo::MaturityRows& maturity : layout.maturities) {
        char title[64];
        std::snprintf(title, sizeof(title), "maturity %.3f years", maturity.maturity);
        EXPECT_NE(text.find(title), std::string::npos) << title;
    }
    EXPECT_NE(text.find("Fit residuals"), std::string::npos);
    EXPECT_NE(text.find("LM fit"), std::string::npos);
    EXPECT_NE(text.find("Bates fit"), std::string::npos);
    EXPECT_NE(text.find("implied vol"), std::string::npos);

    // Drawn, not blank: a grey picture of the page has dark pixels (axes, lines, markers,
    // text), but far from everywhere.
    ASSERT_EQ(RunShell("pdftoppm -f 3 -l 3 -r 30 -gray -singlefile " + Quote(pdf) + " " +
                           Quote(kOut + "/charts"),
                       "/dev/null"),
              0);
    const std::string pgm = ReadFile(kOut + "/charts.pgm");
    std::istringstream header(pgm);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    header >> magic >> width >> height >> maximum;
    ASSERT_EQ(magic, "P5");
    const std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
    ASSERT_EQ(pgm.size() - start, static_cast<std::size_t>(width) * height);
    const auto dark = std::count_if(pgm.begin() + start, pgm.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 160; });
    const double fraction = static_cast<double>(dark) / (static_cast<double>(width) * height);
    EXPECT_GT(fraction, 0.02);
    EXPECT_LT(fraction, 0.5);

    // The picture make demo shows.
    EXPECT_EQ(ReadFile(kOut + "/heston-demo-smile.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_NE(demoOutput_.find("Smile fit picture:"), std::string::npos) << demoOutput_;
}

}  // namespace
