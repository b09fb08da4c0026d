// A fresh directory under the system's temporary folder for one test, removed with its
// contents at the end; paths in it as UTF-8 and UTF-16.
#pragma once

#include "platform/VxStr.h"

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

class CVxTempDir {
public:
    CVxTempDir()
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vxplatform-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    CVxTempDir(const CVxTempDir&) = delete;
    CVxTempDir& operator=(const CVxTempDir&) = delete;
    ~CVxTempDir()
    {
        if (!m_path.empty())
            nftw(m_path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
                 FTW_DEPTH | FTW_PHYS);
    }

    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    std::u16string WidePath(const std::string& name) const { return VxStr_FromUtf8(Path(name)); }

private:
    std::string m_path;
};
