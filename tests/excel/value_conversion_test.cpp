// XlfOper's single values in both record forms, against the substitute host: construction,
// type codes, reads with and without the host's coercion, the return-code check, strings
// and their truncation, arrays element by element, references, and giving host memory back.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "../support/stream_capture.h"
#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "XlfExcel.h"
#include "XlfException.h"
#include "XlfOper.h"
#include "host_session.h"

namespace {

using xlf::XlfExcel;
using xlf::XlfOper;

// Each test runs with the host reporting the parameter as its version.
class ValueConversionTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        excel12_ = ConnectToHost(GetParam()).IsExcel12();
        xlhost::Host::Instance().ClearRecords();
    }
    void TearDown() override {
        XlfExcel::Current().ReleaseTemporary(false);
        EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);
        EXPECT_EQ(xlhost::Host::Instance().InvalidFrees(), 0u);
    }
    static int Count(int function) {
        int n = 0;
        for (int f : xlhost::Host::Instance().Requests()) n += f == function;
        return n;
    }
    bool excel12_ = false;
};

TEST_P(ValueConversionTest, ConstructorsWriteTheirTypes) {
    EXPECT_EQ(XlfOper().TypeCode(), xltypeNil);
    EXPECT_EQ(XlfOper(2.5).TypeCode(), xltypeNum);
    EXPECT_EQ(XlfOper(true).TypeCode(), xltypeBool);
    EXPECT_EQ(XlfOper(short(-3)).TypeCode(), xltypeInt);
    EXPECT_EQ(XlfOper(short(7), true).TypeCode(), xltypeErr);
    EXPECT_EQ(XlfOper(short(7), false).TypeCode(), xltypeInt);
    EXPECT_EQ(XlfOper("abc").TypeCode(), xltypeStr);
    EXPECT_EQ(XlfOper(std::wstring(L"abc")).TypeCode(), xltypeStr);
    EXPECT_EQ(XlfOper::MakeError(xlerrValue).TypeCode(), xltypeErr);
    EXPECT_EQ(XlfOper::MakeError(xlerrValue).TypeCodeName(), "xltypeErr");
    EXPECT_EQ(XlfOper(xlf::CellMatrix(2, 3)).TypeCodeName(), "xltypeMulti");
    EXPECT_EQ(XlfOper().TypeCodeName(), "xltypeNil");
    EXPECT_EQ(XlfOper(static_cast<void*>(nullptr)).TypeCode(), 0);

    std::uint16_t code = 0;
    EXPECT_EQ(XlfOper::MakeError(xlerrValue).ReadErrorCode(code), 0);
    EXPECT_EQ(code, 15);
    // Negative integers keep their sign in both record forms.
    EXPECT_EQ(XlfOper(short(-3)).ToDouble(), -3.0);
    EXPECT_EQ(XlfOper(short(-3), true).TypeCode(), xltypeErr);

    // A type word with the host-owned bit names no type, and the type tests are bit tests.
    xlf::XlfOper text("abc");
    if (excel12_)
        text.Xloper12Pointer()->xltype |= xlbitXLFree;
    else
        text.Xloper4Pointer()->xltype |= xlbitXLFree;
    EXPECT_EQ(text.TypeCodeName(), "unknown");
    EXPECT_TRUE(text.IsStringValue());
    EXPECT_FALSE(text.IsNumberValue());
    // The record is the layer's, not the host's: clear the bit so nothing is "freed".
    if (excel12_)
        text.Xloper12Pointer()->xltype &= ~xlbitXLFree;
    else
        text.Xloper4Pointer()->xltype &= ~xlbitXLFree;
}

TEST_P(ValueConversionTest, RecordPointerOfTheOtherFormIsRefused) {
    XlfOper value(1.0);
    try {
        excel12_ ? (void)value.Xloper4Pointer() : (void)value.Xloper12Pointer();
        FAIL() << "no exception";
    } catch (const char* message) {
        EXPECT_STREQ(message, excel12_ ? "Unable to convert Excel 12 datatype to Excel 4 "
                                         "datatype - operation not yet implemented"
                                       : "Unable to convert Excel 4 datatype to Excel 12 "
                                         "datatype - operation not yet implemented");
    }
}

