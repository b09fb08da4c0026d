#include "formats/jpeg/ExifMetaDataHelper.h"
#include "formats/jpeg/JpegFormat.h"
#include "platform/VxStr.h"
#include "support/VxList.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/JpegWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

namespace {

constexpr uint32_t kMake = 0x650010F2, kModel = 0x65001102, kDateTime = 0x65001322, kArtist = 0x650013B2,
                   kCopyright = 0x65182982, kOriginal = 0x65190032, kDigitized = 0x65190042, kFlash = 0x65192093;

// A heap list of summary records, destroyed with the test.
struct TestList {
    tVXLIST* list = nullptr;
    TestList() { VxList_CreateExZ(&list, 4, -1, -1, kVxListHeap); }
    ~TestList() { VxList_Destroy(list); }

    // Key to text of every record (text up to its first zero).
    std::map<uint32_t, std::u16string> Texts() const
    {
        std::map<uint32_t, std::u16string> texts;
        for (int32_t i = 0; i < VxList_GetCount(list); ++i) {
            const auto* r = static_cast<const VXSUMMARYRECORD*>(VxList_GetItem(list, i));
            EXPECT_EQ(r->dataBytes % 2, 0u);
            texts.emplace(r->fieldCode, reinterpret_cast<const char16_t*>(r + 1));
        }
        return texts;
    }
};

}  // namespace

TEST(ExifMetaDataHelper, ReadsTheTagSetInBothByteOrders)
{
    for (bool be : {false, true}) {
        SCOPED_TRACE(be ? "MM" : "II");
        const std::vector<uint8_t> tiff = VxTest_WriteTiff(
            be,
            {VxTest_TiffAscii(271, "Can"),  // 4 bytes with the terminator: in the entry itself
             VxTest_TiffAscii(272, "Model \xE9"), VxTest_TiffAscii(306, "2024:02:29 13:45:10"),
             VxTest_TiffShort(be, 274, 1), VxTest_TiffAscii(315, "Artist"), VxTest_TiffAscii(33432, "(c) Me")},
            {VxTest_TiffAscii(36867, "2024:01:01 00:00:00"), VxTest_TiffAscii(36868, "2024:01:02 00:00:00"),
             VxTest_TiffShort(be, 37385, be ? 0x0001 : 0x0018)});
        TestList list;
        CVxExifMetaDataHelper helper;
        ASSERT_EQ(helper.AddExifTagsToSummaryListFromTiffData(tiff.data(), tiff.size(), list.list), S_OK);
        const std::map<uint32_t, std::u16string> expected = {
            {kMake, u"Can"}, {kModel, u"Model \u00E9"}, {kDateTime, u"2024:02:29 13:45:10"},
            {kArtist, u"Artist"}, {kCopyright, u"(c) Me"}, {kOriginal, u"2024:01:01 00:00:00"},
            {kDigitized, u"2024:01:02 00:00:00"}, {kFlash, be ? u"1" : u"0"}};
        EXPECT_EQ(list.Texts(), expected);
        const auto* make = static_cast<const VXSUMMARYRECORD*>(VxList_GetItem(list.list, 0));
        EXPECT_EQ(make->dataBytes, 10u);  // (count + 1) × 2

        // In a JPEG, after an XMP segment that also uses APP1; a JPEG without one adds nothing.
        const std::string xmp = "http://ns.adobe.com/xap/1.0/";
        const std::vector<uint8_t> jpeg = VxTest_WriteJpeg(
            {.segments = {{0xE1, std::vector<uint8_t>(xmp.begin(), xmp.end() + 1)}, {0xE1, VxTest_ExifPayload(tiff)}}});
        TestList fromJpeg;
        ASSERT_EQ(helper.AddExifTagsToSummaryListFromJpegData(jpeg.data(), jpeg.size(), fromJpeg.list), S_OK);
        EXPECT_EQ(fromJpeg.Texts(), expected);
        const std::vector<uint8_t> plain = VxTest_WriteJpeg({});
        EXPECT_EQ(helper.AddExifTagsToSummaryListFromJpegData(plain.data(), plain.size(), fromJpeg.list), S_OK);
        EXPECT_EQ(VxList_GetCount(fromJpeg.list), int32_t(expected.size()));
    }
}

TEST(ExifMetaDataHelper, TheFirstValueWinsIncludingOnesAlreadyInTheList)
{
    const std::vector<uint8_t> tiff = VxTest_WriteTiff(
        false, {VxTest_TiffAscii(306, "first date"), VxTest_TiffAscii(306, "second date"),
                VxTest_TiffAscii(272, "first"), VxTest_TiffAscii(272, "second")});
    TestList list;
    CVxExifMetaDataHelper helper;
    ASSERT_EQ(helper.AddStringExifTagToSummaryList(list.list, 306, 0, u"from the sidecar"), S_OK);
    ASSERT_EQ(helper.AddExifTagsToSummaryListFromTiffData(tiff.data(), tiff.size(), list.list), S_OK);
    EXPECT_EQ(list.Texts(), (std::map<uint32_t, std::u16string>{{kDateTime, u"from the sidecar"}, {kModel, u"first"}}));
}

