// Failure reports of vxhost.
#include "Errors.h"

#include "../plugin/contracts/VxResults.h"
#include "Progress.h"
#include "System.h"

#include <cstdio>

std::string VxHost_ResultText(HRESULT hr)
{
    if (const char* text = VxResult_Text(hr))
        return text;
    // The module's translation carries the system's error numbers as 0x8007xxxx.
    constexpr uint32_t kWin32Facility = 0x80070000u;
    if ((uint32_t(hr) & 0xFFFF0000u) == kWin32Facility)
        return VxHostSystem_ErrorText(uint32_t(hr) & 0xFFFFu) + ".";
    return "Unknown result code.";
}

int VxHost_ReportFailure(const char* method, HRESULT hr)
{
    VxHost_ProgressClear();
    std::fprintf(stderr, "%s: 0x%08X: %s\n", method, unsigned(hr), VxHost_ResultText(hr).c_str());
    return 1;
}

int VxHost_ReportError(const std::string& message)
{
    VxHost_ProgressClear();
    std::fprintf(stderr, "vxhost: %s\n", message.c_str());
    return 1;
}
