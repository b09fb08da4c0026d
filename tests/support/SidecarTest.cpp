#include "platform/VxOwners.h"
#include "platform/VxStr.h"
#include "support/Sidecar.h"
#include "support/VxList.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/SidecarWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <unistd.h>

namespace {

std::u16string Wide(const std::string& text)
{
    return VxStr_FromUtf8(text);
}

std::u16string MetaName(const std::u16string& media, BOOL append, int32_t capacity = kVxSidecarPathChars)
{
    std::vector<char16_t> name(size_t(std::max(capacity, 1)) + 8, u'#');
    const HRESULT hr = VxFMMeta_CreateMetaName(media.c_str(), name.data(), capacity, append);
    EXPECT_EQ(hr, S_OK) << VxTest_Describe(hr);
    return name.data();
}

struct HeapList {
    tVXLIST* list = nullptr;
    HeapList() { VxList_CreateExZ(&list, 4, -1, -1, kVxListThreadSafe | kVxListHeap); }
    ~HeapList() { VxList_Destroy(list); }
    std::vector<std::vector<uint8_t>> Items() const
    {
        std::vector<std::vector<uint8_t>> items;
        for (int32_t i = 0; i < VxList_GetCount(list); ++i) {
            const auto* item = static_cast<const uint8_t*>(VxList_GetItem(list, i));
            items.emplace_back(item, item + VxList_AllocSize(list, i));
        }
        return items;
    }
};

// A media file beside which sidecars are written, and what reading them back gives.
struct Media {
    CVxTempDir dir;
    std::string path = dir.Path("photo.jpg");
    std::u16string widePath = Wide(path);
    std::string appendName = path + ".vxl";
    std::string replaceName = dir.Path("photo.vxl");

    HRESULT Fill(tVXLIST* summary, tVXLIST* items = nullptr) const
    {
        HANDLE file = INVALID_HANDLE_VALUE;
        VX_RETURN_IF_FAILED(VxFMMeta_OpenMetaFile(widePath.c_str(), &file));
        CVxHandle owner(file);
        return VxFMMeta_fillSummaryFromFileEx(file, summary, items);
    }
    HRESULT LoadProperties(tVXLIST* properties, VXMEDIAMGRINFO* info, uint32_t* found) const
    {
        HANDLE file = INVALID_HANDLE_VALUE;
        VX_RETURN_IF_FAILED(VxFMMeta_OpenMetaFile(widePath.c_str(), &file));
        CVxHandle owner(file);
        return MediaMgrRiff_LoadPropertyInfo(file, info, properties, found);
    }
    size_t FileCount() const
    {
        const std::filesystem::directory_iterator files(dir.Root());
        return size_t(std::distance(begin(files), end(files)));
    }
};

VxTestSidecar TwoFields(const std::string& identity = "photo.jpg")
{
    return VxTest_Sidecar(identity, {{"INAM", "Harbour"}, {"ICMT", "at dawn"}});
}

}  // namespace

TEST(Sidecar, FormsAppendAndReplaceNames)
{
    EXPECT_EQ(MetaName(u"/d/a.jpg", TRUE), u"/d/a.jpg.vxl");
    EXPECT_EQ(MetaName(u"/d/a.jpg", FALSE), u"/d/a.vxl");
    EXPECT_EQ(MetaName(u"/d.x/a", FALSE), u"/d.x/a.vxl") << "a dot in a folder is no extension";
    EXPECT_EQ(MetaName(u"C:\\d\\a.b.png", FALSE), u"C:\\d\\a.b.vxl");

    const std::u16string longPath = u"/" + std::u16string(300, u'p') + u".jpg";
    for (const BOOL append : {TRUE, FALSE}) {
        const std::u16string name = MetaName(longPath, append);
        EXPECT_EQ(name.size(), 259u);
        EXPECT_EQ(name.substr(0, 255), longPath.substr(0, 255));
        EXPECT_EQ(name.substr(255), u".vxl");
    }
    EXPECT_EQ(MetaName(u"/d/a.jpg", TRUE, 8), u"/d/.vxl");
    char16_t tiny[4];
    EXPECT_EQ(VxFMMeta_CreateMetaName(u"/a.jpg", tiny, 4, TRUE), E_INVALIDARG);
}

