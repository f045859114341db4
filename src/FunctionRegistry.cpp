#include "FunctionRegistry.h"

#include <utility>

namespace xlf {

FunctionRegistry& FunctionRegistry::Instance() {
    static FunctionRegistry registry;
    return registry;
}

void FunctionRegistry::Add(RegistrationRecord record) {
    records_.push_back(std::move(record));
}

void FunctionRegistry::MarkClusterSafe(const std::string& exportName) {
    clusterSafe_.push_back(exportName);
}

bool FunctionRegistry::IsClusterSafe(const RegistrationRecord& record) const {
    for (const std::string& name : clusterSafe_)
        if (name == record.exportName) return true;
    return record.isClusterSafe;
}

void AddRegistration(const char* exportName, const char* worksheetName, const char* description,
                     const char* category, const ArgumentEntry* entries, int argumentCount,
                     bool isVolatile, bool isThreadSafe, const char* returnTypeCode) {
    RegistrationRecord record;
    record.exportName = exportName;
    record.worksheetName = worksheetName;
    record.description = description;
    record.category = category;
    record.argumentCount = argumentCount;
    for (int i = 0; i < argumentCount; ++i) {
        record.argumentNames.emplace_back(entries[i].name);
        record.argumentDescriptions.emplace_back(entries[i].description);
        record.argumentTypes.emplace_back(entries[i].type);
    }
    record.isVolatile = isVolatile;
    record.isThreadSafe = isThreadSafe;
    record.returnTypeCode = returnTypeCode;
    FunctionRegistry::Instance().Add(std::move(record));
}

}  // namespace xlf
