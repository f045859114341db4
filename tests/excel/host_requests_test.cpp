// The substitute host driven through its raw entry points, found the way the add-in finds
// them: Excel4/Excel4v through LoadLibraryA("XLCALL32.DLL"), MdCallBack12 through the main
// module. Every check is run for both record layouts where both apply.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ExcelHost.h"
#include "WindowsApi.h"
#include "XlRecords.h"

namespace {

using xlhost::Host;
using xlhost::Value;

template <class Proc>
Proc Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct EntryPoints {
    Excel4Proc excel4;
    Excel4vProc excel4v;
    MdCallBack12Proc mdCallBack12;
};

EntryPoints Find() {
    HMODULE library = LoadLibraryA("XLCALL32.DLL");
    HMODULE main = GetModuleHandleA(nullptr);
    return {Entry<Excel4Proc>(library, "Excel4"), Entry<Excel4vProc>(library, "Excel4v"),
            Entry<MdCallBack12Proc>(main, "MdCallBack12")};
}

// Builds request records whose strings stay alive for the whole test.
template <class Oper>
class Records {
  public:
    typedef std::remove_pointer_t<decltype(std::declval<Oper>().val.str)> Char;

    Oper* Num(double value) {
        Oper* o = New(xltypeNum);
        o->val.num = value;
        return o;
    }
    Oper* Int(int value) {
        Oper* o = New(xltypeInt);
        o->val.w = static_cast<decltype(o->val.w)>(value);
        return o;
    }
    Oper* Bool(bool value) {
        Oper* o = New(xltypeBool);
        o->val.xbool = value;
        return o;
    }
    Oper* Err(int code) {
        Oper* o = New(xltypeErr);
        o->val.err = static_cast<decltype(o->val.err)>(code);
        return o;
    }
    Oper* Nil() { return New(xltypeNil); }
    Oper* Missing() { return New(xltypeMissing); }
    Oper* Str(const std::string& text) {
        texts_.emplace_back(1, static_cast<Char>(text.size()));
        for (char c : text) texts_.back().push_back(static_cast<Char>(c));
        Oper* o = New(xltypeStr);
        o->val.str = texts_.back().data();
        return o;
    }
    // One area, zero-based inclusive bounds.
    Oper* SRef(int row1, int row2, int col1, int col2) {
        Oper* o = New(xltypeSRef);
        o->val.sref.count = 1;
        o->val.sref.ref.rwFirst = static_cast<decltype(o->val.sref.ref.rwFirst)>(row1);
        o->val.sref.ref.rwLast = static_cast<decltype(o->val.sref.ref.rwLast)>(row2);
        o->val.sref.ref.colFirst = static_cast<decltype(o->val.sref.ref.colFirst)>(col1);
        o->val.sref.ref.colLast = static_cast<decltype(o->val.sref.ref.colLast)>(col2);
        return o;
    }

  private:
    Oper* New(unsigned type) {
        records_.emplace_back();
        records_.back().xltype = static_cast<decltype(records_.back().xltype)>(type);
        return &records_.back();
    }
    std::deque<Oper> records_;
    std::deque<std::vector<Char>> texts_;
};

template <class Oper>
std::string Text(const Oper& o) {
    EXPECT_EQ(o.xltype & 0xfff, xltypeStr);
    if ((o.xltype & xltypeStr) == 0 || o.val.str == nullptr) return "<not a text>";
    std::string text;
    for (std::size_t i = 1; i <= (static_cast<std::size_t>(o.val.str[0]) & 0xffff); ++i) {
        text.push_back(static_cast<char>(o.val.str[i]));
    }
    return text;
}

class HostRequests : public ::testing::Test {
  protected:
    void SetUp() override {
        Host::Instance().Reset();
        entries_ = Find();
        ASSERT_NE(entries_.excel4, nullptr);
        ASSERT_NE(entries_.excel4v, nullptr);
        ASSERT_NE(entries_.mdCallBack12, nullptr);
    }

    int Request(int function, XLOPER* result, std::vector<XLOPER*> values) {
        return entries_.excel4v(function, result, static_cast<int>(values.size()), values.data());
    }
    int Request(int function, XLOPER12* result, std::vector<XLOPER12*> values) {
        return entries_.mdCallBack12(function, static_cast<int>(values.size()), values.data(),
                                     result);
    }
    template <class Oper>
    void Free(Oper* value) {
        EXPECT_EQ(Request(xlFree, nullptr, {value}), xlretSuccess);
    }

    template <class Oper>
    void CheckScalarCoercions();
    template <class Oper>
    void CheckReferenceCoercions();