TEST(Sidecar, BelongsOnlyToTheNamedMediaFile)
{
    Media media;
    VxTest_WriteBytes(media.appendName, VxTest_WriteSidecar(TwoFields()));
    EXPECT_TRUE(VxFMMeta_IsMetaFile(media.widePath.c_str(), Wide(media.appendName).c_str()));
    // The image was renamed: its old sidecar names the old file.
    EXPECT_FALSE(VxFMMeta_IsMetaFile(Wide(media.dir.Path("other.jpg")).c_str(), Wide(media.appendName).c_str()));
    EXPECT_FALSE(VxFMMeta_IsMetaFile(Wide(media.dir.Path("PHOTO.jpg")).c_str(), Wide(media.appendName).c_str()));

    // An identity without its terminator still names the file.
    std::vector<uint8_t> bytes = VxTest_WriteSidecar(VxTest_Sidecar("photo.jpg1"));
    bytes.resize(bytes.size() - 2);   // drop the terminator and the pad...
    bytes[16] = 9;                    // ...and size the chunk to "photo.jpg": "1" is its pad byte
    bytes[4] = uint8_t(bytes.size() - 8);
    VxTest_WriteBytes(media.appendName, bytes);
    EXPECT_TRUE(VxFMMeta_IsMetaFile(media.widePath.c_str(), Wide(media.appendName).c_str()));

    // Windows-1252 names: "é" is one byte in the identity chunk.
    const std::string accented = media.dir.Path("caf\xC3\xA9.jpg");
    VxTest_WriteBytes(accented + ".vxl", VxTest_WriteSidecar(VxTest_Sidecar("caf\xE9.jpg")));
    EXPECT_TRUE(VxFMMeta_IsMetaFile(Wide(accented).c_str(), Wide(accented + ".vxl").c_str()));

    mkdir(media.replaceName.c_str(), 0700);   // a directory under the sidecar's name
    EXPECT_FALSE(VxFMMeta_IsMetaFile(media.widePath.c_str(), Wide(media.replaceName).c_str()));
    EXPECT_FALSE(VxFMMeta_IsMetaFile(media.widePath.c_str(), Wide(media.dir.Path("none.vxl")).c_str()));
}

TEST(Sidecar, LookupTriesAppendThenReplaceName)
{
    Media media;
    HANDLE file = nullptr;
    EXPECT_EQ(VxFMMeta_OpenMetaFile(media.widePath.c_str(), &file), E_FAIL);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(VxFMMeta_OpenMetaFile(u"", &file), E_FAIL);

    VxTest_WriteBytes(media.replaceName, VxTest_WriteSidecar(VxTest_Sidecar("photo.jpg", {{"INAM", "replace"}})));
    VxTest_WriteBytes(media.appendName, VxTest_WriteSidecar(VxTest_Sidecar("photo.png", {{"INAM", "other"}})));
    HeapList summary;
    ASSERT_EQ(media.Fill(summary.list), S_OK);
    EXPECT_EQ(summary.Items(), (std::vector<std::vector<uint8_t>>{VxTest_SummaryRecord("INAM", u"replace")}));
}

TEST(Sidecar, ReadsSummaryRecordsInFileOrder)
{
    Media media;
    const VxTestSidecar sidecar = VxTest_Sidecar(
        "photo.jpg", {{"INAM", "Odd"}, {"IART", ""}, {"ICMT", "caf\xE9 \x80"}, {"INAM", "again"}, {"ISPK", "dropped"}});
    VxTest_WriteBytes(media.appendName, VxTest_WriteSidecar(sidecar));
    HeapList summary, items;
    // The list holds an "ISPK" record already: the sidecar's is not added to it.
    const std::vector<uint8_t> held = VxTest_SummaryRecord("ISPK", u"kept");
    VxList_AllocAndInsertItem(summary.list, held.data(), uint32_t(held.size()), -1, nullptr);

    ASSERT_EQ(media.Fill(summary.list, items.list), S_OK);
    // "Odd" has an odd length: the pad byte after it is skipped. The empty field and the
    // second INAM are not taken.
    const std::vector<std::vector<uint8_t>> expected = {held, VxTest_SummaryRecord("INAM", u"Odd"),
                                                        VxTest_SummaryRecord("ICMT", u"caf\u00E9 \u20AC")};
    EXPECT_EQ(summary.Items(), expected);

    ASSERT_EQ(items.Items().size(), 3u) << "INAM, ICMT and ISPK";
    const std::vector<uint8_t> item = items.Items()[1];
    uint32_t words[2];
    std::memcpy(words, item.data(), sizeof words);
    EXPECT_EQ(words[0], 28u);
    EXPECT_EQ(words[1], 100u);
    EXPECT_EQ(std::memcmp(item.data() + 8, &kVxSummaryItemType, 16), 0);
    EXPECT_EQ(std::vector<uint8_t>(item.begin() + 28, item.end()), expected[2]);
}

