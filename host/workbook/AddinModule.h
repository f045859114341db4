// AddinModule: an add-in loaded by path, with its open and close entry points, and the
// functions it registered with the substitute host.
#pragma once

#include <string>
#include <vector>

#include "WindowsApi.h"

namespace runner {

// One xlfRegister request as the host recorded it.
struct RegisteredFunction {
    std::string exportName;
    std::string typeText;
    std::string worksheetName;
    std::string argumentText;
    double macroType = 0.0;
    std::string category;
    std::string description;
    std::vector<std::string> argumentHelp;
    std::string libraryPath;
    int valueCount = 0;  // the number of values the request carried
};

class AddinModule {
  public:
    // Loads the library; throws std::runtime_error when it cannot be loaded.
    explicit AddinModule(const std::string& path);
    ~AddinModule();
    AddinModule(const AddinModule&) = delete;
    AddinModule& operator=(const AddinModule&) = delete;

    HMODULE Handle() const { return module_; }
    const std::string& Path() const { return path_; }

    // xlAutoOpen and xlAutoClose; each returns what the add-in returned. Throws when the
    // add-in lacks the entry point.
    int Open() const;
    int Close() const;

    // The exported entry point of that name, or null.
    FARPROC EntryPoint(const std::string& exportName) const;

  private:
    std::string path_;
    HMODULE module_ = nullptr;
};

// Every xlfRegister request the host has recorded, in order.
std::vector<RegisteredFunction> RegisteredFunctions();

}  // namespace runner
