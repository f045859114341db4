// XlfArgDesc: one argument of a worksheet function as Excel's function wizard shows it.
//
// The name is shown in the wizard's argument list; names longer than 18 characters may not
// fit there, which is reported on the diagnostic stream (the name is kept whole). The
// description is shown as the argument's help and always ends with ". ". The type is a
// registration type code ("B" for a double) or one of the keywords "XLF_OPER",
// "XLF_XLOPER" and "XLF_WSTR", which stand for the value, reference and string codes of the
// mode the add-in runs in (see XlfExcel).
#pragma once

#include <string>
#include <vector>

namespace xlf {

class XlfArgDesc {
  public:
    XlfArgDesc() = default;
    XlfArgDesc(const std::string& name, const std::string& description, const std::string& type);

    // Assigns, then warns when the name is longer than 18 characters.
    void SetName(const std::string& name);
    // Assigns, then completes the ". " ending.
    void SetDescription(const std::string& description);

    const std::string& Name() const { return name_; }
    const std::string& Description() const { return description_; }
    const std::string& Type() const { return type_; }

    // The registration code of the type: the keywords become the mode's codes ("P", "R",
    // "C" in Excel-4 mode; "Q", "U", "C%" in Excel-12 mode), any other type is returned as
    // it is.
    std::string TypeCode() const;

  private:
    void CheckNameLength() const;
    void CompleteDescription();

    std::string name_;
    std::string description_;
    std::string type_;
};

typedef std::vector<XlfArgDesc> XlfArgDescList;

}  // namespace xlf
