// The description of one still image held by an open file and by each of its streams.
#pragma once

#include "../plugin/contracts/VxRecords.h"
#include "../plugin/contracts/VxResults.h"

class CVxStillReadVideoStream;

// Filled by a format's ReadImageInfo hook. Starts as an empty still: frame rate 0.0, pixel
// aspect 1.0, one frame, interlace -1, no compression text ("Uncompressed" is shown then).
class CVxStillFileInfo {
public:
    CVxStillFileInfo();
    CVxStillFileInfo(const CVxStillFileInfo&) = delete;
    CVxStillFileInfo& operator=(const CVxStillFileInfo&) = delete;
    virtual ~CVxStillFileInfo() = default;

    // Copies another description: the header and exactly its colour table (biClrUsed entries,
    // or the three masks for BI_BITFIELDS; the rest of the table is cleared), the extension,
    // sizes, rates, counts, compression text and layer value.
    // Colour counts above 256 are refused with E_INVALIDARG: the colour table holds 256.
    HRESULT CopyFrom(const CVxStillFileInfo& other);

    VXBITMAPINFO m_bitmapInfo = {};
    tVXVIDEOEXTENSION m_extension = {};
    uint32_t m_imageBytes = 0;         // bytes DecodeImage writes: the frame buffer size
    uint64_t m_length = 0;
    double m_frameRate = 0.0;
    double m_pixelAspect = 1.0;
    uint64_t m_frameCount = 1;
    char16_t m_compression[260] = {};  // GetDescription kind 1
    uint16_t m_layerValue = 0;         // set by the layered reader, carried along
};

// The description of one stream: the image's plus the stream's type (always video) and number.
class CVxStillFileStreamInfo : public CVxStillFileInfo {
public:
    HRESULT CopyFrom(const CVxStillFileStreamInfo& other);
    using CVxStillFileInfo::CopyFrom;

    uint32_t m_streamType = 2;
    uint32_t m_streamNumber = 0;
};

// One element of an open file's stream table: the stream's description and its object, which
// the element owns (destroying the element destroys the stream and its mutex).
struct CVxStillFileStreamData {
    CVxStillFileStreamData() = default;
    CVxStillFileStreamData(const CVxStillFileStreamData&) = delete;
    CVxStillFileStreamData& operator=(const CVxStillFileStreamData&) = delete;
    ~CVxStillFileStreamData();

    CVxStillFileStreamInfo m_info;
    CVxStillReadVideoStream* m_stream = nullptr;
};