TEST(Sidecar, DamagedSummaryAddsNothing)
{
    Media media;
    const std::vector<uint8_t> good = VxTest_WriteSidecar(TwoFields());
    HANDLE bad = INVALID_HANDLE_VALUE;
    EXPECT_EQ(VxFMMeta_fillSummaryFromFileEx(bad, nullptr, nullptr), VXE_FILE_OPEN);

    // Cut anywhere, a sidecar gives all of its fields or none of them.
    for (size_t size = 0; size < good.size(); ++size) {
        VxTest_WriteBytes(media.appendName, std::vector<uint8_t>(good.begin(), good.begin() + long(size)));
        CVxHandle file(CreateFileW(Wide(media.appendName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        HeapList summary;
        const HRESULT hr = VxFMMeta_fillSummaryFromFileEx(file.Get(), summary.list, nullptr);
        EXPECT_TRUE(hr == S_OK || hr == VXE_FILE_READ) << size << ": " << VxTest_Describe(hr);
        EXPECT_TRUE(summary.Items().empty() || summary.Items().size() == 2) << size;
    }

    // A field whose size runs past the INFO list, and one whose size wraps 32 bits.
    for (const uint32_t size : {0x40u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = good;
        std::memcpy(bytes.data() + 28, &size, 4);   // the first field's size
        VxTest_WriteBytes(media.appendName, bytes);
        HeapList summary;
        EXPECT_EQ(media.Fill(summary.list), VXE_FILE_READ);
        EXPECT_TRUE(summary.Items().empty());
    }
}

TEST(Sidecar, LoadsMediaManagerProperties)
{
    Media media;
    VxTestSidecar sidecar = TwoFields();
    sidecar.mediaMgr = true;
    // Far larger than the reader's 4 KiB window: a block read past it in one piece, and many
    // small records that refill it.
    sidecar.properties = {VxTest_SidecarProperty(1, 3, 0), VxTest_SidecarProperty(2, 0, 5),
                          VxTest_SidecarProperty(3, 9000, 7)};
    for (uint32_t i = 0; i < 80; ++i)
        sidecar.properties.push_back(VxTest_SidecarProperty(10 + i, 90 + i, 31));
    VxTest_WriteBytes(media.appendName, VxTest_WriteSidecar(sidecar));
    HeapList properties;
    VXMEDIAMGRINFO info = {};
    uint32_t found = 0;
    ASSERT_EQ(media.LoadProperties(properties.list, &info, &found), S_OK);
    EXPECT_EQ(found, 1u);
    EXPECT_EQ(info.tag, 100u);
    EXPECT_EQ(info.headerSize, 12u);
    EXPECT_EQ(info.propertyCount, sidecar.properties.size());
    std::vector<std::vector<uint8_t>> expected;
    for (const VxTestSidecarProperty& property : sidecar.properties)
        expected.push_back(VxTest_SidecarPropertyBytes(property));
    EXPECT_EQ(properties.Items(), expected);

    VxTest_WriteBytes(media.appendName, VxTest_WriteSidecar(TwoFields()));
    HeapList none;
    found = 0;
    EXPECT_EQ(media.LoadProperties(none.list, &info, &found), S_OK);
    EXPECT_EQ(found, 0u);
}

TEST(Sidecar, RefusesBadMediaManagerChunks)
{
    Media media;
    const VxTestSidecar sidecar = VxTest_Sidecar("photo.jpg", {}, {VxTest_SidecarProperty(1, 4, 4)});
    const std::vector<uint8_t> good = VxTest_WriteSidecar(sidecar);
    const size_t chunk = good.size() - 8 - 12 - 64;   // the "mudp" chunk header
    auto expectRefused = [&](std::vector<uint8_t> bytes, const char* what) {
        VxTest_WriteBytes(media.appendName, bytes);
        HeapList properties;
        VXMEDIAMGRINFO info = {};
        uint32_t found = 0;
        EXPECT_EQ(media.LoadProperties(properties.list, &info, &found), VXE_FILE_READ) << what;
        EXPECT_EQ(found, 0u) << what;
        EXPECT_TRUE(properties.Items().empty()) << what;
    };
    auto edited = [&](size_t offset, uint32_t value) {
        std::vector<uint8_t> bytes = good;
        std::memcpy(bytes.data() + offset, &value, 4);
        return bytes;
    };
    expectRefused(edited(chunk + 8, 101), "wrong tag");
    expectRefused(edited(chunk + 16, 3000000000u), "a count in the billions");
    expectRefused(edited(chunk + 20 + 44, 0xFFFFFFF0u), "a block past the chunk");
    expectRefused(std::vector<uint8_t>(good.begin(), good.end() - 1), "a cut property");
}

TEST(Sidecar, WritesTheLayoutByteForByte)
{
    Media media;
    CVxTestMeta meta;
    meta.records = {{VxTest_FourCC("INAM"), u"Harbour"}, {VxTest_FourCC("IART"), u""},
                    {0x650010F2, u"EXIF make"}, {VxTest_FourCC("ICMT"), u"at dawn"}};
    ASSERT_EQ(VxFMMeta_openAndWriteMetaStreamEx(media.widePath.c_str(), TRUE, nullptr, meta.Unknown(), 0, 0x2001), S_OK);
    // Empty fields and EXIF keys are not written.
    EXPECT_EQ(VxTest_ReadBytes(media.appendName), VxTest_WriteSidecar(TwoFields()));

    meta.hasMediaMgr = true;
    meta.properties = {VxTest_SidecarProperty(3, 1, 2)};
    ASSERT_EQ(MediaMgrRiff_openAndWriteInfo(media.widePath.c_str(), meta.Unknown(), TRUE), S_OK);
    meta.properties.push_back(VxTest_SidecarProperty(4, 0, 0));
    ASSERT_EQ(MediaMgrRiff_openAndWriteInfo(media.widePath.c_str(), meta.Unknown(), TRUE), S_OK);
    VxTestSidecar expected = TwoFields();
    expected.mediaMgr = true;
    expected.properties = meta.properties;
    EXPECT_EQ(VxTest_ReadBytes(media.appendName), VxTest_WriteSidecar(expected)) << "one chunk, replaced";
    EXPECT_EQ(media.FileCount(), 1u) << "no temporary file stays behind";

    // What was written reads back.
    HeapList summary, properties;
    ASSERT_EQ(media.Fill(summary.list), S_OK);
    EXPECT_EQ(summary.Items(), (std::vector<std::vector<uint8_t>>{VxTest_SummaryRecord("INAM", u"Harbour"),
                                           VxTest_SummaryRecord("ICMT", u"at dawn")}));
    VXMEDIAMGRINFO info = {};
    uint32_t found = 0;
    ASSERT_EQ(media.LoadProperties(properties.list, &info, &found), S_OK);
    EXPECT_EQ(properties.Items().size(), 2u);
    EXPECT_EQ(meta.refs, 1) << "every reference taken was given back";
}

TEST(Sidecar, MediaManagerAloneMakesItsOwnSidecar)
{
    Media media;
    CVxTestMeta meta;
    meta.hasMediaMgr = true;
    ASSERT_EQ(MediaMgrRiff_openAndWriteInfo(media.widePath.c_str(), meta.Unknown(), TRUE), S_OK);
    EXPECT_EQ(media.FileCount(), 0u) << "no sidecar made to hold nothing";
    meta.properties = {VxTest_SidecarProperty(1, 2, 3)};
    ASSERT_EQ(MediaMgrRiff_openAndWriteInfo(media.widePath.c_str(), meta.Unknown(), TRUE), S_OK);
    EXPECT_EQ(VxTest_ReadBytes(media.appendName),
              VxTest_WriteSidecar(VxTest_Sidecar("photo.jpg", {}, meta.properties)));
    EXPECT_EQ(MediaMgrRiff_openAndWriteInfo(media.widePath.c_str(), nullptr, TRUE), S_OK);
}

TEST(Sidecar, WritingNothingDeletesStaleSidecarsOnly)
{
    Media media;
    const std::string otherReplace = media.replaceName;   // also photo.png's replace name
    VxTest_WriteBytes(media.appendName, VxTest_WriteSidecar(TwoFields()));
    CVxTestMeta empty;
    ASSERT_EQ(VxFMMeta_openAndWriteMetaStreamEx(media.widePath.c_str(), TRUE, nullptr, empty.Unknown(), 0, 0x2001), S_OK);
    EXPECT_EQ(media.FileCount(), 0u);

    VxTest_WriteBytes(media.replaceName, VxTest_WriteSidecar(TwoFields("photo.png")));
    ASSERT_EQ(VxFMMeta_openAndWriteMetaStreamEx(media.widePath.c_str(), TRUE, nullptr, nullptr, 0, 0x2001), S_OK);
    EXPECT_EQ(VxTest_ReadBytes(otherReplace), VxTest_WriteSidecar(TwoFields("photo.png")))
        << "another file's sidecar stays";

    // A new sidecar takes the append name; this file's replace-name sidecar goes.
    VxTest_WriteBytes(otherReplace, VxTest_WriteSidecar(TwoFields()));
    CVxTestMeta meta;
    meta.records = {{VxTest_FourCC("INAM"), u"new"}};
    ASSERT_EQ(VxFMMeta_openAndWriteMetaStreamEx(media.widePath.c_str(), TRUE, nullptr, meta.Unknown(), 0, 0x2001), S_OK);
    EXPECT_EQ(media.FileCount(), 1u);
    EXPECT_EQ(VxTest_ReadBytes(media.appendName),
              VxTest_WriteSidecar(VxTest_Sidecar("photo.jpg", {{"INAM", "new"}})));

    // Without an extension both names are the same: the new sidecar stays.
    const std::u16string scan = Wide(media.dir.Path("scan"));
    ASSERT_EQ(VxFMMeta_openAndWriteMetaStreamEx(scan.c_str(), TRUE, nullptr, meta.Unknown(), 0, 0x2001), S_OK);
    EXPECT_EQ(VxTest_ReadBytes(media.dir.Path("scan.vxl")),
              VxTest_WriteSidecar(VxTest_Sidecar("scan", {{"INAM", "new"}})));
}

TEST(Sidecar, FailedWriteLeavesThePreviousSidecar)
{
    Media media;
    VxTestSidecar previous = TwoFields();
    previous.mediaMgr = true;
    previous.properties = {VxTest_SidecarProperty(1, 2, 2)};
    const std::vector<uint8_t> before = VxTest_WriteSidecar(previous);
    VxTest_WriteBytes(media.appendName, before);

    CVxTestMeta meta;
    meta.records = {{VxTest_FourCC("INAM"), u"a long replacement title"}};
    meta.summaryStreamLimit = 12 + 12 + 10;   // the object fails inside its first record
    EXPECT_EQ(VxFMMeta_openAndWriteMetaStreamEx(media.widePath.c_str(), TRUE, nullptr, meta.Unknown(), 0, 1), VXE_FILE_READ);
    EXPECT_EQ(VxTest_ReadBytes(media.appendName), before);

    meta.hasMediaMgr = true;
    meta.properties = {VxTest_SidecarProperty(2, 100, 0)};
    for (const size_t limit : {12 + 56 + 50, 12 + 20}) {   // a block, or a record, cut short
        meta.mediaMgrStreamLimit = limit;
        EXPECT_EQ(MediaMgrRiff_openAndWriteInfo(media.widePath.c_str(), meta.Unknown(), TRUE), VXE_FILE_READ);
        EXPECT_EQ(VxTest_ReadBytes(media.appendName), before);
    }
    EXPECT_EQ(media.FileCount(), 1u);

    // A sidecar that cannot be created: its folder does not exist.
    const std::u16string lost = Wide(media.dir.Path("gone/photo.jpg"));
    meta.summaryStreamLimit = SIZE_MAX;
    const HRESULT hr = VxFMMeta_openAndWriteMetaStreamEx(lost.c_str(), TRUE, nullptr, meta.Unknown(), 0, 1);
    EXPECT_TRUE(FAILED(hr)) << VxTest_Describe(hr);
}

// The write fails after the temporary file was made (it is the full device: no byte fits), or
// the rename refuses (a folder holds the name): the write-failure code, the old sidecar as it
// was, no temporary file left.
TEST(Sidecar, WriteThatFailsAfterCreatingLeavesNoTrace)
{
    Media media;
    const std::vector<uint8_t> before = VxTest_WriteSidecar(TwoFields());
    VxTest_WriteBytes(media.appendName, before);
    const std::string temp = media.appendName + "." + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetCurrentThreadId()) + ".tmp";
    ASSERT_EQ(symlink("/dev/full", temp.c_str()), 0);
    CVxTestMeta meta;
    meta.records = {{VxTest_FourCC("INAM"), u"new"}};
    EXPECT_EQ(VxFMMeta_openAndWriteMetaStreamEx(media.widePath.c_str(), TRUE, nullptr, meta.Unknown(), 0, 1),
              VXE_FILE_WRITE);
    EXPECT_EQ(VxTest_ReadBytes(media.appendName), before);
    EXPECT_EQ(media.FileCount(), 1u);

    ASSERT_EQ(unlink(media.appendName.c_str()), 0);
    ASSERT_EQ(mkdir(media.appendName.c_str(), 0700), 0);
    ASSERT_TRUE(VxTest_WriteBytes(media.appendName + "/inside", before));
    EXPECT_EQ(VxFMMeta_openAndWriteMetaStreamEx(media.widePath.c_str(), TRUE, nullptr, meta.Unknown(), 0, 1),
              VXE_FILE_WRITE);
    EXPECT_EQ(media.FileCount(), 1u);
    EXPECT_EQ(VxTest_ReadBytes(media.appendName + "/inside"), before);
}
