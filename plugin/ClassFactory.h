// The class factory DllGetClassObject hands out: one per plug-in CLSID the host asks for.
#pragma once

#include "ClassTable.h"
#include "ComObject.h"

class CClassFactory : public CVxComObject<IClassFactory> {
public:
    explicit CClassFactory(REFCLSID clsid) : m_clsid(clsid) {}

    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;
    HRESULT VXAPI CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT VXAPI LockServer(BOOL lock) override;

    // The sum of LockServer's locks and unlocks so far. The module never unloads on request,
    // so nothing but this count reads it.
    static int32_t LockCount();

private:
    const CLSID m_clsid;  // the plug-in CLSID given to DllGetClassObject, not checked there
};

// Makes the reader (IVxReadFileClass) or renderer (IVxRenderFileClass) class object of one
// row into out; any other iid, or a creator the row does not have, answers E_NOINTERFACE.
HRESULT VxClassRow_CreateInstance(const VxClassRow& row, REFIID iid, void** out);
