// Bitmaps and TARGA files written by a real tool (Debian's ImageMagick, which scripts/setup.sh
// installs) decode through vxhost to the pixels that tool reads back from them.
#include "tests/common/VxTest.h"
#include "tests/host/HostRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

const char kConvert[] = "/usr/bin/convert";

bool Convert(const std::string& arguments)
{
    return std::system((std::string(kConvert) + " " + arguments + " 2>/dev/null").c_str()) == 0;
}

}  // namespace

TEST(BitmapHost, FilesWrittenByARealToolDecodeToItsPixels)
{
    ASSERT_TRUE(std::filesystem::exists(kConvert)) << "ImageMagick is missing: run scripts/setup.sh";
    CVxTempDir directory;
    const std::string source = directory.Path("source.png");
    ASSERT_TRUE(Convert("-size 9x6 gradient:red-blue -fill '#30C060' -draw 'point 2,1' -colors 7 " + source));
    struct Variant {
        const char* options;
        const char* name;
    } variants[] = {
        {"", "v5.bmp"},
        {"-type truecolor", "BMP3:rgb24.bmp"},
        {"-type palette", "BMP3:palette.bmp"},
        {"-type palette -compress RLE", "BMP3:rle8.bmp"},
        {"-type palette", "BMP2:core.bmp"},
        {"-define bmp:subtype=RGB565", "rgb565.bmp"},
        {"-alpha set", "BMP3:rgba.bmp"},
        {"", "raw.tga"},
        {"-compress RLE", "rle.tga"},
        {"-type palette", "palette.tga"},
        {"-colorspace gray -compress RLE", "grey.tga"},
        {"-alpha set", "rgba.tga"},
        {"-orient TopLeft", "top.tga"},
    };
    for (const Variant& v : variants) {
        const std::string name = v.name;
        const std::string file = directory.Path(name.substr(name.find(':') + 1));
        const std::string prefix = name.find(':') == std::string::npos ? "" : name.substr(0, name.find(':') + 1);
        ASSERT_TRUE(Convert(source + " " + v.options + " " + prefix + file)) << name;
        // The tool's own reading, turned the way the file says it stands.
        ASSERT_TRUE(Convert(file + " -auto-orient " + directory.Path("tool.png"))) << name;
        const VxTestHostRun run = VxTest_RunHost({"decode", file, "-o", directory.Path("ours.png")});
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
        // A core header fails the strict header test: vxhost opens the file by its extension.
        if (name == "BMP2:core.bmp") {
            EXPECT_NE(run.err.find("(DIB) by its extension"), std::string::npos) << run.err;
        }
        const std::vector<uint8_t> tool = VxTest_ReadPngRgba(directory.Path("tool.png"));
        ASSERT_EQ(tool.size(), 9u * 6 * 4) << name;
        EXPECT_EQ(VxTest_ReadPngRgba(directory.Path("ours.png")), tool) << name;
    }
}