TEST(ExifMetaDataHelper, BadBlocksGiveTheirCodesAndNeverReadOutside)
{
    const std::vector<uint8_t> good = VxTest_WriteTiff(false, {VxTest_TiffAscii(271, "Maker")});
    auto edit = [&good](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    // The 0th IFD at 8: count, then the entry (tag, type, count, offset) at 10.
    struct Case {
        const char* what;
        std::vector<uint8_t> tiff;
        HRESULT hr;
        size_t items;
    };
    const Case cases[] = {
        {"8 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 8), VXE_UNSUPPORTED_FORMAT, 0},
        {"byte order XX", edit(0, {'X', 'X'}), VXE_UNSUPPORTED_FORMAT, 0},
        {"43, not 42", edit(2, {43}), VXE_UNSUPPORTED_FORMAT, 0},
        {"IFD beyond the end", edit(4, {0xF0, 0xFF, 0xFF, 0xFF}), E_FAIL, 0},
        {"no entries", edit(8, {0, 0}), E_FAIL, 0},
        {"ASCII tag as SHORT", edit(12, {3}), VXE_UNSUPPORTED_FORMAT, 0},
        {"string beyond the end", edit(18, {0xF0, 0xFF, 0xFF, 0xFF}), S_OK, 0},
        {"count that wraps", edit(14, {0xFF, 0xFF, 0xFF, 0xFF}), S_OK, 0},
        {"entry count past the end", edit(8, {0xFF, 0xFF}), S_OK, 1},
        {"no terminator", edit(14, {5}), S_OK, 1},
        {"EXIF pointer to the 0th IFD", VxTest_WriteTiff(false, {VxTest_TiffAscii(271, "M"), {34665, 4, 1, {8, 0, 0, 0}}}), E_FAIL, 1},
        {"no handled tag", VxTest_WriteTiff(false, {VxTest_TiffShort(false, 274, 1)}), E_FAIL, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // An exactly sized copy, so that any read beyond it is caught by the sanitizers.
        std::vector<uint8_t> exact(c.tiff);
        TestList list;
        CVxExifMetaDataHelper helper;
        const HRESULT hr = helper.AddExifTagsToSummaryListFromTiffData(exact.data(), exact.size(), list.list);
        EXPECT_EQ(hr, c.hr) << VxTest_Describe(hr);
        EXPECT_EQ(size_t(VxList_GetCount(list.list)), c.items);
    }
}

TEST(ExifMetaDataHelper, RewritesTheHeaderSegmentsAsOneExifSegment)
{
    const std::vector<uint8_t> original = VxTest_WriteJpeg(
        {.segments = {{0xE2, {'I', 'C', 'C', 0}}, {0xE1, VxTest_ExifPayload(VxTest_WriteTiff(false, {VxTest_TiffAscii(271, "Old")}))}}});
    CVxTestTempFile file(original);
    const std::string& path = file.Utf8Path();
    const char16_t* widePath = file.Path();

    CVxExifMetaDataHelper helper;
    TestList list;
    ASSERT_EQ(helper.AddStringExifTagToSummaryList(list.list, 272, 0, u"Model1"), S_OK);  // 7 bytes
    ASSERT_EQ(helper.AddShortExifTagToSummaryList(list.list, 274, 0, 1), S_OK);
    ASSERT_EQ(helper.AddStringExifTagToSummaryList(list.list, 271, 0, u"Abcd"), S_OK);    // 5 bytes
    HRESULT hr = helper.UpdateExifTagsFromSummaryList(widePath, list.list);
    ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);

    // Sorted by key: Make, Model, Orientation; data offsets even, after the IFD (8 + 2 + 36 + 4).
    const std::vector<uint8_t> expected = {
        0xFF, 0xD8, 0xFF, 0xE1, 0, 72, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
        3, 0,
        0x0F, 0x01, 2, 0, 5, 0, 0, 0, 50, 0, 0, 0,
        0x10, 0x01, 2, 0, 7, 0, 0, 0, 56, 0, 0, 0,
        0x12, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,
        0, 0, 0, 0,
        'A', 'b', 'c', 'd', 0, 0, 'M', 'o', 'd', 'e', 'l', '1', 0, 0};
    const std::vector<uint8_t> rewritten = VxTest_ReadBytes(path);
    ASSERT_GT(rewritten.size(), expected.size() + 2);
    EXPECT_EQ(std::vector<uint8_t>(rewritten.begin(), rewritten.begin() + long(expected.size())), expected);
    // JFIF, ICC and the old EXIF segment are gone: the tables follow, and the image is the same.
    EXPECT_EQ(rewritten[expected.size()], 0xFF);
    EXPECT_EQ(rewritten[expected.size() + 1], 0xDB);
    VxJpegImage before, after;
    CVxGlobalBlock frameBefore, frameAfter;
    ASSERT_EQ(VxJpeg_DecodeBytes(original.data(), original.size(), ~0ull, &before, &frameBefore), S_OK);
    ASSERT_EQ(VxJpeg_DecodeBytes(rewritten.data(), rewritten.size(), ~0ull, &after, &frameAfter), S_OK);
    EXPECT_EQ(std::memcmp(frameBefore.Get(), frameAfter.Get(), frameBefore.Size()), 0);

    TestList readBack;
    ASSERT_EQ(helper.AddExifTagsToSummaryListFromJpeg(widePath, readBack.list), S_OK);
    EXPECT_EQ(readBack.Texts(), (std::map<uint32_t, std::u16string>{{kMake, u"Abcd"}, {kModel, u"Model1"}}));

    // An item the writer cannot write fails the rewrite and leaves the file as it was.
    ASSERT_EQ(helper.AddExifTagToSummaryList(list.list, 1, 0, 1, 1, "x"), S_OK);
    EXPECT_EQ(helper.UpdateExifTagsFromSummaryList(widePath, list.list), E_FAIL);
    EXPECT_EQ(VxTest_ReadBytes(path), rewritten);
    EXPECT_NE(access((path + ".vxexif.tmp").c_str(), F_OK), 0);
    file.Remove();
    EXPECT_EQ(helper.UpdateExifTagsFromSummaryList(widePath, list.list), VXE_FILE_OPEN);
}

TEST(ExifMetaDataHelper, InteroperabilityItemsBringTheirOwnChainOfPointers)
{
    CVxTestTempFile file(VxTest_WriteJpeg({}));
    CVxExifMetaDataHelper helper;
    TestList list;
    ASSERT_EQ(helper.AddStringExifTagToSummaryList(list.list, 1, 2, u"THM"), S_OK);
    ASSERT_EQ(helper.UpdateExifTagsFromSummaryList(file.Path(), list.list), S_OK);
    const std::vector<uint8_t> expected = {
        0xFF, 0xD8, 0xFF, 0xE1, 0, 70, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
        1, 0, 0x69, 0x87, 4, 0, 1, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0,    // 0th IFD: EXIF pointer
        1, 0, 0x05, 0xA0, 4, 0, 1, 0, 0, 0, 44, 0, 0, 0, 0, 0, 0, 0,    // EXIF IFD: its pointer
        1, 0, 0x01, 0x00, 2, 0, 4, 0, 0, 0, 'T', 'H', 'M', 0, 0, 0, 0, 0};
    const std::vector<uint8_t> rewritten = VxTest_ReadBytes(file.Utf8Path());
    ASSERT_GT(rewritten.size(), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(rewritten.begin(), rewritten.begin() + long(expected.size())), expected);
}

TEST(ExifMetaDataHelper, DateStringsRoundTheLocalTimeZone)
{
    CVxExifMetaDataHelper helper;
    SYSTEMTIME time = {2024, 2, 4, 29, 13, 45, 10, 0};
    char16_t text[20];
    ASSERT_EQ(helper.SystemTimeToLocalDateTimeString(&time, text, 20), S_OK);
    EXPECT_EQ(std::u16string(text), u"2024:02:29 13:45:10");
    EXPECT_EQ(helper.SystemTimeToLocalDateTimeString(&time, text, 19), E_FAIL);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(helper.SystemTimeToLocalDateTimeString(&time, nullptr, 20), E_INVALIDARG);

    char16_t local[] = u"2024:02:29 13:45:10 and more";
    DATE utc = 0;
    HRESULT hr = E_FAIL;
    {
        CVxTestTimeZone zone("EST5");  // five hours behind UTC, no daylight saving
        hr = helper.ParseExifLocalDateTimeStringToUtc(local, &utc);
        for (std::u16string bad : {u"2024:02:29 13:45", u"2024:02:29 13:xx:10", u" 2024:02:29 13:45:10"})
            EXPECT_EQ(helper.ParseExifLocalDateTimeStringToUtc(bad.data(), &utc), E_FAIL) << VxStr_ToUtf8(bad);
    }
    ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
    EXPECT_EQ(std::u16string(local), u"2024:02:29:13:45:10");
    SYSTEMTIME expected = {2024, 2, 0, 29, 18, 45, 10, 0};
    DATE expectedDate = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&expected, &expectedDate));
    EXPECT_DOUBLE_EQ(utc, expectedDate);
}