// ReadShort truncates toward zero and keeps the low 16 bits; ReadDouble widens integers.
TEST_P(ValueConversionTest, ScalarReadsTruncateAndWiden) {
    EXPECT_EQ(XlfOper(2.9).ToShort(), 2);
    EXPECT_EQ(XlfOper(-2.9).ToShort(), -2);
    EXPECT_EQ(XlfOper(70000.0).ToShort(), 4464) << "70000 - 65536";
    EXPECT_EQ(XlfOper(-70000.0).ToShort(), -4464);
    EXPECT_EQ(XlfOper(1e12).ToShort(), 0) << "outside 32 bits: the x86 indefinite value";
    EXPECT_EQ(XlfOper(short(12)).ToDouble(), 12.0);
    EXPECT_TRUE(XlfOper(true).ToBool());
    EXPECT_FALSE(XlfOper(false).ToBool());
    // The NUL an Excel-4 text counts ends both conversions.
    EXPECT_STREQ(XlfOper("hello").ToCString(), "hello");
    EXPECT_EQ(XlfOper("hello").ToWideString(), L"hello");
    EXPECT_EQ(XlfOper(std::wstring(L"wide")).ToWideString(), L"wide");
    EXPECT_TRUE(Count(xlCoerce) == 0) << "direct reads need no host";
}

// Values of another type are converted by the host; its memory goes back once.
TEST_P(ValueConversionTest, OtherTypesAreCoercedByTheHost) {
    EXPECT_DOUBLE_EQ(XlfOper(std::wstring(L"3.5")).ToDouble(), 3.5);
    EXPECT_EQ(XlfOper(std::wstring(L"TRUE")).ToBool(), true);
    EXPECT_EQ(XlfOper(short(5)).ToShort(), 5) << "an integer goes through coercion";
    EXPECT_STREQ(XlfOper(2.5).ToCString(), "2.5");
    EXPECT_EQ(XlfOper(true).ToWideString(), L"TRUE");
    EXPECT_EQ(Count(xlCoerce), 5);
    EXPECT_EQ(Count(xlFree), 2) << "the two texts the host made";

    int code = -1;
    EXPECT_EQ(XlfOper(std::wstring(L"abc")).ToDouble(&code), 0.0);
    EXPECT_EQ(code, xlretFailed);
    try {
        XlfOper(std::wstring(L"abc")).ToDouble("strike");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "command failed, Conversion to double strike");
    }
    xlhost::Host::Instance().FailRequest(xlCoerce, xlretUncalced);
    EXPECT_THROW(XlfOper(std::wstring(L"1")).ToDouble(), xlf::XlfExceptionUncalculated);
}

TEST_P(ValueConversionTest, ReturnCodeCheckTestsBitsInOrder) {
    EXPECT_EQ(XlfOper::CheckReturnCode(0), 0);
    EXPECT_EQ(XlfOper::CheckReturnCode(128), 128);
    EXPECT_EQ(XlfOper::CheckReturnCode(128, "x"), 128);
    EXPECT_THROW(XlfOper::CheckReturnCode(3), xlf::XlfExceptionAbort);
    EXPECT_THROW(XlfOper::CheckReturnCode(96), xlf::XlfExceptionUncalculated);
    EXPECT_THROW(XlfOper::CheckReturnCode(24), xlf::XlfExceptionStackOverflow);

    struct Case {
        int code;
        const char* plain;
        const char* withContext;
    };
    const Case cases[] = {
        {1, "abort", "abort"},
        {16, "stack overflow", "stack overflow"},
        {64, "", ""},
        {8, "invalid OPER structure (memory could be exhausted)",
         "invalid OPER structure (memory could be exhausted), x conversion to double vector"},
        {32, "command failed", "command failed,  x conversion to double vector"},
        {4, "invalid number of arguments",
         "invalid number of argument,  x conversion to double vector"},
        {2, "invalid function number", "invalid function number,  x conversion to double vector"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        for (int withContext = 0; withContext < 2; ++withContext) {
            const char* expected = withContext ? c.withContext : c.plain;
            try {
                if (withContext)
                    XlfOper::CheckReturnCode(c.code, " x conversion to double vector");
                else
                    XlfOper::CheckReturnCode(c.code);
                FAIL() << "no exception";
            } catch (const xlf::XlfException& e) {
                EXPECT_STREQ(e.what(), expected);
                EXPECT_TRUE(c.code & (1 | 8 | 16 | 64));
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), expected);
                EXPECT_TRUE(c.code & (2 | 4 | 32));
            }
        }
    }
}

