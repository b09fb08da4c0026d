#include "platform/VxStr.h"
#include "platform/VxWin32.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <zlib.h>

#include <climits>
#include <string>

namespace {

std::u16string ModulePath(HMODULE module)
{
    char16_t path[4096];
    const DWORD length = GetModuleFileNameW(module, path, 4096);
    return std::u16string(path, length);
}

std::string ProgramPath()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return std::string(path, size_t(length > 0 ? length : 0));
}

TEST(Library, LoadsFindsExportsAndFrees)
{
    const HMODULE zlib = LoadLibraryExW(u"libz.so.1", nullptr, 0);
    ASSERT_NE(zlib, nullptr) << GetLastError();
    // The module handle is the load base, the same value an address in it leads to.
    EXPECT_EQ(zlib, VxPlatform_ModuleOfAddress(reinterpret_cast<const void*>(&zlibVersion)));
    EXPECT_EQ(GetProcAddress(zlib, "zlibVersion"), reinterpret_cast<void*>(&zlibVersion));

    const std::string path = VxStr_ToUtf8(ModulePath(zlib));
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path.find("libz.so"), std::string::npos) << path;

    SetLastError(0);
    EXPECT_EQ(GetProcAddress(zlib, "noSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(zlib, reinterpret_cast<const char*>(uintptr_t(7))), nullptr);  // an ordinal

    // Loads count: two loads take two frees, a third is refused.
    ASSERT_EQ(LoadLibraryExW(u"libz.so.1", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), zlib);
    EXPECT_TRUE(FreeLibrary(zlib));
    EXPECT_TRUE(FreeLibrary(zlib));
    EXPECT_FALSE(FreeLibrary(zlib));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Library, MissingLibrariesAndBadArgumentsFail)
{
    SetLastError(0);
    EXPECT_EQ(LoadLibraryExW(u"/nonexistent/OpenExr.so", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryExW(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    int notAModule = 0;
    EXPECT_EQ(GetProcAddress(&notAModule, "zlibVersion"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_FALSE(FreeLibrary(&notAModule));
    char16_t path[16];
    EXPECT_EQ(GetModuleFileNameW(&notAModule, path, 16), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(Library, ModulesFoundByAddressWorkWithoutLoading)
{
    const HMODULE program = VxPlatform_ModuleOfAddress(reinterpret_cast<const void*>(&ModulePath));
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(VxStr_ToUtf8(ModulePath(program)), ProgramPath());
    EXPECT_EQ(VxStr_ToUtf8(ModulePath(nullptr)), ProgramPath());
    EXPECT_EQ(VxPlatform_ModuleOfAddress(nullptr), nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(program, "noSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);  // the program is found, the name is not

    // An export of a library this layer did not load.
    const HMODULE zlib = VxPlatform_ModuleOfAddress(reinterpret_cast<const void*>(&deflate));
    EXPECT_EQ(GetProcAddress(zlib, "inflate"), reinterpret_cast<void*>(&inflate));
}

TEST(Library, LongModulePathsAreCutAndTerminated)
{
    const std::u16string full = ModulePath(nullptr);
    ASSERT_GT(full.size(), 5u);
    char16_t path[5] = {1, 1, 1, 1, 1};
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, 5), 5u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(path), full.substr(0, 4));
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, 0), 0u);
}

}  // namespace
