// Failure reports of vxhost.
#include "Errors.h"

#include "../plugin/contracts/VxResults.h"
#include "Progress.h"

#include <cstdio>
#include <cstring>

std::string VxHost_ResultText(HRESULT hr)
{
    if (const char* text = VxResult_Text(hr))
        return text;
    // On Linux the module's Win32 error numbers are errno values (its GetLastError is the last
    // errno), and its translation carries them as 0x8007xxxx: the system's text names them.
    constexpr uint32_t kWin32Facility = 0x80070000u;
    if ((uint32_t(hr) & 0xFFFF0000u) == kWin32Facility) {
        const int error = int(uint32_t(hr) & 0xFFFFu);
        return std::string(std::strerror(error)) + ".";
    }
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