    EntryPoints entries_;
};

TEST_F(HostRequests, VersionQueryThroughExcel4CoercesToTheVersionNumber) {
    for (const char* version : {"11.0", "12.0", "14.0"}) {
        Host::Instance().SetVersion(version);
        XLOPER two{}, text{}, number{}, mask{};
        two.xltype = xltypeInt;
        two.val.w = 2;
        mask.xltype = xltypeInt;
        mask.val.w = xltypeInt;
        ASSERT_EQ(entries_.excel4(xlfGetWorkspace, &text, 1, &two), xlretSuccess);
        EXPECT_EQ(Text(text), version);
        ASSERT_EQ(entries_.excel4(xlCoerce, &number, 2, &text, &mask), xlretSuccess);
        EXPECT_EQ(number.xltype, xltypeInt);
        EXPECT_EQ(number.val.w, std::stoi(version)) << "version " << version;
        EXPECT_EQ(entries_.excel4(xlFree, nullptr, 1, &text), xlretSuccess);
    }
    // The wide form answers the same question.
    Host::Instance().SetVersion("12.0");
    Records<XLOPER12> r;
    XLOPER12 text{};
    ASSERT_EQ(Request(xlfGetWorkspace, &text, {r.Int(2)}), xlretSuccess);
    EXPECT_EQ(Text(text), "12.0");
    Free(&text);
    EXPECT_EQ(Host::Instance().OutstandingBlocks(), 0u);
    EXPECT_EQ(Host::Instance().AllocatedBlocks(), 4u);
}

template <class Oper>
void HostRequests::CheckScalarCoercions() {
    const bool wide = sizeof(Oper) == sizeof(XLOPER12);
    Records<Oper> r;
    struct Case {
        Oper* source;
        unsigned mask;
        unsigned type;  // expected type, or 0 when the coercion must fail
        double number;  // expected number, integer or boolean
        std::string text;
    };
    const std::vector<Case> cases = {
        {r.Num(2.5), xltypeStr, xltypeStr, 0, "2.5"},
        {r.Num(12), xltypeStr, xltypeStr, 0, "12"},
        {r.Num(-3e-7), xltypeStr, xltypeStr, 0, "-3E-07"},
        {r.Num(1e20), xltypeStr, xltypeStr, 0, "1E+20"},
        {r.Num(1.0 / 3.0), xltypeStr, xltypeStr, 0, "0.333333333333333"},
        {r.Str(" 12.5 "), xltypeNum, xltypeNum, 12.5, ""},
        {r.Str("1e3"), xltypeNum, xltypeNum, 1000, ""},
        {r.Str("abc"), xltypeNum, 0, 0, ""},
        {r.Str(""), xltypeNum, 0, 0, ""},
        {r.Str("0x10"), xltypeNum, 0, 0, ""},
        {r.Str("12.0"), xltypeInt, xltypeInt, 12, ""},
        {r.Str("tRuE"), xltypeBool, xltypeBool, 1, ""},
        {r.Str("FALSE"), xltypeBool, xltypeBool, 0, ""},
        {r.Str("yes"), xltypeBool, 0, 0, ""},
        {r.Num(2.6), xltypeInt, xltypeInt, 3, ""},
        {r.Num(-2.5), xltypeInt, xltypeInt, -3, ""},
        {r.Num(40000), xltypeInt, wide ? xltypeInt : 0u, 40000, ""},
        {r.Num(0.0), xltypeBool, xltypeBool, 0, ""},
        {r.Num(-0.5), xltypeBool, xltypeBool, 1, ""},
        {r.Bool(true), xltypeNum, xltypeNum, 1, ""},
        {r.Bool(false), xltypeStr, xltypeStr, 0, "FALSE"},
        {r.Int(-7), xltypeNum, xltypeNum, -7, ""},
        {r.Int(-7), xltypeStr, xltypeStr, 0, "-7"},
        {r.Err(xlerrValue), xltypeNum, 0, 0, ""},
        {r.Err(xlerrValue), xltypeNum | xltypeErr, xltypeErr, xlerrValue, ""},
        {r.Nil(), xltypeNum, xltypeNum, 0, ""},
        {r.Nil(), xltypeStr, xltypeStr, 0, ""},
        // The first type of the mask that converts wins, numbers before texts.
        {r.Str("7"), xltypeNum | xltypeStr, xltypeStr, 0, "7"},
        {r.Bool(true), xltypeNum | xltypeStr, xltypeNum, 1, ""},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i) + (wide ? " XLOPER12" : " XLOPER"));
        Oper result{};
        const int code = Request(xlCoerce, &result, {c.source, r.Int(static_cast<int>(c.mask))});
        if (c.type == 0) {
            EXPECT_EQ(code, xlretFailed);
            continue;
        }
        ASSERT_EQ(code, xlretSuccess);
        ASSERT_EQ(result.xltype, c.type);
        switch (c.type) {
            case xltypeNum:
                EXPECT_DOUBLE_EQ(result.val.num, c.number);
                break;
            case xltypeInt:
                EXPECT_EQ(result.val.w, c.number);
                break;
            case xltypeBool:
                EXPECT_EQ(result.val.xbool != 0, c.number != 0);
                break;
            case xltypeErr:
                EXPECT_EQ(result.val.err, c.number);
                break;
            case xltypeStr:
                EXPECT_EQ(Text(result), c.text);
                Free(&result);
                break;
        }
    }
    // Number to text and back is exact to 15 significant digits.
    for (double number : {0.1, 1234.5678, -3e-7, 6.02214076e23}) {
        Oper text{}, back{};
        ASSERT_EQ(Request(xlCoerce, &text, {r.Num(number), r.Int(xltypeStr)}), xlretSuccess);
        ASSERT_EQ(Request(xlCoerce, &back, {&text, r.Int(xltypeNum)}), xlretSuccess);
        EXPECT_DOUBLE_EQ(back.val.num, number) << "through the text " << Text(text);
        Free(&text);
    }
    EXPECT_EQ(Host::Instance().OutstandingBlocks(), 0u);
    EXPECT_EQ(Host::Instance().InvalidFrees(), 0u);
}

