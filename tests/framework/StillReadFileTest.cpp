#include "TestFormat.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

class StillReadFileTest : public ::testing::Test {
protected:
    CVxComPtr<IVxReadFile> Open(const CVxTestTempFile& file, HRESULT expected = S_OK)
    {
        HRESULT hr = E_FAIL;
        CVxComPtr<IVxReadFile> opened = VxTest_OpenTestFile(m_class.Get(), file.Path(), &hr);
        EXPECT_EQ(hr, expected) << VxTest_Describe(hr);
        return opened;
    }

    CVxComPtr<IVxReadFileClass> m_class = VxTest_CreateTestClass();
};

}  // namespace

TEST_F(StillReadFileTest, LayersAddAStreamEachBesideTheComposite)
{
    const struct {
        uint32_t layers;
        uint32_t streams;
    } cases[] = {{0, 1}, {1, 1}, {3, 4}, {0x10000, 1}, {0xFFFF, 0xFFFFFFFF}};
    for (const auto& c : cases) {
        CVxTestTempFile file(VxTest_WriteTestImage({.layers = c.layers}));
        if (c.streams > 4) {
            // A negative layer count (-1 in 16 bits) would ask for 2^32 - 1 streams.
            Open(file, E_OUTOFMEMORY);
            continue;
        }
        CVxComPtr<IVxReadFile> opened = Open(file);
        ASSERT_TRUE(opened);
        uint32_t count = 0;
        EXPECT_EQ(opened->GetStreamCount(&count), S_OK);
        EXPECT_EQ(count, c.streams) << c.layers << " layers";
    }
}

TEST_F(StillReadFileTest, OpenTwiceDoesNotTouchTheFileAgain)
{
    CVxTestTempFile file(VxTest_WriteTestImage({}));
    CVxComPtr<IVxReadFile> opened = Open(file);
    ASSERT_TRUE(opened);
    file.Remove();
    EXPECT_EQ(opened->Open(0, 32), S_OK);
    EXPECT_EQ(opened->IsOpen(), S_OK);
    EXPECT_EQ(opened->Close(), S_OK);
    EXPECT_EQ(opened->IsOpen(), S_FALSE);
    EXPECT_EQ(opened->Close(), S_OK);                  // closing a closed file is fine
    EXPECT_EQ(opened->Open(0, 32), VXE_FILE_READ);     // the file has vanished
    EXPECT_EQ(opened->IsOpen(), S_FALSE);
}

TEST_F(StillReadFileTest, StreamFormatsDescribeEachStream)
{
    CVxTestTempFile file(VxTest_WriteTestImage({.pixelType = kVxPixelBgr24, .width = 6, .height = 2}));
    CVxComPtr<IVxReadFile> opened = Open(file);
    ASSERT_TRUE(opened);
    VXFILESTREAMFORMATINFOv2 records[2] = {};
    EXPECT_EQ(opened->GetStreamFormats(records, 0, 2), E_INVALIDARG);
    EXPECT_EQ(opened->GetStreamFormats(records, -1, 1), E_INVALIDARG);
    ASSERT_EQ(opened->GetStreamFormats(records, 0, 1), S_OK);
    EXPECT_EQ(records[0].streamType, kVxStreamTypeVideo);
    EXPECT_EQ(records[0].format.video.biWidth, 6);
    EXPECT_EQ(records[0].format.video.biBitCount, 24);
    EXPECT_EQ(records[1].size, 0u);

    int32_t index = -1;
    EXPECT_EQ(opened->FindStream(0, kVxStreamTypeVideo, &index), S_OK);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(opened->FindStream(0, kVxStreamTypeAudio, &index), E_INVALIDARG);
    uint32_t type = 0, number = 9;
    EXPECT_EQ(opened->GetStreamType(0, &type, &number), S_OK);
    EXPECT_EQ(type, 2u);
    EXPECT_EQ(number, 0u);
    EXPECT_EQ(opened->GetStreamType(1, &type, &number), E_INVALIDARG);
}

TEST_F(StillReadFileTest, GetStreamAndCheckStreamTakeIndexesAndTypes)
{
    CVxTestTempFile file(VxTest_WriteTestImage({.layers = 2}));
    CVxComPtr<IVxReadFile> opened = Open(file);
    ASSERT_TRUE(opened);
    int marker = 0;
    EXPECT_EQ(opened->CheckStream(1, 0, nullptr), E_POINTER);  // even for a good index
    EXPECT_EQ(opened->CheckStream(2, 0, &marker), S_OK);
    EXPECT_EQ(opened->CheckStream(3, 0, &marker), E_INVALIDARG);
    EXPECT_EQ(opened->CheckStream(-1, 0, &marker), E_INVALIDARG);
    EXPECT_EQ(marker, 0);

    IVxReadStream* stream = nullptr;
    ASSERT_EQ(opened->GetStream(&stream, kVxStreamTypeVideo, 2, 0, 0), S_OK);
    int32_t index = -1;
    stream->GetStreamInfo(nullptr, nullptr, &index);
    EXPECT_EQ(index, 2);
    CVxComPtr<IVxReadFile> owner;
    ASSERT_EQ(stream->GetReadFile(&owner), S_OK);
    EXPECT_EQ(owner.Get(), opened.Get());
    stream->Release();
    EXPECT_EQ(opened->GetStream(&stream, -1, 3, 0, 0), E_INVALIDARG);
    EXPECT_EQ(opened->GetStream(&stream, kVxStreamTypeAudio, 0, 0, 0), E_INVALIDARG);
}

