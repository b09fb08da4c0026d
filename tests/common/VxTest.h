// Shared helpers of the test programs: one helper per job (result texts, the build folder,
// temporary folders and files, file bytes, memory tokens, frames into host memory).
#pragma once

#include "plugin/contracts/VxInterfaces.h"
#include "plugin/contracts/VxResults.h"

#include <cstdint>
#include <string>
#include <vector>

// The result code as text for failure messages: "0x8004E008 VXE_FILE_READ".
std::string VxTest_Describe(HRESULT hr);

// The build directory (module, host and components), from VX_BUILD_DIR or the test's own folder.
std::string VxTest_BuildDir();

// A fresh directory under the system's temporary folder for one test, removed with its
// contents at the end; paths in it as UTF-8 and UTF-16.
class CVxTempDir {
public:
    CVxTempDir();
    ~CVxTempDir();
    CVxTempDir(const CVxTempDir&) = delete;
    CVxTempDir& operator=(const CVxTempDir&) = delete;

    const std::string& Root() const { return m_path; }
    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    std::u16string WidePath(const std::string& name) const;

private:
    std::string m_path;
};
using CVxTestDirectory = CVxTempDir;

// A temporary file; Write replaces its contents and moves its modification time forward.
class CVxTestTempFile {
public:
    explicit CVxTestTempFile(const std::vector<uint8_t>& bytes);
    ~CVxTestTempFile();
    CVxTestTempFile(const CVxTestTempFile&) = delete;
    CVxTestTempFile& operator=(const CVxTestTempFile&) = delete;

    void Write(const std::vector<uint8_t>& bytes);
    void Remove();
    const char16_t* Path() const { return m_widePath.c_str(); }
    const std::string& Utf8Path() const { return m_path; }

private:
    CVxTempDir m_dir;
    std::string m_path;
    std::u16string m_widePath;
    int m_generation = 0;
};

// A whole file's bytes (empty when it cannot be read), and a file made of bytes.
std::vector<uint8_t> VxTest_ReadBytes(const std::string& path);
bool VxTest_WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
inline std::vector<uint8_t> VxTest_ReadFile(const std::string& path) { return VxTest_ReadBytes(path); }
inline bool VxTest_WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    return VxTest_WriteBytes(path, bytes);
}

// A token naming memory of this process (kind 0 unless given).
_vxmemorytoken VxTest_LocalToken(void* data, int32_t bytes, uint32_t kind = 0);

// GetFrameBufferSize, GetFrameFormat and GetFrame of frame 0 into a fresh local block; fails
// with E_UNEXPECTED when the delivered size differs from the size the host was told.
HRESULT VxTest_ReadFrame(IVxReadVideoStream* stream, std::vector<uint8_t>* pixels,
                         VXFRAMEINFO* frame = nullptr);

// Bytes the C heap holds for the program now: the sanitizer's count under AddressSanitizer
// (whose allocator the C library's statistics do not see), else the C library's, with its
// per-thread cache turned off for the test programs. A path that frees what it took leaves it
// where it was.
size_t VxTest_HeapBytesInUse();
