// Runs the built vxhost binary as a subprocess, the way a person or a script uses it.
#pragma once

#include <string>
#include <vector>

struct VxTestHostRun {
    int exitCode = -1;  // -1 when the program did not end normally
    std::string out;
    std::string err;
};

// vxhost (VxTest_BuildDir()/vxhost) with args; standard input is empty.
VxTestHostRun VxTest_RunHost(const std::vector<std::string>& args);

// A fresh empty directory for one test's files, removed at destruction.
class CVxTestDirectory {
public:
    CVxTestDirectory();
    ~CVxTestDirectory();
    CVxTestDirectory(const CVxTestDirectory&) = delete;
    CVxTestDirectory& operator=(const CVxTestDirectory&) = delete;
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

bool VxTest_WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> VxTest_ReadFile(const std::string& path);
