#include "ModuleCopy.h"
#include "formats/png/PngReader.h"
#include "plugin/ClassFactory.h"

#include <gtest/gtest.h>

namespace {

int g_liveFakes = 0;  // fakes constructed and not yet destroyed

// A PNG reader class object whose InitClass answers what the test chose.
class CFakeReadFileClass : public CVxPngReadFileClass {
public:
    explicit CFakeReadFileClass(HRESULT initResult) : m_initResult(initResult) { ++g_liveFakes; }
    ~CFakeReadFileClass() override { --g_liveFakes; }
    HRESULT InitClass() override { return m_initResult; }

private:
    HRESULT m_initResult;
};

CVxReadFileClassBase* CreateReader() { return new CFakeReadFileClass(S_OK); }
CVxReadFileClassBase* CreateFailingReader() { return new CFakeReadFileClass(VXE_NOT_FOUND); }
CVxReadFileClassBase* CreateNoReader() { return nullptr; }
IVxRenderFileClass* CreateNoRenderer() { return nullptr; }

// A row hands out a reader with the caller's reference only; a reader whose initialisation
// fails is destroyed; a creator that makes nothing means out of memory; a class not built in,
// or another interface, means no interface.
TEST(ClassFactory, RowsMakeClassObjectsOrSayWhyNot)
{
    void* out = nullptr;
    ASSERT_EQ(VxClassRow_CreateInstance({&CLSID_VxJpegPlugin, CreateReader, nullptr}, IID_IVxReadFileClass, &out), S_OK);
    auto* reader = static_cast<IVxReadFileClass*>(out);
    EXPECT_EQ(VxTest_RefCount(reader), 1u);
    EXPECT_EQ(reader->Release(), 0u);

    const struct {
        VxClassRow row;
        const GUID& iid;
        HRESULT hr;
    } failures[] = {
        {{&CLSID_VxJpegPlugin, CreateFailingReader, nullptr}, IID_IVxReadFileClass, VXE_NOT_FOUND},
        {{&CLSID_VxJpegPlugin, CreateNoReader, CreateNoRenderer}, IID_IVxReadFileClass, E_OUTOFMEMORY},
        {{&CLSID_VxJpegPlugin, CreateNoReader, CreateNoRenderer}, IID_IVxRenderFileClass, E_OUTOFMEMORY},
        {{&CLSID_VxJpegPlugin, nullptr, nullptr}, IID_IVxReadFileClass, E_NOINTERFACE},
        {{&CLSID_VxJpegPlugin, nullptr, nullptr}, IID_IVxRenderFileClass, E_NOINTERFACE},
        {{&CLSID_VxJpegPlugin, CreateReader, nullptr}, IID_IUnknown, E_NOINTERFACE},
        {{&CLSID_VxJpegPlugin, CreateReader, nullptr}, IID_IVxUnsharedFIOPluginInfo, E_NOINTERFACE},
    };
    for (const auto& f : failures) {
        out = &out;
        EXPECT_EQ(VxClassRow_CreateInstance(f.row, f.iid, &out), f.hr) << VxTest_Describe(f.hr);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(g_liveFakes, 0);
}

TEST(ClassFactory, IsHandedOutForIUnknownAndIClassFactoryOnly)
{
    void* out = &out;
    EXPECT_EQ(DllGetClassObject(CLSID_VxJpegPlugin, IID_IVxReadFileClass, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_VxJpegPlugin, IID_IClassFactory, nullptr), E_POINTER);

    CVxComPtr<IUnknown> unknown;
    ASSERT_EQ(DllGetClassObject(CLSID_VxJpegPlugin, IID_IUnknown, unknown.OutVoid()), S_OK);
    EXPECT_EQ(VxTest_RefCount(unknown.Get()), 1u);
    CVxComPtr<IClassFactory> factory;
    ASSERT_EQ(unknown->QueryInterface(IID_IClassFactory, factory.OutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(factory.Get()), static_cast<void*>(unknown.Get()));
    EXPECT_EQ(factory->QueryInterface(IID_IVxReadFileClass, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IVxReadFileClass, nullptr), E_POINTER);

    // Server locks are counted (any non-zero value locks).
    const int32_t before = CClassFactory::LockCount();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(2), S_OK);
    EXPECT_EQ(CClassFactory::LockCount(), before + 2);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(CClassFactory::LockCount(), before);
}

// Each format's factory makes its reader and renderer, with one reference and the format's
// class ids, and nothing else; the information object's makes only that; an unknown class id's
// makes nothing.
TEST(ClassFactory, MakesOnlyItsOwnClassObjects)
{
    const GUID unknownClsid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    const struct {
        const GUID* plugin;
        const GUID* reader;    // null: no class object of this kind
        const GUID* renderer;
        bool info;
    } classes[] = {
        {&CLSID_VxJpegPlugin, &CLSID_VxJpegReader, &CLSID_VxJpegRenderer, false},
        {&CLSID_VxDibPlugin, &CLSID_VxDibReader, &CLSID_VxDibRenderer, false},
        {&CLSID_VxTgaPlugin, &CLSID_VxTgaReader, &CLSID_VxTgaRenderer, false},
        {&CLSID_VxPngPlugin, &CLSID_VxPngReader, &CLSID_VxPngRenderer, false},
        {&CLSID_VxPsdPlugin, &CLSID_VxPsdReader, &CLSID_VxPsdRenderer, false},
        {&CLSID_VxExrPlugin, &CLSID_VxExrReader, &CLSID_VxExrRenderer, false},
        {&CLSID_VxPluginInfo, nullptr, nullptr, true},
        {&unknownClsid, nullptr, nullptr, false},
    };
    for (const auto& c : classes) {
        CVxComPtr<IClassFactory> factory;
        ASSERT_EQ(DllGetClassObject(*c.plugin, IID_IClassFactory, factory.OutVoid()), S_OK);
        for (const GUID* iid : {&IID_IUnknown, &IID_IVxUnsharedFIOPluginInfo}) {
            CVxComPtr<IUnknown> object;
            EXPECT_EQ(factory->CreateInstance(nullptr, *iid, object.OutVoid()), c.info ? S_OK : E_NOINTERFACE);
            EXPECT_EQ(bool(object), c.info);
            if (object) {
                EXPECT_EQ(VxTest_RefCount(object.Get()), 1u);
            }
        }
        CVxComPtr<IVxReadFileClass> reader;
        HRESULT hr = factory->CreateInstance(nullptr, IID_IVxReadFileClass, reader.OutVoid());
        EXPECT_EQ(hr, c.reader ? S_OK : E_NOINTERFACE) << VxTest_Describe(hr);
        CVxComPtr<IVxRenderFileClass> renderer;
        hr = factory->CreateInstance(nullptr, IID_IVxRenderFileClass, renderer.OutVoid());
        EXPECT_EQ(hr, c.renderer ? S_OK : E_NOINTERFACE) << VxTest_Describe(hr);
        GUID classId = {};
        if (reader) {
            EXPECT_EQ(VxTest_RefCount(reader.Get()), 1u);
            EXPECT_EQ(reader->GetClassID(&classId), S_OK);
            EXPECT_TRUE(classId == *c.reader);
        }
        if (renderer) {
            EXPECT_EQ(VxTest_RefCount(renderer.Get()), 1u);  // the creator's reference was released
            EXPECT_EQ(renderer->GetClassID(&classId), S_OK);
            EXPECT_TRUE(classId == *c.renderer);
        }
    }
}

}  // namespace
