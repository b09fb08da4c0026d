// JPEG decoding on arbitrary bytes, both ways in: the format's own entry on the byte buffer,
// and the reader as a host drives it (the bytes in a file, the class object's CheckFileHeader
// and OpenReadFile, GetFrame of the stream into host memory of exactly the size the stream
// asked for, then the metadata object, which reads the file's EXIF block). Frames above a few
// megabytes are only parsed, not decoded, to keep runs fast; the size checks run on every input.
#include "formats/jpeg/JpegFormat.h"
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
        char pattern[] = "/tmp/vxjpegfuzz-XXXXXX";
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

void ReadThroughTheClass(const uint8_t* data, size_t size)
{
    static const FuzzFile file;
    CVxComPtr<IVxReadFileClass> fileClass;
    if (CVxReadFileClassBase* made = VxJpg_CreateReadFileClass())
        made->QueryInterface(IID_IVxReadFileClass, fileClass.OutVoid());
    if (!fileClass || fileClass->CheckFileHeader(nullptr, data, uint32_t(size), 0) != S_OK)
        return;
    file.Write(data, size);
    CVxComPtr<IVxReadFile> opened;
    if (FAILED(fileClass->OpenReadFile(&opened, 0, 0, file.widePath.c_str(), 1)))
        return;
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
    CVxComPtr<IVxReadMeta> meta;
    if (SUCCEEDED(opened->GetReadMeta(&meta)) && meta) {
        char16_t text[64];
        meta->GetSummaryText(0x650010F2, text, 64);  // Make
    }
    opened->Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VxJpegImage image;
    CVxGlobalBlock frame;
    VxJpeg_DecodeBytes(data, size, kFuzzMaxFrameBytes, &image, &frame);
    ReadThroughTheClass(data, size);
    return 0;
}
