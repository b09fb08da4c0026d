// Scalar types, GUIDs, result-code helpers and calling convention shared by the module
// and its hosts. Fixed widths: the module keeps the 32-bit Windows layout of every record.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VXAPI __stdcall
#else
#define VXAPI
#endif

#if defined(_WIN32)
#define VX_EXPORT __declspec(dllexport)
#else
#define VX_EXPORT __attribute__((visibility("default")))
#endif

using HRESULT = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using WCHAR = char16_t;
using BSTR = char16_t*;
using HANDLE = void*;
using HWND = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using HGLOBAL = void*;
using DATE = double;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

constexpr bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)

#define VX_RETURN_IF_FAILED(expr)      \
    do {                               \
        const HRESULT hr_ = (expr);    \
        if (FAILED(hr_))               \
            return hr_;                \
    } while (0)

// A file or mapping handle that crosses the boundary is a POSIX descriptor cast to a pointer.
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(intptr_t(-1)))
