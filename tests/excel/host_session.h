// Test helper: a fresh link to the substitute host, reporting a given Excel version.
#pragma once

#include <string>

#include "ExcelHost.h"
#include "SimulatedDesktop.h"
#include "XlfExcel.h"

// Clears the simulated desktop and the host, then loads XlfExcel again against a host that
// reports `version`, so that each test starts in the mode its version selects.
inline xlf::XlfExcel& ConnectToHost(const std::string& version) {
    simulated::Reset();
    delete &xlf::XlfExcel::Current();
    xlhost::Host::Instance().Reset();
    xlhost::Host::Instance().SetVersion(version);
    return xlf::XlfExcel::Current();
}
