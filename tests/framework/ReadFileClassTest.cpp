#include "TestFormat.h"
#include "plugin/Module.h"
#include "platform/VxStr.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ReadFileClassTest : public ::testing::Test {
protected:
    CVxComPtr<IVxReadFileClass> m_class = VxTest_CreateTestClass();
};

}  // namespace

TEST_F(ReadFileClassTest, InfoTextsComeFromTheRecordByPosition)
{
    const uint32_t ids[] = {4, 1, 9, 3, 7, 2, 6};
    BSTR texts[7] = {};
    const std::u16string expected[7] = {u"*.jpg;*.jpe;*.jpeg", u"JPEG", u"(null)", u"", u"",
                                        u"Joint Picture Experts Group", u"Open JPEG"};
    ASSERT_EQ(m_class->GetInfoText(ids, 7, texts), S_OK);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(texts[i] ? std::u16string(texts[i]) : u"(null)", expected[i]) << "id " << ids[i];
        SysFreeString(texts[i]);
    }
    EXPECT_EQ(m_class->GetInfoText(ids, 0, nullptr), S_OK);
}

TEST_F(ReadFileClassTest, ClassIndexStartsWithAllBitsSet)
{
    uint32_t value = 0;
    ASSERT_EQ(m_class->GetClassIndex(&value), S_OK);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    m_class->SetClassIndex(3);
    m_class->GetClassIndex(&value);
    EXPECT_EQ(value, 3u);
}

TEST_F(ReadFileClassTest, RendererIsFoundThroughTheManager)
{
    IVxRenderFileClass* renderer = nullptr;
    EXPECT_EQ(m_class->GetRenderFileClass(nullptr), E_POINTER);
    EXPECT_EQ(m_class->GetRenderFileClass(&renderer), VXE_NOT_FOUND);  // no manager yet
    IUnknown* kept = nullptr;
    EXPECT_EQ(m_class->GetFileIOManager(&kept), E_NOINTERFACE);

    CVxTestManager manager;
    m_class->SetFileIOManager(&manager);
    EXPECT_EQ(m_class->GetRenderFileClass(&renderer), VXE_NOT_FOUND);  // the manager's answer
    EXPECT_EQ(renderer, nullptr);
    EXPECT_TRUE(manager.askedRenderer == kVxTestRecord.rendererClassId);
    ASSERT_EQ(m_class->GetFileIOManager(&kept), S_OK);
    EXPECT_EQ(kept, &manager);
    EXPECT_EQ(manager.refs, 2);
}

TEST_F(ReadFileClassTest, CheckFileAnswersTheOpenPathAndLeavesNothing)
{
    const int live = CVxTestReadFile::s_live;
    CVxTestTempFile good(VxTest_WriteTestImage({}));
    EXPECT_EQ(m_class->CheckFile(good.Path()), S_OK);
    CVxTestTempFile bad(VxTest_WriteTestImage({.failures = kVxTestFailInfo}));
    EXPECT_EQ(m_class->CheckFile(bad.Path()), VXE_CORRUPT);
    EXPECT_EQ(m_class->CheckFile(nullptr), E_POINTER);
    CVxComPtr<IVxReadFile> file;
    EXPECT_EQ(m_class->OpenReadFile(&file, 0, 0, u"/nonexistent/picture.vxtf", TRUE), VXE_FILE_READ);
    EXPECT_FALSE(file);
    EXPECT_EQ(CVxTestReadFile::s_live, live);
}

TEST_F(ReadFileClassTest, ShowAboutWritesTheBoxToStandardError)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(m_class->ShowAbout(nullptr), S_OK);
    const std::string text = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(text.find("Corvane Joint Picture Experts Group File Format Plug-In\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Version 10.0 (Build 108)"), std::string::npos);
    EXPECT_NE(text.find(VxStr_ToUtf8(VxModule_Path())), std::string::npos);
}
