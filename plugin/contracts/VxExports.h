// The module's exported C entry points, as a host resolves them with dlsym.
#pragma once

#include "VxIdentifiers.h"
#include "VxResults.h"

extern "C" {
using PFN_DllGetClassObject = HRESULT(VXAPI*)(REFCLSID clsid, REFIID iid, void** out);
using PFN_DllCanUnloadNow = HRESULT(VXAPI*)();
using PFN_DllInitClasses = HRESULT(VXAPI*)(uint32_t value);
using PFN_StillsBufferPool_Create = HRESULT(VXAPI*)(IUnknown* outer, REFIID iid, void** out);
using PFN_SysAllocString = BSTR(VXAPI*)(const char16_t* text);
using PFN_SysAllocStringLen = BSTR(VXAPI*)(const char16_t* text, uint32_t chars);
using PFN_SysStringLen = uint32_t(VXAPI*)(BSTR text);
using PFN_SysFreeString = void(VXAPI*)(BSTR text);
}
