// Widens palette, 16-bit and grey bitmaps to 32 bits per pixel while they are delivered.
#pragma once

#include "../plugin/contracts/VxRecords.h"
#include "../plugin/contracts/VxResults.h"

// Converts source rows into destination rows of 4 × width bytes (B, G, R, fourth byte), row r
// to row r, keeping the source's orientation. The destination header must have 32 bits per
// pixel and the source's width and height; the source is a header and its colour table.
// E_INVALIDARG: null argument, size mismatch, a source the chosen path cannot take;
// E_FAIL: unknown compression, a mask without bits, a palette index beyond the table.
HRESULT ConvertDibTo32(void* destination, const BITMAPINFOHEADER* destinationHeader,
                       const void* source, const VXBITMAPINFO* sourceInfo);
