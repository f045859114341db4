// XlfFuncDesc: a worksheet function as Excel registers it, turned into one xlfRegister request.
//
// The request carries n + 10 values for n arguments: library path, export name, type text,
// worksheet name, argument names joined by ", ", macro type, category, two empty texts (no
// shortcut, no help topic), the function's help and one help text per argument. The values
// are Excel-4 records (XlfOper4) sent through Excel4v whatever the mode, so each text is cut
// at 254 characters.
//
// The type text is the return type code, the code of each argument in order, then "!" for a
// volatile function and, in Excel-12 mode only, "$" for a thread-safe one: for ten doubles
// returning a value record, "PBBBBBBBBBB" in Excel-4 mode and "QBBBBBBBBBB" in Excel-12 mode.
// A cluster-safe function (one that makes no callback when Excel sends it to a compute
// cluster) gets "&" last, but only where Excel knows the code: in Excel-12 mode with a version
// of 14 or later (RegistersClusterSafe). Since the layer chooses Excel-12 mode for version 12
// alone, no real Excel ever gets the "&" today; the flag and the rule are ready for the day the
// mode rule changes.
#pragma once

#include <memory>
#include <string>

#include "XlfAbstractCmdDesc.h"
#include "XlfArgDesc.h"

namespace xlf {

// Whether "&" belongs in a cluster-safe function's type text: Excel-12 mode and version >= 14.
bool RegistersClusterSafe(bool excel12Mode, int excelVersion);

class XlfFuncDesc : public XlfAbstractCmdDesc {
  public:
    // Recalculation policies.
    enum { NotVolatile = 0, Volatile = 1 };

    XlfFuncDesc(const std::string& exportName, const std::string& worksheetName,
                const std::string& description, const std::string& category,
                int recalcPolicy = NotVolatile, bool threadSafe = false,
                const std::string& returnTypeCode = "", bool clusterSafe = false);
    ~XlfFuncDesc() override;

    // Replaces the arguments that registration uses by a copy of the list.
    void SetArguments(const XlfArgDescList& arguments);

    // Sends xlfRegister with the given macro type (1: a worksheet function, 0: hidden) and
    // returns the host's code; the register id is stored where registerId points, if given.
    int RegisterAs(const std::string& libraryPath, double macroType,
                   double* registerId = nullptr) const;

    // The type text and the argument text as they are sent.
    std::string TypeText() const;
    std::string ArgumentText() const;

  protected:
    int PerformRegistration(const std::string& libraryPath) const override;
    // Registers the function once more, hidden, to learn its register id, then unregisters
    // that id.
    int PerformUnregistration(const std::string& libraryPath) const override;

  private:
    struct Details {
        int recalcPolicy;
        std::string category;
        XlfArgDescList arguments;
        bool threadSafe;
        bool clusterSafe;
    };

    std::unique_ptr<Details> details_;
    std::string returnTypeCode_;
};

}  // namespace xlf
