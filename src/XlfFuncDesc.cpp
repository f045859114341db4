#include "XlfFuncDesc.h"

#include <vector>

#include "XlfExcel.h"
#include "XlfOper.h"
#include "XlfOper4.h"

namespace xlf {

bool RegistersClusterSafe(bool excel12Mode, int excelVersion) {
    return excel12Mode && excelVersion >= 14;
}

XlfFuncDesc::XlfFuncDesc(const std::string& exportName, const std::string& worksheetName,
                         const std::string& description, const std::string& category,
                         int recalcPolicy, bool threadSafe, const std::string& returnTypeCode,
                         bool clusterSafe)
    : XlfAbstractCmdDesc(exportName, worksheetName, description),
      details_(new Details{recalcPolicy, category, XlfArgDescList(), threadSafe, clusterSafe}),
      returnTypeCode_(returnTypeCode) {}

XlfFuncDesc::~XlfFuncDesc() = default;

void XlfFuncDesc::SetArguments(const XlfArgDescList& arguments) {
    details_->arguments = arguments;
}

std::string XlfFuncDesc::TypeText() const {
    std::string text = returnTypeCode_;
    for (const XlfArgDesc& argument : details_->arguments) text += argument.TypeCode();
    if (details_->recalcPolicy == Volatile) text += "!";
    // Excel before version 12 knows no thread-safe functions and would reject the code.
    if (XlfExcel::Current().IsExcel12() && details_->threadSafe) text += "$";
    // Excel before version 14 knows no cluster-safe functions.
    if (details_->clusterSafe &&
        RegistersClusterSafe(XlfExcel::Current().IsExcel12(), XlfExcel::Current().Version())) {
        text += "&";
    }
    return text;
}

std::string XlfFuncDesc::ArgumentText() const {
    std::string text;
    const XlfArgDescList& arguments = details_->arguments;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) text += ", ";
        text += arguments[i].Name();
    }
    return text;
}

int XlfFuncDesc::RegisterAs(const std::string& libraryPath, double macroType,
                            double* registerId) const {
    const XlfArgDescList& arguments = details_->arguments;
    std::vector<XlfOper4> values;
    values.reserve(arguments.size() + 10);
    values.emplace_back(libraryPath);
    values.emplace_back(ExportName());
    values.emplace_back(TypeText());
    values.emplace_back(WorksheetName());
    values.emplace_back(ArgumentText());
    values.emplace_back(macroType);
    values.emplace_back(details_->category);
    values.emplace_back("");  // no shortcut key
    values.emplace_back("");  // no help topic
    values.emplace_back(Description());
    for (const XlfArgDesc& argument : arguments) values.emplace_back(argument.Description());

    std::vector<XLOPER*> pointers;
    pointers.reserve(values.size());
    for (const XlfOper4& value : values) pointers.push_back(value.HostPointer());

    XlfOper4 result;
    const int code = XlfExcel::Current().CallHost4v(
        xlfRegister, result.HostPointer(), static_cast<int>(pointers.size()), pointers.data());
    if (registerId != nullptr) {
        int readCode = 0;
        *registerId = result.ToDouble(&readCode);
    }
    return code;
}

int XlfFuncDesc::PerformRegistration(const std::string& libraryPath) const {
    return RegisterAs(libraryPath, 1);
}

int XlfFuncDesc::PerformUnregistration(const std::string& libraryPath) const {
    double registerId = 0.0;
    RegisterAs(libraryPath, 0, &registerId);
    XlfOper result;
    XlfOper id(registerId);
    return XlfExcel::Current().CallHost(xlfUnregister, result.HostPointer(), 1, id.HostPointer());
}

}  // namespace xlf
