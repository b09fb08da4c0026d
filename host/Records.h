// Printed and JSON forms of the records the module hands the host: bitmap headers, video
// extensions and frame records.
#pragma once

#include "../plugin/contracts/VxRecords.h"
#include "Json.h"

#include <string>

// "640 x 480, 32 bits, VXDB, image 1228800 bytes, planes 1, colours used 0"
std::string VxHost_HeaderText(const BITMAPINFOHEADER& header);
// "frame rate 0, pixel aspect 1, interlace -1, flags 0x00000000"
std::string VxHost_ExtensionText(const tVXVIDEOEXTENSION& extension);

void VxHost_WriteHeaderJson(CVxHostJson& json, const BITMAPINFOHEADER& header);
void VxHost_WriteExtensionJson(CVxHostJson& json, const tVXVIDEOEXTENSION& extension);
// Frame time, scale, image bytes, extension, header, stride and bottom-row offset.
void VxHost_WriteFrameJson(CVxHostJson& json, const VXFRAMEINFO& frame);
