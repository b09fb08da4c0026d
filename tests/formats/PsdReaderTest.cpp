#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PsdWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

extern "C" HRESULT VXAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);

namespace {

// A document in a temporary file, opened through the module's class factory as a host does.
struct PsdOpenFile {
    explicit PsdOpenFile(const std::vector<uint8_t>& bytes) : temp(bytes)
    {
        CVxComPtr<IClassFactory> factory;
        if (SUCCEEDED(DllGetClassObject(CLSID_VxPsdPlugin, IID_IClassFactory, factory.OutVoid())))
            factory->CreateInstance(nullptr, IID_IVxReadFileClass, fileClass.OutVoid());
        if (fileClass)
            openResult = fileClass->OpenReadFile(&file, 0, 0, temp.Path(), 1);
    }
    ~PsdOpenFile()
    {
        if (file)
            file->Close();
    }

    template <class Interface>
    CVxComPtr<Interface> Stream(int32_t index)
    {
        CVxComPtr<IVxReadStream> stream;
        CVxComPtr<Interface> wanted;
        if (file && SUCCEEDED(file->GetStream(&stream, -1, index, 0, 0)))
            stream.As(wanted);
        return wanted;
    }
    HRESULT ReadFrame(int32_t stream, std::vector<uint8_t>* pixels)
    {
        CVxComPtr<IVxReadVideoStream> video = Stream<IVxReadVideoStream>(stream);
        return video ? VxTest_ReadFrame(video.Get(), pixels) : E_NOINTERFACE;
    }

