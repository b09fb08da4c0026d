// The six formats' renderer classes and their creators for the class factory.
#include "../framework/ReadFileClass.h"
#include "../plugin/ClassTable.h"
#include "StillRenderFileClass.h"

namespace {

// About box string resources: the format names.
constexpr uint32_t kStringDib = 438;  // "Windows Bitmap"
constexpr uint32_t kStringJpg = 423;  // "Joint Picture Experts Group"
constexpr uint32_t kStringPng = 427;  // "Portable Network Graphic"
constexpr uint32_t kStringPsd = 433;  // "Photoshop"
constexpr uint32_t kStringExr = 453;  // "OpenEXR"
constexpr uint32_t kStringTga = 414;  // "TARGA"

template <class Class>
IVxRenderFileClass* VxRender_Create()
{
    return new Class;  // null when memory is out
}

}  // namespace

CVxDibRenderFileClass::CVxDibRenderFileClass()
    : CVxStillRenderFileClass({CLSID_VxDibRenderer, CLSID_VxDibReader}) {}
HRESULT VXAPI CVxDibRenderFileClass::ShowAbout(HWND) { return VxStill_ShowAboutBox(kStringDib); }

CVxJpgRenderFileClass::CVxJpgRenderFileClass()
    : CVxStillRenderFileClass({CLSID_VxJpegRenderer, CLSID_VxJpegReader}) {}
HRESULT VXAPI CVxJpgRenderFileClass::ShowAbout(HWND) { return VxStill_ShowAboutBox(kStringJpg); }

CVxPngRenderFileClass::CVxPngRenderFileClass()
    : CVxStillRenderFileClass({CLSID_VxPngRenderer, CLSID_VxPngReader}) {}
HRESULT VXAPI CVxPngRenderFileClass::ShowAbout(HWND) { return VxStill_ShowAboutBox(kStringPng); }

CVxPsdRenderFileClass::CVxPsdRenderFileClass()
    : CVxStillRenderFileClass({CLSID_VxPsdRenderer, CLSID_VxPsdReader}) {}
HRESULT VXAPI CVxPsdRenderFileClass::ShowAbout(HWND) { return VxStill_ShowAboutBox(kStringPsd); }

CVxExrRenderFileClass::CVxExrRenderFileClass()
    : CVxStillRenderFileClass({CLSID_VxExrRenderer, CLSID_VxExrReader}) {}
HRESULT VXAPI CVxExrRenderFileClass::ShowAbout(HWND) { return VxStill_ShowAboutBox(kStringExr); }

CVxTgaRenderFileClass::CVxTgaRenderFileClass()
    : CVxStillRenderFileClass({CLSID_VxTgaRenderer, CLSID_VxTgaReader}) {}
HRESULT VXAPI CVxTgaRenderFileClass::ShowAbout(HWND) { return VxStill_ShowAboutBox(kStringTga); }

IVxRenderFileClass* VxDib_CreateRenderFileClass() { return VxRender_Create<CVxDibRenderFileClass>(); }
IVxRenderFileClass* VxJpg_CreateRenderFileClass() { return VxRender_Create<CVxJpgRenderFileClass>(); }
IVxRenderFileClass* VxPng_CreateRenderFileClass() { return VxRender_Create<CVxPngRenderFileClass>(); }
IVxRenderFileClass* VxPsd_CreateRenderFileClass() { return VxRender_Create<CVxPsdRenderFileClass>(); }
IVxRenderFileClass* VxExr_CreateRenderFileClass() { return VxRender_Create<CVxExrRenderFileClass>(); }
IVxRenderFileClass* VxTga_CreateRenderFileClass() { return VxRender_Create<CVxTgaRenderFileClass>(); }
