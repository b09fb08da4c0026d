#include "fuzz/FuzzReader.h"

#include "platform/VxStr.h"
#include "platform/VxWin32.h"
#include "plugin/contracts/VxResults.h"
#include "plugin/ClassTable.h"
#include "plugin/contracts/VxComPtr.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

FuzzFile::FuzzFile(const char* tag)
{
    std::string pattern = std::string("/tmp/vx") + tag + "fuzz-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0)
        close(fd);
    path = pattern;
    widePath = VxStr_FromUtf8(path);
}

void FuzzFile::Write(const uint8_t* data, size_t size) const
{
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t written = write(fd, data, size);
    close(fd);
}

void FuzzReadThroughClass(CVxReadFileClassBase* created, const uint8_t* data, size_t size,
                          const FuzzReadSteps& steps)
{
    static const FuzzFile file(steps.tag);
    CVxComPtr<IVxReadFileClass> fileClass;
    if (created)
        created->QueryInterface(IID_IVxReadFileClass, fileClass.OutVoid());
    if (!fileClass)
        return;
    if (steps.openWhateverHeaderSays) {
        file.Write(data, size);
        const int handle = open(file.path.c_str(), O_RDONLY);
        fileClass->CheckFileHeader(reinterpret_cast<HANDLE>(intptr_t(handle)), data, uint32_t(size), 0);
        if (handle >= 0)
            close(handle);
    } else {
        if (fileClass->CheckFileHeader(nullptr, data, uint32_t(size), 0) != S_OK)
            return;
        file.Write(data, size);
    }
    CVxComPtr<IVxReadFile> opened;
    if (FAILED(fileClass->OpenReadFile(&opened, 0, 0, file.widePath.c_str(), 1)))
        return;
    if (steps.descriptions) {
        char16_t text[64];
        opened->GetDescription(text, 64, 0, 1);
        opened->GetDescription(text, 64, 0, 2);
    }
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
    if (steps.metadata) {
        CVxComPtr<IVxReadMeta> meta;
        if (SUCCEEDED(opened->GetReadMeta(&meta)) && meta) {
            char16_t text[64];
            meta->GetSummaryText(0x650010F2, text, 64);  // Make
        }
    }
    opened->Close();
}
