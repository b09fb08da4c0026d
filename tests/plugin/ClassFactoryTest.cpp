#include "ModuleCopy.h"
#include "plugin/ClassFactory.h"

#include <gtest/gtest.h>

namespace {

int g_liveFakes = 0;  // fakes constructed and not yet destroyed

#define VX_FAKE(signature) \
    HRESULT VXAPI signature override { return E_NOTIMPL; }

// A reader class object whose InitClass answers what the test chose.
class CFakeReadFileClass : public CVxComObject<CVxReadFileClassBase> {
public:
    explicit CFakeReadFileClass(HRESULT initResult) : m_initResult(initResult) { ++g_liveFakes; }
    ~CFakeReadFileClass() override { --g_liveFakes; }
    HRESULT InitClass() override { return m_initResult; }
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override
    {
        return VxQueryInterface<IVxReadFileClass>(this, iid, out);
    }
    VX_FAKE(SetClassIndex(uint32_t))
    VX_FAKE(GetClassIndex(uint32_t*))
    VX_FAKE(SetFileIOManager(IUnknown*))
    VX_FAKE(GetFileIOManager(IUnknown**))
    VX_FAKE(GetClassID(GUID*))
    VX_FAKE(GetMediaTypes(uint32_t*))
    VX_FAKE(GetClassFlags(uint32_t*))
    VX_FAKE(GetRenderFileClass(IVxRenderFileClass**))
    VX_FAKE(GetInfoText(const uint32_t*, uint32_t, BSTR*))
    VX_FAKE(CheckFileHeader(HANDLE, const uint8_t*, uint32_t, uint32_t))
    VX_FAKE(CheckFile(const char16_t*))
    VX_FAKE(ReservedClass14(uint32_t))
    VX_FAKE(OpenReadFile(IVxReadFile**, uint32_t, uint32_t, const char16_t*, BOOL))
    VX_FAKE(QueryReady())
    VX_FAKE(ShowAbout(HWND))
    VX_FAKE(GetPluginStatus(HRESULT*, BSTR*))

private:
    HRESULT m_initResult;
};

// A renderer class object: like the real ones it starts with the creator's reference.
class CFakeRenderFileClass : public CVxComObject<IVxRenderFileClass> {
public:
    CFakeRenderFileClass()
    {
        m_refCount = 1;
        ++g_liveFakes;
    }
    ~CFakeRenderFileClass() override { --g_liveFakes; }
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override
    {
        return VxQueryInterface<IVxRenderFileClass>(this, iid, out);
    }
    VX_FAKE(SetClassIndex(uint32_t))
    VX_FAKE(GetClassIndex(uint32_t*))
    VX_FAKE(SetFileIOManager(IUnknown*))
    VX_FAKE(GetFileIOManager(IUnknown**))
    VX_FAKE(GetClassID(GUID*))
    VX_FAKE(GetMediaTypes(uint32_t*))
    VX_FAKE(GetClassFlags(uint32_t*))
    VX_FAKE(GetReadFileClass(IVxReadFileClass**))
    VX_FAKE(GetInfoText(const uint32_t*, uint32_t, BSTR*))
    VX_FAKE(ReservedRender12(uint32_t, uint32_t, uint32_t))
    VX_FAKE(CreateRenderFile(IVxRenderFile**, const char16_t*, uint32_t, uint32_t, const VXTEMPLATExV2*))
    VX_FAKE(ReservedRender14(uint32_t*))
    VX_FAKE(ReservedRender15(uint32_t, uint32_t))
    VX_FAKE(ReservedRender16(uint32_t, uint32_t*))
    VX_FAKE(ReservedRender17(uint32_t, uint32_t, uint32_t*))
    VX_FAKE(ReservedRender18(uint32_t*, uint32_t, uint32_t))
    VX_FAKE(GetTemplateData(void**, uint32_t, uint32_t, int32_t))
    VX_FAKE(GetTemplateInfo(const VXTEMPLATExV2*, char16_t*, uint32_t, int32_t))
    VX_FAKE(GetRenderLimits(uint32_t*, uint32_t*, uint32_t*))
    VX_FAKE(ReservedRender22(uint32_t, uint32_t*))
    VX_FAKE(ReservedRender23(uint32_t))
    VX_FAKE(ReservedRender24())
    VX_FAKE(ShowAbout(HWND))
    VX_FAKE(GetPluginStatus(HRESULT*, BSTR*))
};

CVxReadFileClassBase* CreateReader() { return new CFakeReadFileClass(S_OK); }
CVxReadFileClassBase* CreateFailingReader() { return new CFakeReadFileClass(VXE_NOT_FOUND); }
CVxReadFileClassBase* CreateNoReader() { return nullptr; }
IVxRenderFileClass* CreateRenderer() { return new CFakeRenderFileClass; }
IVxRenderFileClass* CreateNoRenderer() { return nullptr; }

struct VxFormatIds {
    const GUID* plugin;
    const GUID* reader;
    const GUID* renderer;
};

const VxFormatIds kFormats[] = {
    {&CLSID_VxJpegPlugin, &CLSID_VxJpegReader, &CLSID_VxJpegRenderer},
    {&CLSID_VxDibPlugin, &CLSID_VxDibReader, &CLSID_VxDibRenderer},
    {&CLSID_VxTgaPlugin, &CLSID_VxTgaReader, &CLSID_VxTgaRenderer},
    {&CLSID_VxPngPlugin, &CLSID_VxPngReader, &CLSID_VxPngRenderer},
    {&CLSID_VxPsdPlugin, &CLSID_VxPsdReader, &CLSID_VxPsdRenderer},
    {&CLSID_VxExrPlugin, &CLSID_VxExrReader, &CLSID_VxExrRenderer},
};

CVxComPtr<IClassFactory> FactoryFor(REFCLSID clsid)
{
    CVxComPtr<IClassFactory> factory;
    const HRESULT hr = DllGetClassObject(clsid, IID_IClassFactory, factory.OutVoid());
    EXPECT_EQ(hr, S_OK) << VxTest_Describe(hr);
    return factory;
}

TEST(ClassFactory, HandsOutAReaderWithTheCallersReferenceOnly)
{
    void* out = nullptr;
    ASSERT_EQ(VxClassRow_CreateInstance({&CLSID_VxJpegPlugin, CreateReader, nullptr}, IID_IVxReadFileClass, &out), S_OK);
    auto* reader = static_cast<IVxReadFileClass*>(out);
    EXPECT_EQ(VxTest_RefCount(reader), 1u);
    EXPECT_EQ(reader->Release(), 0u);
    EXPECT_EQ(g_liveFakes, 0);
}

TEST(ClassFactory, DestroysAReaderWhoseInitialisationFails)
{
    void* out = &out;
    EXPECT_EQ(VxClassRow_CreateInstance({&CLSID_VxJpegPlugin, CreateFailingReader, nullptr}, IID_IVxReadFileClass, &out),
              VXE_NOT_FOUND);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_liveFakes, 0);
}

