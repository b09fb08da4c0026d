// The EXIF reader on arbitrary bytes: as TIFF data (the block after "Exif\0\0") and as a JPEG
// file whose segments lead to it. Every item it adds must be a whole summary record whose text
// ends in a terminator.
#include "formats/jpeg/ExifMetaDataHelper.h"
#include "support/VxList.h"

#include <cstdlib>
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
        VxList_Destroy(list);
    }
    return 0;
}
