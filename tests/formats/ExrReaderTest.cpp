#include "formats/exr/ExrReader.h"
#include "platform/VxWin32.h"
#include "plugin/ExrComponent.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/ExrWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The EXR reader class object through the module's class factory; the component must load
// from beside this program, where the build puts it.
CVxComPtr<IVxReadFileClass> ExrClass()
{
    CVxComPtr<IVxReadFileClass> fileClass = VxTest_ClassObject<IVxReadFileClass>(CLSID_VxExrPlugin);
    EXPECT_TRUE(VxExr_IsAvailable()) << "OpenExr.so was not found beside the test program";
    return fileClass;
}

// Opens bytes as an EXR file and delivers frame 0 into memory of this process.
struct ExrDecoded {
    std::unique_ptr<CVxTestTempFile> temp;  // first, so that it goes after the file is closed
    CVxComPtr<IVxReadFileClass> fileClass;  // outlives the file, as a host keeps it
    HRESULT open = E_FAIL;
    HRESULT frame = E_FAIL;
    VXFRAMEINFO record = {};
    std::vector<uint8_t> pixels;
    CVxComPtr<IVxReadFile> file;
    CVxComPtr<IVxReadVideoStream> stream;
};

ExrDecoded Decode(const std::vector<uint8_t>& bytes)
{
    ExrDecoded d;
    d.fileClass = ExrClass();
    if (!d.fileClass)
        return d;
    d.temp = std::make_unique<CVxTestTempFile>(bytes);
    d.open = d.fileClass->OpenReadFile(&d.file, 0, 0, d.temp->Path(), TRUE);
    if (SUCCEEDED(d.open) && (d.stream = VxTest_VideoStream(d.file.Get())))
        d.frame = VxTest_ReadFrame(d.stream.Get(), &d.pixels, &d.record);
    return d;
}

struct ExrCase {
    const char* name;
    VxTestExrOptions options;
};

const ExrCase kCases[] = {
    {"half RGBA, ZIP, pixels twice as wide", {.pixelAspect = 2.0f}},
    {"float RGB, PIZ, high range", {.width = 7, .height = 4, .channels = VxTestExrChannels::Rgb,
                                    .type = VxTestExrType::Float, .compression = 4, .scale = 1000.0f}},
    {"luminance only: grey and opaque", {.channels = VxTestExrChannels::Luminance}},
    {"luminance and chroma", {.width = 8, .height = 6, .channels = VxTestExrChannels::LuminanceChroma}},
    {"data window off the display window", {.originX = -3, .originY = 7}},
    {"tiled float, tiles over the edge", {.width = 5, .height = 7, .type = VxTestExrType::Float,
                                          .compression = 0, .tileSize = 2}},
    {"unsigned, RLE", {.type = VxTestExrType::Uint, .compression = 1}},
    {"640 x 480, PIZ", {.width = 640, .height = 480, .compression = 4}},
};

TEST(ExrReader, FramesEqualTheLibrarysOwnReading)
{
    for (const ExrCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = VxTest_WriteExr(c.options);
        const std::vector<float> expected = VxTest_ReadExrRgba(bytes);  // R, G, B, A, top row first
        const size_t width = size_t(c.options.width), height = size_t(c.options.height);
        ASSERT_EQ(expected.size(), width * height * 4);
        const ExrDecoded d = Decode(bytes);
        ASSERT_EQ(d.open, S_OK) << VxTest_Describe(d.open);
        ASSERT_EQ(d.frame, S_OK) << VxTest_Describe(d.frame);

        ASSERT_EQ(d.pixels.size(), width * height * 16);  // 640 x 480: 4,915,200
        tVXVIDEOEXTENSION extension;  // an aligned copy: the frame record packs it
        std::memcpy(&extension, &d.record.extension, sizeof extension);
        EXPECT_EQ(extension.pixelAspect, c.options.pixelAspect);
        EXPECT_EQ(extension.reserved, 1.0);
        EXPECT_EQ(extension.frameRate, 0.0);  // a still
        EXPECT_EQ(extension.flags, 0u);
        EXPECT_EQ(d.record.header.biCompression, VxFourCC('V', 'X', 'D', 'B'));
        EXPECT_EQ(d.record.header.biBitCount, 128);
        EXPECT_EQ(d.record.header.biWidth, int32_t(width));
        EXPECT_EQ(d.record.header.biHeight, int32_t(height));  // bottom-up
        EXPECT_EQ(d.record.stride, int32_t(width * 16));
        std::vector<float> frame(width * height * 4);
        std::memcpy(frame.data(), d.pixels.data(), d.pixels.size());
        size_t wrong = 0;
        for (size_t y = 0; y < height; ++y)
            for (size_t x = 0; x < width; ++x) {
                const float* want = &expected[(y * width + x) * 4];
                const float* got = &frame[((height - 1 - y) * width + x) * 4];
                wrong += got[0] != want[2] || got[1] != want[1] || got[2] != want[0] || got[3] != want[3];
            }
        EXPECT_EQ(wrong, 0u);
        CVxComPtr<IVxReadLayer> layers;
        ASSERT_EQ(d.stream.As(layers), S_OK);
        uint32_t count = 0;
        EXPECT_EQ(layers->GetLayerCount(&count), VXE_LAYERS_UNSUPPORTED);
    }
}

