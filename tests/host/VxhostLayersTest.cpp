// Layered documents written by a real tool (Debian's ImageMagick, which scripts/setup.sh
// installs; it stores the first image as the merged image and the others as layers) decode
// through vxhost layers to the tool's own reading of the merged image and of each layer.
#include "tests/host/HostRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

const char kConvert[] = "/usr/bin/convert";  // the tool itself, whatever stands first on the path

// Runs the tool; its standard output goes to out.
bool Tool(const std::string& arguments, std::string* out = nullptr)
{
    FILE* pipe = popen((std::string(kConvert) + " " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return false;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
        text.append(buffer, n);
    if (out)
        *out = text;
    return pclose(pipe) == 0;
}

// A picture as the tool reads it: where it stands on the canvas, its label, and its R, G, B, A
// samples widened to 16 bits, top row first.
struct Picture {
    int x = 0, y = 0;
    uint32_t width = 0, height = 0;
    std::string label;
    std::vector<uint16_t> rgba;

    const uint16_t* At(int canvasX, int canvasY) const
    {
        return &rgba[(size_t(canvasY - y) * width + size_t(canvasX - x)) * 4];
    }
};

// The tool writes the merged image's colours as given but by default reads them back as if
// blended over white; the module delivers the stored samples, so the tool reads them as stored.
Picture Read(const std::string& file)
{
    Picture p;
    std::string info, raw;
    int used = 0;
    const std::string source = "-define psd:alpha-unblend=off '" + file + "'";
    if (!Tool(source + " -format '%X %Y %w %h %l' info:", &info) || !Tool(source + " -depth 16 rgba:-", &raw) ||
        std::sscanf(info.c_str(), "%d %d %u %u %n", &p.x, &p.y, &p.width, &p.height, &used) != 4)
        return p;
    p.label = info.substr(size_t(used));
    for (size_t i = 0; i + 1 < raw.size(); i += 2)
        p.rgba.push_back(uint16_t(uint8_t(raw[i]) << 8 | uint8_t(raw[i + 1])));
    return p;
}

TEST(VxhostLayers, DocumentsWrittenByARealToolDecodeToItsMergedImageAndLayers)
{
    ASSERT_TRUE(std::filesystem::exists(kConvert)) << "ImageMagick is missing: run scripts/setup.sh";
    CVxTestDirectory directory;
    const std::string merged = directory.Path("merged.png"), first = directory.Path("first.png"),
                      second = directory.Path("second.png");
    // A merged image with an alpha ramp (the tool then stores a negative layer count); a
    // translucent layer over the left and bottom edges; an opaque one over the right edge.
    ASSERT_TRUE(Tool("-size 16x10 gradient:red-blue -alpha set -channel A -fx j/9 +channel " + merged));
    ASSERT_TRUE(Tool("-size 6x4 gradient:'#30C060'-'#F0E010' -alpha set -channel A -fx i/5 +channel " + first));
    ASSERT_TRUE(Tool("-size 5x3 gradient:yellow-black " + second));
    const std::string layers = " \\( " + first + " -set label 'First one' -repage -2+7 \\) \\( " + second +
                               " -set label Two -repage +12+8 \\) ";
    for (const char* options : {"-depth 8 -compress RLE", "-depth 8 -compress None", "-depth 16 -compress RLE",
                                "-depth 16 -compress None"}) {
        const std::string psd = directory.Path("doc.psd"), out = directory.Path("out");
        std::filesystem::remove_all(out);
        ASSERT_TRUE(Tool(merged + layers + options + " " + psd)) << options;
        const VxTestHostRun run = VxTest_RunHost({"layers", psd, "-o", out});
        ASSERT_EQ(run.exitCode, 0) << options << ": " << run.err;

        const Picture canvas = Read(psd + "[0]");
        ASSERT_EQ(canvas.rgba.size(), 16u * 10 * 4) << options;
        EXPECT_EQ(Read(out + "/composite.png").rgba, canvas.rgba) << options;
        for (uint32_t index = 1; index <= 2; ++index) {
            const Picture tool = Read(psd + "[" + std::to_string(index) + "]");
            ASSERT_FALSE(tool.rgba.empty()) << options;
            std::string name = tool.label;
            std::replace(name.begin(), name.end(), ' ', '_');
            const Picture ours = Read(out + "/layer-00" + std::to_string(index) + "-" + name + ".png");
            ASSERT_EQ(ours.rgba.size(), canvas.rgba.size()) << options << " " << name;
            char rectangle[64];
            std::snprintf(rectangle, sizeof(rectangle), "(%d, %d)-(%d, %d)", tool.x, tool.y,
                          tool.x + int(tool.width), tool.y + int(tool.height));
            EXPECT_NE(run.out.find("\"" + tool.label + "\" " + rectangle), std::string::npos) << run.out;
            // Inside the layer the tool's pixels; outside it nothing, not even colour.
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 16; ++x) {
                    const bool inside = x >= tool.x && x < tool.x + int(tool.width) && y >= tool.y &&
                                        y < tool.y + int(tool.height);
                    const std::vector<uint16_t> expected =
                        inside ? std::vector<uint16_t>(tool.At(x, y), tool.At(x, y) + 4) : std::vector<uint16_t>(4, 0);
                    EXPECT_EQ(std::vector<uint16_t>(ours.At(x, y), ours.At(x, y) + 4), expected)
                        << options << " " << name << " at " << x << "," << y;
                }
        }
    }
}

}  // namespace
