// The bitmap and TARGA readers as the host drives them: class object from the factory, open,
// stream, frame into a memory token.
#include "formats/dib/DibFormat.h"
#include "platform/VxStr.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/DibWriter.h"
#include "tests/fixtures/TgaWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

extern "C" HRESULT VXAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);

namespace {

// An image file opened through its reader class, removed at the end of the test.
class Opened {
public:
    Opened(REFCLSID plugin, const std::vector<uint8_t>& bytes, const char* suffix)
    {
        m_path = std::string("/tmp/vxdibtga") + std::to_string(getpid()) + "-" + std::to_string(s_count++) + suffix;
        Write(bytes);
        CVxComPtr<IClassFactory> factory;
        if (SUCCEEDED(DllGetClassObject(plugin, IID_IClassFactory, factory.OutVoid())))
            factory->CreateInstance(nullptr, IID_IVxReadFileClass, fileClass.OutVoid());
        if (fileClass)
            openResult = fileClass->OpenReadFile(&file, 0, 0, VxStr_FromUtf8(m_path).c_str(), 1);
        CVxComPtr<IVxReadStream> plain;
        if (file && SUCCEEDED(file->GetStream(&plain, -1, 0, 0, 0)))
            plain.As(stream);
    }
    ~Opened() { std::remove(m_path.c_str()); }

