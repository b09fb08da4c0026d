#include "formats/png/PngFormat.h"
#include "platform/VxStr.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PngWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

extern "C" HRESULT VXAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);

namespace {

// A PNG in a temporary file, removed at the end of the test.
class PngTestFile {
public:
    explicit PngTestFile(const std::vector<uint8_t>& bytes)
    {
        char pattern[] = "/tmp/vxpngXXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) {
            [[maybe_unused]] const ssize_t written = write(fd, bytes.data(), bytes.size());
            close(fd);
        }
        m_path = pattern;
        m_widePath = VxStr_FromUtf8(m_path);
    }
    ~PngTestFile() { std::remove(m_path.c_str()); }
    PngTestFile(const PngTestFile&) = delete;
    PngTestFile& operator=(const PngTestFile&) = delete;

    const char16_t* Path() const { return m_widePath.c_str(); }

private:
    std::string m_path;
    std::u16string m_widePath;
};

// The PNG reader class object as the host gets it: through the module's class factory.
CVxComPtr<IVxReadFileClass> PngClass()
{
    CVxComPtr<IClassFactory> factory;
    CVxComPtr<IVxReadFileClass> fileClass;
    if (SUCCEEDED(DllGetClassObject(CLSID_VxPngPlugin, IID_IClassFactory, factory.OutVoid())))
        factory->CreateInstance(nullptr, IID_IVxReadFileClass, fileClass.OutVoid());
    return fileClass;
}

CVxComPtr<IVxReadVideoStream> VideoStream(IVxReadFile* file)
{
    CVxComPtr<IVxReadStream> stream;
    CVxComPtr<IVxReadVideoStream> video;
    if (SUCCEEDED(file->GetStream(&stream, -1, 0, 0, 0)))
        stream.As(video);
    return video;
}

// Frame 0 into host memory of this process, sized as GetFrameBufferSize says.
HRESULT ReadFrame(IVxReadVideoStream* stream, std::vector<uint8_t>* pixels, VXFRAMEINFO* frame)
{
    uint32_t flags = 0;
    uint32_t bytes = 0;
    VX_RETURN_IF_FAILED(stream->GetFrameBufferSize(0, 0, &flags, &bytes));
    VX_RETURN_IF_FAILED(stream->GetFrameFormat(0, 0, &flags, frame));
    pixels->assign(bytes, 0xCD);
    _vxmemorytoken token = {};
    token.baseAddress = reinterpret_cast<uint64_t>(pixels->data());
    token.dataSize = int32_t(bytes);
    token.mappedSize = bytes;
    token.kind = kVxTokenKindMemory;
    token.ownerProcessId = GetCurrentProcessId();
    uint32_t delivered = 0;
    VX_RETURN_IF_FAILED(stream->GetFrame(0, 0, &flags, token, frame, &delivered));
    return delivered == bytes ? S_OK : E_UNEXPECTED;
}

struct PngCase {
    uint8_t colorType;
    uint8_t bitDepth;
    bool transparency;
    uint16_t bitCount;     // of the stream's header
    uint32_t compression;  // of the stream's header
};

constexpr uint32_t kGrey = kVxCompressionGrey;
constexpr uint32_t kDeep = kVxCompressionDeepBgra;

constexpr PngCase kPngCases[] = {
    {0, 1, false, 1, kGrey},   {0, 2, false, 2, kGrey},   {0, 4, false, 4, kGrey},
    {0, 8, false, 8, kGrey},   {0, 16, false, 16, kGrey}, {0, 2, true, 32, kDeep},
    {0, 16, true, 64, kDeep},  {2, 8, false, 24, BI_RGB}, {2, 8, true, 32, kDeep},
    {2, 16, false, 64, kDeep}, {3, 1, false, 8, BI_RGB},  {3, 2, false, 4, BI_RGB},
    {3, 4, false, 4, BI_RGB},  {3, 8, false, 8, BI_RGB},  {3, 4, true, 32, kDeep},
    {4, 8, false, 32, kDeep},  {4, 16, false, 64, kDeep}, {6, 8, false, 32, kDeep},
    {6, 16, false, 64, kDeep},
};

VxTestPngOptions OptionsFor(const PngCase& c, bool interlace = false)
{
    VxTestPngOptions o{.width = 7, .height = 5, .colorType = c.colorType, .bitDepth = c.bitDepth,
                       .interlace = interlace};
    if (c.transparency) {
        if (c.colorType == 3) {
            o.transparency = std::vector<uint16_t>{0, 128, 255};
        } else {
            const uint32_t channels = VxTest_PngChannels(c.colorType);
            const std::vector<uint16_t> samples = VxTest_PngSamples(o);
            o.transparency = std::vector<uint16_t>(samples.begin() + channels, samples.begin() + 2 * channels);
        }
    }
    return o;
}

