// The renderer class objects and the render file, called as the host calls them, and the
// sidecar a render file writes read back through the PNG reader's metadata object.
#include "platform/VxStr.h"
#include "plugin/ClassTable.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxIdentifiers.h"
#include "render/RenderTemplate.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PngWriter.h"
#include "tests/fixtures/SidecarWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

struct RendererRow {
    const GUID* plugin;
    const GUID* reader;
    const char* aboutName;
};

const RendererRow kRenderers[] = {
    {&CLSID_VxDibPlugin, &CLSID_VxDibReader, "Windows Bitmap"},
    {&CLSID_VxJpegPlugin, &CLSID_VxJpegReader, "Joint Picture Experts Group"},
    {&CLSID_VxPngPlugin, &CLSID_VxPngReader, "Portable Network Graphic"},
    {&CLSID_VxPsdPlugin, &CLSID_VxPsdReader, "Photoshop"},
    {&CLSID_VxExrPlugin, &CLSID_VxExrReader, "OpenEXR"},
    {&CLSID_VxTgaPlugin, &CLSID_VxTgaReader, "TARGA"},
};

TEST(RenderFileClass, EveryFormatAsksForItsReaderAndShowsItsAboutBox)
{
    for (const RendererRow& row : kRenderers) {
        SCOPED_TRACE(row.aboutName);
        CVxComPtr<IVxRenderFileClass> renderer = VxTest_ClassObject<IVxRenderFileClass>(*row.plugin);
        ASSERT_TRUE(renderer);
        EXPECT_EQ(renderer->GetReadFileClass(nullptr), E_NOINTERFACE);
        CVxTestManager manager;
        EXPECT_EQ(renderer->SetFileIOManager(&manager), S_OK);
        CVxComPtr<IVxReadFileClass> reader;
        EXPECT_EQ(renderer->GetReadFileClass(&reader), VXE_NOT_FOUND);
        EXPECT_TRUE(manager.askedReader == *row.reader);

        testing::internal::CaptureStderr();
        EXPECT_EQ(renderer->ShowAbout(nullptr), S_OK);
        const std::string about = testing::internal::GetCapturedStderr();
        EXPECT_NE(about.find(row.aboutName), std::string::npos) << about;
    }
}

TEST(RenderFileClass, InterfacesAndFixedAnswers)
{
    CVxComPtr<IVxRenderFileClass> renderer = VxTest_ClassObject<IVxRenderFileClass>(CLSID_VxPngPlugin);
    ASSERT_TRUE(renderer);
    CVxComPtr<IVxRenderMetaSupport> support;
    CVxComPtr<IVxRenderMetaSupport2> support2;
    CVxComPtr<IUnknown> unknown;
    ASSERT_EQ(renderer.As(support), S_OK);
    ASSERT_EQ(renderer.As(support2), S_OK);
    ASSERT_EQ(support2.As(unknown), S_OK);
    EXPECT_EQ(static_cast<void*>(support.Get()), static_cast<void*>(support2.Get()));
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(renderer.Get()));
    EXPECT_EQ(VxTest_RefCount(renderer.Get()), 4u);  // one reference per pointer held
    void* none = &none;
    EXPECT_EQ(renderer->QueryInterface(IID_IVxReadFileClass, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    EXPECT_EQ(support2->GetMetaTypes(nullptr, nullptr), S_OK);
    uint32_t a = 7, b = 7;
    EXPECT_EQ(support2->GetMetaTypes(&a, &b), S_OK);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 0x2001u);

    // Reserved slots with out arguments: what each writes there (7: left alone) and answers.
    uint32_t out[6];
    std::fill(std::begin(out), std::end(out), 7u);
    const HRESULT answers[] = {renderer->ReservedRender14(&out[0]), renderer->ReservedRender16(0, &out[1]),
                               renderer->ReservedRender17(0, 0, &out[2]), renderer->ReservedRender18(&out[3], 0, 0),
                               renderer->ReservedRender22(0, &out[4]), renderer->ReservedRender18(nullptr, 0, 0)};
    const uint32_t written[] = {0, 0xFFFFFFFFu, 0, 0, 0, 7};
    const HRESULT expected[] = {E_NOTIMPL, E_NOTIMPL, E_NOTIMPL, E_NOTIMPL, E_NOTIMPL, E_POINTER};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(answers[i], expected[i]) << i;
        EXPECT_EQ(out[i], written[i]) << i;
    }
    EXPECT_EQ(renderer->ReservedRender23(0), S_FALSE);
    EXPECT_EQ(renderer->ReservedRender24(), S_FALSE);

    // Template data of kind 2 is "none" and leaves the out argument alone.
    void* data = &data;
    EXPECT_EQ(renderer->GetTemplateData(&data, 0, 0, 2), S_FALSE);
    EXPECT_EQ(data, &data);
    EXPECT_EQ(renderer->GetTemplateData(&data, 0, 0, 1), E_NOTIMPL);
    EXPECT_EQ(data, nullptr);
    char16_t text[4] = u"abc";
    EXPECT_EQ(renderer->GetTemplateInfo(nullptr, text, 4, 0), S_FALSE);
    EXPECT_EQ(text[0], u'\0');
}

class RenderFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_renderer = VxTest_ClassObject<IVxRenderFileClass>(CLSID_VxPngPlugin);
        ASSERT_TRUE(m_renderer);
    }

    CVxComPtr<IVxRenderFile> Create(const std::string& path, const VXTEMPLATExV2* tmpl = nullptr)
    {
        CVxComPtr<IVxRenderFile> file;
        EXPECT_EQ(m_renderer->CreateRenderFile(&file, VxStr_FromUtf8(path).c_str(), 0, 0, tmpl), S_OK);
        return file;
    }
    // A PNG at path, tagged through a render file with meta; answers WriteMeta's result.
    HRESULT Tag(const std::string& path, IVxReadMeta* meta)
    {
        CVxComPtr<IVxRenderFile> file = Create(path);
        file->SetReadMeta(meta);
        return file->WriteMeta(0);
    }
    // The summary field code of the file's metadata as the PNG reader reads it back.
    std::u16string ReadBack(const std::string& path, uint32_t code, VXMEDIAMGRINFO* info = nullptr)
    {
        CVxComPtr<IVxReadFileClass> reader = VxTest_ClassObject<IVxReadFileClass>(CLSID_VxPngPlugin);
        CVxComPtr<IVxReadFile> file;
        CVxComPtr<IVxReadMeta> meta;
        if (!reader || FAILED(reader->OpenReadFile(&file, 0, 0, VxStr_FromUtf8(path).c_str(), 1)) ||
            FAILED(file->GetReadMeta(&meta)))
            return u"(not opened)";
        char16_t text[64] = {};
        const HRESULT hr = meta->GetSummaryText(code, text, 64);
        if (info) {
            CVxComPtr<IVxReadMediaMgrMeta> media;
            if (FAILED(meta.As(media)) || media->GetMediaMgrInfo(info) != S_OK)
                *info = {};
        }
        return SUCCEEDED(hr) ? std::u16string(text) : u"(none)";
    }
    std::string WritePng(const std::string& name)
    {
        const std::string path = m_dir + "/" + name;
        VxTest_WriteBytes(path, VxTest_WritePng({}));
        return path;
    }

    CVxComPtr<IVxRenderFileClass> m_renderer;
    CVxTempDir m_temp;
    const std::string m_dir = m_temp.Root();
};

