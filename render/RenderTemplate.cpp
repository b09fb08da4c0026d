// Render templates: copied on creation, described by the empty text.
#include "RenderTemplate.h"

#include "../platform/VxOwners.h"

#include <cstring>

HRESULT VxFio_SetTemplate(VXTEMPLATExV2** field, const VXTEMPLATExV2* source, uint32_t flags)
{
    if (!field)
        return E_POINTER;
    if (flags != kVxTemplateCopy)
        return E_NOTIMPL;
    VXTEMPLATExV2* copy = nullptr;
    if (source) {
        if (source->size < sizeof(VXTEMPLATExV2) || source->size > kVxTemplateMaxBytes)
            return E_INVALIDARG;
        copy = static_cast<VXTEMPLATExV2*>(VxGlobal_Alloc(source->size));
        if (!copy)
            return E_OUTOFMEMORY;
        std::memcpy(copy, source, source->size);
    }
    VxFio_FreeTemplate(field);
    *field = copy;
    return S_OK;
}

void VxFio_FreeTemplate(VXTEMPLATExV2** field)
{
    if (field && *field) {
        VxGlobal_Free(*field);
        *field = nullptr;
    }
}

HRESULT VxFio_GetTemplateInfo(const VXTEMPLATExV2*, uint32_t, char16_t* text, uint32_t textChars,
                              int32_t)
{
    if (textChars == 0)
        return S_FALSE;
    if (!text)
        return E_POINTER;
    text[0] = u'\0';
    return S_FALSE;
}
