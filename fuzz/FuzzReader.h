// What the format fuzz targets share: a scratch file the reader opens by name, and the path a
// host takes through a reader's class object (CheckFileHeader, OpenReadFile, the video stream's
// GetFrame into host memory of exactly the size the stream asked for, and optionally the file's
// descriptions and metadata). Each target keeps its own entry on the format's byte buffer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

class CVxReadFileClassBase;

// Frames above this are only parsed, not decoded, to keep runs fast; the size checks themselves
// run on every input.
constexpr uint32_t kFuzzMaxFrameBytes = 16u << 20;

// A file in /tmp, made once per process, rewritten with each input.
struct FuzzFile {
    std::string path;
    std::u16string widePath;
    explicit FuzzFile(const char* tag);  // the file is /tmp/vx<tag>fuzz-XXXXXX
    void Write(const uint8_t* data, size_t size) const;
};

struct FuzzReadSteps {
    const char* tag;  // names the scratch file
    // false: CheckFileHeader on the bytes alone gates OpenReadFile. true: CheckFileHeader with an
    // open handle on the file, then OpenReadFile whatever it said, as vxhost does for files it
    // opens by their extension.
    bool openWhateverHeaderSays = false;
    bool descriptions = false;  // GetDescription of both kinds after opening
    bool metadata = false;      // the metadata object's summary text after the frame
};

// Drives the class object made by `created` (a reader's creator; null is allowed) over the bytes.
void FuzzReadThroughClass(CVxReadFileClassBase* created, const uint8_t* data, size_t size,
                          const FuzzReadSteps& steps);
