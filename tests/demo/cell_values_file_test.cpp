// The file of cell values that xllhost writes (--values) and the workbook builder reads: what
// goes in comes back, numbers to the last bit, texts with every awkward character, and the
// formulas' result sizes and times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "CellValues.h"
#include "CellValuesFile.h"
#include "XlRecords.h"

namespace {

TEST(CellValuesFile, NumbersComeBackBitForBit) {
    const double numbers[] = {0.1,  1.0 / 3.0, -2.5e-308, DBL_MIN / 4,         DBL_MAX,
                              -0.0, 4468.17,   1e-8,      0.35671428571429145, 1.0e22 + 1.0e6};
    runner::Sheet sheet(1);
    for (double number : numbers) sheet[0].push_back(runner::SheetValue::MakeNumber(number));
    sheet.emplace_back();
    sheet[1].push_back(runner::SheetValue::MakeNumber(std::numeric_limits<double>::infinity()));
    sheet[1].push_back(runner::SheetValue::MakeNumber(std::nan("")));
    std::stringstream file;
    runner::WriteCellValues(file, sheet, {});
    const demo::CellValues values = demo::CellValues::Read(file);
    for (int c = 0; c < static_cast<int>(std::size(numbers)); ++c) {
        const double read = values.Number({0, c});
        EXPECT_EQ(std::memcmp(&read, &numbers[c], sizeof(double)), 0)
            << "column " << c << ": wrote " << numbers[c] << ", read " << read;
    }
    EXPECT_TRUE(std::isinf(values.Number({1, 0})));
    EXPECT_TRUE(std::isnan(values.Number({1, 1})));
}

TEST(CellValuesFile, TextsErrorsAndOtherKindsComeBack) {
    runner::Sheet sheet(3);
    sheet[0].push_back(runner::SheetValue::MakeText("tab\there, line\nbreak\r, back\\slash \\t"));
    sheet[0].push_back(runner::SheetValue::MakeText(""));
    sheet[0].push_back(runner::SheetValue::MakeText("Mismatch in the observation data"));
    sheet[1].push_back(runner::SheetValue());  // empty: not written
    sheet[1].push_back(runner::SheetValue::MakeBool(true));
    sheet[1].push_back(runner::SheetValue::MakeError(xlerrValue));
    sheet[2].resize(28);
    sheet[2][27] = runner::SheetValue::Make(runner::SheetValue::Nil);
    std::stringstream file;
    runner::WriteCellValues(file, sheet, {{{4, 4}, 5, 1, 7.25}, {{0, 2}, 1, 1, 0.5}});
    const std::string written = file.str();
    EXPECT_EQ(written.find("value\tA2\t"), std::string::npos) << written;
    // One line per cell: no raw tab or line break of a text splits an entry.
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 6 + 2);

    const demo::CellValues values = demo::CellValues::Read(file);
    EXPECT_EQ(values.At({0, 0}).kind, demo::CellValue::Text);
    EXPECT_EQ(values.At({0, 0}).text, "tab\there, line\nbreak\r, back\\slash \\t");
    EXPECT_EQ(values.At({0, 1}).kind, demo::CellValue::Text);
    EXPECT_EQ(values.At({0, 1}).text, "");
    EXPECT_EQ(values.At({0, 2}).text, "Mismatch in the observation data");
    EXPECT_EQ(values.At({1, 0}).kind, demo::CellValue::Missing);
    EXPECT_EQ(values.At({1, 1}).kind, demo::CellValue::Bool);
    EXPECT_EQ(values.At({1, 1}).text, "TRUE");
    EXPECT_EQ(values.At({1, 2}).kind, demo::CellValue::Error);
    EXPECT_EQ(values.At({1, 2}).text, "#VALUE!");
    EXPECT_EQ(values.At({2, 27}).kind, demo::CellValue::Nil);  // AB3
    EXPECT_NE(written.find("value\tAB3\tnil\t\n"), std::string::npos) << written;
    EXPECT_THROW(values.Number({0, 2}), std::runtime_error);
    EXPECT_THROW(values.Number({9, 9}), std::runtime_error);

    EXPECT_EQ(values.Call({4, 4}).rows, 5);
    EXPECT_EQ(values.Call({4, 4}).columns, 1);
    EXPECT_EQ(values.Call({4, 4}).seconds, 7.25);
    EXPECT_EQ(values.Call({0, 2}).seconds, 0.5);
    EXPECT_THROW(values.Call({0, 0}), std::runtime_error);
}

TEST(CellValuesFile, MalformedEntriesAreRejectedWithTheirLine) {
    const char* const malformed[] = {
        "value\tA1\tnumber\t1.5x\n", "value\tA0\tnumber\t1\n", "value\t1A\tnumber\t1\n",
        "value\tA1\tcolour\tred\n",  "value\tA1\tnumber\n",    "call\tB2\t5\t1\n",
        "call\tB2\tfive\t1\t0.1\n",  "cell\tA1\tnumber\t1\n",
    };
    for (const char* text : malformed) {
        std::stringstream file(std::string("value\tA1\tnumber\t2\n") + text);
        try {
            demo::CellValues::Read(file);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << error.what();
        }
    }
}

}  // namespace