TEST_F(HostRequests, ScalarsCoerceBetweenNumberTextIntegerAndBoolean) {
    CheckScalarCoercions<XLOPER>();
    CheckScalarCoercions<XLOPER12>();
}

template <class Oper>
void HostRequests::CheckReferenceCoercions() {
    Host& host = Host::Instance();
    host.ClearCells();
    host.SetSheetId(77);
    // Rows 3-4, columns B-D: numbers, a text, a boolean, an error and one empty cell.
    host.SetCell(3, 1, Value::Number(1.5));
    host.SetCell(3, 2, Value::Text(L"spot"));
    host.SetCell(3, 3, Value::Bool(true));
    host.SetCell(4, 1, Value::Number(-2));
    host.SetCell(4, 3, Value::Error(xlerrNA));
    Records<Oper> r;

    Oper one{};
    ASSERT_EQ(Request(xlCoerce, &one, {r.SRef(3, 3, 1, 1)}), xlretSuccess);
    EXPECT_EQ(one.xltype, xltypeNum);
    EXPECT_EQ(one.val.num, 1.5);
    ASSERT_EQ(Request(xlCoerce, &one, {r.SRef(3, 3, 2, 2), r.Int(xltypeStr)}), xlretSuccess);
    EXPECT_EQ(Text(one), "spot");
    Free(&one);
    // An empty cell: nil as it is, 0 as a number, "" as a text.
    ASSERT_EQ(Request(xlCoerce, &one, {r.SRef(4, 4, 2, 2)}), xlretSuccess);
    EXPECT_EQ(one.xltype, xltypeNil);
    ASSERT_EQ(Request(xlCoerce, &one, {r.SRef(4, 4, 2, 2), r.Int(xltypeNum)}), xlretSuccess);
    EXPECT_EQ(one.xltype, xltypeNum);
    EXPECT_EQ(one.val.num, 0.0);
    ASSERT_EQ(Request(xlCoerce, &one, {r.SRef(4, 4, 2, 2), r.Int(xltypeStr)}), xlretSuccess);
    EXPECT_EQ(Text(one), "");
    Free(&one);

    // The reference on the current sheet gains the sheet's identifier, then the 2 x 3 area
    // becomes an array, row by row.
    Oper ref{}, array{};
    ASSERT_EQ(Request(xlCoerce, &ref, {r.SRef(3, 4, 1, 3), r.Int(xltypeRef)}), xlretSuccess);
    ASSERT_EQ(ref.xltype, xltypeRef);
    EXPECT_EQ(ref.val.mref.idSheet, 77u);
    ASSERT_NE(ref.val.mref.lpmref, nullptr);
    ASSERT_EQ(ref.val.mref.lpmref->count, 1);
    EXPECT_EQ(ref.val.mref.lpmref->reftbl[0].rwFirst, 3);
    EXPECT_EQ(ref.val.mref.lpmref->reftbl[0].colLast, 3);
    ASSERT_EQ(Request(xlCoerce, &array, {&ref, r.Int(xltypeMulti)}), xlretSuccess);
    ASSERT_EQ(array.xltype, xltypeMulti);
    ASSERT_EQ(array.val.array.rows, 2);
    ASSERT_EQ(array.val.array.columns, 3);
    const Oper* e = array.val.array.lparray;
    EXPECT_EQ(e[0].xltype, xltypeNum);
    EXPECT_EQ(e[0].val.num, 1.5);
    EXPECT_EQ(Text(e[1]), "spot");
    EXPECT_EQ(e[2].xltype, xltypeBool);
    EXPECT_EQ(e[2].val.xbool, 1);
    EXPECT_EQ(e[3].val.num, -2.0);
    EXPECT_EQ(e[4].xltype, xltypeNil);
    EXPECT_EQ(e[5].xltype, xltypeErr);
    EXPECT_EQ(e[5].val.err, xlerrNA);
    // An array where a number is wanted gives its first element.
    Oper first{};
    ASSERT_EQ(Request(xlCoerce, &first, {&ref, r.Int(xltypeNum)}), xlretSuccess);
    EXPECT_EQ(first.val.num, 1.5);
    // A reference to another sheet cannot be read.
    ref.val.mref.idSheet = 78;
    EXPECT_EQ(Request(xlCoerce, &first, {&ref, r.Int(xltypeNum)}), xlretFailed);
    ref.val.mref.idSheet = 77;

    Free(&ref);
    Free(&array);
    EXPECT_EQ(host.OutstandingBlocks(), 0u);
    EXPECT_EQ(host.InvalidFrees(), 0u);
}