// Excel-4 texts hold at most 254 characters plus a counted NUL (or 255 from wide text);
// Excel-12 texts are not cut.
TEST_P(ValueConversionTest, LongStringsFollowTheRecordForm) {
    const std::string narrow(300, 'n');
    const std::wstring wide(300, L'w');
    test_support::StreamCapture cerr;
    XlfOper fromNarrow(narrow), fromWide(wide), empty("");
    if (excel12_) {
        EXPECT_EQ(cerr.Text(), "");
        const XCHAR* s = fromNarrow.Xloper12Pointer()->val.str;
        EXPECT_EQ(s[0], 300);
        EXPECT_EQ(std::wstring(s + 1, 300), std::wstring(300, L'n'));
        EXPECT_EQ(fromWide.ToWideString(), wide);
        EXPECT_EQ(empty.Xloper12Pointer()->val.str[0], 0);
    } else {
        EXPECT_EQ(cerr.Text(),
                  "..\\..\\src\\XlfOperImpl4(782): String truncated to 254 bytes\n"
                  "..\\..\\src\\XlfOperImpl4(813): String truncated to 255 bytes\n");
        const char* s = fromNarrow.Xloper4Pointer()->val.str;
        EXPECT_EQ(static_cast<unsigned char>(s[0]), 255);
        EXPECT_EQ(std::string(s + 1, 254), std::string(254, 'n'));
        EXPECT_EQ(s[255], '\0');
        const char* w = fromWide.Xloper4Pointer()->val.str;
        EXPECT_EQ(static_cast<unsigned char>(w[0]), 255);
        EXPECT_EQ(std::string(w + 1, 255), std::string(255, 'w'));
        const char* e = empty.Xloper4Pointer()->val.str;
        EXPECT_EQ(e[0], 1);
        EXPECT_EQ(e[1], '\0');
    }
}

TEST_P(ValueConversionTest, ArrayElementsAreReachedInPlace) {
    XlfOper array;
    array.WriteArrayShape(2, 2);
    EXPECT_EQ(array.RowCount(), 2);
    EXPECT_EQ(array.ColumnCount(), 2);
    array.WriteElement(0, 0, XlfOper(1.5));
    array.WriteElement(0, 1, XlfOper("txt"));
    array.WriteElement(1, 0, XlfOper(true));
    array.WriteElement(1, 1, XlfOper::MakeError(xlerrNA));

    const std::size_t recordSize = excel12_ ? sizeof(XLOPER12) : sizeof(XLOPER);
    const char* first = static_cast<const char*>(array.ElementAt(0, 0).HostPointer());
    const char* third = static_cast<const char*>(array.ElementAt(1, 0).HostPointer());
    EXPECT_EQ(third - first, static_cast<std::ptrdiff_t>(2 * recordSize));
    EXPECT_EQ(array.ElementAt(0, 0).ToDouble(), 1.5);
    EXPECT_EQ(std::string(array.ElementAt(0, 1).ToCString()).substr(0, 3), "txt");
    EXPECT_TRUE(array.ElementAt(1, 0).ToBool());
    EXPECT_EQ(array.ElementAt(1, 1).TypeCode(), xltypeErr);

    XlfOper scalar(1.0);
    try {
        scalar.RowCount();
        FAIL() << "no exception";
    } catch (const xlf::XlfException& e) {
        EXPECT_STREQ(e.what(), "attempt to perform an xltypeMulti operation on a value of type 1");
    }
    try {
        array.WriteElement(0, 0, XlfOper(xlf::CellMatrix(1, 1)));
        FAIL() << "no exception";
    } catch (const xlf::XlfException& e) {
        EXPECT_STREQ(e.what(), "attempt to set a matrix element to a value of type 64");
    }
    // Outside the array nothing is read or written.
    EXPECT_THROW(array.ElementAt(2, 0), xlf::XlfException);
    EXPECT_THROW(array.WriteElement(0, 2, XlfOper(1.0)), xlf::XlfException);
}

