// The JPEG reader as a person meets it: through vxhost.
#include "tests/fixtures/JpegWriter.h"
#include "tests/host/HostRun.h"
#include "tests/host/JsonReader.h"

#include <gtest/gtest.h>

TEST(JpegHost, DeliversLibjpegsPixelsAndNamesTheExifFields)
{
    CVxTestDirectory directory;
    const std::string in = directory.Path("photo.jpg");
    const std::vector<uint8_t> jpeg = VxTest_WriteJpeg(
        {.width = 33, .height = 21,
         .segments = {{0xE1, VxTest_ExifPayload(VxTest_WriteTiff(
                                 true, {VxTest_TiffAscii(271, "Maker")}, {VxTest_TiffShort(true, 37385, 0x19)}))}}});
    ASSERT_TRUE(VxTest_WriteFile(in, jpeg));

    const std::string raw = directory.Path("frame.bin");
    const VxTestHostRun decode = VxTest_RunHost({"decode", in, "-o", directory.Path("preview.png"), "--raw", raw});
    ASSERT_EQ(decode.exitCode, 0) << decode.err;
    std::vector<uint8_t> reference;
    uint32_t width = 0, height = 0, components = 0;
    ASSERT_TRUE(VxTest_DecodeJpegReference(jpeg, &reference, &width, &height, &components));
    EXPECT_EQ(VxTest_ReadFile(raw), VxTest_JpegFrameFromReference(reference, width, height, components));

    const VxTestHostRun text = VxTest_RunHost({"meta", in});
    EXPECT_NE(text.out.find("EXIF Make (ifd 0 tag 0x010F type 2)"), std::string::npos) << text.out;
    const VxTestHostRun json = VxTest_RunHost({"meta", in, "--json"});
    VxTestJson value;
    std::string error;
    ASSERT_TRUE(VxTest_ParseJson(json.out, value, error)) << error;
    ASSERT_EQ(value["fields"].items.size(), 2u);
    EXPECT_EQ(value["fields"][0]["name"].text, "Make");
    EXPECT_EQ(value["fields"][0]["code"].number, 0x650010F2);
    EXPECT_EQ(value["fields"][0]["text"].text, "Maker");
    EXPECT_EQ(value["fields"][1]["name"].text, "Flash");
    EXPECT_EQ(value["fields"][1]["text"].text, "1");
}

TEST(JpegHost, CmykFilesAreRefusedWhenOpened)
{
    CVxTestDirectory directory;
    const std::string in = directory.Path("print.jpg");
    ASSERT_TRUE(VxTest_WriteFile(in, VxTest_WriteJpeg({.components = 4})));
    const VxTestHostRun run = VxTest_RunHost({"probe", in});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("0x8004E00B"), std::string::npos) << run.err;
}
