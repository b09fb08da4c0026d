#include "ModuleCopy.h"
#include "plugin/ExrComponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kKindFlags = 0x30;
constexpr uint32_t kMediaTypes = 2;

struct VxExpectedRow {
    const GUID* clsid;
    std::u16string name;
};

const VxExpectedRow kRows[] = {
    {&CLSID_VxJpegPlugin, u"Corvane Stills File Format (JPEG)"},
    {&CLSID_VxDibPlugin, u"Corvane Stills File Format (DIB)"},
    {&CLSID_VxTgaPlugin, u"Corvane Stills File Format (TARGA)"},
    {&CLSID_VxPngPlugin, u"Corvane Stills File Format (PNG)"},
    {&CLSID_VxPsdPlugin, u"Corvane Stills File Format (PSD)"},
    {&CLSID_VxExrPlugin, u"Corvane Stills File Format (EXR)"},
};

uint32_t PluginCount(IVxUnsharedFIOPluginInfo* info)
{
    uint32_t count = 0;
    EXPECT_EQ(info->GetPluginCount(&count), S_OK);
    return count;
}

void ExpectRow(IVxUnsharedFIOPluginInfo* info, int32_t index)
{
    GUID clsid = {};
    char16_t name[64] = {};
    uint32_t kindFlags = 0, mediaTypes = 0, extra = 0xFFFFFFFFu;
    const HRESULT hr = info->GetPluginInfo(index, &clsid, name, 64, &kindFlags, &mediaTypes, 1, 2,
                                           3, 4, 5, &extra);
    ASSERT_EQ(hr, S_OK) << "row " << index << ": " << VxTest_Describe(hr);
    EXPECT_TRUE(clsid == *kRows[index].clsid) << "row " << index;
    EXPECT_EQ(std::u16string(name), kRows[index].name);
    EXPECT_EQ(kindFlags, kKindFlags);
    EXPECT_EQ(mediaTypes, kMediaTypes);
    EXPECT_EQ(extra, 0u);
}

HRESULT PluginInfoAt(IVxUnsharedFIOPluginInfo* info, int32_t index)
{
    GUID clsid = {};
    return info->GetPluginInfo(index, &clsid, nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr);
}

TEST(PluginInfo, OffersFivePluginsWithoutTheExrComponent)
{
    CVxModuleCopy module(CVxModuleCopy::Component::Missing);
    ASSERT_TRUE(module.Handle()) << module.Error();
    CVxComPtr<IVxUnsharedFIOPluginInfo> info;
    ASSERT_EQ(module.CreatePluginInfo(info), S_OK);

    EXPECT_EQ(PluginCount(info.Get()), 5u);
    for (int32_t index = 0; index < 5; ++index)
        ExpectRow(info.Get(), index);
    EXPECT_EQ(PluginInfoAt(info.Get(), 5), E_INVALIDARG);
}

TEST(PluginInfo, OffersTheExrPluginWhileTheComponentIsBeside)
{
    CVxModuleCopy module(CVxModuleCopy::Component::Beside);
    ASSERT_TRUE(module.Handle()) << module.Error();
    ASSERT_TRUE(std::filesystem::exists(module.ComponentPath()));
    CVxComPtr<IVxUnsharedFIOPluginInfo> info;
    ASSERT_EQ(module.CreatePluginInfo(info), S_OK);

    EXPECT_EQ(PluginCount(info.Get()), 6u);
    for (int32_t index = 0; index < 6; ++index)
        ExpectRow(info.Get(), index);
    EXPECT_EQ(PluginInfoAt(info.Get(), 6), E_INVALIDARG);
}

TEST(PluginInfo, KeepsTheComponentLoadedUntilTheLastObjectGoes)
{
    CVxModuleCopy module(CVxModuleCopy::Component::Beside);
    ASSERT_TRUE(module.Handle()) << module.Error();
    EXPECT_FALSE(module.ComponentLoaded());  // loaded on first use, not by the module's start

    CVxComPtr<IVxUnsharedFIOPluginInfo> first, second;
    ASSERT_EQ(module.CreatePluginInfo(first), S_OK);
    ASSERT_EQ(module.CreatePluginInfo(second), S_OK);
    EXPECT_TRUE(module.ComponentLoaded());

    first.Reset();
    EXPECT_TRUE(module.ComponentLoaded());
    EXPECT_EQ(PluginCount(second.Get()), 6u);

    second.Reset();
    EXPECT_FALSE(module.ComponentLoaded());
}

