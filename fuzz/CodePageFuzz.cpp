// MultiByteToWideChar and WideCharToMultiByte on arbitrary input, both ways and both code
// pages, with output sizes of 0 (measure), exact, one short and generous. Checks that the
// measured size is what a conversion writes, that a too-small buffer fails without writing
// past its end, and that Windows-1252 bytes survive the round trip unchanged.
#include "platform/VxWin32.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Converts with every interesting output size; returns the exact conversion.
std::vector<char16_t> ToWide(UINT codePage, const char* text, int bytes)
{
    const int needed = MultiByteToWideChar(codePage, 0, text, bytes, nullptr, 0);
    Check(needed >= 0);
    if (needed == 0)
        return {};
    // One guard unit past the end catches a write beyond the given size.
    std::vector<char16_t> wide(size_t(needed) + 8, u'\xBEEF');
    if (needed > 1) {
        Check(MultiByteToWideChar(codePage, 0, text, bytes, wide.data(), needed - 1) == 0);
        Check(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
        Check(wide[size_t(needed) - 1] == u'\xBEEF');
    }
    Check(MultiByteToWideChar(codePage, 0, text, bytes, wide.data(), needed + 8) == needed);
    Check(MultiByteToWideChar(codePage, 0, text, bytes, wide.data(), needed) == needed);
    Check(wide[size_t(needed)] == u'\xBEEF');
    wide.resize(size_t(needed));
    return wide;
}

std::vector<char> ToNarrow(UINT codePage, const char16_t* wide, int chars, bool* usedDefault)
{
    BOOL defaulted = FALSE;
    BOOL* flag = codePage == CP_UTF8 ? nullptr : &defaulted;
    const int needed = WideCharToMultiByte(codePage, 0, wide, chars, nullptr, 0, nullptr, flag);
    Check(needed >= 0);
    if (needed == 0)
        return {};
    std::vector<char> text(size_t(needed) + 8, '\x5A');
    if (needed > 1) {
        Check(WideCharToMultiByte(codePage, 0, wide, chars, text.data(), needed - 1, nullptr, flag) == 0);
        Check(text[size_t(needed) - 1] == '\x5A');
    }
    Check(WideCharToMultiByte(codePage, 0, wide, chars, text.data(), needed, nullptr, flag) == needed);
    Check(text[size_t(needed)] == '\x5A');
    text.resize(size_t(needed));
    *usedDefault = defaulted != FALSE;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1 << 16))
        return 0;
    const auto* text = reinterpret_cast<const char*>(data);
    const int bytes = int(size);

    // Bytes to text and back: Windows-1252 is one unit per byte and loses nothing.
    const std::vector<char16_t> ansi = ToWide(CP_ACP, text, bytes);
    Check(ansi.size() == size);
    bool usedDefault = true;
    const std::vector<char> back = ToNarrow(CP_ACP, ansi.data(), int(ansi.size()), &usedDefault);
    Check(!usedDefault);
    Check(back.size() == size && std::memcmp(back.data(), data, size) == 0);

    // UTF-8: decoding what was encoded from a decode gives the same text again.
    const std::vector<char16_t> utf16 = ToWide(CP_UTF8, text, bytes);
    Check(!utf16.empty() && utf16.size() <= size);
    const std::vector<char> utf8 = ToNarrow(CP_UTF8, utf16.data(), int(utf16.size()), &usedDefault);
    Check(ToWide(CP_UTF8, utf8.data(), int(utf8.size())) == utf16);

    // The bytes read as UTF-16 units (lone surrogates included), to both code pages.
    std::vector<char16_t> units(size / 2 + 1, 0);
    std::memcpy(units.data(), data, size / 2 * 2);
    if (size >= 2) {
        const std::vector<char> narrow = ToNarrow(CP_ACP, units.data(), int(size / 2), &usedDefault);
        Check(narrow.size() <= size / 2);
        ToNarrow(CP_UTF8, units.data(), int(size / 2), &usedDefault);
    }
    // Terminated form: the count includes the terminator.
    const int measured = WideCharToMultiByte(CP_ACP, 0, units.data(), -1, nullptr, 0, nullptr, nullptr);
    Check(measured >= 1);
    std::vector<char> terminated = ToNarrow(CP_ACP, units.data(), -1, &usedDefault);
    Check(int(terminated.size()) == measured && terminated.back() == '\0');
    return 0;
}
