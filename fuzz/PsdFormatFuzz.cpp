// PSD parsing and decoding on arbitrary bytes: the document's structure, the merged image into
// a frame of exactly the size its format asks, and every layer (the first few of a long list)
// into a canvas-size frame. Frames above a few megabytes are only parsed, to keep runs fast.
#include "formats/psd/PsdFormat.h"
#include "framework/VideoFormat.h"

#include <vector>

namespace {

constexpr uint64_t kFuzzMaxFrameBytes = 16u << 20;
constexpr uint32_t kFuzzMaxLayers = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VxPsdMemory memory{data, size};
    const VxPsdSource source = VxPsd_MemorySource(&memory);
    CVxPsdDocument document;
    if (FAILED(VxPsd_Parse(source, &document)))
        return 0;
    VxPsdFrameFormat format;
    VXBITMAPINFO info = {};
    uint32_t bytes = 0;
    if (SUCCEEDED(VxPsd_ChooseFormat(document, &format)) && document.header.width <= 0x7FFFFFFF &&
        document.header.height <= 0x7FFFFFFF &&
        SUCCEEDED(VxVideo_InitBitmapInfo(&info, format.pixelType, int32_t(document.header.width),
                                         int32_t(document.header.height), info.colors, 256, &bytes)) &&
        bytes <= kFuzzMaxFrameBytes) {
        RGBQUAD palette[256];
        VxPsd_ReadPalette(source, document, palette);
        std::vector<uint8_t> frame(bytes);
        VxPsd_DecodeImage(source, document, format, frame.data(), bytes);
    }
    const uint64_t layerBytes = uint64_t(document.header.width) * document.header.height * 8;
    if (layerBytes <= kFuzzMaxFrameBytes) {
        std::vector<uint8_t> layer(size_t(layerBytes) + 1);
        for (uint32_t i = 1; i <= document.layerCount && i <= kFuzzMaxLayers; ++i)
            VxPsd_DecodeLayer(source, document, i, layer.data(), uint32_t(layer.size()));
    }
    return 0;
}
