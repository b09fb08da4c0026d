#include "TestFormat.h"
#include "framework/ListStream.h"
#include "framework/StillReadMeta.h"
#include "platform/VxStr.h"
#include "plugin/contracts/VxComPtr.h"
#include "support/VxList.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/SidecarWriter.h"

#include <gtest/gtest.h>

namespace {

// A test-format file that was never opened, standing for the file a metadata object belongs
// to: its name can be made to fail, and it counts the references the object forwards to it (it
// lives on the test's stack and holds one reference of its own).
class CVxTestMetaOwner : public CVxTestReadFile {
public:
    explicit CVxTestMetaOwner(const std::u16string& name) : CVxTestReadFile(nullptr)
    {
        SetFileName(name.c_str());
        AddRef();
    }
    HRESULT nameResult = S_OK;
    HRESULT VXAPI GetFileName(char16_t* buf, int32_t bufChars) override
    {
        const HRESULT hr = CVxTestReadFile::GetFileName(buf, bufChars);
        return FAILED(nameResult) ? nameResult : hr;
    }
    ULONG Refs() { return VxTest_RefCount(this) - 1; }
};

// A format's metadata object that adds a field of its own after the sidecar's.
class CVxTestExtraMeta : public CVxStillReadMeta {
public:
    using CVxStillReadMeta::CVxStillReadMeta;
    HRESULT LoadSummary() override
    {
        VX_RETURN_IF_FAILED(CVxStillReadMeta::LoadSummary());
        const std::vector<uint8_t> record = VxTest_SummaryRecord("IEXT", u"extra");
        return VxList_AllocAndInsertItem(GetSummaryList(), record.data(), uint32_t(record.size()), -1, nullptr);
    }
};

struct Fixture {
    CVxTempDir dir;
    std::string path = dir.Path("photo.png");
    CVxTestMetaOwner file{VxStr_FromUtf8(path)};

    void WriteSidecar(const VxTestSidecar& sidecar) const
    {
        VxTest_WriteBytes(path + ".vxl", VxTest_WriteSidecar(sidecar));
    }
};

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Reads bytes bytes in one call; the result and the count read.
std::pair<HRESULT, std::vector<uint8_t>> ReadSome(IStream* stream, ULONG bytes)
{
    std::vector<uint8_t> buffer(bytes + 1);
    ULONG read = 0xDEAD;
    const HRESULT hr = stream->Read(buffer.data(), bytes, &read);
    buffer.resize(read == 0xDEAD ? 0 : read);
    return {hr, buffer};
}

std::u16string Text(IVxReadMeta* meta, const char* code, int32_t chars = 260, HRESULT* hr = nullptr)
{
    std::vector<char16_t> buf(size_t(std::max(chars, 1)), u'#');
    const HRESULT result = meta->GetSummaryText(VxTest_FourCC(code), buf.data(), chars);
    if (hr)
        *hr = result;
    return chars > 0 ? std::u16string(buf.data()) : u"";
}

}  // namespace

TEST(StillReadMeta, FileWithoutSidecarHasEmptyMetadata)
{
    Fixture f;
    CVxStillReadMeta meta(&f.file);
    HRESULT hr = S_OK;
    EXPECT_EQ(Text(&meta, "INAM", 260, &hr), u"");
    EXPECT_EQ(hr, VXE_SUMMARY_ITEM_MISSING) << VxTest_Describe(hr);

    CVxComPtr<IStream> stream;
    ASSERT_EQ(meta.GetSummaryStream(&stream), S_OK);
    EXPECT_EQ(ReadSome(stream.Get(), 100), std::make_pair(S_OK, VxTest_ListStreamHeader(0)));

    IStream* mediaMgr = reinterpret_cast<IStream*>(1);
    EXPECT_EQ(meta.GetMediaMgrStream(&mediaMgr), S_FALSE);
    EXPECT_EQ(mediaMgr, nullptr);
    VXMEDIAMGRINFO info = {};
    EXPECT_EQ(meta.GetMediaMgrInfo(&info), E_FAIL);
    EXPECT_EQ(meta.GetSummaryStream(nullptr), E_INVALIDARG);
    EXPECT_EQ(meta.ReservedMeta4(0), E_NOTIMPL);
}

