// TARGA decoding on arbitrary bytes, both ways in: the format over the byte buffer, and the
// reader as a host drives it (the bytes in a file, the class object's CheckFileHeader, then
// OpenReadFile whatever that said, as vxhost does for files it opens by their extension, and
// GetFrame into host memory of exactly the size the stream asked for). Frames above a few
// megabytes are only parsed, not decoded.
#include "formats/tga/TgaFormat.h"
#include "platform/VxOwners.h"
#include "platform/VxStr.h"
#include "plugin/ClassTable.h"
#include "plugin/contracts/VxComPtr.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t kFuzzMaxFrameBytes = 16u << 20;

struct FuzzFile {
    std::string path;
    std::u16string widePath;
    FuzzFile()
    {
        char pattern[] = "/tmp/vxtgafuzz-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0)
            close(fd);
        path = pattern;
        widePath = VxStr_FromUtf8(path);
    }
    void Write(const uint8_t* data, size_t size) const
    {
        const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
        if (fd < 0)
            return;
        [[maybe_unused]] const ssize_t written = write(fd, data, size);
        close(fd);
    }
};

void DecodeBytes(const uint8_t* data, size_t size)
{
    VxTgaHeader header;
    if (FAILED(VxTga_ParseHeader(data, size, &header)) || FAILED(VxTga_CheckHeader(header)) ||
        VxTga_FrameBytes(header) > kFuzzMaxFrameBytes)
        return;
    std::vector<uint8_t> frame(VxTga_FrameBytes(header));
    int32_t stride = 0;
    VxTga_DecodeImage(data, size, frame.data(), frame.size(), &stride);
}

void ReadThroughTheClass(const uint8_t* data, size_t size)
{
    static const FuzzFile file;
    CVxComPtr<IVxReadFileClass> fileClass;
    if (CVxReadFileClassBase* made = VxTga_CreateReadFileClass())
        made->QueryInterface(IID_IVxReadFileClass, fileClass.OutVoid());
    if (!fileClass)
        return;
    file.Write(data, size);
    const int handle = open(file.path.c_str(), O_RDONLY);
    fileClass->CheckFileHeader(reinterpret_cast<HANDLE>(intptr_t(handle)), data, uint32_t(size), 0);
    if (handle >= 0)
        close(handle);
    CVxComPtr<IVxReadFile> opened;
    if (FAILED(fileClass->OpenReadFile(&opened, 0, 0, file.widePath.c_str(), 1)))
        return;
    char16_t text[64];
    opened->GetDescription(text, 64, 0, 1);
    opened->GetDescription(text, 64, 0, 2);
    CVxComPtr<IVxReadStream> stream;
    CVxComPtr<IVxReadVideoStream> video;
    uint32_t flags = 0;
    uint32_t bytes = 0;
    VXFRAMEINFO frame = {};
    if (SUCCEEDED(opened->GetStream(&stream, -1, 0, 0, 0)) && SUCCEEDED(stream.As(video)) &&
        SUCCEEDED(video->GetFrameBufferSize(0, 0, &flags, &bytes)) && bytes <= kFuzzMaxFrameBytes &&
        SUCCEEDED(video->GetFrameFormat(0, 0, &flags, &frame))) {
        std::vector<uint8_t> pixels(bytes);
        _vxmemorytoken token = {};
        token.baseAddress = reinterpret_cast<uint64_t>(pixels.data());
        token.dataSize = int32_t(bytes);
        token.mappedSize = bytes;
        token.kind = kVxTokenKindMemory;
        token.ownerProcessId = GetCurrentProcessId();
        uint32_t delivered = 0;
        video->GetFrame(0, 0, &flags, token, &frame, &delivered);
    }
    opened->Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeBytes(data, size);
    ReadThroughTheClass(data, size);
    return 0;
}
