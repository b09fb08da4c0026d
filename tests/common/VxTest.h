// Shared helpers of the test programs.
#pragma once

#include "plugin/contracts/VxResults.h"

#include <string>

// The result code as text for failure messages: "0x8004E008 VXE_FILE_READ".
std::string VxTest_Describe(HRESULT hr);

// The build directory (module, host and components), from VX_BUILD_DIR or the test's own folder.
std::string VxTest_BuildDir();