TEST_F(RenderFileTest, KeepsWhatTheHostHandsIt)
{
    CVxComPtr<IVxRenderFile> file = Create(m_dir + "/out.png");
    ASSERT_TRUE(file);
    EXPECT_EQ(VxTest_RefCount(file.Get()), 1u);
    CVxComPtr<IVxRenderFileClass> owner;
    EXPECT_EQ(file->GetRenderFileClass(&owner), S_OK);
    EXPECT_EQ(owner.Get(), m_renderer.Get());

    EXPECT_EQ(file->IsOpen(), S_FALSE);
    EXPECT_EQ(file->Open(0, 0), S_OK);
    EXPECT_EQ(file->IsOpen(), S_OK);

    // Format records: an empty store answers E_INVALIDARG even for nothing.
    VXFILESTREAMFORMATINFOv2 records[3] = {};
    EXPECT_EQ(file->GetStreamFormats(records, 0, 0), E_INVALIDARG);
    for (uint32_t i = 0; i < 3; ++i)
        records[i].size = 184, records[i].streamType = 2, records[i].length = 10 + i;
    ASSERT_EQ(file->SetStreamFormats(records, 3), S_OK);
    const struct { int32_t first, count; HRESULT result; } ranges[] = {
        {0, 3, S_OK}, {2, 1, S_OK}, {1, 0, S_OK}, {3, 0, E_INVALIDARG}, {2, 2, E_INVALIDARG},
        {-1, 1, E_INVALIDARG}, {0, -1, E_INVALIDARG}, {1, INT32_MAX, E_INVALIDARG},
    };
    for (const auto& range : ranges) {
        VXFILESTREAMFORMATINFOv2 got[3] = {};
        EXPECT_EQ(file->GetStreamFormats(got, range.first, range.count), range.result)
            << range.first << " " << range.count;
        EXPECT_EQ(got[0].length, range.result == S_OK && range.count > 0 ? 10 + range.first : 0);
    }
    EXPECT_EQ(file->SetStreamFormats(nullptr, 1), E_POINTER);
    EXPECT_EQ(file->SetStreamFormats(records, 0x10001), E_INVALIDARG);

    // Streams and the metadata object are held until Close.
    CVxTestMeta stream, meta, meta2;
    EXPECT_EQ(file->AddStream(nullptr), E_POINTER);
    EXPECT_EQ(file->AddStream(stream.Unknown()), S_OK);
    EXPECT_EQ(file->AddStream(stream.Unknown()), S_OK);
    uint32_t count = 0;
    EXPECT_EQ(file->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(stream.refs, 3);
    EXPECT_EQ(file->SetReadMeta(&meta), S_OK);
    EXPECT_EQ(file->SetReadMeta(&meta2), S_OK);
    EXPECT_EQ(meta.refs, 1);
    EXPECT_EQ(meta2.refs, 2);

    EXPECT_EQ(file->Close(), S_OK);
    EXPECT_EQ(file->IsOpen(), S_FALSE);
    EXPECT_EQ(stream.refs, 1);
    EXPECT_EQ(meta2.refs, 1);
    EXPECT_EQ(file->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(file->GetStreamFormats(records, 0, 1), E_INVALIDARG);
    EXPECT_EQ(file->Close(), S_OK);

    // The last Release gives back what is still held.
    file->AddStream(stream.Unknown());
    file->SetReadMeta(&meta);
    file.Reset();
    EXPECT_EQ(stream.refs, 1);
    EXPECT_EQ(meta.refs, 1);
}

TEST_F(RenderFileTest, NamesAndTemplates)
{
    IVxRenderFile* none = nullptr;
    EXPECT_EQ(m_renderer->CreateRenderFile(nullptr, u"/tmp/a.png", 0, 0, nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(m_renderer->CreateRenderFile(&none, nullptr, 0, 0, nullptr), E_POINTER);
    EXPECT_EQ(none, nullptr);
    struct { uint32_t size; uint8_t rest[12]; } good = {16, {1, 2, 3}}, small = {3, {}}, huge = {1u << 30, {}};
    EXPECT_TRUE(Create("/tmp/t.png", reinterpret_cast<VXTEMPLATExV2*>(&good)));
    for (auto* bad : {&small, &huge}) {
        EXPECT_EQ(m_renderer->CreateRenderFile(&none, u"/tmp/t.png", 0, 0,
                                               reinterpret_cast<VXTEMPLATExV2*>(bad)), E_INVALIDARG);
        EXPECT_EQ(none, nullptr);
    }

    const std::string longName(300, 'n');
    CVxComPtr<IVxRenderFile> file = Create(longName);
    char16_t name[300] = {u'x'};
    EXPECT_EQ(file->GetFileName(name, 0), S_OK);
    EXPECT_EQ(name[0], u'x');
    EXPECT_EQ(file->GetFileName(name, 300), S_OK);
    EXPECT_EQ(std::u16string(name), std::u16string(259, u'n'));
    EXPECT_EQ(file->GetFileName(name, 4), S_OK);
    EXPECT_EQ(std::u16string(name), u"nnn");
}

// WriteMeta writes the sidecar the reader finds (its layout and replacement are the sidecar
// writer's); WriteMetaAt asks for metadata inside a container, which this module does not write.
TEST_F(RenderFileTest, SidecarReachesTheReaderButNotFromWriteMetaAt)
{
    const std::string png = WritePng("photo.png");
    CVxTestMeta meta;
    meta.records = {{VxTest_FourCC("INAM"), u"Harbour"}};
    CVxComPtr<IVxRenderFile> file = Create(png);
    file->SetReadMeta(&meta);
    EXPECT_EQ(file->WriteMetaAt(0, 0), S_OK);
    EXPECT_FALSE(fs::exists(png + ".vxl"));

    meta.hasMediaMgr = true;
    meta.properties = {VxTest_SidecarProperty(1, 3, 5), VxTest_SidecarProperty(2, 0, 8)};
    ASSERT_EQ(file->WriteMeta(0), S_OK);
    VXMEDIAMGRINFO info = {};
    EXPECT_EQ(ReadBack(png, VxTest_FourCC("INAM"), &info), u"Harbour");
    EXPECT_EQ(info.propertyCount, 2u);
    ASSERT_EQ(Tag(png, nullptr), S_OK);  // tagging with nothing removes the sidecar
    EXPECT_FALSE(fs::exists(png + ".vxl"));
}

TEST_F(RenderFileTest, FailuresLeaveNoSidecarBehind)
{
    CVxTestMeta meta;
    meta.records = {{VxTest_FourCC("INAM"), u"kept"}};
    const std::string missing = m_dir + "/no/such/folder/a.png";
    EXPECT_TRUE(FAILED(Tag(missing, &meta)));
    EXPECT_FALSE(fs::exists(m_dir + "/no"));

    // A summary that fails to be written stops the write before the properties: the old
    // sidecar stays as it was.
    const std::string png = WritePng("short.png");
    ASSERT_EQ(Tag(png, &meta), S_OK);
    const std::vector<uint8_t> before = VxTest_ReadBytes(png + ".vxl");
    CVxTestMeta liar;
    liar.records = {{VxTest_FourCC("INAM"), u"lost"}};
    liar.summaryStreamLimit = 30;
    liar.hasMediaMgr = true;
    liar.properties = {VxTest_SidecarProperty(3, 4, 4)};
    EXPECT_TRUE(FAILED(Tag(png, &liar)));
    EXPECT_EQ(VxTest_ReadBytes(png + ".vxl"), before);
}

}  // namespace
