// The bitmap and TARGA readers as the host drives them: class object from the factory, open,
// stream, frame into a memory token.
#include "formats/dib/DibFormat.h"
#include "formats/tga/TgaFormat.h"
#include "platform/VxOwners.h"
#include "platform/VxStr.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/DibWriter.h"
#include "tests/fixtures/TgaWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

// What the TARGA decoder makes of a file's bytes in a zero-filled frame.
std::vector<uint8_t> TgaFrame(const std::vector<uint8_t>& file)
{
    VxTgaHeader h;
    VxTga_ParseHeader(file.data(), file.size(), &h);
    std::vector<uint8_t> frame(VxTga_FrameBytes(h), 0);
    VxTga_DecodeImage(file.data(), file.size(), frame.data(), frame.size(), nullptr);
    return frame;
}

}  // namespace

// The widening itself is ConvertDibTo32's and the decoding TgaFormat's (tested there); here:
// that each layout reaches the host as its record says, with the description texts.
TEST(DibReader, FramesReachTheHostAsTheirRecordSays)
{
    // Raw rows are read straight into the host's memory (VxTest_ReadFrame fills it with 0xCD):
    // what the file leaves out and the row padding must still arrive black.
    std::vector<uint8_t> cut = VxTest_WriteTga({.type = 2, .depth = 24, .pad = false});
    cut.resize(cut.size() - 10);
    const struct {
        REFCLSID plugin;
        std::vector<uint8_t> bytes;
        const char *compression, *size;
        uint16_t bits;
        uint32_t flags;
        int32_t stride;
        uint32_t bottomRow;
        std::vector<uint8_t> frame;  // empty: not compared
    } cases[] = {
        {CLSID_VxDibPlugin, VxTest_WriteDib({.width = 3, .height = 2, .bits = 8, .headerSize = 12}), "Uncompressed", "3x2x8", 32, 0, 12, 0, {}},
        {CLSID_VxDibPlugin, VxTest_WriteDib({.width = 3, .height = -2, .bits = 32, .colorsUsed = 4}), "Uncompressed",
         "3x-2x32", 32, 0xFFFFFFFFu, 12, 0, VxTest_DibRows(3, 2, 32)},  // copied, top row first as stored
        {CLSID_VxDibPlugin, VxTest_WriteDib({.width = 2, .height = 1, .bits = 8, .compression = BI_RLE8, .pixels = {2, 9, 0, 1}}),
         "RLE (8 Bit)", "2x1x8", 24, 0, 8, 0, {}},
        {CLSID_VxDibPlugin, VxTest_WriteDib({.bits = 4, .compression = BI_RLE4, .pixels = {0, 1}}), "RLE (4 Bit)", "5x3x4", 24, 0, 16, 0, {}},
        {CLSID_VxDibPlugin, VxTest_WriteDib({.compression = 0x32595559, .pixels = {0}}), "YUY2", "5x3x24", 24, 0, 16, 0, {}},
        // Top to bottom: a negative stride and the bottom row's offset.
        {CLSID_VxTgaPlugin, VxTest_WriteTga({.width = 3, .height = 4, .type = 10, .depth = 32, .descriptor = 0x28}),
         "Targa RLE", "3x4x32", 32, 0xFFFFFFFFu, -12, 36, {}},
        {CLSID_VxTgaPlugin, cut, "Targa RGB", "5x3x24", 24, 0, 16, 0, TgaFrame(cut)},
        {CLSID_VxTgaPlugin, VxTest_WriteTga({.type = 1, .depth = 8, .mapBits = 24, .mapLength = 3}), "Targa", "5x3x24", 24, 0, 16, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.compression);
        CVxTestOpenFile file(c.plugin, c.bytes, c.plugin == CLSID_VxDibPlugin ? ".bmp" : ".tga");
        ASSERT_EQ(file.openResult, S_OK) << VxTest_Describe(file.openResult);
        EXPECT_EQ(file.Text(1), c.compression);
        EXPECT_EQ(file.Text(2), c.size);
        std::vector<uint8_t> frame;
        VXFRAMEINFO record = {};
        ASSERT_EQ(VxTest_ReadFrame(file.stream.Get(), &frame, &record), S_OK);
        EXPECT_EQ(record.header.biBitCount, c.bits);
        EXPECT_EQ(record.extension.flags, c.flags);
        EXPECT_EQ(record.stride, c.stride);
        EXPECT_EQ(record.bottomRowOffset, c.bottomRow);
        EXPECT_TRUE(c.frame.empty() || frame == c.frame);
        EXPECT_EQ(VxTest_ReadFrame(file.stream.Get(), &frame, &record, 1), S_FALSE);
    }
}

