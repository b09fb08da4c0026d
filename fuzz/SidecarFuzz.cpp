// Sidecar reading: the bytes become the sidecar beside a media file ("m.jpg"), which is then
// recognised, looked up and read the way a metadata object reads it.
// libFuzzer: -max_len=20000 (past the reader's 4 KiB window, so refills and large reads happen)
#include "platform/VxOwners.h"
#include "platform/VxStr.h"
#include "support/Sidecar.h"
#include "support/VxList.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace {

struct FuzzFolder {
    std::string media;
    std::string sidecar;
    std::u16string wideMedia;
    std::u16string wideSidecar;
    FuzzFolder()
    {
        char pattern[] = "/tmp/vxsidecarfuzz-XXXXXX";
        const char* dir = mkdtemp(pattern);
        media = std::string(dir ? dir : "/tmp") + "/m.jpg";
        sidecar = media + ".vxl";
        wideMedia = VxStr_FromUtf8(media);
        wideSidecar = VxStr_FromUtf8(sidecar);
    }
};

void ReadThrough(HANDLE file)
{
    tVXLIST* summary = nullptr;
    tVXLIST* items = nullptr;
    tVXLIST* properties = nullptr;
    VxList_CreateExZ(&summary, 4, -1, -1, kVxListThreadSafe | kVxListHeap);
    VxList_CreateExZ(&items, 4, -1, -1, kVxListHeap);
    VxList_CreateExZ(&properties, 4, -1, -1, kVxListThreadSafe | kVxListHeap);
    VxFMMeta_fillSummaryFromFileEx(file, summary, items);
    VXMEDIAMGRINFO info = {};
    uint32_t found = 0;
    MediaMgrRiff_LoadPropertyInfo(file, &info, properties, &found);
    VxList_Destroy(summary);
    VxList_Destroy(items);
    VxList_Destroy(properties);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FuzzFolder folder;
    const int fd = open(folder.sidecar.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return 0;
    const bool written = write(fd, data, size) == ssize_t(size);
    close(fd);
    if (!written)
        return 0;

    VxFMMeta_IsMetaFile(folder.wideMedia.c_str(), folder.wideSidecar.c_str());
    HANDLE found = INVALID_HANDLE_VALUE;
    if (SUCCEEDED(VxFMMeta_OpenMetaFile(folder.wideMedia.c_str(), &found))) {
        CVxHandle sidecar(found);
        ReadThrough(sidecar.Get());
    }
    // The readers also take sidecars whose identity names another file.
    CVxHandle direct(CreateFileW(folder.wideSidecar.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (direct)
        ReadThrough(direct.Get());
    return 0;
}
