// MultiByteToWideChar and WideCharToMultiByte for the ANSI code page (Windows-1252 on every
// system, so files read the same everywhere) and UTF-8, with the Win32 length conventions:
// a length of -1 means "terminated, terminator included"; an output size of 0 asks for the
// size needed; an output too small fails with ERROR_INSUFFICIENT_BUFFER and writes nothing.
#include "../VxWin32.h"

#include "../Unicode.h"

#include <climits>
#include <cstring>

namespace {

constexpr UINT kCodePage1252 = 1252;

// Bytes 0x80..0x9F; the five bytes that Windows-1252 leaves undefined map to the C1 control
// with the same number and back, as on Windows, so every byte survives a round trip.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsAnsi(UINT codePage)
{
    return codePage == CP_ACP || codePage == kCodePage1252;
}

char16_t Cp1252ToWide(uint8_t byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : char16_t(byte);
}

// The byte for a code point, or -1 when Windows-1252 has none.
int WideToCp1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c)
            return 0x80 + i;
    return -1;
}

int Fail(DWORD error)
{
    SetLastError(error);
    return 0;
}

// Converts into out, or only counts when out is null. Returns the units produced and
// clears *valid when an input sequence had no valid meaning.
size_t DecodeText(UINT codePage, const uint8_t* text, size_t size, char16_t* out, bool* valid)
{
    *valid = true;
    if (IsAnsi(codePage)) {
        if (out)
            for (size_t i = 0; i < size; ++i)
                out[i] = Cp1252ToWide(text[i]);
        return size;
    }
    size_t count = 0;
    for (size_t pos = 0; pos < size;) {
        bool ok = true;
        const char32_t c = VxUtf8_Decode(text, size, &pos, &ok);
        *valid = *valid && ok;
        count += out ? VxUtf16_Encode(c, out + count) : VxUtf16_Units(c);
    }
    return count;
}

// As DecodeText the other way; *usedDefault tells whether the default byte stood in.
size_t EncodeText(UINT codePage, const char16_t* wide, size_t size, char* out, char defaultByte,
                  bool* valid, bool* usedDefault)
{
    *valid = true;
    *usedDefault = false;
    size_t count = 0;
    for (size_t pos = 0; pos < size;) {
        bool ok = true;
        const char32_t c = VxUtf16_Decode(wide, size, &pos, &ok);
        *valid = *valid && ok;
        if (IsAnsi(codePage)) {
            // A surrogate pair is one character and becomes one default byte.
            int byte = ok ? WideToCp1252(c) : -1;
            if (byte < 0) {
                byte = uint8_t(defaultByte);
                *usedDefault = true;
            }
            if (out)
                out[count] = char(byte);
            ++count;
        } else {
            count += out ? VxUtf8_Encode(c, reinterpret_cast<uint8_t*>(out) + count) : VxUtf8_Units(c);
        }
    }
    return count;
}

size_t WideLength(const char16_t* text)
{
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

}  // namespace

extern "C" int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                                   char16_t* wide, int wideChars)
{
    if (!IsAnsi(codePage) && codePage != CP_UTF8)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!text || bytes == 0 || bytes < -1 || wideChars < 0 || (!wide && wideChars > 0))
        return Fail(ERROR_INVALID_PARAMETER);
    // Precomposed is what Windows-1252 gives anyway; decomposing and glyph forms are not offered.
    const DWORD allowed = IsAnsi(codePage) ? MB_PRECOMPOSED | MB_ERR_INVALID_CHARS : MB_ERR_INVALID_CHARS;
    if ((flags & ~allowed) != 0)
        return Fail(ERROR_INVALID_FLAGS);

    const size_t size = bytes == -1 ? std::strlen(text) + 1 : size_t(bytes);
    const auto* input = reinterpret_cast<const uint8_t*>(text);
    bool valid = true;
    const size_t needed = DecodeText(codePage, input, size, nullptr, &valid);
    if (!valid && (flags & MB_ERR_INVALID_CHARS))
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (needed > size_t(INT_MAX))
        return Fail(ERROR_ARITHMETIC_OVERFLOW);
    if (wideChars == 0)
        return int(needed);
    if (needed > size_t(wideChars))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    return int(DecodeText(codePage, input, size, wide, &valid));
}

extern "C" int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide, int wideChars,
                                   char* text, int bytes, const char* defaultChar, BOOL* usedDefault)
{
    if (!IsAnsi(codePage) && codePage != CP_UTF8)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!wide || wideChars == 0 || wideChars < -1 || bytes < 0 || (!text && bytes > 0))
        return Fail(ERROR_INVALID_PARAMETER);
    // UTF-8 encodes every character, so it takes no default character (as on Windows).
    if (codePage == CP_UTF8 && (defaultChar || usedDefault))
        return Fail(ERROR_INVALID_PARAMETER);
    // No best-fit mapping is ever made, so WC_NO_BEST_FIT_CHARS changes nothing.
    const DWORD allowed = IsAnsi(codePage) ? WC_NO_BEST_FIT_CHARS : WC_ERR_INVALID_CHARS;
    if ((flags & ~allowed) != 0)
        return Fail(ERROR_INVALID_FLAGS);

    const size_t size = wideChars == -1 ? WideLength(wide) + 1 : size_t(wideChars);
    const char defaultByte = defaultChar ? defaultChar[0] : '?';
    bool valid = true, defaulted = false;
    const size_t needed = EncodeText(codePage, wide, size, nullptr, defaultByte, &valid, &defaulted);
    if (usedDefault)
        *usedDefault = defaulted ? TRUE : FALSE;
    if (!valid && (flags & WC_ERR_INVALID_CHARS))
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (needed > size_t(INT_MAX))
        return Fail(ERROR_ARITHMETIC_OVERFLOW);
    if (bytes == 0)
        return int(needed);
    if (needed > size_t(bytes))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    return int(EncodeText(codePage, wide, size, text, defaultByte, &valid, &defaulted));
}
