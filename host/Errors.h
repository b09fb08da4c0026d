// How vxhost reports failures: "Method: 0x8004E008: message" on standard error, exit status 1.
#pragma once

#include "../plugin/contracts/VxTypes.h"

#include <string>

// The message for a result code: the module's message text, the system's text for a failure
// carried in a 0x8007xxxx code, else "Unknown result code.".
std::string VxHost_ResultText(HRESULT hr);

// Prints "Method: 0x%08X: message" and answers the exit status 1.
int VxHost_ReportFailure(const char* method, HRESULT hr);
// Prints "vxhost: message" and answers the exit status 1.
int VxHost_ReportError(const std::string& message);