TEST(DibReader, ReopeningReloadsTheHeaderOnlyAfterAChangeOnDisk)
{
    CVxTestOpenFile file(CLSID_VxDibPlugin, VxTest_WriteDib({.width = 4, .height = 2}), ".bmp");
    ASSERT_EQ(file.openResult, S_OK);
    namespace fs = std::filesystem;
    // A last-write time in whole seconds, which every system's time setter keeps, set while the
    // reader does not hold the file and before it first reads the header.
    const fs::file_time_type before = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(file.Path()));
    const auto reopen = [&](const std::vector<uint8_t>& bytes, fs::file_time_type time) {
        EXPECT_EQ(file.file->Close(), S_OK);
        if (!bytes.empty())
            file.Write(bytes);
        fs::last_write_time(file.Path(), time);
        return file.file->Open(0, 32);
    };
    ASSERT_EQ(reopen({}, before), S_OK);
    EXPECT_EQ(file.Text(2), "4x2x24");
    // New bytes under the old last-write time: the header read before is kept.
    ASSERT_EQ(reopen(VxTest_WriteDib({.width = 7, .height = 1}), before), S_OK);
    EXPECT_EQ(file.Text(2), "4x2x24");
    ASSERT_EQ(reopen(VxTest_WriteDib({.width = 6, .height = 5, .bits = 32}), before + std::chrono::seconds(10)), S_OK);
    EXPECT_EQ(file.Text(2), "6x5x32");
    std::vector<uint8_t> frame;
    VXFRAMEINFO record = {};
    ASSERT_EQ(VxTest_ReadFrame(file.stream.Get(), &frame, &record), S_OK);
    EXPECT_EQ(frame, VxTest_DibRows(6, 5, 32));
    CVxComPtr<IVxReadLayer> layer;
    EXPECT_EQ(file.stream.As(layer), E_NOINTERFACE);
}

// Both readers read the header on first need, not at Open; each answers a missing or broken
// file in its own terms, and tests headers its own way.
TEST(DibReader, HeaderIsLoadedOnFirstNeedAndTestedByEachClass)
{
    const struct {
        REFCLSID plugin;
        std::vector<uint8_t> broken;
        const char* suffix;
        HRESULT missingOpen, missingLoad, brokenLoad, closedLoad;
    } cases[] = {
        {CLSID_VxDibPlugin, VxTest_WriteDib({.headerSize = 20}), ".bmp", HRESULT(0x80070002), VXE_FILE_OPEN, E_OUTOFMEMORY, VXE_FILE_OPEN},
        {CLSID_VxTgaPlugin, VxTest_WriteTga({.width = 8193}), ".tga", S_OK, VXE_FILE_OPEN, VXE_CORRUPT, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        uint32_t flags = 0, count = 0, type = 0, number = 9;
        uint64_t length = 1;
        CVxTestOpenFile missing(c.plugin, {}, c.suffix);
        EXPECT_EQ(missing.openResult, c.missingOpen);
        ASSERT_EQ(missing.fileClass->GetClassFlags(&flags), S_OK);
        EXPECT_EQ(flags, 64u);
        EXPECT_EQ(missing.file ? missing.file->GetStreamCount(&count) : VXE_FILE_OPEN, c.missingLoad);
        CVxTestOpenFile broken(c.plugin, c.broken, c.suffix);
        ASSERT_EQ(broken.openResult, S_OK);
        EXPECT_EQ(broken.file->GetStreamType(0, &type, &number), S_OK);  // answered without loading
        EXPECT_EQ(type * 10 + number, 20u);
        EXPECT_EQ(broken.file->GetStreamCount(&count), c.brokenLoad);
        EXPECT_EQ(broken.file->GetLength(&length), c.brokenLoad);
        CVxTestOpenFile closed(c.plugin, c.broken, c.suffix, 0);
        EXPECT_EQ(closed.file->GetLength(&length), c.closedLoad);
    }
    // TARGA: only 277 bytes or more are tested, and only by their header.
    CVxTestOpenFile small(CLSID_VxTgaPlugin, VxTest_WriteTga({.pad = false}), ".tga");
    const std::vector<uint8_t> padded = VxTest_WriteTga({});
    EXPECT_EQ(small.fileClass->CheckFileHeader(nullptr, padded.data(), 276, 0), VXE_FILE_READ);
    EXPECT_EQ(small.fileClass->CheckFileHeader(nullptr, padded.data(), 277, 0), S_OK);
    EXPECT_EQ(small.fileClass->CheckFile(u"/tmp/any.tga"), E_NOTIMPL);
    // The bitmap class reads the information header from the file, whatever bytes are offered.
    CVxTestOpenFile good(CLSID_VxDibPlugin, VxTest_WriteDib({}), ".bmp");
    CVxHandle handle(CreateFileW(VxStr_FromUtf8(good.Path()).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    const uint8_t bm[2] = {'B', 'M'};
    EXPECT_EQ(good.fileClass->CheckFileHeader(handle.Get(), bm, 2, 0), S_OK);
    EXPECT_EQ(good.fileClass->CheckFileHeader(nullptr, bm, 2, 0), VXE_FILE_READ);
}