    void Write(const std::vector<uint8_t>& bytes) const
    {
        if (FILE* f = std::fopen(m_path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }

    std::string Text(uint32_t kind) const
    {
        char16_t buf[64] = {};
        file->GetDescription(buf, 64, 0, kind);
        return VxStr_ToUtf8(buf);
    }

    // Frame 0 (or another) into host memory sized as GetFrameBufferSize says.
    HRESULT Frame(std::vector<uint8_t>* pixels, VXFRAMEINFO* record, uint32_t number = 0) const
    {
        uint32_t flags = 0, bytes = 0;
        VX_RETURN_IF_FAILED(stream->GetFrameBufferSize(0, 0, &flags, &bytes));
        pixels->assign(bytes, 0xCD);
        _vxmemorytoken token = {};
        token.baseAddress = reinterpret_cast<uint64_t>(pixels->data());
        token.dataSize = int32_t(bytes);
        token.mappedSize = bytes;
        token.ownerProcessId = uint32_t(getpid());
        uint32_t delivered = 0;
        return stream->GetFrame(number, 0, &flags, token, record, &delivered);
    }

    CVxComPtr<IVxReadFileClass> fileClass;
    CVxComPtr<IVxReadFile> file;
    CVxComPtr<IVxReadVideoStream> stream;
    HRESULT openResult = E_FAIL;

private:
    static inline int s_count = 0;
    std::string m_path;
};

uint32_t Pixel(const std::vector<uint8_t>& frame, size_t offset)
{
    return uint32_t(frame[offset]) | frame[offset + 1] << 8 | frame[offset + 2] << 16 | uint32_t(frame[offset + 3]) << 24;
}

}  // namespace

TEST(DibReader, PaletteAndSixteenBitFramesAreWidenedToThirtyTwoBits)
{
    // A core header with 8 bits: the frame's fourth bytes are 0, the entries' own.
    Opened core(CLSID_VxDibPlugin, VxTest_WriteDib({.width = 3, .height = 2, .bits = 8, .headerSize = 12}), ".bmp");
    ASSERT_EQ(core.openResult, S_OK) << VxTest_Describe(core.openResult);
    EXPECT_EQ(core.Text(1), "Uncompressed");
    EXPECT_EQ(core.Text(2), "3x2x8");
    std::vector<uint8_t> frame;
    VXFRAMEINFO record = {};
    ASSERT_EQ(core.Frame(&frame, &record), S_OK);
    EXPECT_EQ(record.header.biBitCount, 32);
    uint8_t entry[4];
    VxTest_DibPaletteEntry(VxTest_DibRows(3, 2, 8)[4], entry);  // row 1, pixel 0
    EXPECT_EQ(Pixel(frame, 12), uint32_t(entry[0] | entry[1] << 8 | entry[2] << 16));
    EXPECT_EQ(record.extension.flags, 0u);
    EXPECT_EQ(core.Frame(&frame, &record, 1), S_FALSE);

    // 1 bit, 10 wide: the second byte's two high bits are pixels 8 and 9.
    Opened bits(CLSID_VxDibPlugin, VxTest_WriteDib({.width = 10, .height = 1, .bits = 1, .pixels = {0, 0x80, 0, 0}}), ".bmp");
    ASSERT_EQ(bits.Frame(&frame, &record), S_OK);
    VxTest_DibPaletteEntry(1, entry);
    EXPECT_EQ(Pixel(frame, 32) & 0xFFFFFF, uint32_t(entry[0] | entry[1] << 8 | entry[2] << 16));
    EXPECT_EQ(Pixel(frame, 36) & 0xFFFFFF, 0x030201u);  // entry 0

    // 5-5-5 and 5-6-5: each channel scaled by 255 over its maximum, fourth byte 255.
    Opened rgb555(CLSID_VxDibPlugin, VxTest_WriteDib({.width = 1, .height = 1, .bits = 16, .pixels = {0x21, 0x7C, 0, 0}}), ".bmp");
    ASSERT_EQ(rgb555.Frame(&frame, &record), S_OK);
    EXPECT_EQ(Pixel(frame, 0), 0xFFFF0808u);  // red 31, green 1, blue 1
    Opened rgb565(CLSID_VxDibPlugin, VxTest_WriteDib({.width = 1, .height = 1, .bits = 16, .compression = BI_BITFIELDS,
                                                      .masks = {0xF800, 0x07E0, 0x1F}, .pixels = {0x20, 0x00, 0, 0}}), ".bmp");
    ASSERT_EQ(rgb565.Frame(&frame, &record), S_OK);
    EXPECT_EQ(Pixel(frame, 0), 0xFF000400u);  // green 1 of 63

    // An index at or beyond the colour count stops the widening.
    Opened beyond(CLSID_VxDibPlugin, VxTest_WriteDib({.width = 2, .height = 1, .bits = 8, .colorsUsed = 2,
                                                      .pixels = {1, 2, 0, 0}}), ".bmp");
    EXPECT_EQ(beyond.Frame(&frame, &record), E_FAIL);
}

TEST(DibReader, DeepAndCompressedFramesAreCopiedAsDescribed)
{
    // 32 bits, top-down, with a colour table: copied byte for byte, flag word -1.
    const VxTestDibOptions deep{.width = 3, .height = -2, .bits = 32, .colorsUsed = 4};
    Opened file(CLSID_VxDibPlugin, VxTest_WriteDib(deep), ".bmp");
    std::vector<uint8_t> frame;
    VXFRAMEINFO record = {};
    ASSERT_EQ(file.Frame(&frame, &record), S_OK);
    EXPECT_EQ(frame, VxTest_DibRows(3, 2, 32));
    EXPECT_EQ(record.header.biHeight, -2);
    EXPECT_EQ(record.extension.flags, 0xFFFFFFFFu);

    Opened rle(CLSID_VxDibPlugin, VxTest_WriteDib({.width = 2, .height = 1, .bits = 8, .compression = BI_RLE8,
                                                   .pixels = {2, 9, 0, 1}}), ".bmp");
    EXPECT_EQ(rle.Text(1), "RLE (8 Bit)");
    ASSERT_EQ(rle.Frame(&frame, &record), S_OK);
    EXPECT_EQ(record.header.biBitCount, 24);
    Opened rle4(CLSID_VxDibPlugin, VxTest_WriteDib({.bits = 4, .compression = BI_RLE4, .pixels = {0, 1}}), ".bmp");
    EXPECT_EQ(rle4.Text(1), "RLE (4 Bit)");
    Opened fourcc(CLSID_VxDibPlugin, VxTest_WriteDib({.compression = 0x32595559, .pixels = {0}}), ".bmp");
    EXPECT_EQ(fourcc.Text(1), "YUY2");
}

TEST(DibReader, ReopeningAfterAChangeOnDiskReloadsTheHeader)
{
    Opened file(CLSID_VxDibPlugin, VxTest_WriteDib({.width = 4, .height = 2}), ".bmp");
    ASSERT_EQ(file.openResult, S_OK);
    EXPECT_EQ(file.file->Close(), S_OK);
    usleep(20000);  // a later last-write time
    file.Write(VxTest_WriteDib({.width = 6, .height = 5, .bits = 32}));
    ASSERT_EQ(file.file->Open(0, 32), S_OK);
    EXPECT_EQ(file.Text(2), "6x5x32");
    std::vector<uint8_t> frame;
    VXFRAMEINFO record = {};
    ASSERT_EQ(file.Frame(&frame, &record), S_OK);
    EXPECT_EQ(frame, VxTest_DibRows(6, 5, 32));
    CVxComPtr<IVxReadLayer> layer;
    EXPECT_EQ(file.stream.As(layer), E_NOINTERFACE);
}

TEST(TgaReader, DeliversFramesWithTheFilesRowOrder)
{
    // Top to bottom: a negative stride and the bottom row's offset.
    Opened top(CLSID_VxTgaPlugin, VxTest_WriteTga({.width = 3, .height = 4, .type = 10, .depth = 32, .descriptor = 0x28}), ".tga");
    ASSERT_EQ(top.openResult, S_OK) << VxTest_Describe(top.openResult);
    EXPECT_EQ(top.Text(1), "Targa RLE");
    EXPECT_EQ(top.Text(2), "3x4x32");
    std::vector<uint8_t> frame;
    VXFRAMEINFO record = {};
    ASSERT_EQ(top.Frame(&frame, &record), S_OK);
    EXPECT_EQ(record.stride, -12);
    EXPECT_EQ(record.bottomRowOffset, 36u);
    EXPECT_EQ(record.extension.flags, 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(frame, 0), VxTest_TgaValue({.type = 10, .depth = 32}, 0));  // alpha kept

    Opened mapped(CLSID_VxTgaPlugin, VxTest_WriteTga({.type = 1, .depth = 8, .mapBits = 24, .mapLength = 3}), ".tga");
    EXPECT_EQ(mapped.Text(1), "Targa");
    ASSERT_EQ(mapped.Frame(&frame, &record), S_OK);
    EXPECT_EQ(record.stride, 16);
    EXPECT_EQ(record.extension.flags, 0u);
    EXPECT_EQ(top.Frame(&frame, &record, 1), S_FALSE);
}

TEST(TgaReader, ClaimsOnlyWholeValidHeaders)
{
    Opened small(CLSID_VxTgaPlugin, VxTest_WriteTga({.pad = false}), ".tga");
    const std::vector<uint8_t> padded = VxTest_WriteTga({});
    EXPECT_EQ(small.fileClass->CheckFileHeader(nullptr, padded.data(), 276, 0), VXE_FILE_READ);
    EXPECT_EQ(small.fileClass->CheckFileHeader(nullptr, padded.data(), 277, 0), S_OK);
    EXPECT_EQ(small.fileClass->CheckFile(u"/tmp/any.tga"), E_NOTIMPL);
    EXPECT_EQ(small.openResult, S_OK);  // opened by name all the same
    Opened wide(CLSID_VxTgaPlugin, VxTest_WriteTga({.width = 8193}), ".tga");
    EXPECT_EQ(wide.openResult, VXE_CORRUPT);
}
