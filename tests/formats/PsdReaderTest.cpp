#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PsdWriter.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Stream index's layer interface.
CVxComPtr<IVxReadLayer> Layers(IVxReadFile* file, int32_t stream)
{
    CVxComPtr<IVxReadLayer> layers;
    if (CVxComPtr<IVxReadVideoStream> video = VxTest_VideoStream(file, stream))
        video.As(layers);
    return layers;
}

// Canvas 4 × 2, RGB: layer 1 red over the whole canvas (PackBits), layer 2 "Green", a 1 × 1
// green pixel of alpha 99.
std::vector<uint8_t> TwoLayers()
{
    VxTestPsdLayer green = VxTest_PsdLayer(1, 2, 2, 3, {{0xFFFF, 99}, {0, 0}, {1, 150}, {2, 0}});
    green.name = "Green";
    return VxTest_WritePsd(
        {.width = 4, .height = 2, .layers = {VxTest_PsdLayer(0, 0, 2, 4, {{0, 200}, {1, 0}, {2, 0}}, true), green}});
}

// The signature check, and opens refused: a foreign signature, a canvas whose frame overflows
// 32 bits, a colour mode the reader does not decode.
TEST(PsdReader, OpenRecognisesTheSignatureAndRefusesWhatItCannotRead)
{
    std::vector<uint8_t> foreign = VxTest_WritePsd({});
    const CVxComPtr<IVxReadFileClass> fileClass = VxTest_ClassObject<IVxReadFileClass>(CLSID_VxPsdPlugin);
    ASSERT_TRUE(fileClass);
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, foreign.data(), 26, 0), S_OK);
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, foreign.data(), 25, 0), VXE_FILE_READ);
    foreign[3] = 'T';
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, foreign.data(), 26, 0), VXE_FILE_READ);
    const std::pair<std::vector<uint8_t>, HRESULT> cases[] = {
        {foreign, E_FAIL},
        {VxTest_WritePsd({.width = 0x10000, .height = 0x10000, .merged = {1}}), E_OUTOFMEMORY},
        {VxTest_WritePsd({.mode = 9}), E_NOTIMPL},
    };
    for (const auto& [bytes, result] : cases)
        EXPECT_EQ(CVxTestOpenFile(CLSID_VxPsdPlugin, bytes, ".psd").openResult, result) << VxTest_Describe(result);
}

TEST(PsdReader, StreamPerLayerLayerCountAndLayerInfo)
{
    CVxTestOpenFile open(CLSID_VxPsdPlugin, TwoLayers(), ".psd");
    ASSERT_EQ(open.openResult, S_OK) << VxTest_Describe(open.openResult);
    // Stream 2 is layer 2: its pixel (2, 1) is the bottom row's third pixel, the rest is 0.
    std::vector<uint8_t> layer2;
    ASSERT_EQ(VxTest_ReadFrame(VxTest_VideoStream(open.file.Get(), 2).Get(), &layer2), S_OK);
    EXPECT_EQ((std::vector<uint8_t>(layer2.begin() + 8, layer2.begin() + 12)), (std::vector<uint8_t>{0, 150, 0, 99}));
    EXPECT_EQ(layer2[3], 0);

    CVxComPtr<IVxReadLayer> layers = Layers(open.file.Get(), 0);
    ASSERT_TRUE(layers);
    EXPECT_EQ(layers->GetLayerState(), S_FALSE);
    uint32_t count = 0xABCD0000;  // only the low 16 bits are the count's
    EXPECT_EQ(layers->GetLayerCount(&count), S_OK);
    EXPECT_EQ(count, 0xABCD0002u);
    EXPECT_EQ(layers->GetLayerCount(nullptr), E_POINTER);
    char16_t name[8];
    for (uint32_t index : {0u, 3u, 32768u})
        EXPECT_EQ(layers->GetLayerInfo(index, name, sizeof(name), 0), E_INVALIDARG) << index;
    EXPECT_EQ(layers->GetLayerInfo(1, nullptr, 8, 0), E_POINTER);
    EXPECT_EQ(layers->GetLayerInfo(1, name, sizeof(name), 7), VXE_LAYERS_UNSUPPORTED);
    // "Green" and its terminator fit 12 bytes exactly; 10 bytes give S_FALSE and "".
    EXPECT_EQ(layers->GetLayerInfo(2, name, 12, 0), S_OK);
    EXPECT_EQ(std::u16string(name), u"Green");
    EXPECT_EQ(layers->GetLayerInfo(2, name, 10, 0), S_FALSE);
    EXPECT_EQ(name[0], 0);
    int32_t rectangle[4] = {7, 7, 7, 7};
    EXPECT_EQ(layers->GetLayerInfo(2, rectangle, 12, 1), S_FALSE);
    EXPECT_EQ(rectangle[0], 7);
    EXPECT_EQ(layers->GetLayerInfo(2, rectangle, 16, 1), S_OK);
    EXPECT_EQ((std::vector<int32_t>(rectangle, rectangle + 4)), (std::vector<int32_t>{2, 1, 3, 2}));
}

