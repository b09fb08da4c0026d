// Writers of the benchmark files: every format the module reads, in its main variants.
// PNG and JPEG go through libpng and libjpeg, EXR through OpenEXR; TGA, BMP and PSD are
// written here.
#pragma once

#include "SyntheticImage.h"

#include <string>
#include <vector>

enum class VxBenchFormat { Png, Jpeg, Tga, Bmp, Psd, Exr };

const char* VxBench_FormatName(VxBenchFormat format);

struct VxBenchVariant {
    const char* name;        // file name without extension, e.g. "png-rgb8"
    const char* extension;   // ".png"
    VxBenchFormat format;
    const char* description;
    // Bytes per pixel of the frame the module delivers for this file (its rows are padded to
    // four bytes): what the lower bound copies.
    uint32_t frameBytesPerPixel;
    // Writes the file; false with a message on failure.
    bool (*write)(const VxBenchImage& image, const std::string& path, std::string& error);
    // A layered document: the stream of its top layer, which the "layer" contender decodes.
    uint32_t layerStream = 0;
};

// Every variant this build can write (EXR only with OpenEXR).
const std::vector<VxBenchVariant>& VxBench_Variants();
