#include "ModuleCopy.h"
#include "plugin/ExrComponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// The plug-ins in the order hosts list them; EXR only while its component is beside the module.
const GUID* const kPlugins[] = {&CLSID_VxJpegPlugin, &CLSID_VxDibPlugin, &CLSID_VxTgaPlugin,
                                &CLSID_VxPngPlugin,  &CLSID_VxPsdPlugin, &CLSID_VxExrPlugin};

uint32_t PluginCount(IVxUnsharedFIOPluginInfo* info)
{
    uint32_t count = 0;
    EXPECT_EQ(info->GetPluginCount(&count), S_OK);
    return count;
}

HRESULT PluginInfoAt(IVxUnsharedFIOPluginInfo* info, int32_t index)
{
    GUID clsid = {};
    return info->GetPluginInfo(index, &clsid, nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr);
}

TEST(PluginInfo, OffersTheExrPluginOnlyWhileTheComponentIsBeside)
{
    for (const auto component : {CVxModuleCopy::Component::Missing, CVxModuleCopy::Component::Beside}) {
        CVxModuleCopy module(component);
        ASSERT_TRUE(module.Handle()) << module.Error();
        CVxComPtr<IVxUnsharedFIOPluginInfo> info;
        ASSERT_EQ(module.CreatePluginInfo(info), S_OK);
        const int32_t count = component == CVxModuleCopy::Component::Beside ? 6 : 5;
        EXPECT_EQ(PluginCount(info.Get()), uint32_t(count));
        for (int32_t index = 0; index < count; ++index) {
            GUID clsid = {};
            char16_t name[64] = {};
            uint32_t kindFlags = 0, mediaTypes = 0, extra = 0xFFFFFFFFu;
            ASSERT_EQ(info->GetPluginInfo(index, &clsid, name, 64, &kindFlags, &mediaTypes, 1, 2, 3, 4, 5, &extra), S_OK);
            EXPECT_TRUE(clsid == *kPlugins[index]) << "row " << index;
            EXPECT_NE(name[0], 0);
            EXPECT_EQ(kindFlags, 0x30u);  // still images
            EXPECT_EQ(mediaTypes, 2u);    // video
            EXPECT_EQ(extra, 0u);
        }
        EXPECT_EQ(PluginInfoAt(info.Get(), count), E_INVALIDARG);
    }
}

// The component is loaded on first use, not by the module's start, and kept until the last
// object goes; then the next use looks for it again.
TEST(PluginInfo, KeepsTheComponentLoadedUntilTheLastObjectGoes)
{
    CVxModuleCopy module(CVxModuleCopy::Component::Beside);
    ASSERT_TRUE(module.Handle()) << module.Error();
    EXPECT_FALSE(module.ComponentLoaded());
    CVxComPtr<IVxUnsharedFIOPluginInfo> first, second;
    ASSERT_EQ(module.CreatePluginInfo(first), S_OK);
    ASSERT_EQ(module.CreatePluginInfo(second), S_OK);
    EXPECT_TRUE(module.ComponentLoaded());
    first.Reset();
    EXPECT_TRUE(module.ComponentLoaded());
    EXPECT_EQ(PluginCount(second.Get()), 6u);
    second.Reset();
    EXPECT_FALSE(module.ComponentLoaded());

    std::filesystem::remove(module.ComponentPath());
    ASSERT_EQ(module.CreatePluginInfo(first), S_OK);
    EXPECT_EQ(PluginCount(first.Get()), 5u);
    // A load that found nothing is not retried while that attempt stands: no use was counted,
    // so nothing ever drops the count to zero again.
    std::filesystem::copy_file(CVxModuleCopy::TestComponent(), module.ComponentPath());
    ASSERT_EQ(module.CreatePluginInfo(second), S_OK);
    EXPECT_EQ(PluginCount(second.Get()), 5u);
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

TEST(PluginInfo, RejectsBadArgumentsSkipsNullOutputsAndCutsTheName)
{
    CVxComPtr<IVxUnsharedFIOPluginInfo> info = VxTest_ClassObject<IVxUnsharedFIOPluginInfo>(CLSID_VxPluginInfo);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetPluginCount(nullptr), E_INVALIDARG);
    const uint32_t count = PluginCount(info.Get());
    EXPECT_EQ(count, VxExr_IsAvailable() ? 6u : 5u);
    for (const int32_t index : {-1, int32_t(count), INT32_MIN})
        EXPECT_EQ(PluginInfoAt(info.Get(), index), E_INVALIDARG) << index;
    EXPECT_EQ(PluginInfoAt(info.Get(), int32_t(count) - 1), S_OK);
    EXPECT_EQ(info->GetPluginInfo(0, nullptr, nullptr, 64, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr), S_OK);
    EXPECT_EQ(info->Initialize(1, 2, 3), S_OK);

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

    // Its own interface and IUnknown only.
    CVxComPtr<IUnknown> unknown;
    EXPECT_EQ(info->QueryInterface(IID_IUnknown, unknown.OutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(info.Get()));
    void* other = &other;
    EXPECT_EQ(info->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(info->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

}  // namespace
