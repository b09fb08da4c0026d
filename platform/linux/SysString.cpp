// Automation strings: a 32-bit byte length, then the UTF-16 text and a terminator, in one
// heap block. The host frees them through SysFreeString, so module and host agree on the
// allocator.
#include "../VxFault.h"
#include "../VxWin32.h"

#include <cstdlib>
#include <cstring>

namespace {

// The byte length must fit the 32-bit prefix.
constexpr UINT kMaxChars = 0x7FFFFFFEu;

uint32_t* PrefixOf(BSTR text)
{
    return reinterpret_cast<uint32_t*>(text) - 1;
}

}  // namespace

extern "C" BSTR SysAllocString(const char16_t* text)
{
    if (!text)
        return nullptr;
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    if (length > kMaxChars)
        return nullptr;
    return SysAllocStringLen(text, UINT(length));
}

// Null text gives chars zero characters. The text may hold terminators of its own; they
// are copied like any character.
extern "C" BSTR SysAllocStringLen(const char16_t* text, UINT chars)
{
    if (chars > kMaxChars)
        return nullptr;
    const size_t bytes = size_t(chars) * sizeof(char16_t);
    if (VxFault_AllocationFails())
        return nullptr;
    auto* block = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(char16_t)));
    if (!block)
        return nullptr;
    block[0] = uint32_t(bytes);
    auto* string = reinterpret_cast<char16_t*>(block + 1);
    if (text)
        std::memcpy(string, text, bytes);
    else
        std::memset(string, 0, bytes);
    string[chars] = 0;
    return string;
}

extern "C" UINT SysStringLen(BSTR text)
{
    return text ? *PrefixOf(text) / sizeof(char16_t) : 0;
}

extern "C" void SysFreeString(BSTR text)
{
    if (text)
        std::free(PrefixOf(text));
}