    CVxTestTempFile temp;
    CVxComPtr<IVxReadFileClass> fileClass;
    CVxComPtr<IVxReadFile> file;
    HRESULT openResult = E_UNEXPECTED;
};

// Canvas 4 × 2, RGB: layer 1 red over the whole canvas, layer 2 a hidden 1 × 1 green pixel.
VxTestPsdOptions TwoLayers()
{
    VxTestPsdLayer red = VxTest_PsdLayer(0, 0, 2, 4, {{0, 200}, {1, 0}, {2, 0}}, true);
    VxTestPsdLayer green = VxTest_PsdLayer(1, 2, 2, 3, {{0xFFFF, 99}, {0, 0}, {1, 150}, {2, 0}});
    red.name = "Red";
    green.name = "Green";
    green.flags = 2;
    return {.width = 4, .height = 2, .layers = {red, green}};
}

TEST(PsdReader, ClassObjectRecognisesTheSignatureAndRefusesWhatItCannotRead)
{
    std::vector<uint8_t> head = VxTest_WritePsd({});
    PsdOpenFile open(head);
    ASSERT_TRUE(open.fileClass);
    EXPECT_EQ(open.fileClass->CheckFileHeader(nullptr, head.data(), 26, 0), S_OK);
    EXPECT_EQ(open.fileClass->CheckFileHeader(nullptr, head.data(), 25, 0), VXE_FILE_READ);
    head[3] = 'T';
    EXPECT_EQ(open.fileClass->CheckFileHeader(nullptr, head.data(), 26, 0), VXE_FILE_READ);
    EXPECT_EQ(PsdOpenFile(head).openResult, E_FAIL);
    // A canvas whose frame overflows 32 bits, and a colour mode the reader does not decode.
    const HRESULT huge = PsdOpenFile(VxTest_WritePsd({.width = 0x10000, .height = 0x10000, .merged = {1}})).openResult;
    EXPECT_TRUE(FAILED(huge)) << VxTest_Describe(huge);
    EXPECT_EQ(PsdOpenFile(VxTest_WritePsd({.mode = 9})).openResult, E_NOTIMPL);
}

TEST(PsdReader, LayeredDocumentHasAStreamPerLayerAndLayerInfo)
{
    PsdOpenFile open(VxTest_WritePsd(TwoLayers()));
    ASSERT_EQ(open.openResult, S_OK) << VxTest_Describe(open.openResult);
    uint32_t streams = 0;
    EXPECT_EQ(open.file->GetStreamCount(&streams), S_OK);
    EXPECT_EQ(streams, 3u);
    char16_t text[64];
    EXPECT_EQ(open.file->GetDescription(text, 64, 0, 1), S_OK);
    EXPECT_EQ(std::u16string(text), u"Uncompressed");

    std::vector<uint8_t> layer2;
    ASSERT_EQ(open.ReadFrame(2, &layer2), S_OK);
    // Layer 2's pixel (2, 1) is the bottom row's third pixel: green 150, alpha 99; the rest 0.
    EXPECT_EQ((std::vector<uint8_t>(layer2.begin() + 8, layer2.begin() + 12)), (std::vector<uint8_t>{0, 150, 0, 99}));
    EXPECT_EQ(layer2[3], 0);

    CVxComPtr<IVxReadLayer> layers = open.Stream<IVxReadLayer>(0);
    ASSERT_TRUE(layers);
    EXPECT_EQ(layers->GetLayerState(), S_FALSE);
    uint32_t count = 0xABCD0000;
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

TEST(PsdReader, LockLayerFrameChecksAndReentry)
{
    PsdOpenFile open(VxTest_WritePsd(TwoLayers()));
    CVxComPtr<IVxReadLayer> layers = open.Stream<IVxReadLayer>(0);
    ASSERT_TRUE(layers);
    void* pixels = nullptr;
    uint32_t reserved = 9;
    BITMAPINFOHEADER* header = nullptr;
    tVXVIDEOEXTENSION* extension = nullptr;
    uint64_t time = 9;
    EXPECT_EQ(layers->LockLayerFrame(1, 0, 0, &pixels, &reserved, &header, &extension, &time, 2, 0), S_FALSE);
    EXPECT_EQ(layers->LockLayerFrame(1, 2, 0, &pixels, &reserved, &header, &extension, &time, 0, 0),
              VXE_END_OF_FILE);
    EXPECT_EQ(layers->LockLayerFrame(3, 0, 0, &pixels, &reserved, &header, &extension, &time, 0, 0), E_INVALIDARG);

    // Two layers held at once on one thread, and the composite delivered meanwhile: each has a
    // buffer of its own, and giving them back out of order frees the right one.
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(layers->LockLayerFrame(1, 0, 0, &first, &reserved, &header, &extension, &time, 0, 0), S_OK);
    EXPECT_EQ(reserved | time, 0u);
    EXPECT_EQ(header->biWidth, 4);
    EXPECT_EQ(extension->flags, 2u);
    ASSERT_EQ(layers->LockLayerFrame(2, 1, 0, &second, nullptr, nullptr, nullptr, nullptr, 0, 0), S_OK);
    ASSERT_NE(first, second);
    std::vector<uint8_t> composite;
    EXPECT_EQ(open.ReadFrame(0, &composite), S_OK);
    EXPECT_EQ(static_cast<uint8_t*>(first)[2], 200);  // red of layer 1 is intact
    EXPECT_EQ(layers->UnlockLayerFrame(first), S_OK);
    EXPECT_EQ(static_cast<uint8_t*>(second)[9], 150);
    // Close while a layer is still held returns; the late unlock is harmless.
    EXPECT_EQ(open.file->Close(), S_OK);
    EXPECT_EQ(layers->UnlockLayerFrame(second), S_OK);
    EXPECT_EQ(layers->LockLayerFrame(1, 0, 0, &pixels, nullptr, nullptr, nullptr, nullptr, 0, 0), VXE_FILE_OPEN);
}

TEST(PsdReaderThreads, LayersAndCompositeFromSeveralThreads)
{
    PsdOpenFile open(VxTest_WritePsd(TwoLayers()));
    ASSERT_EQ(open.openResult, S_OK);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            CVxComPtr<IVxReadLayer> layers = open.Stream<IVxReadLayer>(t);
            for (int i = 0; i < 50; ++i) {
                void* pixels = nullptr;
                if (SUCCEEDED(layers->LockLayerFrame(1 + (i + t) % 2, 0, 0, &pixels, nullptr, nullptr, nullptr,
                                                     nullptr, 0, 0))) {
                    EXPECT_EQ(static_cast<uint8_t*>(pixels)[2], (i + t) % 2 == 0 ? 200 : 0);
                    layers->UnlockLayerFrame(pixels);
                }
                std::vector<uint8_t> frame;
                EXPECT_EQ(open.ReadFrame(t, &frame), S_OK);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
}

}  // namespace