TEST_F(StillReadFileTest, TextsOfTheOpenFile)
{
    CVxTestTempFile file(VxTest_WriteTestImage({.pixelType = kVxPixelPalette8, .width = 4, .height = 2,
                                                .paletteCount = 16}));
    CVxComPtr<IVxReadFile> opened = Open(file);
    ASSERT_TRUE(opened);
    char16_t text[64] = u"stale";
    using Answer = std::pair<HRESULT, std::u16string>;
    auto answer = [&](HRESULT hr) { return Answer(hr, text); };  // the result and the text it left
    EXPECT_EQ(answer(opened->GetFormatName(text, 64, 2)), Answer(S_FALSE, u""));
    EXPECT_EQ(answer(opened->GetFormatName(text, 64, 1)), Answer(S_OK, u"Joint Picture Experts Group"));
    EXPECT_EQ(answer(opened->GetFormatName(text, 5, 1)), Answer(S_OK, u"Join"));
    EXPECT_EQ(answer(opened->GetDescription(text, 64, 0, 1)), Answer(S_OK, u"Uncompressed"));
    EXPECT_EQ(answer(opened->GetDescription(text, 64, 0, 2)), Answer(S_OK, u"4 x 2, 8 bits, 16 colors"));
    EXPECT_EQ(answer(opened->GetDescription(text, 64, 0, 3)), Answer(S_FALSE, u""));
    EXPECT_EQ(answer(opened->GetFileName(text, 64)), Answer(S_OK, file.Path()));
}

// A file not opened yet: no streams, property 4 tells the context, and one metadata object
// that counts on the file.
TEST_F(StillReadFileTest, NeverOpenedFileAnswersForItsContextAndMetadata)
{
    CVxComPtr<IVxReadFile> file;
    ASSERT_EQ(m_class->OpenReadFile(&file, 0, 0, u"/nonexistent.vxtf", FALSE), S_OK);
    IVxReadStream* stream = nullptr;
    int marker = 0;
    EXPECT_EQ(file->GetStream(&stream, -1, 0, 0, 0), E_INVALIDARG);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(file->CheckStream(0, 0, &marker), E_INVALIDARG);
    EXPECT_EQ(file->CheckStream(0, 0, nullptr), E_POINTER);

    uint32_t words[2] = {7, 7};
    ASSERT_EQ(file->GetFileProperty(words, 8, 0, 4), S_OK);
    EXPECT_EQ(words[0], 0u);
    EXPECT_EQ(words[1], 1u);
    ASSERT_EQ(file->GetFileProperty(words, 8, 5, 4), S_OK);
    EXPECT_EQ(words[1], 0u);
    words[0] = words[1] = 7;
    EXPECT_EQ(file->GetFileProperty(words, 4, 0, 4), S_FALSE);
    EXPECT_EQ(file->GetFileProperty(words, 8, 0, 3), S_FALSE);
    EXPECT_EQ(words[0], 7u);

    CVxComPtr<IVxReadMeta> first, second;
    ASSERT_EQ(file->GetReadMeta(&first), S_OK);
    ASSERT_EQ(file->GetReadMeta(&second), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(file->AddRef(), 4u);  // the host's and one per metadata reference
    file->Release();
}

TEST_F(StillReadFileTest, FailedOpensCloseTheImageAgain)
{
    CVxTestTempFile file(VxTest_WriteTestImage({.failures = kVxTestFailInfo}));
    CVxComPtr<IVxReadFile> opened;
    ASSERT_EQ(m_class->OpenReadFile(&opened, 0, 0, file.Path(), FALSE), S_OK);
    CVxTestReadFile* test = VxTest_TestFile(opened.Get());
    EXPECT_EQ(opened->Open(0, 32), VXE_CORRUPT);
    EXPECT_EQ(test->m_imageOpen, 0);
    EXPECT_EQ(opened->IsOpen(), S_FALSE);

    file.Write(VxTest_WriteTestImage({.failures = kVxTestFailOpen}));
    EXPECT_EQ(opened->Open(0, 32), VXE_FILE_OPEN);
    file.Write(VxTest_WriteTestImage({.failures = kVxTestTooManyColors}));
    EXPECT_EQ(opened->Open(0, 32), E_INVALIDARG);  // colour counts above 256 are refused
    EXPECT_EQ(test->m_imageOpen, 0);

    // The stream table made at the first open fixes the number of streams.
    file.Write(VxTest_WriteTestImage({}));
    ASSERT_EQ(opened->Open(0, 32), S_OK);
    opened->Close();
    file.Write(VxTest_WriteTestImage({.layers = 2}));
    EXPECT_EQ(opened->Open(0, 32), E_INVALIDARG);
    EXPECT_EQ(test->m_imageOpen, 0);
    EXPECT_EQ(opened->IsOpen(), S_FALSE);
}

TEST_F(StillReadFileTest, ReleasingAFileWithAHeldFrameGivesItBack)
{
    const int live = CVxTestReadFile::s_live;
    CVxTestTempFile file(VxTest_WriteTestImage({}));
    CVxComPtr<IVxReadFile> opened = Open(file);
    ASSERT_TRUE(opened);
    void* pixels = nullptr;
    ASSERT_EQ(VxTest_TestFile(opened.Get())->LoadFrame(&pixels), S_OK);
    ASSERT_NE(pixels, nullptr);
    opened->Close();
    opened.Reset();  // the destructor frees the buffer and the mutex (checked by the sanitizers)
    EXPECT_EQ(CVxTestReadFile::s_live, live);
}
