// vxhost tag, convert and meta end to end, and the host's encoders at their own layer.
#include "host/Encoders.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/JpegWriter.h"
#include "tests/fixtures/PngWriter.h"
#include "tests/host/HostRun.h"
#include "tests/host/JsonReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

namespace {

VxTestJson MetaOf(const std::string& path)
{
    return VxTest_RunJson({"meta", path, "--json"});
}

std::string FieldText(const VxTestJson& meta, const std::string& code)
{
    for (const VxTestJson& field : meta["fields"].items)
        if (field["codeText"].text == code)
            return field["text"].text;
    return "(none)";
}

TEST(VxhostRender, TagThenConvertCarriesTheMetadata)
{
    CVxTempDir dir;
    const std::string in = dir.Path("in.png");
    ASSERT_TRUE(VxTest_WriteBytes(in, VxTest_WritePng({.width = 9, .height = 4, .colorType = 6})));

    VxTestHostRun run = VxTest_RunHost({"tag", in, "INAM=Harbour", "ICMT=dawn"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = VxTest_RunHost({"tag", in, "ICMT=", "IART=Me"});  // keeps INAM, drops ICMT
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const VxTestJson tagged = MetaOf(in);
    EXPECT_EQ(FieldText(tagged, "INAM"), "Harbour");
    EXPECT_EQ(FieldText(tagged, "ICMT"), "(none)");
    EXPECT_EQ(FieldText(tagged, "IART"), "Me");

    // Every output format but PNG (below, for every format) gets its picture and a sidecar.
    for (const char* name : {"out.bmp", "out.tga", "out.jpg"}) {
        run = VxTest_RunHost({"convert", in, dir.Path(name)});
        EXPECT_EQ(run.exitCode, 0) << name << run.err;
        EXPECT_TRUE(std::filesystem::exists(dir.Path(std::string(name) + ".vxl"))) << name;
    }

    // Mistakes: a bad field, an output the host cannot write, converting onto the input.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"tag", in, "NAME"}, {"tag", in, "INAME=x"}, {"tag", in},
          {"convert", in, dir.Path("out.gif")}, {"convert", in, in},
          {"convert", in, dir.Path("missing/out.png")}}) {
        run = VxTest_RunHost(args);
        EXPECT_EQ(run.exitCode, 1) << args.back();
        EXPECT_FALSE(run.err.empty()) << args.back();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path("missing")));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("out.gif")));
}

// Every format the demo has samples of (one sample per file extension): tagged, read back,
// and converted to PNG with its metadata.
TEST(VxhostRender, EveryFormatsSampleTakesAndPassesOnItsMetadata)
{
    CVxTempDir dir;
    const std::string samples = dir.Path("samples");
    ASSERT_EQ(std::system(("'" + VxTest_BuildDir() + "/vxsamples' '" + samples + "' >/dev/null").c_str()), 0);
    std::set<std::string> extensions;
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        const std::string extension = entry.path().extension().string();
        if (!extensions.insert(extension).second)
            continue;
        const std::string sample = entry.path().string();
        SCOPED_TRACE(sample);
        VxTestHostRun run = VxTest_RunHost({"tag", sample, "INAM=Sample " + extension});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(FieldText(MetaOf(sample), "INAM"), "Sample " + extension);
        const std::string copy = dir.Path("copy" + extension + ".png");
        run = VxTest_RunHost({"convert", sample, copy});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(FieldText(MetaOf(copy), "INAM"), "Sample " + extension);
    }
    EXPECT_FALSE(extensions.empty());
}

// A 3 x 2 picture whose pixels all differ, top row first; one pixel transparent or not.
VxHostRgbaImage Picture(bool alpha)
{
    VxHostRgbaImage image;
    image.width = 3;
    image.height = 2;
    for (uint8_t i = 0; i < 6; ++i)
        image.samples8.insert(image.samples8.end(), {uint8_t(40 * i), uint8_t(200 - 30 * i), uint8_t(7 + i), 255});
    if (alpha)
        image.samples8[3] = 128;
    return image;
}

TEST(VxhostRender, EncodersStoreBottomUpBlueGreenRed)
{
    CVxTempDir dir;
    std::string error;
    // Where the top-left pixel lands in each file, and how many bytes a pixel has.
    struct Case {
        VxHostEncode encode;
        bool alpha;
        size_t topLeft;
        size_t pixelBytes;
    } cases[] = {
        {VxHost_WriteBmp, false, 54 + 12, 3},  // rows of 9 bytes padded to 12
        {VxHost_WriteBmp, true, 54 + 12, 4},
        {VxHost_WriteTga, false, 18 + 9, 3},
        {VxHost_WriteTga, true, 18 + 12, 4},
    };
    for (const Case& c : cases) {
        const VxHostRgbaImage image = Picture(c.alpha);
        const std::string path = dir.Path("p");
        ASSERT_TRUE(c.encode(path, image, error)) << error;
        const std::vector<uint8_t> bytes = VxTest_ReadBytes(path);
        ASSERT_GE(bytes.size(), c.topLeft + 2 * c.pixelBytes);
        EXPECT_EQ(bytes[c.topLeft], image.samples8[2]);      // blue
        EXPECT_EQ(bytes[c.topLeft + 2], image.samples8[0]);  // red
        if (c.alpha) {
            EXPECT_EQ(bytes[c.topLeft + 3], 128);
        }
        EXPECT_EQ(bytes[c.topLeft + c.pixelBytes + 1], image.samples8[5]);  // second pixel's green
    }

    // JPEG: one colour, decoded again with libjpeg, close to the colour given.
    VxHostRgbaImage image = Picture(false);
    const uint8_t colour[3] = {200, 60, 20};
    for (size_t i = 0; i < image.samples8.size(); i += 4)
        std::copy_n(colour, 3, &image.samples8[i]);
    ASSERT_TRUE(VxHost_WriteJpeg(dir.Path("p.jpg"), image, error)) << error;
    std::vector<uint8_t> rgb;
    uint32_t width = 0, height = 0, components = 0;
    ASSERT_TRUE(VxTest_DecodeJpegReference(VxTest_ReadBytes(dir.Path("p.jpg")), &rgb, &width, &height, &components));
    EXPECT_EQ(width, 3u);
    EXPECT_EQ(height, 2u);
    for (size_t c = 0; c < 3; ++c)
        EXPECT_NEAR(rgb[c], colour[c], 6);
}

}  // namespace
