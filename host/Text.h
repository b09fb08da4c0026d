// Text helpers of the host: UTF-8 <-> UTF-16 for the strings it exchanges with the module,
// and the printed forms of GUIDs, four-character codes and result codes.
#pragma once

#include "../plugin/contracts/VxTypes.h"

#include <string>
#include <string_view>

// Invalid sequences (and lone surrogates) become U+FFFD, so the output is always well formed.
std::u16string VxHost_ToUtf16(std::string_view utf8);
std::string VxHost_ToUtf8(std::u16string_view utf16);
// The text of a terminated UTF-16 buffer of capacity chars (cut at the capacity when the
// terminator is missing).
std::string VxHost_BufferToUtf8(const char16_t* buffer, size_t capacity);

// {3EBDD682-EEBB-11D3-A570-00AA006BA2BA}
std::string VxHost_GuidText(const GUID& guid);
// "VXDB" when all four bytes are printable ASCII, else "0x%08X"; the bitmap compression codes
// 0 to 3 by their names (BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS).
std::string VxHost_CompressionText(uint32_t compression);
std::string VxHost_FourCCText(uint32_t code);
// "0x8004E008"
std::string VxHost_HexText(uint32_t value);