// The component is loaded only while an EXR class object (or a plug-in information object)
// exists. A file whose component is not loaded answers its open with VXE_FILE_OPEN; here the
// file is made directly, with another format's class object as its owner.
TEST(ExrReader, OpensFailWithoutTheComponentAndOnlyTheMagicIsClaimed)
{
    ASSERT_FALSE(VxExr_IsAvailable());
    CVxComPtr<IVxReadFileClass> owner = VxTest_ClassObject<IVxReadFileClass>(CLSID_VxPngPlugin);
    ASSERT_TRUE(owner);
    CVxComPtr<IVxReadFile> file;
    CVxExrReadFile* made = new CVxExrReadFile(static_cast<CVxStillReadFileClass*>(owner.Get()));
    ASSERT_EQ(made->QueryInterface(IID_IVxReadFile, file.OutVoid()), S_OK);
    const CVxTestTempFile exr(VxTest_WriteExr({}));
    ASSERT_EQ(file->SetFileName(exr.Path()), S_OK);
    EXPECT_EQ(file->Open(0, 0), VXE_FILE_OPEN);

    // The class object claims only the magic number.
    CVxComPtr<IVxReadFileClass> fileClass = ExrClass();
    ASSERT_TRUE(fileClass);
    const uint8_t good[] = {0x76, 0x2F, 0x31, 0x01, 2, 0, 0, 0};
    const uint8_t wrongVersionByte[] = {0x76, 0x2F, 0x31, 0x02};
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, good, sizeof good, 0), S_OK);
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, good, 3, 0), VXE_FILE_READ);
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, wrongVersionByte, 4, 0), VXE_FILE_READ);
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, nullptr, 4, 0), VXE_FILE_READ);
}

void PutInt(std::vector<uint8_t>& bytes, size_t at, int32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);  // little-endian like the file
}

TEST(ExrReader, RefusesBadFilesWithACode)
{
    const std::vector<uint8_t> good = VxTest_WriteExr({.width = 40, .height = 40});
    // The data window's four coordinates follow its name, type and size.
    static const char kWindow[] = "dataWindow\0box2i";
    const size_t window = size_t(std::search(good.begin(), good.end(), kWindow, kWindow + sizeof kWindow) -
                                 good.begin()) + sizeof kWindow + 4;
    ASSERT_LT(window, good.size());
    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad;
    for (const size_t length : {size_t(4), size_t(8), window, good.size() / 2, good.size() - 1})
        bad.emplace_back("cut at " + std::to_string(length), std::vector<uint8_t>(good.begin(), good.begin() + length));
    std::vector<uint8_t> edited = good;
    PutInt(edited, window + 8, 0x7FFFFFF0);  // a data window too wide for any frame
    bad.emplace_back("huge width", edited);
    edited = good;
    PutInt(edited, window + 12, 40000);  // 40 x 40,001 rows: more chunks than the file has room for
    bad.emplace_back("rows beyond the offset table", edited);
    edited = good;
    edited[5] |= 0x08;  // flag: deep data
    bad.emplace_back("deep", edited);
    edited = good;
    edited[5] |= 0x10;  // flag: several parts
    bad.emplace_back("multi-part", edited);
    bad.emplace_back("no colour channel", VxTest_WriteExr({.channels = VxTestExrChannels::AlphaOnly}));
    // Found by fuzzing: an attribute of a type the library does not know, claiming 1.8 GB,
    // which the library would allocate before reading.
    static const char kWidth[] = "screenWindowWidth\0float";
    const auto attribute = std::search(good.begin(), good.end(), kWidth, kWidth + sizeof kWidth);
    ASSERT_NE(attribute, good.end());
    edited = good;
    const size_t type = size_t(attribute - good.begin()) + sizeof "screenWindowWidth";
    edited[type + 2] = 'x';  // "flxat"
    PutInt(edited, type + sizeof "float", 0x6F64A000);
    bad.emplace_back("unknown attribute larger than the file", edited);
    edited = good;
    std::fill(edited.begin() + ptrdiff_t(good.size() / 2), edited.end(), 0xFF);
    bad.emplace_back("pixel data overwritten", edited);

    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        const ExrDecoded d = Decode(bytes);
        EXPECT_TRUE(FAILED(d.open) || FAILED(d.frame)) << VxTest_Describe(d.frame);
        if (FAILED(d.open)) {
            EXPECT_EQ(d.open, VXE_FILE_OPEN) << VxTest_Describe(d.open);
        }
    }

    // Found by fuzzing: a single row 11.6 million pixels wide. The library sizes its buffers for
    // a whole chunk of 16 rows (1.5 GB), so the open must refuse it rather than the read.
    edited = good;
    PutInt(edited, window + 8, 11599880);
    PutInt(edited, window + 12, 0);
    EXPECT_EQ(Decode(edited).open, VXE_FILE_OPEN);
}

}  // namespace
