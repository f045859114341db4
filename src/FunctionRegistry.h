// FunctionRegistry: the process-wide list of worksheet functions the add-in registers with
// Excel, filled during static initialisation before Excel calls anything.
//
// Each worksheet function owns one static FunctionRegistration object; its construction
// appends one RegistrationRecord, so the registry holds the functions in the order their
// objects are constructed (definition order within one source file). xlAutoOpen registers
// them in that order through RegisterAllFunctions.
#pragma once

#include <list>
#include <string>
#include <vector>

namespace xlf {

// One argument as stored in a registration table: name, help text and type code (a code such
// as "B", or a keyword understood by XlfArgDesc::TypeCode such as "XLF_OPER").
struct ArgumentEntry {
    const char* name;
    const char* description;
    const char* type;
};

struct RegistrationRecord {
    std::string exportName;
    std::string worksheetName;
    std::string description;
    std::string category;
    int argumentCount = 0;
    std::vector<std::string> argumentNames;
    std::vector<std::string> argumentDescriptions;
    std::vector<std::string> argumentTypes;
    bool isVolatile = false;
    bool isThreadSafe = false;
    bool isClusterSafe = false;  // also set by a ClusterSafeMark of the export name
    // Empty means the mode's value type code, settled when the function is registered.
    std::string returnTypeCode;
};

class FunctionRegistry {
  public:
    // The one registry, created on first use and destroyed at process exit (or unload).
    static FunctionRegistry& Instance();

    void Add(RegistrationRecord record);
    const std::list<RegistrationRecord>& Records() const { return records_; }

    // Export names marked cluster-safe apart from their records (ClusterSafeMark).
    void MarkClusterSafe(const std::string& exportName);
    bool IsClusterSafe(const RegistrationRecord& record) const;

  private:
    FunctionRegistry() = default;
    std::list<RegistrationRecord> records_;
    std::vector<std::string> clusterSafe_;
};

// Builds a record from plain constants and appends it to the registry. The argument
// vectors take entries[0 .. argumentCount - 1] in order.
void AddRegistration(const char* exportName, const char* worksheetName, const char* description,
                     const char* category, const ArgumentEntry* entries, int argumentCount,
                     bool isVolatile, bool isThreadSafe, const char* returnTypeCode);

// A static object of this type registers one worksheet function while the library loads.
class FunctionRegistration {
  public:
    FunctionRegistration(const char* exportName, const char* worksheetName, const char* description,
                         const char* category, const ArgumentEntry* entries, int argumentCount,
                         bool isVolatile, bool isThreadSafe, const char* returnTypeCode) {
        AddRegistration(exportName, worksheetName, description, category, entries, argumentCount,
                        isVolatile, isThreadSafe, returnTypeCode);
    }
};

// A static object of this type marks a registered function cluster-safe: it makes no callback
// when Excel runs it on a compute cluster. The mark may be constructed before or after the
// function's registration object; it is read when the functions are registered.
class ClusterSafeMark {
  public:
    explicit ClusterSafeMark(const char* exportName) {
        FunctionRegistry::Instance().MarkClusterSafe(exportName);
    }
};

// Registers every record with Excel, in registry order. An exception (for example when the
// library path cannot be had) ends the loop and leaves the rest unregistered.
void RegisterAllFunctions();

}  // namespace xlf