TEST_F(HostRequests, ReferencesCoerceToTheirValuesAndArrays) {
    CheckReferenceCoercions<XLOPER>();
    CheckReferenceCoercions<XLOPER12>();
}

// A cell of the host's sheet holds one scalar; setting anything else empties it, and an
// emptied cell reads as nil through a reference like one never set.
TEST_F(HostRequests, CellsHoldScalarsAndOtherValuesEmptyThem) {
    Host& host = Host::Instance();
    host.ClearCells();
    host.SetCell(0, 0, Value::Int(7));
    host.SetCell(0, 1, Value::Text(L"kept"));
    EXPECT_EQ(host.GetCell(0, 0).type, xltypeInt);
    EXPECT_EQ(host.GetCell(0, 0).integer, 7);
    EXPECT_EQ(host.GetCell(0, 1).str, L"kept");
    Value array;
    array.type = xltypeMulti;
    array.rows = 1;
    array.columns = 1;
    array.elements.push_back(Value::Number(1));
    host.SetCell(0, 0, array);
    host.SetCell(0, 1, Value::Missing());
    EXPECT_EQ(host.GetCell(0, 0).type, xltypeNil);
    EXPECT_EQ(host.GetCell(0, 1).type, xltypeNil);
    Records<XLOPER12> r;
    XLOPER12 cell{};
    ASSERT_EQ(Request(xlCoerce, &cell, {r.SRef(0, 0, 0, 0)}), xlretSuccess);
    EXPECT_EQ(cell.xltype, xltypeNil);
}

TEST_F(HostRequests, ExcelOwnedMemoryIsCountedOutAndBack) {
    Host& host = Host::Instance();
    host.SetAddinPath("C:\\addins\\pricing.xll");
    Records<XLOPER12> r;
    XLOPER12 name{}, text{};
    ASSERT_EQ(Request(xlGetName, &name, {}), xlretSuccess);
    EXPECT_EQ(Text(name), "C:\\addins\\pricing.xll");
    ASSERT_EQ(Request(xlCoerce, &text, {r.Num(4), r.Int(xltypeStr)}), xlretSuccess);
    EXPECT_EQ(host.AllocatedBlocks(), 2u);
    EXPECT_EQ(host.OutstandingBlocks(), 2u);
    // The Excel-owned bit the layer sets on results does not disturb the release.
    name.xltype |= xlbitXLFree;
    XLOPER12* both[] = {&name, &text};
    ASSERT_EQ(entries_.mdCallBack12(xlFree, 2, both, nullptr), xlretSuccess);
    EXPECT_EQ(host.FreedBlocks(), 2u);
    EXPECT_EQ(host.OutstandingBlocks(), 0u);
    // Giving the same memory back twice, or memory the host never handed out, is caught.
    Free(&text);
    Free(r.Str("mine"));
    EXPECT_EQ(host.InvalidFrees(), 2u);
    // Values without memory of their own are nothing to give back.
    Free(r.Num(1));
    EXPECT_EQ(host.InvalidFrees(), 2u);
}