// Threads that each hold both layers on a stream of their own while they read the composite
// there (re-entry on one thread): every layer has a buffer of its own, and giving them back out
// of order frees the right one. Then the lock's refusals, and Close while a layer is held.
TEST(PsdReaderThreads, LayersHeldWhileTheCompositeIsReadOnOneThreadAndOnSeveral)
{
    CVxTestOpenFile open(CLSID_VxPsdPlugin, TwoLayers(), ".psd");
    ASSERT_EQ(open.openResult, S_OK);
    std::vector<std::thread> threads;
    for (int32_t stream = 0; stream < 3; ++stream)
        threads.emplace_back([&, stream] {
            CVxComPtr<IVxReadLayer> layers = Layers(open.file.Get(), stream);
            for (int i = 0; i < 20; ++i) {
                void* held[2] = {};
                std::vector<uint8_t> composite;
                ASSERT_EQ(layers->LockLayerFrame(1, 0, 0, &held[0], nullptr, nullptr, nullptr, nullptr, 0, 0), S_OK);
                ASSERT_EQ(layers->LockLayerFrame(2, 1, 0, &held[1], nullptr, nullptr, nullptr, nullptr, 0, 0), S_OK);
                EXPECT_EQ(VxTest_ReadFrame(VxTest_VideoStream(open.file.Get(), stream).Get(), &composite), S_OK);
                EXPECT_EQ(static_cast<uint8_t*>(held[0])[2], 200);  // red of layer 1 is intact
                EXPECT_EQ(layers->UnlockLayerFrame(held[0]), S_OK);
                EXPECT_EQ(static_cast<uint8_t*>(held[1])[9], 150);
                EXPECT_EQ(layers->UnlockLayerFrame(held[1]), S_OK);
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    CVxComPtr<IVxReadLayer> layers = Layers(open.file.Get(), 0);
    void* pixels = nullptr;
    uint32_t reserved = 9;
    BITMAPINFOHEADER* header = nullptr;
    tVXVIDEOEXTENSION* extension = nullptr;
    uint64_t time = 9;
    const auto lock = [&](uint32_t layer, uint32_t frame, uint32_t flags) {
        return layers->LockLayerFrame(layer, frame, 0, &pixels, &reserved, &header, &extension, &time, flags, 0);
    };
    EXPECT_EQ(lock(1, 0, 2), S_FALSE);  // flag 2: a query only
    EXPECT_EQ(lock(1, 2, 0), VXE_END_OF_FILE);
    EXPECT_EQ(lock(3, 0, 0), E_INVALIDARG);
    ASSERT_EQ(lock(1, 0, 0), S_OK);
    EXPECT_EQ(reserved | time, 0u);
    EXPECT_EQ(header->biWidth, 4);
    EXPECT_EQ(extension->flags, 2u);
    EXPECT_EQ(open.file->Close(), S_OK);
    EXPECT_EQ(layers->UnlockLayerFrame(pixels), S_OK);
    EXPECT_EQ(lock(1, 0, 0), VXE_FILE_OPEN);
}

}  // namespace
