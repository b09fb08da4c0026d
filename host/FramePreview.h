// Turns a delivered frame into pictures for a person: PNG (8-bit RGBA, or 16-bit RGBA for deep
// frames) and PFM (floating-point frames), top row first, honouring the frame record's stride
// sign and bottom-row offset.
#pragma once

#include "../plugin/contracts/VxRecords.h"

#include <cstddef>
#include <string>
#include <vector>

// Top-row-first RGBA pixels: 8-bit samples, or 16-bit samples when deep.
struct VxHostRgbaImage {
    uint32_t width = 0;
    uint32_t height = 0;
    bool deep = false;
    std::vector<uint8_t> samples8;    // 4 × width × height when not deep
    std::vector<uint16_t> samples16;  // 4 × width × height when deep
};

// Converts the frame described by record (its header, stride and bottom-row offset) from the
// delivered bytes. Every row must lie inside the bytes. Frames of 24 and 32 bits (BGR, BGRA),
// grey of 1 to 16 bits, 16-bit 5-5-5 and 64-bit BGRA give RGBA; floating-point frames (128-bit
// BGRA, 32-bit grey) are clamped to 0..1 into 16-bit samples. False with a message for a frame
// it cannot show.
bool VxHost_FrameToRgba(const VXFRAMEINFO& record, const uint8_t* bytes, size_t byteCount,
                        VxHostRgbaImage& image, std::string& error);

bool VxHost_WritePng(const std::string& path, const VxHostRgbaImage& image, std::string& error);

// A portable float map of a floating-point frame: colour ("PF", red, green, blue; alpha is
// dropped) for 128-bit frames, grey ("Pf") for 32-bit grey; little-endian, bottom row first as
// the format wants.
bool VxHost_WritePfm(const std::string& path, const VXFRAMEINFO& record, const uint8_t* bytes,
                     size_t byteCount, std::string& error);

// An OpenEXR file of a floating-point frame, written with the OpenEXR library: R, G, B, A
// float channels (Y for 32-bit grey), ZIP compression, top row first.
bool VxHost_WriteExr(const std::string& path, const VXFRAMEINFO& record, const uint8_t* bytes,
                     size_t byteCount, std::string& error);

// Tone-maps a floating-point frame in place for an 8- or 16-bit preview: linear light becomes
// sRGB-encoded, and when the brightest pixel's luminance is above 1.0 highlights roll off with
// the extended Reinhard curve whose white is that luminance (a frame within 0 to 1 only gets the
// sRGB curve). Alpha is left as it is. Other frames are left unchanged.
bool VxHost_ToneMapFloatFrame(const VXFRAMEINFO& record, uint8_t* bytes, size_t byteCount,
                              std::string& error);

// Whether a frame record describes floating-point samples (128-bit BGRA or 32-bit grey).
bool VxHost_IsFloatFrame(const BITMAPINFOHEADER& header);