TEST_F(HostRequests, InjectedFailureCodesComeBackUnchanged) {
    Host& host = Host::Instance();
    Records<XLOPER> r4;
    Records<XLOPER12> r12;
    for (int code : {xlretAbort, xlretInvXloper, xlretStackOvfl, xlretFailed, xlretUncalced}) {
        host.FailRequest(xlCoerce, code);
        XLOPER result4{};
        XLOPER12 result12{};
        result4.xltype = xltypeMissing;
        EXPECT_EQ(Request(xlCoerce, &result4, {r4.Num(1), r4.Int(xltypeStr)}), code);
        EXPECT_EQ(Request(xlCoerce, &result12, {r12.Num(1), r12.Int(xltypeStr)}), code);
        EXPECT_EQ(result4.xltype, xltypeMissing) << "a failed request leaves the result alone";
    }
    host.ClearFailures();
    XLOPER12 text{};
    EXPECT_EQ(Request(xlCoerce, &text, {r12.Num(1), r12.Int(xltypeStr)}), xlretSuccess);
    Free(&text);
    EXPECT_EQ(host.AllocatedBlocks(), 1u) << "failed requests hand out nothing";
    // Requests the host does not know.
    XLOPER12 result{};
    EXPECT_EQ(Request(0x4321, &result, {}), xlretInvXlfn);
}

TEST_F(HostRequests, WindowStatusRegistrationAndAbortAreAnswered) {
    Host& host = Host::Instance();
    host.SetMainWindow(0x1234ABCD);
    XLOPER hwnd4{};
    XLOPER12 hwnd12{};
    ASSERT_EQ(entries_.excel4(xlGetHwnd, &hwnd4, 0), xlretSuccess);
    EXPECT_EQ(static_cast<std::uint16_t>(hwnd4.val.w), 0xABCD) << "low 16 bits only";
    ASSERT_EQ(Request(xlGetHwnd, &hwnd12, {}), xlretSuccess);
    EXPECT_EQ(static_cast<std::uint32_t>(hwnd12.val.w), 0x1234ABCDu);

    Records<XLOPER12> r;
    EXPECT_EQ(
        Request(xlcMessage, static_cast<XLOPER12*>(nullptr), {r.Bool(true), r.Str("Calibrating")}),
        xlretSuccess);
    EXPECT_EQ(Request(xlcMessage, static_cast<XLOPER12*>(nullptr), {r.Bool(false)}), xlretSuccess);
    const auto status = host.StatusEvents();
    ASSERT_EQ(status.size(), 2u);
    EXPECT_TRUE(status[0].shown);
    EXPECT_EQ(status[0].text, "Calibrating");
    EXPECT_FALSE(status[1].shown);

    // Registration goes through Excel4v in both modes; every value is recorded.
    Records<XLOPER> r4;
    XLOPER id{};
    ASSERT_EQ(Request(xlfRegister, &id,
                      {r4.Str("C:\\addins\\pricing.xll"), r4.Str("xlheston_impliedVol"),
                       r4.Str("BBB"), r4.Num(1), r4.Missing()}),
              xlretSuccess);
    ASSERT_EQ(id.xltype, xltypeNum);
    const auto registrations = host.Registrations();
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0].id, id.val.num);
    ASSERT_EQ(registrations[0].arguments.size(), 5u);
    EXPECT_EQ(registrations[0].arguments[1].str, L"xlheston_impliedVol");
    EXPECT_EQ(registrations[0].arguments[3].type, xltypeNum);
    EXPECT_EQ(registrations[0].arguments[3].num, 1.0);
    EXPECT_EQ(registrations[0].arguments[4].type, xltypeMissing);
    XLOPER done{};
    ASSERT_EQ(Request(xlfUnregister, &done, {&id}), xlretSuccess);
    EXPECT_EQ(done.val.xbool, 1);
    ASSERT_EQ(Request(xlfUnregister, &done, {&id}), xlretSuccess);
    EXPECT_EQ(done.val.xbool, 0) << "an id is unregistered once";

    // Esc: reported until acknowledged with FALSE.
    host.SetAbortPending(true);
    XLOPER12 pressed{};
    ASSERT_EQ(Request(xlAbort, &pressed, {}), xlretSuccess);
    EXPECT_EQ(pressed.val.xbool, 1);
    ASSERT_EQ(Request(xlAbort, &pressed, {r.Bool(false)}), xlretSuccess);
    EXPECT_EQ(pressed.val.xbool, 1);
    ASSERT_EQ(Request(xlAbort, &pressed, {r.Bool(false)}), xlretSuccess);
    EXPECT_EQ(pressed.val.xbool, 0);
}

}  // namespace
