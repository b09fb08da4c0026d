#include "VxTest.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

std::string VxTest_Describe(HRESULT hr)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", unsigned(hr));
    const VxResultInfo* info = VxResult_Find(hr);
    return info ? std::string(code) + " " + info->name : std::string(code);
}

std::string VxTest_BuildDir()
{
    if (const char* dir = std::getenv("VX_BUILD_DIR"))
        return dir;
    return std::filesystem::canonical("/proc/self/exe").parent_path().string();
}
