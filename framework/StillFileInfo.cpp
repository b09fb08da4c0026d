// Copying image descriptions between an open file and its streams.
#include "StillFileInfo.h"

#include "StillReadVideoStream.h"
#include "VideoFormat.h"

#include <cstring>

CVxStillFileInfo::CVxStillFileInfo()
{
    VxVideo_InitVideoExtension(&m_extension, 0.0, 1.0);
}

HRESULT CVxStillFileInfo::CopyFrom(const CVxStillFileInfo& other)
{
    if (this == &other)
        return S_OK;
    const BITMAPINFOHEADER& header = other.m_bitmapInfo.header;
    // Colour counts above 256 are refused: the colour table holds 256 entries.
    if (header.biCompression != BI_BITFIELDS && header.biClrUsed > 256)
        return E_INVALIDARG;
    const size_t tableBytes = header.biCompression == BI_BITFIELDS ? 12 : size_t(header.biClrUsed) * 4;
    std::memset(m_bitmapInfo.colors, 0, sizeof(m_bitmapInfo.colors));
    m_bitmapInfo.header = header;
    std::memcpy(m_bitmapInfo.colors, other.m_bitmapInfo.colors, tableBytes);
    m_extension = other.m_extension;
    m_imageBytes = other.m_imageBytes;
    m_length = other.m_length;
    m_frameRate = other.m_frameRate;
    m_pixelAspect = other.m_pixelAspect;
    m_frameCount = other.m_frameCount;
    std::memcpy(m_compression, other.m_compression, sizeof(m_compression));
    m_compression[259] = 0;
    m_layerValue = other.m_layerValue;
    return S_OK;
}

HRESULT CVxStillFileStreamInfo::CopyFrom(const CVxStillFileStreamInfo& other)
{
    VX_RETURN_IF_FAILED(CVxStillFileInfo::CopyFrom(other));
    m_streamType = other.m_streamType;
    m_streamNumber = other.m_streamNumber;
    return S_OK;
}

CVxStillFileStreamData::~CVxStillFileStreamData()
{
    delete m_stream;  // the stream closes its mutex handle in its destructor
}