TEST(PngReader, FactoryMakesTheReaderAndRendererClasses)
{
    CVxComPtr<IVxReadFileClass> fileClass = PngClass();
    ASSERT_TRUE(fileClass);
    GUID id = {};
    EXPECT_EQ(fileClass->GetClassID(&id), S_OK);
    EXPECT_TRUE(id == CLSID_VxPngReader);
    uint32_t value = 99;
    EXPECT_EQ(fileClass->GetMediaTypes(&value), S_OK);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(fileClass->GetClassFlags(&value), S_OK);
    EXPECT_EQ(value, 0u);

    const uint32_t ids[] = {1, 2, 4, 5, 6};
    const char16_t* expected[] = {u"PNG", u"Portable Network Graphic", u"*.png",
                                  u"Portable Network Graphic", u"Open PNG"};
    BSTR texts[5] = {};
    ASSERT_EQ(fileClass->GetInfoText(ids, 5, texts), S_OK);
    for (int i = 0; i < 5; ++i) {
        ASSERT_NE(texts[i], nullptr) << ids[i];
        EXPECT_EQ(std::u16string(texts[i]), expected[i]) << ids[i];
        SysFreeString(texts[i]);
    }

    CVxComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(CLSID_VxPngPlugin, IID_IClassFactory, factory.OutVoid()), S_OK);
    CVxComPtr<IVxRenderFileClass> renderer;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IVxRenderFileClass, renderer.OutVoid()), S_OK);
}

TEST(PngReader, CheckFileHeaderTellsShortFromForeignHeads)
{
    CVxComPtr<IVxReadFileClass> fileClass = PngClass();
    ASSERT_TRUE(fileClass);
    const std::vector<uint8_t> png = VxTest_WritePng({});
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, png.data(), uint32_t(png.size()), 0), S_OK);
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, png.data(), 7, 0), VXE_FILE_READ);
    const uint8_t bitmap[8] = {'B', 'M', 0x36, 0, 0, 0, 0, 0};
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, bitmap, 8, 0), VXE_FILE_OPEN);
}

TEST(PngReader, DeliversEveryKindOfPngToTheHost)
{
    CVxComPtr<IVxReadFileClass> fileClass = PngClass();
    ASSERT_TRUE(fileClass);
    for (const PngCase& c : kPngCases) {
        for (bool interlace : {false, true}) {
            SCOPED_TRACE("colour type " + std::to_string(c.colorType) + ", depth " +
                         std::to_string(c.bitDepth) + (c.transparency ? ", tRNS" : "") +
                         (interlace ? ", interlaced" : ""));
            const VxTestPngOptions o = OptionsFor(c, interlace);
            PngTestFile file(VxTest_WritePng(o));
            CVxComPtr<IVxReadFile> opened;
            HRESULT hr = fileClass->OpenReadFile(&opened, 0, 0, file.Path(), 1);
            ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);

            uint32_t count = 0;
            EXPECT_EQ(opened->GetStreamCount(&count), S_OK);
            EXPECT_EQ(count, 1u);
            VXFILESTREAMFORMATINFOv2 format = {};
            format.size = sizeof format;
            ASSERT_EQ(opened->GetStreamFormats(&format, 0, 1), S_OK);
            EXPECT_EQ(format.streamType, 2u);
            const BITMAPINFOHEADER& header = format.format.video;
            EXPECT_EQ(header.biWidth, 7);
            EXPECT_EQ(header.biHeight, 5);
            EXPECT_EQ(header.biBitCount, c.bitCount);
            EXPECT_EQ(header.biCompression, c.compression);
            EXPECT_EQ(header.biSizeImage, (c.bitCount * 7u + 31) / 32 * 4 * 5);
            EXPECT_EQ(format.extension.video.flags, c.compression == kDeep ? 1u : 0u);

            char16_t text[64] = {};
            EXPECT_EQ(opened->GetDescription(text, 64, 0, 1), S_OK);
            EXPECT_EQ(std::u16string(text), u"Inflate compression");

            CVxComPtr<IVxReadVideoStream> stream = VideoStream(opened.Get());
            ASSERT_TRUE(stream);
            std::vector<uint8_t> pixels;
            VXFRAMEINFO frame = {};
            hr = ReadFrame(stream.Get(), &pixels, &frame);
            ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
            if (c.bitCount <= 8) {
                EXPECT_EQ(frame.header.biBitCount, 32);
                EXPECT_EQ(pixels, VxTest_PngExpectedWidened(o));
            } else {
                EXPECT_EQ(frame.header.biBitCount, c.bitCount);
                EXPECT_EQ(pixels, VxTest_PngExpectedFrame(o, c.bitCount));
            }

            CVxComPtr<IVxReadMeta> meta;
            EXPECT_EQ(opened->GetReadMeta(&meta), S_OK);
            EXPECT_TRUE(meta);
            EXPECT_EQ(opened->Close(), S_OK);
        }
    }
}

