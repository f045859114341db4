// XlfAbstractCmdDesc: the base of everything the add-in registers with Excel.
//
// It holds the names Excel needs (the exported entry point and the name users type) and the
// help text, and drives registration: it asks Excel for the add-in's path and lets the
// concrete descriptor send the request. A failing request is only reported on the diagnostic
// stream, so that one bad function does not keep the others from being registered; a
// missing library path throws, since no function could then be registered.
#pragma once

#include <string>

#include "XlfArgDesc.h"

namespace xlf {

class XlfAbstractCmdDesc {
  public:
    XlfAbstractCmdDesc(const std::string& exportName, const std::string& worksheetName,
                       const std::string& description);
    virtual ~XlfAbstractCmdDesc();

    const std::string& ExportName() const { return exportName_; }
    const std::string& WorksheetName() const { return worksheetName_; }
    const std::string& Description() const { return description_; }
    const XlfArgDescList& Arguments() const { return arguments_; }
    void SetExportName(const std::string& name) { exportName_ = name; }
    void SetWorksheetName(const std::string& name) { worksheetName_ = name; }
    void SetDescription(const std::string& description) { description_ = description; }
    void SetArguments(const XlfArgDescList& arguments) { arguments_ = arguments; }

    // Registers with Excel and returns the host's code. Throws std::runtime_error "Could not
    // get library name" when Excel cannot tell the add-in's path.
    int RegisterInExcel() const;
    // The same for unregistration.
    int UnregisterInExcel() const;

  protected:
    virtual int PerformRegistration(const std::string& libraryPath) const = 0;
    virtual int PerformUnregistration(const std::string& libraryPath) const = 0;

  private:
    std::string LibraryPathOrThrow() const;

    std::string exportName_;
    std::string worksheetName_;
    std::string description_;
    XlfArgDescList arguments_;
};

}  // namespace xlf
