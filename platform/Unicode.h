// Code point decoding and encoding shared by the text conversions. Invalid input is reported,
// never read past: a UTF-8 decode consumes the maximal invalid subpart, so each bad sequence
// becomes exactly one replacement character.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr char32_t kVxReplacementChar = 0xFFFD;

// Decodes the code point at text[*pos], advancing *pos past it (at least one unit). An invalid
// sequence (overlong, surrogate, above U+10FFFF, cut short) sets *valid to false and returns
// kVxReplacementChar.
char32_t VxUtf8_Decode(const uint8_t* text, size_t size, size_t* pos, bool* valid);
char32_t VxUtf16_Decode(const char16_t* text, size_t size, size_t* pos, bool* valid);

// Units needed for a code point, and its encoding (out holds at least 4 bytes / 2 units).
size_t VxUtf8_Units(char32_t c);
size_t VxUtf8_Encode(char32_t c, uint8_t* out);
size_t VxUtf16_Units(char32_t c);
size_t VxUtf16_Encode(char32_t c, char16_t* out);
