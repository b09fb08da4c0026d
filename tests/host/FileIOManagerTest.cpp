#include "host/FileIOManager.h"
#include "host/System.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

namespace {

// The manager over the built module, loaded as vxhost loads it.
class FileIOManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_module.Load(VxTest_BuildDir() + "/" + VxHostSystem_ModuleFileName(), error)) << error;
        const char* method = nullptr;
        const HRESULT hr = m_manager.LoadPlugins(method);
        ASSERT_EQ(hr, S_OK) << method << " " << VxTest_Describe(hr);
    }

    CVxHostModule m_module;
    CVxHostFileIOManager m_manager{m_module, kVxLangPolish};
};

TEST_F(FileIOManager, ReportsTheHostLanguageAndNothingItNeverImplements)
{
    IVxFileIOManager* manager = &m_manager;
    uint32_t language = kVxLangEnglish;
    EXPECT_EQ(manager->GetLanguage(&language, 0), S_OK);
    EXPECT_EQ(language, kVxLangPolish);
    EXPECT_EQ(manager->GetLanguage(nullptr, 0), E_POINTER);
    EXPECT_EQ(manager->HostReserved4(), E_NOTIMPL);
    EXPECT_EQ(manager->HostReserved13(), E_NOTIMPL);
    void* out = &out;
    EXPECT_EQ(manager->QueryInterface(IID_IVxReadFileClass, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(manager->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<IUnknown*>(manager));
    manager->Release();
}

TEST_F(FileIOManager, FindsClassObjectsByTheirClassIdsOnly)
{
    ASSERT_GE(m_manager.Plugins().size(), 5u);
    for (const VxHostPlugin& plugin : m_manager.Plugins()) {
        if (!plugin.reader)
            continue;
        CVxComPtr<IVxReadFileClass> found;
        const HRESULT hr = m_manager.GetReadFileClass(&found, &plugin.readerClassId);
        ASSERT_EQ(hr, S_OK) << plugin.name << " " << VxTest_Describe(hr);
        EXPECT_EQ(found.Get(), plugin.reader.Get());  // the host's one class object, add-referenced
        // The class object was handed the manager and took its language.
        CVxComPtr<IUnknown> manager;
        ASSERT_EQ(plugin.reader->GetFileIOManager(&manager), S_OK);
        EXPECT_EQ(manager.Get(), static_cast<IUnknown*>(&m_manager));
        const uint32_t openText = 6;
        BSTR text = nullptr;
        ASSERT_EQ(plugin.reader->GetInfoText(&openText, 1, &text), S_OK);
        EXPECT_EQ(std::u16string(text).rfind(u"Otwórz ", 0), 0u) << plugin.name;
        m_module.FreeString(text);
    }
    // Unknown class ids are not found.
    CVxComPtr<IVxReadFileClass> reader;
    EXPECT_EQ(m_manager.GetReadFileClass(&reader, &CLSID_VxPngPlugin), VXE_NOT_FOUND);  // a plug-in, not a class
    EXPECT_FALSE(reader);
    CVxComPtr<IVxRenderFileClass> renderer;
    EXPECT_EQ(m_manager.GetRenderFileClass(&renderer, &CLSID_VxPngReader), VXE_NOT_FOUND);
    EXPECT_EQ(m_manager.GetRenderFileClass(nullptr, &CLSID_VxPngRenderer), E_POINTER);
    EXPECT_EQ(m_manager.GetReadFileClass(&reader, nullptr), E_INVALIDARG);
}

}  // namespace
