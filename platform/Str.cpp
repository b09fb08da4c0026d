// UTF-16 text helpers.
#include "VxStr.h"

#include "Unicode.h"

size_t VxStr_Length(const char16_t* text)
{
    size_t length = 0;
    if (text)
        while (text[length] != 0)
            ++length;
    return length;
}

size_t VxStr_CopyTruncated(char16_t* buf, int64_t capacity, const char16_t* text)
{
    if (!buf || capacity < 1)
        return 0;
    size_t copied = 0;
    if (text)
        for (; int64_t(copied) < capacity - 1 && text[copied] != 0; ++copied)
            buf[copied] = text[copied];
    buf[copied] = 0;
    return copied;
}

std::u16string VxStr_FromUtf8(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    char16_t units[2];
    bool valid = true;
    for (size_t pos = 0; pos < text.size();)
        wide.append(units, VxUtf16_Encode(VxUtf8_Decode(bytes, text.size(), &pos, &valid), units));
    return wide;
}

std::string VxStr_ToUtf8(std::u16string_view text)
{
    std::string narrow;
    narrow.reserve(text.size());
    uint8_t bytes[4];
    bool valid = true;
    for (size_t pos = 0; pos < text.size();) {
        const size_t count = VxUtf8_Encode(VxUtf16_Decode(text.data(), text.size(), &pos, &valid), bytes);
        narrow.append(reinterpret_cast<const char*>(bytes), count);
    }
    return narrow;
}

// A null path has no name: the answer is an empty text rather than null, so callers can
// copy it without a check.
const char16_t* VxStr_FileNamePart(const char16_t* path)
{
    if (!path)
        return u"";
    const char16_t* name = path;
    for (const char16_t* p = path; *p != 0; ++p)
        if (*p == u'/' || *p == u'\\')
            name = p + 1;
    return name;
}
