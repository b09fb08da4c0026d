// The plug-in information object and the plug-in table it reads.
#include "PluginInfo.h"

#include "../platform/VxStr.h"
#include "ExrComponent.h"
#include "contracts/VxIdentifiers.h"

#include <iterator>

namespace {

struct VxPluginRow {
    const GUID* clsid;
    const char16_t* displayName;
    uint32_t kindFlags;   // handed to the host unchanged
    uint32_t mediaTypes;  // 2: video, the stream type of every still
    uint32_t extra;       // handed to the host unchanged
};

constexpr uint32_t kStillKindFlags = 0x30;
constexpr uint32_t kStillMediaTypes = 2;

constexpr VxPluginRow kPluginRows[] = {
    {&CLSID_VxJpegPlugin, u"Corvane Stills File Format (JPEG)", kStillKindFlags, kStillMediaTypes, 0},
    {&CLSID_VxDibPlugin, u"Corvane Stills File Format (DIB)", kStillKindFlags, kStillMediaTypes, 0},
    {&CLSID_VxTgaPlugin, u"Corvane Stills File Format (TARGA)", kStillKindFlags, kStillMediaTypes, 0},
    {&CLSID_VxPngPlugin, u"Corvane Stills File Format (PNG)", kStillKindFlags, kStillMediaTypes, 0},
    {&CLSID_VxPsdPlugin, u"Corvane Stills File Format (PSD)", kStillKindFlags, kStillMediaTypes, 0},
    {&CLSID_VxExrPlugin, u"Corvane Stills File Format (EXR)", kStillKindFlags, kStillMediaTypes, 0},
};

// The five-row table is the six-row table without its last row, the EXR plug-in's.
constexpr uint32_t kRowsWithoutExr = 5;
constexpr uint32_t kRowsWithExr = 6;
static_assert(std::size(kPluginRows) == kRowsWithExr);

// Chosen again on every request: the EXR row is there exactly while the component is loaded.
uint32_t CurrentRowCount()
{
    return VxExr_IsAvailable() ? kRowsWithExr : kRowsWithoutExr;
}

}  // namespace

HRESULT CVxUnsharedFIOPluginInfo::CreateInstance(REFIID iid, void** out)
{
    CVxUnsharedFIOPluginInfo* object = new CVxUnsharedFIOPluginInfo;
    if (!object)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(iid, out);
    if (FAILED(hr))
        delete object;  // count 0 and no component use taken: no Release is due
    return hr;
}

HRESULT VXAPI CVxUnsharedFIOPluginInfo::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxUnsharedFIOPluginInfo>(this, iid, out);
}

// A missing component is no failure here: the table then simply has no EXR row.
ULONG VXAPI CVxUnsharedFIOPluginInfo::AddRef()
{
    VxExr_Load();
    return ULONG(++m_refCount);
}

ULONG VXAPI CVxUnsharedFIOPluginInfo::Release()
{
    VxExr_Unload();
    const int32_t count = --m_refCount;
    if (count == 0)
        delete this;
    return ULONG(count);
}

HRESULT VXAPI CVxUnsharedFIOPluginInfo::Initialize(uint32_t, uint32_t, uint32_t)
{
    return S_OK;
}

HRESULT VXAPI CVxUnsharedFIOPluginInfo::GetPluginCount(uint32_t* count)
{
    if (!count)
        return E_INVALIDARG;
    *count = CurrentRowCount();
    return S_OK;
}

// The five words between mediaTypes and extra are not read.
HRESULT VXAPI CVxUnsharedFIOPluginInfo::GetPluginInfo(int32_t index, GUID* clsid, char16_t* name,
                                                      int32_t nameChars, uint32_t* kindFlags,
                                                      uint32_t* mediaTypes, uint32_t, uint32_t,
                                                      uint32_t, uint32_t, uint32_t, uint32_t* extra)
{
    uint32_t count = 0;  // GetPluginCount selects the table; were it to fail, no row is there
    GetPluginCount(&count);
    if (index < 0 || uint32_t(index) >= count)
        return E_INVALIDARG;

    const VxPluginRow& row = kPluginRows[index];
    if (clsid)
        *clsid = *row.clsid;
    if (name)
        VxStr_CopyTruncated(name, nameChars, row.displayName);
    if (kindFlags)
        *kindFlags = row.kindFlags;
    if (mediaTypes)
        *mediaTypes = row.mediaTypes;
    if (extra)
        *extra = row.extra;
    return S_OK;
}
