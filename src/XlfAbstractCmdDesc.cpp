#include "XlfAbstractCmdDesc.h"

#include <iostream>
#include <stdexcept>

#include "Diagnostics.h"
#include "XlfExcel.h"

namespace xlf {

XlfAbstractCmdDesc::XlfAbstractCmdDesc(const std::string& exportName,
                                       const std::string& worksheetName,
                                       const std::string& description)
    : exportName_(exportName), worksheetName_(worksheetName), description_(description) {}

XlfAbstractCmdDesc::~XlfAbstractCmdDesc() = default;

std::string XlfAbstractCmdDesc::LibraryPathOrThrow() const {
    std::string path = XlfExcel::Current().LibraryPath();
    if (path.empty()) throw std::runtime_error("Could not get library name");
    return path;
}

int XlfAbstractCmdDesc::RegisterInExcel() const {
    const int code = PerformRegistration(LibraryPathOrThrow());
    if (code != 0) {
        std::cerr << XLF_LOCATION("XlfAbstractCmdDesc", 62) << "Error " << code
                  << " while registering " << worksheetName_ << std::endl;
    }
    return code;
}

int XlfAbstractCmdDesc::UnregisterInExcel() const {
    const int code = PerformUnregistration(LibraryPathOrThrow());
    if (code != 0) {
        std::cerr << XLF_LOCATION("XlfAbstractCmdDesc", 78) << "Error " << code
                  << " while registering " << worksheetName_ << std::endl;
    }
    return code;
}

}  // namespace xlf
