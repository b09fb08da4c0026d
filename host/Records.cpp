// Printed and JSON forms of the module's records.
#include "Records.h"

#include "Text.h"

#include <cstdio>

std::string VxHost_HeaderText(const BITMAPINFOHEADER& h)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "%d x %d, %u bits, %s, image %u bytes, planes %u, colours used %u", int(h.biWidth),
                  int(h.biHeight), unsigned(h.biBitCount), VxHost_CompressionText(h.biCompression).c_str(),
                  unsigned(h.biSizeImage), unsigned(h.biPlanes), unsigned(h.biClrUsed));
    return text;
}

std::string VxHost_ExtensionText(const tVXVIDEOEXTENSION& e)
{
    char text[256];
    std::snprintf(text, sizeof text, "frame rate %g, pixel aspect %g, interlace %d, flags 0x%08X",
                  e.frameRate, e.pixelAspect, int(int32_t(e.interlaceType)), unsigned(e.flags));
    return text;
}

void VxHost_WriteHeaderJson(CVxHostJson& json, const BITMAPINFOHEADER& h)
{
    json.BeginObject();
    json.Field("size", h.biSize);
    json.Field("width", h.biWidth);
    json.Field("height", h.biHeight);
    json.Field("planes", uint32_t(h.biPlanes));
    json.Field("bitCount", uint32_t(h.biBitCount));
    json.Field("compression", h.biCompression);
    json.Field("compressionText", VxHost_CompressionText(h.biCompression));
    json.Field("sizeImage", h.biSizeImage);
    json.Field("xPelsPerMeter", h.biXPelsPerMeter);
    json.Field("yPelsPerMeter", h.biYPelsPerMeter);
    json.Field("clrUsed", h.biClrUsed);
    json.Field("clrImportant", h.biClrImportant);
    json.EndObject();
}

void VxHost_WriteExtensionJson(CVxHostJson& json, const tVXVIDEOEXTENSION& e)
{
    json.BeginObject();
    json.Field("size", e.size);
    json.Field("word1", e.word1);
    json.Field("word2", e.word2);
    json.Field("interlaceType", int32_t(e.interlaceType));
    json.Field("frameRate", e.frameRate);
    json.Field("pixelAspect", e.pixelAspect);
    json.Field("flags", e.flags);
    json.EndObject();
}

void VxHost_WriteFrameJson(CVxHostJson& json, const VXFRAMEINFO& frame)
{
    json.BeginObject();
    json.Field("frameTime", frame.frameTime);
    json.Field("scale", frame.scale);
    json.Field("imageBytes", frame.imageBytes);
    json.Key("extension");
    VxHost_WriteExtensionJson(json, frame.extension);
    json.Key("header");
    VxHost_WriteHeaderJson(json, frame.header);
    json.Field("stride", frame.stride);
    json.Field("bottomRowOffset", frame.bottomRowOffset);
    json.EndObject();
}
