// UTF-16 text helpers: lengths, truncating copies, conversions to and from UTF-8 (paths,
// host output). Copies into caller buffers are cut to the capacity and always terminated.
#pragma once

#include "../plugin/contracts/VxTypes.h"

#include <string>
#include <string_view>

// Characters before the terminator; null counts as empty.
size_t VxStr_Length(const char16_t* text);

// Copies text into buf (capacity in characters, terminator included), cut to fit. A
// capacity below 1 writes nothing. Returns the characters copied, terminator excluded.
size_t VxStr_CopyTruncated(char16_t* buf, int64_t capacity, const char16_t* text);

// UTF-8 <-> UTF-16 (invalid sequences become U+FFFD).
std::u16string VxStr_FromUtf8(std::string_view text);
std::string VxStr_ToUtf8(std::u16string_view text);

// The name part of a path (after the last '/' or '\\').
const char16_t* VxStr_FileNamePart(const char16_t* path);