TEST(ClassFactory, ReleasesTheRendererCreatorsReference)
{
    void* out = nullptr;
    ASSERT_EQ(VxClassRow_CreateInstance({&CLSID_VxJpegPlugin, nullptr, CreateRenderer}, IID_IVxRenderFileClass, &out), S_OK);
    auto* renderer = static_cast<IVxRenderFileClass*>(out);
    EXPECT_EQ(VxTest_RefCount(renderer), 1u);
    EXPECT_EQ(renderer->Release(), 0u);
    EXPECT_EQ(g_liveFakes, 0);
}

TEST(ClassFactory, AnswersOutOfMemoryWhenACreatorMakesNothing)
{
    const VxClassRow row = {&CLSID_VxJpegPlugin, CreateNoReader, CreateNoRenderer};
    void* out = &out;
    EXPECT_EQ(VxClassRow_CreateInstance(row, IID_IVxReadFileClass, &out), E_OUTOFMEMORY);
    EXPECT_EQ(VxClassRow_CreateInstance(row, IID_IVxRenderFileClass, &out), E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
}

TEST(ClassFactory, AnswersNoInterfaceForAClassNotBuiltInOrAnotherInterface)
{
    void* out = nullptr;
    const VxClassRow missing = {&CLSID_VxJpegPlugin, nullptr, nullptr};
    EXPECT_EQ(VxClassRow_CreateInstance(missing, IID_IVxReadFileClass, &out), E_NOINTERFACE);
    EXPECT_EQ(VxClassRow_CreateInstance(missing, IID_IVxRenderFileClass, &out), E_NOINTERFACE);
    const VxClassRow present = {&CLSID_VxJpegPlugin, CreateReader, CreateRenderer};
    EXPECT_EQ(VxClassRow_CreateInstance(present, IID_IUnknown, &out), E_NOINTERFACE);
    EXPECT_EQ(VxClassRow_CreateInstance(present, IID_IVxUnsharedFIOPluginInfo, &out), E_NOINTERFACE);
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
}

TEST(ClassFactory, MakesNothingForAnUnknownClsid)
{
    const GUID unknownClsid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    CVxComPtr<IClassFactory> factory = FactoryFor(unknownClsid);
    ASSERT_TRUE(factory);
    for (const GUID* iid : {&IID_IVxReadFileClass, &IID_IVxRenderFileClass, &IID_IUnknown,
                            &IID_IVxUnsharedFIOPluginInfo}) {
        void* out = &out;
        EXPECT_EQ(factory->CreateInstance(nullptr, *iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IVxReadFileClass, nullptr), E_POINTER);
}

// Readers and renderers come with one reference and their format's class IDs, or answer
// E_NOINTERFACE while the format's classes are not built into the module.
TEST(ClassFactory, MakesOnlyTheFormatsOwnClassObjects)
{
    for (const VxFormatIds& format : kFormats) {
        CVxComPtr<IClassFactory> factory = FactoryFor(*format.plugin);
        ASSERT_TRUE(factory);
        void* out = &out;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &out), E_NOINTERFACE);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IVxUnsharedFIOPluginInfo, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);

        CVxComPtr<IVxReadFileClass> reader;
        HRESULT hr = factory->CreateInstance(nullptr, IID_IVxReadFileClass, reader.OutVoid());
        if (hr == S_OK) {
            EXPECT_EQ(VxTest_RefCount(reader.Get()), 1u);
            GUID classId = {};
            EXPECT_EQ(reader->GetClassID(&classId), S_OK);
            EXPECT_TRUE(classId == *format.reader);
        } else {
            EXPECT_EQ(hr, E_NOINTERFACE) << VxTest_Describe(hr);
        }

        CVxComPtr<IVxRenderFileClass> renderer;
        hr = factory->CreateInstance(nullptr, IID_IVxRenderFileClass, renderer.OutVoid());
        if (hr == S_OK) {
            EXPECT_EQ(VxTest_RefCount(renderer.Get()), 1u);
            GUID classId = {};
            EXPECT_EQ(renderer->GetClassID(&classId), S_OK);
            EXPECT_TRUE(classId == *format.renderer);
        } else {
            EXPECT_EQ(hr, E_NOINTERFACE) << VxTest_Describe(hr);
        }
    }
}

TEST(ClassFactory, MakesThePluginInformationObject)
{
    CVxComPtr<IClassFactory> factory = FactoryFor(CLSID_VxPluginInfo);
    ASSERT_TRUE(factory);
    CVxComPtr<IUnknown> unknown;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.OutVoid()), S_OK);
    EXPECT_EQ(VxTest_RefCount(unknown.Get()), 1u);
    CVxComPtr<IVxUnsharedFIOPluginInfo> info;
    EXPECT_EQ(unknown->QueryInterface(IID_IVxUnsharedFIOPluginInfo, info.OutVoid()), S_OK);

    void* out = &out;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IVxReadFileClass, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST(ClassFactory, CountsServerLocks)
{
    CVxComPtr<IClassFactory> factory = FactoryFor(CLSID_VxPluginInfo);
    ASSERT_TRUE(factory);
    const int32_t before = CClassFactory::LockCount();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(2), S_OK);  // any non-zero value locks
    EXPECT_EQ(CClassFactory::LockCount(), before + 2);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(CClassFactory::LockCount(), before);
}

}  // namespace
