#include "plugin/Language.h"
#include "plugin/contracts/VxIdentifiers.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kLanguages[] = {kVxLangEnglish,  kVxLangGerman, kVxLangSpanish, kVxLangFrench,
                                   kVxLangJapanese, kVxLangPolish, kVxLangRussian, kVxLangChinese};

struct VxTestLanguageCloser {
    void operator()(VXLANG* language) const { VxLang_Close(language); }
};
using VxTestLanguage = std::unique_ptr<VXLANG, VxTestLanguageCloser>;

VxTestLanguage VxTest_OpenLanguage()
{
    VXLANG* language = nullptr;
    const HRESULT hr = VxLang_Open(&language, nullptr, 0, 0);
    EXPECT_EQ(hr, S_OK) << VxTest_Describe(hr);
    return VxTestLanguage(language);
}

// The language chosen for a host language, in order from a fresh handle, and one text of it;
// unknown ids and null handles give empty texts.
TEST(Language, HostLanguagesSelectTheirTableOrEnglish)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    ASSERT_TRUE(language);
    EXPECT_EQ(VxLang_GetLCID(language.get()), kVxLangEnglish);
    EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 423)), u"Joint Picture Experts Group");
    const struct {
        uint32_t asked, chosen, id;
        std::u16string text;
    } cases[] = {
        {kVxLangGerman, kVxLangGerman, 426, u"JPEG öffnen"},
        {kVxLangJapanese, kVxLangJapanese, 435, u"非圧縮"},
        {kVxLangEnglish, kVxLangEnglish, 435, u"Uncompressed"},
        {3082, kVxLangSpanish, 0, u""},   // Spanish, modern sort
        {2055, kVxLangGerman, 0, u""},    // German, Switzerland
        {4100, kVxLangChinese, 0, u""},   // Chinese, Singapore
        {kVxLangFrench, kVxLangFrench, 0, u""},
        {1043, kVxLangEnglish, 430, u"Open PNG"},  // Dutch: no table
        {1028, kVxLangEnglish, 0, u""},   // traditional Chinese: not the simplified table
    };
    for (const auto& c : cases) {
        VxLang_UpdateKernelLCID(language.get(), c.asked, 1);
        EXPECT_EQ(VxLang_GetLCID(language.get()), c.chosen) << c.asked;
        if (c.id) {
            EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), c.id)), c.text) << c.asked;
        }
    }
    for (uint32_t id : {0u, 113u, 415u, 450u, 457u, 0xFFFFFFFFu})
        EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), id)), u"") << "id " << id;
    EXPECT_EQ(std::u16string(VxLang_LoadString(nullptr, 423)), u"");
    EXPECT_EQ(VxLang_GetLCID(nullptr), kVxLangEnglish);
    EXPECT_EQ(VxLang_UpdateKernelLCID(nullptr, kVxLangGerman, 1), E_POINTER);
    EXPECT_EQ(VxLang_Open(nullptr, nullptr, 0, 0), E_POINTER);
}

// Every id the format classes, renderers and About box ask for has a text in every language;
// file patterns are the same in all of them.
TEST(Language, EveryIdHasATextInEveryLanguage)
{
    std::vector<uint32_t> ids = {109, 110, 111, 112, 114, 413, 414};
    for (uint32_t id = 421; id <= 456; ++id)
        if (id != 450)
            ids.push_back(id);
    VxTestLanguage language = VxTest_OpenLanguage();
    for (uint32_t lcid : kLanguages) {
        ASSERT_EQ(VxLang_UpdateKernelLCID(language.get(), lcid, 1), S_OK);
        ASSERT_EQ(VxLang_GetLCID(language.get()), lcid);
        for (uint32_t id : ids)
            EXPECT_NE(std::u16string(VxLang_LoadString(language.get(), id)), u"")
                << "id " << id << " language " << lcid;
        EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 425)), u"*.jpg;*.jpe;*.jpeg");
        EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 440)), u"*.bmp;*.dib");
        EXPECT_EQ(VxLang_LoadString(language.get(), 451)[0], u' ') << "language " << lcid;
    }
}

TEST(Language, LookupsWhileAnotherThreadSwitches)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    std::atomic<bool> stop = false;
    std::thread switcher([&] {
        for (int i = 0; !stop; ++i)
            VxLang_UpdateKernelLCID(language.get(), kLanguages[i % 8], 1);
    });
    // Every lookup sees one complete table's text, never an empty or torn one.
    for (int i = 0; i < 20000; ++i)
        ASSERT_NE(VxLang_LoadString(language.get(), 434)[0], u'\0');
    stop = true;
    switcher.join();
}

}  // namespace
