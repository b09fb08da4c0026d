// Layered documents written by a real tool (Debian's ImageMagick, which scripts/setup.sh
// installs; it stores the first image as the merged image and the others as layers) decode
// through vxhost layers to the tool's own reading of the merged image and of each layer.
#include "tests/host/HostRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

const char kConvert[] = "/usr/bin/convert";  // the tool itself, whatever stands first on the path

bool Tool(const std::string& arguments)
{
    return std::system((std::string(kConvert) + " " + arguments + " 2>/dev/null").c_str()) == 0;
}

// A picture's R, G, B, A samples as the tool reads them, widened to 16 bits, top row first. The
// tool reads the merged image's colours as if blended over white unless told otherwise; the
// module delivers the stored samples.
std::vector<uint16_t> ToolRgba(const std::string& file, const std::string& raw)
{
    std::vector<uint16_t> rgba;
    std::filesystem::remove(raw);
    Tool("-define psd:alpha-unblend=off '" + file + "' -depth 16 rgba:" + raw);
    const std::vector<uint8_t> bytes = VxTest_ReadBytes(raw);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        rgba.push_back(uint16_t(bytes[i] << 8 | bytes[i + 1]));
    return rgba;
}

TEST(VxhostLayers, DocumentsWrittenByARealToolDecodeToItsMergedImageAndLayers)
{
    ASSERT_TRUE(std::filesystem::exists(kConvert)) << "ImageMagick is missing: run scripts/setup.sh";
    CVxTempDir dir;
    const std::string psd = dir.Path("doc.psd"), out = dir.Path("out"), raw = dir.Path("rgba.raw");
    // A 16 × 10 merged image with an alpha ramp (the tool then stores a negative layer count); a
    // translucent layer over the left and bottom edges; an opaque one over the right edge.
    const std::string images = "-size 16x10 gradient:red-blue -alpha set -channel A -fx j/9 +channel \\( -size 6x4 "
                               "gradient:'#30C060'-'#F0E010' -alpha set -channel A -fx i/5 +channel -set label "
                               "'First one' -repage -2+7 \\) \\( -size 5x3 gradient:yellow-black -set label Two "
                               "-repage +12+8 \\) ";
    const struct { const char* name; const char* file; int x, y, width, height; } layers[] = {
        {"First one", "First_one", -2, 7, 6, 4}, {"Two", "Two", 12, 8, 5, 3}};
    for (const char* options : {"-depth 8 -compress RLE", "-depth 8 -compress None", "-depth 16 -compress RLE",
                                "-depth 16 -compress None"}) {
        std::filesystem::remove_all(out);
        ASSERT_TRUE(Tool(images + options + " " + psd)) << options;
        const VxTestHostRun run = VxTest_RunHost({"layers", psd, "-o", out});
        ASSERT_EQ(run.exitCode, 0) << options << ": " << run.err;
        const std::vector<uint16_t> canvas = ToolRgba(psd + "[0]", raw);
        ASSERT_EQ(canvas.size(), 16u * 10 * 4) << options;
        EXPECT_EQ(ToolRgba(out + "/composite.png", raw), canvas) << options;

        for (int index = 1; index <= 2; ++index) {
            const auto& l = layers[index - 1];
            const std::vector<uint16_t> tool = ToolRgba(psd + "[" + std::to_string(index) + "]", raw);
            ASSERT_EQ(tool.size(), size_t(l.width * l.height * 4)) << options;
            // Canvas-sized: inside the layer the tool's pixels; outside it nothing, not even colour.
            std::vector<uint16_t> expected(canvas.size(), 0);
            for (int y = std::max(l.y, 0); y < std::min(l.y + l.height, 10); ++y)
                for (int x = std::max(l.x, 0); x < std::min(l.x + l.width, 16); ++x)
                    std::copy_n(&tool[size_t(((y - l.y) * l.width + x - l.x) * 4)], 4,
                                &expected[size_t((y * 16 + x) * 4)]);
            const std::string picture = out + "/layer-00" + std::to_string(index) + "-" + l.file + ".png";
            EXPECT_EQ(ToolRgba(picture, raw), expected) << options << " " << l.name;
            char line[1024];
            std::snprintf(line, sizeof(line), "layer %d \"%s\" (%d, %d)-(%d, %d) -> %s", index, l.name, l.x, l.y,
                          l.x + l.width, l.y + l.height, picture.c_str());
            EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
        }
    }
}

}  // namespace
