#include "VxTest.h"

#include "platform/VxStr.h"
#include "platform/VxWin32.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

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

CVxTempDir::CVxTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vxtest-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        m_path = pattern;
}

CVxTempDir::~CVxTempDir()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

std::u16string CVxTempDir::WidePath(const std::string& name) const
{
    return VxStr_FromUtf8(Path(name));
}

CVxTestTempFile::CVxTestTempFile(const std::vector<uint8_t>& bytes)
    : m_path(m_dir.Path("file")), m_widePath(VxStr_FromUtf8(m_path))
{
    Write(bytes);
}

CVxTestTempFile::~CVxTestTempFile() = default;

void CVxTestTempFile::Write(const std::vector<uint8_t>& bytes)
{
    VxTest_WriteBytes(m_path, bytes);
    // Each version gets its own modification time, whatever the file system's resolution.
    const timespec times[2] = {{1000000000 + m_generation, 0}, {1000000000 + m_generation, 0}};
    utimensat(AT_FDCWD, m_path.c_str(), times, 0);
    ++m_generation;
}

void CVxTestTempFile::Remove()
{
    unlink(m_path.c_str());
}

std::vector<uint8_t> VxTest_ReadBytes(const std::string& path)
{
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

bool VxTest_WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(file);
}

_vxmemorytoken VxTest_LocalToken(void* data, int32_t bytes, uint32_t kind)
{
    _vxmemorytoken token = {};
    token.baseAddress = reinterpret_cast<uint64_t>(data);
    token.dataSize = bytes;
    token.mappedSize = uint32_t(bytes);
    token.kind = kind;
    token.ownerProcessId = GetCurrentProcessId();
    return token;
}

HRESULT VxTest_ReadFrame(IVxReadVideoStream* stream, std::vector<uint8_t>* pixels, VXFRAMEINFO* frame)
{
    uint32_t flags = 0;
    uint32_t bytes = 0;
    VX_RETURN_IF_FAILED(stream->GetFrameBufferSize(0, 0, &flags, &bytes));
    VXFRAMEINFO record = {};
    VX_RETURN_IF_FAILED(stream->GetFrameFormat(0, 0, &flags, &record));
    pixels->assign(bytes, 0xCD);
    uint32_t delivered = 0;
    const HRESULT hr = stream->GetFrame(0, 0, &flags, VxTest_LocalToken(pixels->data(), int32_t(bytes)),
                                        &record, &delivered);
    if (frame)
        *frame = record;
    if (SUCCEEDED(hr) && delivered != bytes)
        return E_UNEXPECTED;
    return hr;
}
