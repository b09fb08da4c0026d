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

// A picture as the tool reads it: where it stands on the canvas, its label, and its R, G, B, A
// samples widened to 16 bits, top row first. The tool reads the merged image's colours as if
// blended over white unless told otherwise; the module delivers the stored samples.
struct Picture {
    Picture(const std::string& file, const CVxTestDirectory& directory)
    {
        const std::string info = directory.Path("info.txt"), raw = directory.Path("rgba.raw");
        int used = 0;
        if (!Tool("-define psd:alpha-unblend=off '" + file + "' -format '%X %Y %w %h %l' -write info:" + info +
                  " -depth 16 rgba:" + raw))
            return;
        const std::vector<uint8_t> text = VxTest_ReadBytes(info), bytes = VxTest_ReadBytes(raw);
        label.assign(text.begin(), text.end());
        if (std::sscanf(label.c_str(), "%d %d %d %d %n", &x, &y, &width, &height, &used) != 4)
            return;
        label.erase(0, size_t(used));
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            rgba.push_back(uint16_t(bytes[i] << 8 | bytes[i + 1]));
    }
    // The samples of canvas pixel (cx, cy): the picture's inside it, else all 0.
    std::vector<uint16_t> At(int cx, int cy) const
    {
        if (cx < x || cx >= x + width || cy < y || cy >= y + height)
            return std::vector<uint16_t>(4, 0);
        const auto at = rgba.begin() + (long(cy - y) * width + (cx - x)) * 4;
        return std::vector<uint16_t>(at, at + 4);
    }

    int x = 0, y = 0, width = 0, height = 0;
    std::string label;
    std::vector<uint16_t> rgba;
};

TEST(VxhostLayers, DocumentsWrittenByARealToolDecodeToItsMergedImageAndLayers)
{
    ASSERT_TRUE(std::filesystem::exists(kConvert)) << "ImageMagick is missing: run scripts/setup.sh";
    CVxTestDirectory dir;
    const std::string merged = dir.Path("merged.png"), first = dir.Path("first.png"), second = dir.Path("second.png");
    // A merged image with an alpha ramp (the tool then stores a negative layer count); a
    // translucent layer over the left and bottom edges; an opaque one over the right edge.
    ASSERT_TRUE(Tool("-size 16x10 gradient:red-blue -alpha set -channel A -fx j/9 +channel " + merged));
    ASSERT_TRUE(Tool("-size 6x4 gradient:'#30C060'-'#F0E010' -alpha set -channel A -fx i/5 +channel " + first));
    ASSERT_TRUE(Tool("-size 5x3 gradient:yellow-black " + second));
    const std::string layers = " \\( " + first + " -set label 'First one' -repage -2+7 \\) \\( " + second +
                               " -set label Two -repage +12+8 \\) ";
    for (const char* options : {"-depth 8 -compress RLE", "-depth 8 -compress None", "-depth 16 -compress RLE",
                                "-depth 16 -compress None"}) {
        const std::string psd = dir.Path("doc.psd"), out = dir.Path("out");
        std::filesystem::remove_all(out);
        ASSERT_TRUE(Tool(merged + layers + options + " " + psd)) << options;
        const VxTestHostRun run = VxTest_RunHost({"layers", psd, "-o", out});
        ASSERT_EQ(run.exitCode, 0) << options << ": " << run.err;

        const Picture canvas(psd + "[0]", dir);
        ASSERT_EQ(canvas.rgba.size(), 16u * 10 * 4) << options;
        EXPECT_EQ(Picture(out + "/composite.png", dir).rgba, canvas.rgba) << options;
        for (int index = 1; index <= 2; ++index) {
            const Picture tool(psd + "[" + std::to_string(index) + "]", dir);
            ASSERT_FALSE(tool.rgba.empty()) << options;
            std::string name = tool.label;
            std::replace(name.begin(), name.end(), ' ', '_');
            const Picture ours(out + "/layer-00" + std::to_string(index) + "-" + name + ".png", dir);
            ASSERT_EQ(ours.rgba.size(), canvas.rgba.size()) << options << " " << name;
            char rectangle[64];
            std::snprintf(rectangle, sizeof(rectangle), "(%d, %d)-(%d, %d)", tool.x, tool.y, tool.x + tool.width,
                          tool.y + tool.height);
            EXPECT_NE(run.out.find("\"" + tool.label + "\" " + rectangle), std::string::npos) << run.out;
            // Inside the layer the tool's pixels; outside it nothing, not even colour.
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 16; ++x)
                    EXPECT_EQ(ours.At(x, y), tool.At(x, y)) << options << " " << name << " at " << x << "," << y;
        }
    }
}

}  // namespace
