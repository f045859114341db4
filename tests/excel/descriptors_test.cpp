// Function and argument descriptors against the substitute host, in both modes: the wizard's
// name-length warning, the ". " ending of help texts, type codes and type texts, the values
// of the xlfRegister request, and the failures of registration.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/stream_capture.h"
#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "XlfArgDesc.h"
#include "XlfExcel.h"
#include "XlfFuncDesc.h"
#include "host_session.h"

namespace {

using xlf::XlfArgDesc;
using xlf::XlfArgDescList;
using xlf::XlfExcel;
using xlf::XlfFuncDesc;

// The texts of a recorded request; Excel-4 texts count a terminating NUL.
std::vector<std::string> Texts(const xlhost::Registration& registration) {
    std::vector<std::string> texts;
    for (const xlhost::Value& value : registration.arguments) {
        std::string text =
            value.type == xltypeStr ? xlhost::Narrow(value.str) : "#" + std::to_string(value.num);
        while (!text.empty() && text.back() == '\0') text.pop_back();
        texts.push_back(text);
    }
    return texts;
}

class Descriptors : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ConnectToHost(GetParam());
        xlhost::Host::Instance().SetAddinPath("C:\\addins\\pricing.xll");
    }
    void TearDown() override { delete &XlfExcel::Current(); }

    bool IsExcel12() const { return std::string(GetParam()) == "12.0"; }
};

TEST_P(Descriptors, NamesLongerThan18CharactersAreReportedButKept) {
    test_support::StreamCapture cerr;
    XlfArgDesc fits("observedPriceArray", " Prices ", "B");  // 18 characters
    EXPECT_EQ(cerr.Text(), "");
    XlfArgDesc tooLong("observedPriceArrays", " Prices ", "B");  // 19 characters
    const std::string warning =
        "..\\..\\src\\XlfArgDesc(37): Argument name \"observedPriceArrays\" may be too long to "
        "fit the in the function wizard\n";
    EXPECT_EQ(cerr.Text(), warning);
    EXPECT_EQ(tooLong.Name(), "observedPriceArrays");
    fits.SetName("observedPriceArrays");
    EXPECT_EQ(cerr.Text(), warning + warning);
}

TEST_P(Descriptors, DescriptionsEndWithFullStopAndBlank) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ". "},
        {"x", "x. "},
        {"ok. ", "ok. "},
        {"ok.", "ok.. "},
        {" Strike price ", " Strike price . "}};
    for (const auto& [given, expected] : cases) {
        EXPECT_EQ(XlfArgDesc("a", given, "B").Description(), expected) << '"' << given << '"';
        XlfArgDesc argument;
        argument.SetDescription(given);
        EXPECT_EQ(argument.Description(), expected) << '"' << given << '"';
    }
}

TEST_P(Descriptors, TypeKeywordsBecomeTheModesCodes) {
    EXPECT_EQ(XlfArgDesc("a", "", "XLF_OPER").TypeCode(), IsExcel12() ? "Q" : "P");
    EXPECT_EQ(XlfArgDesc("a", "", "XLF_XLOPER").TypeCode(), IsExcel12() ? "U" : "R");
    EXPECT_EQ(XlfArgDesc("a", "", "XLF_WSTR").TypeCode(), IsExcel12() ? "C%" : "C");
    EXPECT_EQ(XlfArgDesc("a", "", "B").TypeCode(), "B");

    XlfArgDescList tenDoubles(10, XlfArgDesc("x", "", "B"));
    const std::string value = XlfExcel::Current().OperTypeCode();
    XlfFuncDesc plain("f", "f", "", "c", XlfFuncDesc::NotVolatile, false, value);
    plain.SetArguments(tenDoubles);
    EXPECT_EQ(plain.TypeText(), IsExcel12() ? "QBBBBBBBBBB" : "PBBBBBBBBBB");

    XlfArgDescList calibration;
    for (const char* type : {"XLF_OPER", "XLF_OPER", "XLF_OPER", "XLF_OPER", "XLF_OPER", "XLF_OPER",
                             "XLF_OPER", "B", "XLF_OPER", "XLF_OPER", "B"}) {
        calibration.emplace_back("x", "", type);
    }
    XlfFuncDesc volatileThreadSafe("f", "f", "", "c", XlfFuncDesc::Volatile, true, value);
    volatileThreadSafe.SetArguments(calibration);
    // "$" only where Excel knows thread-safe functions, and after "!".
    EXPECT_EQ(volatileThreadSafe.TypeText(), IsExcel12() ? "QQQQQQQQBQQB!$" : "PPPPPPPPBPPB!");
    XlfFuncDesc threadSafe("f", "f", "", "c", XlfFuncDesc::NotVolatile, true, value);
    EXPECT_EQ(threadSafe.TypeText(), IsExcel12() ? "Q$" : "P");
}

