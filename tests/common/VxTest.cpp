#include "VxTest.h"

#include "platform/VxStr.h"
#include "platform/VxWin32.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
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
    else  // Path would name files at the file system's root
        ADD_FAILURE() << "no temporary folder could be made from " << pattern;
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

CVxTestTimeZone::CVxTestTimeZone(const char* zone)
{
    const char* old = std::getenv("TZ");
    m_hadOld = old != nullptr;
    m_old = old ? old : "";
    setenv("TZ", zone, 1);
    tzset();
}

CVxTestTimeZone::~CVxTestTimeZone()
{
    m_hadOld ? setenv("TZ", m_old.c_str(), 1) : unsetenv("TZ");
    tzset();
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

std::vector<uint8_t> VxTest_ReadPngRgba(const std::string& path, uint32_t* width, uint32_t* height)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr))
        return {};
    if (width)
        *width = image.width;
    if (height)
        *height = image.height;
    return rgba;
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

HRESULT VxTest_ReadFrame(IVxReadVideoStream* stream, std::vector<uint8_t>* pixels, VXFRAMEINFO* frame,
                         uint32_t number)
{
    uint32_t flags = 0;
    uint32_t bytes = 0;
    VX_RETURN_IF_FAILED(stream->GetFrameBufferSize(0, 0, &flags, &bytes));
    VXFRAMEINFO format = {};
    VX_RETURN_IF_FAILED(stream->GetFrameFormat(0, 0, &flags, &format));
    pixels->assign(bytes, 0xCD);
    uint32_t delivered = 0;
    VXFRAMEINFO record = {};
    const HRESULT hr = stream->GetFrame(number, 0, &flags, VxTest_LocalToken(pixels->data(), int32_t(bytes)),
                                        &record, &delivered);
    if (frame)
        *frame = record;
    format.frameTime = record.frameTime;  // -1 before the frame is read, its time after
    if (hr == S_OK && (delivered != bytes || std::memcmp(&record, &format, sizeof record) != 0))
        return E_UNEXPECTED;
    return hr;
}

CVxComPtr<IVxReadVideoStream> VxTest_VideoStream(IVxReadFile* file, int32_t index)
{
    CVxComPtr<IVxReadStream> stream;
    CVxComPtr<IVxReadVideoStream> video;
    if (file && SUCCEEDED(file->GetStream(&stream, -1, index, 0, 0)))
        stream.As(video);
    return video;
}

std::string CVxTestOpenFile::Text(uint32_t kind) const
{
    char16_t text[64] = {};
    file->GetDescription(text, 64, 0, kind);
    return VxStr_ToUtf8(text);
}