TEST(PluginInfo, LooksForTheComponentAgainOnlyAfterAnUnload)
{
    CVxModuleCopy module(CVxModuleCopy::Component::Beside);
    ASSERT_TRUE(module.Handle()) << module.Error();
    CVxComPtr<IVxUnsharedFIOPluginInfo> info;
    ASSERT_EQ(module.CreatePluginInfo(info), S_OK);
    EXPECT_EQ(PluginCount(info.Get()), 6u);
    info.Reset();  // last use: unloaded, and the next use looks again

    std::filesystem::remove(module.ComponentPath());
    ASSERT_EQ(module.CreatePluginInfo(info), S_OK);
    EXPECT_EQ(PluginCount(info.Get()), 5u);

    // A load that found nothing is not retried while that attempt stands: no use was counted,
    // so nothing ever drops the count to zero again.
    std::filesystem::copy_file(CVxModuleCopy::TestComponent(), module.ComponentPath());
    CVxComPtr<IVxUnsharedFIOPluginInfo> later;
    ASSERT_EQ(module.CreatePluginInfo(later), S_OK);
    EXPECT_EQ(PluginCount(later.Get()), 5u);
}

// Objects made and released on several threads at once load and unload the component many
// times over; every object must see it loaded, and the last release must unload it.
TEST(PluginInfo, ConcurrentObjectsKeepTheComponentCountRight)
{
    CVxModuleCopy module(CVxModuleCopy::Component::Beside);
    ASSERT_TRUE(module.Handle()) << module.Error();
    std::atomic<int> wrongCounts = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                CVxComPtr<IVxUnsharedFIOPluginInfo> info;
                uint32_t count = 0;
                if (FAILED(module.CreatePluginInfo(info)) || FAILED(info->GetPluginCount(&count)) || count != 6)
                    ++wrongCounts;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrongCounts.load(), 0);
    EXPECT_FALSE(module.ComponentLoaded());
}

TEST(PluginInfo, RejectsANullCountAndIndexesOutsideTheTable)
{
    CVxComPtr<IVxUnsharedFIOPluginInfo> info = VxTest_ClassObject<IVxUnsharedFIOPluginInfo>(CLSID_VxPluginInfo);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetPluginCount(nullptr), E_INVALIDARG);

    const uint32_t count = PluginCount(info.Get());
    EXPECT_EQ(count, VxExr_IsAvailable() ? 6u : 5u);
    EXPECT_EQ(PluginInfoAt(info.Get(), -1), E_INVALIDARG);
    EXPECT_EQ(PluginInfoAt(info.Get(), int32_t(count)), E_INVALIDARG);
    EXPECT_EQ(PluginInfoAt(info.Get(), INT32_MIN), E_INVALIDARG);
    EXPECT_EQ(PluginInfoAt(info.Get(), int32_t(count) - 1), S_OK);
}

TEST(PluginInfo, SkipsNullOutputs)
{
    CVxComPtr<IVxUnsharedFIOPluginInfo> info = VxTest_ClassObject<IVxUnsharedFIOPluginInfo>(CLSID_VxPluginInfo);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetPluginInfo(0, nullptr, nullptr, 64, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr), S_OK);
    EXPECT_EQ(info->Initialize(1, 2, 3), S_OK);
}

TEST(PluginInfo, CutsTheNameToTheBuffer)
{
    CVxComPtr<IVxUnsharedFIOPluginInfo> info = VxTest_ClassObject<IVxUnsharedFIOPluginInfo>(CLSID_VxPluginInfo);
    ASSERT_TRUE(info);
    char16_t name[12];
    std::fill(std::begin(name), std::end(name), u'#');
    ASSERT_EQ(info->GetPluginInfo(2, nullptr, name, 8, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr), S_OK);
    EXPECT_EQ(std::u16string(name), u"Corvane");  // 7 characters and the terminator
    EXPECT_EQ(name[8], u'#');

    // A capacity of zero or below writes nothing, not even a terminator.
    for (const int32_t chars : {0, -1, INT32_MIN}) {
        std::fill(std::begin(name), std::end(name), u'#');
        EXPECT_EQ(info->GetPluginInfo(0, nullptr, name, chars, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr), S_OK);
        EXPECT_EQ(name[0], u'#') << "capacity " << chars;
    }
}

TEST(PluginInfo, AnswersItsInterfaceAndIUnknownOnly)
{
    CVxComPtr<IVxUnsharedFIOPluginInfo> info = VxTest_ClassObject<IVxUnsharedFIOPluginInfo>(CLSID_VxPluginInfo);
    ASSERT_TRUE(info);
    CVxComPtr<IUnknown> unknown;
    EXPECT_EQ(info->QueryInterface(IID_IUnknown, unknown.OutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(info.Get()));

    void* other = &other;
    EXPECT_EQ(info->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(info->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

}  // namespace