TEST(StillReadMeta, ForwardsReferencesToItsFile)
{
    Fixture f;
    auto* meta = new CVxStillReadMeta(&f.file);
    IVxReadMediaMgrMeta* second = nullptr;
    ASSERT_EQ(meta->QueryInterface(IID_IVxReadMediaMgrMeta, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(static_cast<void*>(second), static_cast<IVxReadMediaMgrMeta*>(meta));
    IUnknown* unknown = nullptr;
    ASSERT_EQ(second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<IVxReadMeta*>(meta));
    EXPECT_EQ(f.file.Refs(), 2u);
    void* stream = &f;
    EXPECT_EQ(meta->QueryInterface(IID_IStream, &stream), E_NOINTERFACE);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(second->Release(), 1u);
    EXPECT_EQ(unknown->Release(), 0u) << "the count reaches 0 and the object lives on";
    EXPECT_EQ(f.file.Refs(), 0u);
    EXPECT_EQ(meta->ReservedMeta3(0), E_NOTIMPL);
    delete meta;   // its owner destroys it
}

TEST(StillReadMeta, ReadsSummaryFieldsFromTheSidecar)
{
    Fixture f;
    f.WriteSidecar(VxTest_Sidecar("photo.png", {{"INAM", "Harbour"}, {"ICMT", "at dawn"}}));
    CVxStillReadMeta meta(&f.file);
    EXPECT_EQ(Text(&meta, "ICMT"), u"at dawn");
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Text(&meta, "INAM", 4, &hr), u"Har") << "cut to the buffer";
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(Text(&meta, "INAM", 0, &hr), u"");
    EXPECT_EQ(hr, S_OK);
    Text(&meta, "IART", 260, &hr);
    EXPECT_EQ(hr, VXE_SUMMARY_ITEM_MISSING);

    CVxStillReadMeta unnamed(&f.file);
    f.file.nameResult = E_UNEXPECTED;
    Text(&unnamed, "INAM", 260, &hr);
    EXPECT_EQ(hr, VXE_NOT_FOUND) << "no list can be built";
    CVxComPtr<IStream> none;
    EXPECT_EQ(unnamed.GetSummaryStream(&none), E_UNEXPECTED);
}

TEST(StillReadMeta, SummaryStreamFollowsTheListReadingRules)
{
    Fixture f;
    f.WriteSidecar(VxTest_Sidecar("photo.png", {{"INAM", "Harbour"}, {"ICMT", "at dawn"}}));
    CVxStillReadMeta meta(&f.file);
    CVxComPtr<IStream> stream;
    ASSERT_EQ(meta.GetSummaryStream(&stream), S_OK);
    const std::vector<uint8_t> all = Concat({VxTest_ListStreamHeader(2), VxTest_SummaryRecord("INAM", u"Harbour"),
                                             VxTest_SummaryRecord("ICMT", u"at dawn")});

    EXPECT_EQ(ReadSome(stream.Get(), 1000), std::make_pair(E_FAIL, all)) << "ran into the end";
    CVxComPtr<IStream> second;  // every caller shares the one stream, where the first stopped
    ASSERT_EQ(meta.GetSummaryStream(&second), S_OK);
    EXPECT_EQ(second.Get(), stream.Get());
    EXPECT_EQ(ReadSome(second.Get(), 10), std::make_pair(E_INVALIDARG, std::vector<uint8_t>{}));

    uint64_t position = 99;
    ASSERT_EQ(stream->Seek(12345, STREAM_SEEK_SET, &position), S_OK);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(ReadSome(stream.Get(), ULONG(all.size())), std::make_pair(S_OK, all)) << "ends on a boundary";

    // Small reads cross the header and item boundaries.
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    std::vector<uint8_t> pieces;
    for (int i = 0; i < 200 && pieces.size() < all.size(); ++i) {
        const auto [hr, bytes] = ReadSome(stream.Get(), 5);
        pieces.insert(pieces.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(pieces, all);

    // A skip from the current place walks like a read; past the end it fails.
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(stream->Seek(12 + 14, STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position, 0u) << "item 0";
    const auto [hr, rest] = ReadSome(stream.Get(), ULONG(all.size() - 26));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(rest, std::vector<uint8_t>(all.begin() + 26, all.end()));
    EXPECT_EQ(stream->Seek(1, STREAM_SEEK_CUR, nullptr), VXE_END_OF_FILE);

    ASSERT_EQ(stream->Seek(0, STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position, 2u);
    EXPECT_EQ(ReadSome(stream.Get(), 4), std::make_pair(E_INVALIDARG, std::vector<uint8_t>{}));

    EXPECT_EQ(stream->Read(nullptr, 4, nullptr), E_INVALIDARG);
    EXPECT_EQ(stream->Write(all.data(), 1, nullptr), E_NOTIMPL);
    EXPECT_EQ(stream->Stat(nullptr, 0), E_NOTIMPL);
    void* sequential = nullptr;
    const GUID iidSequential = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
    EXPECT_EQ(stream->QueryInterface(iidSequential, &sequential), E_NOINTERFACE);
}

TEST(StillReadMeta, HeldStreamOutlivesResetAndObject)
{
    Fixture f;
    f.WriteSidecar(VxTest_Sidecar("photo.png", {{"INAM", "Harbour"}}, {VxTest_SidecarProperty(1, 3, 4)}));
    auto* meta = new CVxStillReadMeta(&f.file);
    CVxComPtr<IStream> summary, properties;
    ASSERT_EQ(meta->GetSummaryStream(&summary), S_OK);
    ASSERT_EQ(meta->GetMediaMgrStream(&properties), S_OK);
    ReadSome(summary.Get(), 13);
    meta->Reset();
    delete meta;

    const std::vector<uint8_t> all = Concat({VxTest_ListStreamHeader(1), VxTest_SummaryRecord("INAM", u"Harbour")});
    EXPECT_EQ(ReadSome(summary.Get(), 1000), std::make_pair(E_FAIL, std::vector<uint8_t>(all.begin() + 13, all.end())));
    summary->Seek(0, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(ReadSome(summary.Get(), ULONG(all.size())).second, all);
    const auto expected =
        Concat({VxTest_ListStreamHeader(1), VxTest_SidecarPropertyBytes(VxTest_SidecarProperty(1, 3, 4))});
    EXPECT_EQ(ReadSome(properties.Get(), ULONG(expected.size())), std::make_pair(S_OK, expected));
}

TEST(StillReadMeta, ReadsMediaManagerProperties)
{
    Fixture f;
    f.WriteSidecar(VxTest_Sidecar("photo.png", {{"INAM", "x"}}));
    CVxStillReadMeta meta(&f.file);
    VXMEDIAMGRINFO info = {};
    EXPECT_EQ(meta.GetMediaMgrInfo(&info), S_FALSE) << "a sidecar without properties";
    CVxComPtr<IStream> stream;
    EXPECT_EQ(meta.GetMediaMgrStream(&stream), S_FALSE);

    const std::vector<VxTestSidecarProperty> properties = {VxTest_SidecarProperty(1, 3, 0),
                                                           VxTest_SidecarProperty(2, 0, 0)};
    f.WriteSidecar(VxTest_Sidecar("photo.png", {}, properties));
    EXPECT_EQ(meta.GetMediaMgrInfo(&info), S_FALSE) << "the sidecar read is kept until Reset";
    meta.Reset();
    ASSERT_EQ(meta.GetMediaMgrInfo(&info), S_OK);
    EXPECT_EQ(info.propertyCount, 2u);
    ASSERT_EQ(meta.GetMediaMgrStream(&stream), S_OK);
    const auto expected = Concat({VxTest_ListStreamHeader(2), VxTest_SidecarPropertyBytes(properties[0]),
                                  VxTest_SidecarPropertyBytes(properties[1])});
    EXPECT_EQ(ReadSome(stream.Get(), 1000), std::make_pair(E_FAIL, expected));

    // A property whose first word claims more than it holds gives only its own bytes.
    VxTestSidecarProperty lying = VxTest_SidecarProperty(3, 2, 2);
    lying.words[0] = 5000;
    f.WriteSidecar(VxTest_Sidecar("photo.png", {}, {lying}));
    meta.Reset();
    ASSERT_EQ(meta.GetMediaMgrStream(&stream), S_OK);
    EXPECT_EQ(ReadSome(stream.Get(), 1000).second,
              Concat({VxTest_ListStreamHeader(1), VxTest_SidecarPropertyBytes(lying)}));
}

TEST(StillReadMeta, SubclassFieldsJoinTheSidecarFields)
{
    Fixture f;
    f.WriteSidecar(VxTest_Sidecar("photo.png", {{"INAM", "Harbour"}}));
    CVxTestExtraMeta meta(&f.file);
    EXPECT_EQ(Text(&meta, "IEXT"), u"extra");
    CVxComPtr<IStream> stream;
    ASSERT_EQ(meta.GetSummaryStream(&stream), S_OK);
    EXPECT_EQ(ReadSome(stream.Get(), 1000).second,
              Concat({VxTest_ListStreamHeader(2), VxTest_SummaryRecord("INAM", u"Harbour"),
                      VxTest_SummaryRecord("IEXT", u"extra")}));

    CVxSummaryStream orphan(nullptr);
    uint8_t byte;
    EXPECT_EQ(orphan.Read(&byte, 1, nullptr), VXE_END_OF_FILE);
    EXPECT_EQ(orphan.Seek(0, STREAM_SEEK_SET, nullptr), VXE_END_OF_FILE);
}