// "&" (cluster-safe) needs Excel-12 mode and version 14 or later. The layer chooses Excel-12
// mode for version 12 only, so the type texts it sends never carry it; the rule itself is
// ready for both inputs.
TEST(ClusterSafeRule, OnlyExcel12ModeFromVersion14) {
    EXPECT_TRUE(xlf::RegistersClusterSafe(true, 14));
    EXPECT_TRUE(xlf::RegistersClusterSafe(true, 16));
    EXPECT_FALSE(xlf::RegistersClusterSafe(true, 12));
    EXPECT_FALSE(xlf::RegistersClusterSafe(false, 14));
    EXPECT_FALSE(xlf::RegistersClusterSafe(false, 16));
    EXPECT_FALSE(xlf::RegistersClusterSafe(false, 11));
}

TEST_P(Descriptors, AClusterSafeFunctionGetsNoAmpersandInTheModesExcelReaches) {
    const std::string value = XlfExcel::Current().OperTypeCode();
    XlfFuncDesc clusterSafe("f", "f", "", "c", XlfFuncDesc::NotVolatile, true, value, true);
    clusterSafe.SetArguments(XlfArgDescList(2, XlfArgDesc("x", "", "B")));
    EXPECT_EQ(clusterSafe.TypeText(), IsExcel12() ? "QBB$" : "PBB");
    EXPECT_EQ(XlfExcel::Current().Version(), IsExcel12() ? 12 : 11);
}

TEST_P(Descriptors, RegistrationSendsTenValuesPlusOnePerArgument) {
    XlfFuncDesc function("xlf_Sum", "Sum", " Adds ", "Tests", XlfFuncDesc::NotVolatile, false, "B");
    function.SetArguments({XlfArgDesc("a", " First", "B"), XlfArgDesc("b", "Second. ", "B")});
    EXPECT_EQ(function.RegisterInExcel(), 0);

    XlfFuncDesc none("xlf_Now", "Now", "", "Tests", XlfFuncDesc::Volatile, false, "B");
    EXPECT_EQ(none.RegisterInExcel(), 0);

    const auto registrations = xlhost::Host::Instance().Registrations();
    ASSERT_EQ(registrations.size(), 2u);
    const std::vector<std::string> expected = {"C:\\addins\\pricing.xll",
                                               "xlf_Sum",
                                               "BBB",
                                               "Sum",
                                               "a, b",
                                               "#1.000000",
                                               "Tests",
                                               "",
                                               "",
                                               " Adds ",
                                               " First. ",
                                               "Second. "};
    EXPECT_EQ(Texts(registrations[0]), expected);
    const std::vector<std::string> noArguments = {
        "C:\\addins\\pricing.xll", "xlf_Now", "B!", "Now", "", "#1.000000", "Tests", "", "", ""};
    EXPECT_EQ(Texts(registrations[1]), noArguments);
}

TEST_P(Descriptors, RegistrationFailuresAreReportedOrThrown) {
    XlfFuncDesc function("xlf_Sum", "Sum", "", "Tests", XlfFuncDesc::NotVolatile, false, "B");
    {
        test_support::StreamCapture cerr;
        xlhost::Host::Instance().FailRequest(xlfRegister, xlretFailed);
        EXPECT_EQ(function.RegisterInExcel(), xlretFailed);
        xlhost::Host::Instance().ClearFailures();
        EXPECT_EQ(cerr.Text(),
                  "..\\..\\src\\XlfAbstractCmdDesc(62): Error 32 while registering Sum\n");
    }
    test_support::StreamCapture cerr;
    xlhost::Host::Instance().SetAddinPath("");
    try {
        function.RegisterInExcel();
        ADD_FAILURE() << "registration without a library path did not throw";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Could not get library name");
    }
    EXPECT_TRUE(xlhost::Host::Instance().Registrations().empty());
}

TEST_P(Descriptors, UnregistrationLearnsTheIdFromAHiddenRegistration) {
    XlfFuncDesc function("xlf_Sum", "Sum", "", "Tests", XlfFuncDesc::NotVolatile, false, "B");
    ASSERT_EQ(function.RegisterInExcel(), 0);
    EXPECT_EQ(function.UnregisterInExcel(), 0);
    const auto registrations = xlhost::Host::Instance().Registrations();
    ASSERT_EQ(registrations.size(), 2u);
    EXPECT_EQ(Texts(registrations[1])[5], "#0.000000");  // macro type 0: hidden
    const auto unregistered = xlhost::Host::Instance().Unregistered();
    ASSERT_EQ(unregistered.size(), 1u);
    EXPECT_EQ(unregistered[0], registrations[1].id);
}

INSTANTIATE_TEST_SUITE_P(BothModes, Descriptors, ::testing::Values("11.0", "12.0"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "12.0" ? "Excel12" : "Excel4";
                         });

}  // namespace
