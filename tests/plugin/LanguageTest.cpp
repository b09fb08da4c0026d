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

// Every id the format classes, renderers and About box ask for.
std::vector<uint32_t> VxTest_StringIds()
{
    std::vector<uint32_t> ids = {109, 110, 111, 112, 114, 413, 414};
    for (uint32_t id = 421; id <= 449; ++id)
        ids.push_back(id);
    for (uint32_t id = 451; id <= 456; ++id)
        ids.push_back(id);
    return ids;
}

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

TEST(Language, OpensWithEnglishSelected)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    ASSERT_TRUE(language);
    EXPECT_EQ(VxLang_GetLCID(language.get()), kVxLangEnglish);
    EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 423)), u"Joint Picture Experts Group");
}

TEST(Language, EveryIdHasATextInEveryLanguage)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    for (uint32_t lcid : kLanguages) {
        ASSERT_EQ(VxLang_UpdateKernelLCID(language.get(), lcid, 1), S_OK);
        ASSERT_EQ(VxLang_GetLCID(language.get()), lcid);
        for (uint32_t id : VxTest_StringIds())
            EXPECT_NE(std::u16string(VxLang_LoadString(language.get(), id)), u"")
                << "id " << id << " language " << lcid;
    }
}

TEST(Language, EnglishTextsAreExact)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    const VXLANG* english = language.get();
    EXPECT_EQ(std::u16string(VxLang_LoadString(english, 110)),
              u"Joint Picture Experts Group JPG Files (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|");
    EXPECT_EQ(std::u16string(VxLang_LoadString(english, 421)), u"*.tga;*.targa");
    EXPECT_EQ(std::u16string(VxLang_LoadString(english, 436)), u"Inflate compression");
    EXPECT_EQ(std::u16string(VxLang_LoadString(english, 448)), u"RLE (4 Bit)");
    EXPECT_EQ(std::u16string(VxLang_LoadString(english, 451)), u" File Format Plug-In");
    EXPECT_EQ(std::u16string(VxLang_LoadString(english, 452)), u"Corvane ");
    EXPECT_EQ(std::u16string(VxLang_LoadString(english, 456)), u"Open OpenEXR");
}

TEST(Language, PatternsAreTheSameInEveryLanguage)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    for (uint32_t lcid : kLanguages) {
        VxLang_UpdateKernelLCID(language.get(), lcid, 1);
        EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 425)), u"*.jpg;*.jpe;*.jpeg");
        EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 440)), u"*.bmp;*.dib");
        EXPECT_EQ(VxLang_LoadString(language.get(), 451)[0], u' ') << "language " << lcid;
    }
}

TEST(Language, SwitchesLanguage)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    VxLang_UpdateKernelLCID(language.get(), kVxLangGerman, 1);
    EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 426)), u"JPEG öffnen");
    VxLang_UpdateKernelLCID(language.get(), kVxLangJapanese, 1);
    EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 435)), u"非圧縮");
    VxLang_UpdateKernelLCID(language.get(), kVxLangEnglish, 1);
    EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 435)), u"Uncompressed");
}

TEST(Language, UnknownLanguageFallsBackToEnglish)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    VxLang_UpdateKernelLCID(language.get(), kVxLangFrench, 1);
    VxLang_UpdateKernelLCID(language.get(), 1043, 1);  // Dutch: no table
    EXPECT_EQ(VxLang_GetLCID(language.get()), kVxLangEnglish);
    EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), 430)), u"Open PNG");
    VxLang_UpdateKernelLCID(language.get(), 1028, 1);  // traditional Chinese: not the simplified table
    EXPECT_EQ(VxLang_GetLCID(language.get()), kVxLangEnglish);
}

TEST(Language, RegionalVariantsGetTheirLanguage)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    VxLang_UpdateKernelLCID(language.get(), 3082, 1);  // Spanish, modern sort
    EXPECT_EQ(VxLang_GetLCID(language.get()), kVxLangSpanish);
    VxLang_UpdateKernelLCID(language.get(), 2055, 1);  // German, Switzerland
    EXPECT_EQ(VxLang_GetLCID(language.get()), kVxLangGerman);
    VxLang_UpdateKernelLCID(language.get(), 4100, 1);  // Chinese, Singapore
    EXPECT_EQ(VxLang_GetLCID(language.get()), kVxLangChinese);
}

TEST(Language, UnknownIdsAndNullHandlesGiveEmptyText)
{
    VxTestLanguage language = VxTest_OpenLanguage();
    for (uint32_t id : {0u, 113u, 415u, 450u, 457u, 0xFFFFFFFFu})
        EXPECT_EQ(std::u16string(VxLang_LoadString(language.get(), id)), u"") << "id " << id;
    EXPECT_EQ(std::u16string(VxLang_LoadString(nullptr, 423)), u"");
    EXPECT_EQ(VxLang_GetLCID(nullptr), kVxLangEnglish);
    EXPECT_EQ(VxLang_UpdateKernelLCID(nullptr, kVxLangGerman, 1), E_POINTER);
    EXPECT_EQ(VxLang_Open(nullptr, nullptr, 0, 0), E_POINTER);
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
