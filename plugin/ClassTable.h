// The class objects the class factory can make: one row per plug-in CLSID with the creators of
// its reader and renderer class objects.
//
// A format joins the factory in two steps: define its creators (declared below, so a format
// includes this header and defines them in its own folder), then name them in its row in
// ClassTable.cpp in place of nullptr. A row whose creator is still null answers E_NOINTERFACE
// for that class, as for a class the module does not have.
#pragma once

#include "contracts/VxIdentifiers.h"

// Base of every reader class object the factory makes. The factory calls InitClass right after
// construction; when it fails, the factory destroys the object through its virtual destructor
// and answers the failure. Slot order after IVxReadFileClass: the destructor, then InitClass;
// a class that derives from this adds its own hooks after them (CVxStillReadFileClass:
// CreateReadFile). Derive as CVxComObject<CVxReadFileClassBase> to get the counting and the
// zero-filled allocation; QueryInterface answers IVxReadFileClass.
class CVxReadFileClassBase : public IVxReadFileClass {
public:
    virtual ~CVxReadFileClassBase() = default;
    virtual HRESULT InitClass() = 0;
};

// Allocates and constructs a reader class object with reference count 0 (the factory's
// QueryInterface gives the host the first reference); null when memory is out.
using VxReadFileClassCreator = CVxReadFileClassBase* (*)();
// Allocates and constructs a renderer class object holding one reference, the creator's: the
// factory hands the host its own reference through QueryInterface, then releases the
// creator's. Null when memory is out.
using VxRenderFileClassCreator = IVxRenderFileClass* (*)();

struct VxClassRow {
    const GUID* pluginClsid;
    VxReadFileClassCreator createReader;      // null: not built into the module
    VxRenderFileClassCreator createRenderer;  // null: not built into the module
};

// Formats built on the still framework, in the order the factory visits them.
extern const VxClassRow kVxClassTable[4];
// The bitmap and TARGA plug-ins, which have complete reader classes of their own; the factory
// asks for them by name after the table.
extern const VxClassRow kVxDibClasses;
extern const VxClassRow kVxTgaClasses;

// The creators, one pair per format, each defined in its format's folder.
CVxReadFileClassBase* VxJpg_CreateReadFileClass();
IVxRenderFileClass* VxJpg_CreateRenderFileClass();
CVxReadFileClassBase* VxPng_CreateReadFileClass();
IVxRenderFileClass* VxPng_CreateRenderFileClass();
CVxReadFileClassBase* VxExr_CreateReadFileClass();
IVxRenderFileClass* VxExr_CreateRenderFileClass();
CVxReadFileClassBase* VxLayeredPsd_CreateReadFileClass();
IVxRenderFileClass* VxPsd_CreateRenderFileClass();
CVxReadFileClassBase* VxDib_CreateReadFileClass();
IVxRenderFileClass* VxDib_CreateRenderFileClass();
CVxReadFileClassBase* VxTga_CreateReadFileClass();
IVxRenderFileClass* VxTga_CreateRenderFileClass();
