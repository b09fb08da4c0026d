// The module's string table (ids 109 to 456) in eight languages, selected by LCID.
#pragma once

#include "contracts/VxTypes.h"

struct VXLANG;

// Opens the module's string resources as a language handle, English selected.
HRESULT VxLang_Open(VXLANG** language, HINSTANCE module, uint32_t reserved1, uint32_t reserved2);
void VxLang_Close(VXLANG* language);
// Selects the language of later lookups; an LCID without a table falls back to English.
HRESULT VxLang_UpdateKernelLCID(VXLANG* language, uint32_t lcid, uint32_t reserved);
// The LCID currently selected (1033 for a null handle).
uint32_t VxLang_GetLCID(const VXLANG* language);
// The text of a string id in the selected language: "" for an unknown id or a null handle.
// The pointer stays valid for the life of the module.
const char16_t* VxLang_LoadString(const VXLANG* language, uint32_t id);
