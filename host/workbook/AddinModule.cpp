#include "AddinModule.h"

#include <stdexcept>

#include "ExcelHost.h"

namespace runner {

namespace {

// xlAutoOpen and xlAutoClose take nothing and return an int, in Excel's calling convention.
using AutoFunction = int(WINAPI*)();

int CallAuto(const AddinModule& module, const char* name) {
    FARPROC entry = module.EntryPoint(name);
    if (entry == nullptr) throw std::runtime_error(module.Path() + " does not export " + name);
    // Through the generic void(*)(): Windows declares FARPROC with a return type.
    return reinterpret_cast<AutoFunction>(reinterpret_cast<void (*)()>(entry))();
}

// The layer's Excel-4 texts count their terminating NUL; the name Excel shows ends before it.
std::string TextOf(const xlhost::Value& value) {
    if (value.type != xltypeStr) return std::string();
    std::string text = xlhost::Narrow(value.str);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

// A number given as a number, an integer or a boolean (1 or 0); 0 for anything else.
double NumberOf(const xlhost::Value& value) {
    switch (value.type) {
        case xltypeNum:
            return value.num;
        case xltypeInt:
            return value.integer;
        case xltypeBool:
            return value.boolean ? 1.0 : 0.0;
        default:
            return 0.0;
    }
}

}  // namespace

AddinModule::AddinModule(const std::string& path) : path_(path) {
    module_ = LoadLibraryA(path.c_str());
    if (module_ == nullptr) throw std::runtime_error("cannot load the add-in " + path);
}

AddinModule::~AddinModule() {
    FreeLibrary(module_);
}

int AddinModule::Open() const {
    return CallAuto(*this, "xlAutoOpen");
}

int AddinModule::Close() const {
    return CallAuto(*this, "xlAutoClose");
}

FARPROC AddinModule::EntryPoint(const std::string& exportName) const {
    return GetProcAddress(module_, exportName.c_str());
}

std::vector<RegisteredFunction> RegisteredFunctions() {
    std::vector<RegisteredFunction> functions;
    for (const xlhost::Registration& registration : xlhost::Host::Instance().Registrations()) {
        const std::vector<xlhost::Value>& values = registration.arguments;
        auto text = [&](std::size_t i) {
            return i < values.size() ? TextOf(values[i]) : std::string();
        };
        RegisteredFunction function;
        function.libraryPath = text(0);
        function.exportName = text(1);
        function.typeText = text(2);
        function.worksheetName = text(3);
        function.argumentText = text(4);
        function.macroType = values.size() > 5 ? NumberOf(values[5]) : 0.0;
        function.category = text(6);
        function.description = text(9);
        for (std::size_t i = 10; i < values.size(); ++i) function.argumentHelp.push_back(text(i));
        function.valueCount = static_cast<int>(values.size());
        functions.push_back(function);
    }
    return functions;
}

}  // namespace runner