// A reference reads back as the rectangle it names and its cells through the host.
TEST_P(ValueConversionTest, ReferencesReadThroughTheHost) {
    xlhost::Host& host = xlhost::Host::Instance();
    host.SetSheetId(7);
    host.SetCell(3, 2, xlhost::Value::Number(42.0));
    host.SetCell(4, 2, xlhost::Value::Text(L"0.25"));

    XlfOper range;
    range.Assign(xlf::XlfRangeRef(3, 5, 2, 4, 7));
    EXPECT_TRUE(range.IsRefValue());
    const xlf::XlfRangeRef back = range.ToRangeRef();
    EXPECT_EQ(back.rowBegin, 3);
    EXPECT_EQ(back.rowEnd, 5);
    EXPECT_EQ(back.colBegin, 2);
    EXPECT_EQ(back.colEnd, 4);
    EXPECT_EQ(back.sheetId, 7);
    EXPECT_EQ(back.NbRows(), 2);
    EXPECT_EQ(back.NbCols(), 2);

    EXPECT_EQ(back.Element(0, 0).ToDouble(), 42.0);
    EXPECT_EQ(back.Element(1, 0).ToDouble(), 0.25);
    EXPECT_EQ(back.Element(0, 1).ToDouble(), 0.0) << "an empty cell is 0 as a number";
    EXPECT_STREQ(back.Element(0, 0).ToCString(), "42");

    // A number is no reference; the host refuses.
    int code = 0;
    XlfOper(1.0).ToRangeRef(&code);
    EXPECT_EQ(code, xlretFailed);
}

// Copies share the record and its host-owned bit, so the host's memory goes back once.
TEST_P(ValueConversionTest, SharedHostMemoryIsFreedOnce) {
    xlhost::Host::Instance().SetAddinPath("C:\\addins\\heston.xll");
    {
        XlfOper name;
        ASSERT_EQ(XlfExcel::Current().CallHost(xlGetName, name.HostPointer(), 0), 0);
        EXPECT_EQ(name.TypeCode(), xltypeStr | xlbitXLFree);
        XlfOper copy(name);
        XlfOper assigned;
        assigned = copy;
        EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 1u);
    }
    EXPECT_EQ(Count(xlFree), 1);
    EXPECT_EQ(xlhost::Host::Instance().OutstandingBlocks(), 0u);

    // A failing xlFree is reported and otherwise ignored.
    xlhost::Host::Instance().FailRequest(xlFree, xlretFailed);
    test_support::StreamCapture cerr;
    {
        // Marked as the host's, though it is not: the failing xlFree touches nothing.
        XlfOper marked(1.0);
        if (excel12_)
            marked.Xloper12Pointer()->xltype |= xlbitXLFree;
        else
            marked.Xloper4Pointer()->xltype |= xlbitXLFree;
    }
    EXPECT_EQ(cerr.Text(), std::string("..\\..\\src\\") +
                               (excel12_ ? "XlfOperImpl12(77)" : "XlfOperImpl4(78)") +
                               ": Call to xlFree failed\n");
    xlhost::Host::Instance().ClearFailures();
}

INSTANTIATE_TEST_SUITE_P(Versions, ValueConversionTest, ::testing::Values("12.0", "11.0", "14.0"));

}  // namespace
