// The EXIF reader on arbitrary bytes: as TIFF data (the block after "Exif\0\0") and as a JPEG
// file whose segments lead to it. Every item it adds must be a whole summary record whose text
// ends in a terminator. The text items it read are then written back into a small JPEG file
// (in /dev/shm, where flushing costs nothing) and read again.
#include "formats/jpeg/ExifMetaDataHelper.h"
#include "support/VxList.h"

#include "platform/VxStr.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void CheckItems(tVXLIST* list)
{
    for (int32_t i = 0; i < VxList_GetCount(list); ++i) {
        const auto* record = static_cast<const VXSUMMARYRECORD*>(VxList_GetItem(list, i));
        const size_t size = VxList_AllocSize(list, i);
        if (!record || size < sizeof(VXSUMMARYRECORD) + record->dataBytes || record->dataBytes < 2)
            std::abort();
        const auto* text = reinterpret_cast<const uint8_t*>(record + 1);
        if (text[record->dataBytes - 1] != 0 || text[record->dataBytes - 2] != 0)
            std::abort();
    }
}

// Keeps the text items only (the writer refuses the Flash item, whose data is text but whose
// type is SHORT), writes them into a file holding FF D8 FF D9 and reads the file back.
void WriteBack(tVXLIST* list)
{
    for (int32_t i = VxList_GetCount(list); i-- > 0;)
        if ((static_cast<const VXSUMMARYRECORD*>(VxList_GetItem(list, i))->fieldCode & 0xF) != 2)
            VxList_DeleteList(list, i, 1, FALSE);
    if (VxList_GetCount(list) == 0)
        return;
    static const std::string path = "/dev/shm/vxexiffuzz-" + std::to_string(getpid()) + ".jpg";
    static const std::u16string widePath = VxStr_FromUtf8(path);
    std::ofstream(path, std::ios::binary | std::ios::trunc).write("\xFF\xD8\xFF\xD9", 4);
    CVxExifMetaDataHelper helper;
    const HRESULT written = helper.UpdateExifTagsFromSummaryList(widePath.c_str(), list);
    if (written != S_OK && written != E_FAIL)  // E_FAIL: more than one segment holds
        std::abort();
    tVXLIST* again = nullptr;
    if (SUCCEEDED(VxList_CreateExZ(&again, 4, -1, -1, kVxListHeap))) {
        const HRESULT read = helper.AddExifTagsToSummaryListFromJpeg(widePath.c_str(), again);
        if (written == S_OK && FAILED(read) && read != E_FAIL)  // E_FAIL: only Copyright, in the EXIF IFD
            std::abort();
        CheckItems(again);
        VxList_Destroy(again);
    }
    unlink(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly sized copies: any read beyond the input is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    for (bool asJpeg : {false, true}) {
        tVXLIST* list = nullptr;
        if (FAILED(VxList_CreateExZ(&list, 4, -1, -1, kVxListHeap)))
            return 0;
        CVxExifMetaDataHelper helper;
        if (asJpeg)
            helper.AddExifTagsToSummaryListFromJpegData(bytes.data(), bytes.size(), list);
        else
            helper.AddExifTagsToSummaryListFromTiffData(bytes.data(), bytes.size(), list);
        CheckItems(list);
        WriteBack(list);
        VxList_Destroy(list);
    }
    return 0;
}
