// Runs the built vxhost binary as a subprocess, the way a person or a script uses it.
#pragma once

#include "tests/common/VxTest.h"

#include <string>
#include <vector>

struct VxTestHostRun {
    int exitCode = -1;  // -1 when the program did not end normally
    std::string out;
    std::string err;
};

// vxhost (VxTest_BuildDir()/vxhost) with args; standard input is empty.
VxTestHostRun VxTest_RunHost(const std::vector<std::string>& args);

inline std::string VxTest_ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = VxTest_ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

