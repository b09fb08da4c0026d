// The host's own image encoders: vxhost convert writes its output with them, since the module
// reads images but encodes none. Each takes a top-row-first RGBA picture.
#pragma once

#include "FramePreview.h"

#include "../plugin/contracts/VxTypes.h"

#include <string>

using VxHostEncode = bool (*)(const std::string& path, const VxHostRgbaImage& image,
                              std::string& error);

struct VxHostEncoder {
    const char* name;        // "PNG"
    const char* extensions;  // ".png": lower case, separated by spaces
    const GUID* plugin;      // the plug-in whose render file writes this format's metadata
    VxHostEncode encode;
};

// The encoder for a file name's extension (any case); null when the host has none.
const VxHostEncoder* VxHost_EncoderFor(const std::string& path);
// "png, bmp, dib, ..." for messages.
std::string VxHost_EncoderExtensions();

// 24-bit bitmap, or 32-bit blue-green-red-alpha when any pixel is not opaque; bottom-up rows.
bool VxHost_WriteBmp(const std::string& path, const VxHostRgbaImage& image, std::string& error);
// Uncompressed true-colour TARGA: 24 bits, or 32 with 8 alpha bits; bottom-up rows.
bool VxHost_WriteTga(const std::string& path, const VxHostRgbaImage& image, std::string& error);
// Baseline JPEG of the colour channels at quality 92 (alpha is dropped) through libjpeg.
bool VxHost_WriteJpeg(const std::string& path, const VxHostRgbaImage& image, std::string& error);
