// The render template record a host hands CreateRenderFile, and the two library calls the
// renderer side makes on it. The module keeps a private copy of the record and reads nothing
// in it but its size word.
#pragma once

#include "../plugin/contracts/VxInterfaces.h"
#include "../plugin/contracts/VxResults.h"

// The record's layout beyond its first word belongs to the host. That word is the byte size
// of the whole record, itself included, so the record can be copied without knowing it.
struct VXTEMPLATExV2 {
    uint32_t size;
};

constexpr uint32_t kVxTemplateCopy = 0x20000;       // copy the record, replacing the field's
constexpr uint32_t kVxTemplateMaxBytes = 1u << 20;  // larger size words are taken as damage

// Sets *field from source. With kVxTemplateCopy the field gets a private zero-filled copy of
// source (size bytes) and the copy it held before is freed; a null source just frees it.
// Null field: E_POINTER; a size word below 4 or above kVxTemplateMaxBytes: E_INVALIDARG,
// the field unchanged; other flags: E_NOTIMPL; no memory: E_OUTOFMEMORY.
HRESULT VxFio_SetTemplate(VXTEMPLATExV2** field, const VXTEMPLATExV2* source, uint32_t flags);

// Frees a copy made by VxFio_SetTemplate and clears the field.
void VxFio_FreeTemplate(VXTEMPLATExV2** field);

// A text describing a template for the host's lists. The still renderers have no settings,
// so every template is described by the empty text: it is written (when there is room) and
// the answer is S_FALSE, "nothing to say". Null text with room: E_POINTER.
HRESULT VxFio_GetTemplateInfo(const VXTEMPLATExV2* tmpl, uint32_t flags, char16_t* text,
                              uint32_t textChars, int32_t kind);