TEST(PngReader, PaletteColoursReachTheHeaderAndTheFrame)
{
    // A 2-bit image with three colours: a three-entry table, 4-bit indices in the frame.
    const VxTestPngOptions o{.width = 5, .height = 2, .colorType = 3, .bitDepth = 2,
                             .samples = {0, 1, 2, 1, 0, 2, 2, 1, 0, 0},
                             .palette = {255, 0, 0, 0, 255, 0, 0, 0, 255}};
    PngTestFile file(VxTest_WritePng(o));
    CVxComPtr<IVxReadFile> opened;
    ASSERT_EQ(PngClass()->OpenReadFile(&opened, 0, 0, file.Path(), 1), S_OK);
    CVxComPtr<IVxReadVideoStream> stream = VideoStream(opened.Get());
    ASSERT_TRUE(stream);
    VXFILESTREAMFORMATINFOv2 format = {};
    format.size = sizeof format;
    ASSERT_EQ(stream->GetFormatInfo(&format), S_OK);
    EXPECT_EQ(format.format.video.biBitCount, 4);
    EXPECT_EQ(format.format.video.biClrUsed, 3u);
    std::vector<uint8_t> pixels;
    VXFRAMEINFO frame = {};
    ASSERT_EQ(ReadFrame(stream.Get(), &pixels, &frame), S_OK);
    ASSERT_EQ(pixels.size(), 5u * 2 * 4);
    // Bottom row first: its first pixel is index 2, blue.
    EXPECT_EQ(std::vector<uint8_t>(pixels.begin(), pixels.begin() + 4), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(pixels, VxTest_PngExpectedWidened(o));
}

TEST(PngReader, BadFilesFailAtOpenOrAtTheFrame)
{
    CVxComPtr<IVxReadFileClass> fileClass = PngClass();
    ASSERT_TRUE(fileClass);
    const std::vector<uint8_t> png = VxTest_WritePng({.width = 40, .height = 30, .colorType = 6, .bitDepth = 8});

    // Cut inside IHDR: the header step fails, so does Open.
    PngTestFile header(std::vector<uint8_t>(png.begin(), png.begin() + 20));
    CVxComPtr<IVxReadFile> opened;
    EXPECT_EQ(fileClass->OpenReadFile(&opened, 0, 0, header.Path(), 1), E_FAIL);
    EXPECT_FALSE(opened);
    EXPECT_EQ(fileClass->CheckFile(header.Path()), E_FAIL);

    // Cut inside the image data: the file opens, its frame fails, and the next request fails
    // the same way (nothing was left held).
    PngTestFile data(std::vector<uint8_t>(png.begin(), png.end() - 40));
    ASSERT_EQ(fileClass->OpenReadFile(&opened, 0, 0, data.Path(), 1), S_OK);
    CVxComPtr<IVxReadVideoStream> stream = VideoStream(opened.Get());
    ASSERT_TRUE(stream);
    std::vector<uint8_t> pixels;
    VXFRAMEINFO frame = {};
    EXPECT_EQ(ReadFrame(stream.Get(), &pixels, &frame), E_FAIL);
    EXPECT_EQ(ReadFrame(stream.Get(), &pixels, &frame), E_FAIL);

    // Not a file at all.
    opened.Reset();
    EXPECT_EQ(fileClass->OpenReadFile(&opened, 0, 0, u"/nonexistent/vx.png", 1), VXE_FILE_READ);
}

TEST(PngReader, FramesRepeatAndSurviveReopening)
{
    const VxTestPngOptions o{.width = 33, .height = 17, .colorType = 2, .bitDepth = 16};
    PngTestFile file(VxTest_WritePng(o));
    CVxComPtr<IVxReadFileClass> fileClass = PngClass();
    ASSERT_TRUE(fileClass);
    EXPECT_EQ(fileClass->CheckFile(file.Path()), S_OK);
    CVxComPtr<IVxReadFile> opened;
    ASSERT_EQ(fileClass->OpenReadFile(&opened, 0, 0, file.Path(), 1), S_OK);
    const std::vector<uint8_t> expected = VxTest_PngExpectedFrame(o, 64);
    for (int round = 0; round < 2; ++round) {
        CVxComPtr<IVxReadVideoStream> stream = VideoStream(opened.Get());
        ASSERT_TRUE(stream);
        for (int i = 0; i < 2; ++i) {
            std::vector<uint8_t> pixels;
            VXFRAMEINFO frame = {};
            ASSERT_EQ(ReadFrame(stream.Get(), &pixels, &frame), S_OK) << round << i;
            EXPECT_EQ(pixels, expected) << round << i;
        }
        EXPECT_EQ(opened->Close(), S_OK);
        ASSERT_EQ(opened->Open(0, 32), S_OK);
    }
    CVxComPtr<IVxReadLayer> layer;
    CVxComPtr<IVxReadVideoStream> stream = VideoStream(opened.Get());
    ASSERT_EQ(stream.As(layer), S_OK);
    uint32_t layers = 0;
    EXPECT_EQ(layer->GetLayerCount(&layers), VXE_LAYERS_UNSUPPORTED);
}

}  // namespace
