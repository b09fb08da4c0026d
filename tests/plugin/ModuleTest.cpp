#include "ModuleCopy.h"
#include "plugin/Language.h"
#include "plugin/Module.h"
#include "platform/VxStr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

namespace {

const char* const kExportedFunctions[] = {
    "DllGetClassObject", "DllCanUnloadNow", "DllInitClasses", "StillsBufferPool_Create",
    "SysAllocString",    "SysAllocStringLen", "SysStringLen",  "SysFreeString",
};

const char* const kExportedClasses[] = {
    "CMappingOfVxMemoryToken",
    "COutOfProcessMemoryToken",
    "CVxExifMetaDataHelper",
};

// The contract's names and the symbols every shared object defines.
bool IsExported(const std::string& name)
{
    for (const char* function : kExportedFunctions)
        if (name == function)
            return true;
    for (const char* cls : kExportedClasses)
        if (name.find(cls) != std::string::npos)
            return true;
    return std::set<std::string>{"_init", "_fini", "_edata", "_end", "__bss_start"}.count(name) > 0;
}

// Each copy is loaded apart, and answers as the contract says.
TEST(Module, LoadsEachCopyApart)
{
    CVxModuleCopy first(CVxModuleCopy::Component::Missing);
    CVxModuleCopy second(CVxModuleCopy::Component::Missing);
    ASSERT_TRUE(first.Handle()) << first.Error();
    ASSERT_TRUE(second.Handle()) << second.Error();
    EXPECT_NE(first.Handle(), second.Handle());
    EXPECT_NE(first.Symbol<void*>("DllGetClassObject"), second.Symbol<void*>("DllGetClassObject"));
    const auto canUnloadNow = first.Symbol<PFN_DllCanUnloadNow>("DllCanUnloadNow");
    const auto initClasses = first.Symbol<PFN_DllInitClasses>("DllInitClasses");
    ASSERT_TRUE(canUnloadNow && initClasses);
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // no object exists and no lock is held
    EXPECT_EQ(initClasses(0x12345678), S_OK);
}

TEST(Module, ExportsTheEntryPointsAndNothingElse)
{
    const std::string module = VxTest_BuildDir() + "/vxstills.so";
    FILE* pipe = popen(("nm -D --defined-only -C --format=just-symbols '" + module + "' 2>/dev/null").c_str(), "r");
    ASSERT_TRUE(pipe) << "nm (binutils, with the compiler) cannot be run";
    std::string output;
    char buffer[4096];
    while (size_t read = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, read);
    ASSERT_EQ(pclose(pipe), 0) << "nm failed on " << module;
    ASSERT_FALSE(output.empty());

    // One name a line; a demangled name may hold spaces.
    std::istringstream lines(output);
    std::string name, unexpected;
    int found = 0;
    while (std::getline(lines, name)) {
        if (!IsExported(name))
            unexpected += "\n  " + name;
        for (const char* function : kExportedFunctions)
            found += name == function;
    }
    EXPECT_EQ(unexpected, "") << "exported beyond the module's contract";
    EXPECT_EQ(found, int(std::size(kExportedFunctions)));
}

// In this program the module's objects are linked into the test executable itself.
TEST(Module, FindsItsOwnFileLanguageAndPool)
{
    const std::u16string path = VxModule_Path();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path[0], u'/');
    EXPECT_EQ(std::filesystem::canonical(VxStr_ToUtf8(path)), std::filesystem::canonical("/proc/self/exe"));
    EXPECT_EQ(VxModule_Directory() + u"/" + VxStr_FileNamePart(path.c_str()), path);
    EXPECT_NE(VxModule_Instance(), nullptr);
    EXPECT_NE(VxModule_Language(), nullptr);
    EXPECT_NE(VxModule_Pool(), nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(DllInitClasses(0), S_OK);
}

}  // namespace
