// vxhost as a person or a script runs it: the built binary, its output and its exit status.
// Each behaviour is pinned at a lower layer; these tests check that the host shows it. None
// skips: a host that cannot read a PNG, JPEG or bitmap fails them.
#include "host/System.h"
#include "host/Text.h"
#include "platform/VxLibraryFile.h"
#include "platform/VxStr.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/DibWriter.h"
#include "tests/fixtures/ExrWriter.h"
#include "tests/fixtures/JpegWriter.h"
#include "tests/fixtures/PngWriter.h"
#include "tests/fixtures/SidecarWriter.h"
#include "tests/host/HostRun.h"
#include "tests/host/JsonReader.h"

#include <gtest/gtest.h>

namespace {

TEST(Vxhost, PluginsShowsTheModulesTableInTextAndJson)
{
    // The rows the module linked into this program offers: the host must show exactly these.
    std::vector<std::pair<std::string, std::string>> rows;  // name, class id
    CVxComPtr<IVxUnsharedFIOPluginInfo> info = VxTest_ClassObject<IVxUnsharedFIOPluginInfo>(CLSID_VxPluginInfo);
    ASSERT_TRUE(info);
    uint32_t count = 0;
    info->GetPluginCount(&count);
    for (uint32_t i = 0; i < count; ++i) {
        GUID clsid = {};
        char16_t name[128] = {};
        info->GetPluginInfo(int32_t(i), &clsid, name, 128, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr);
        rows.emplace_back(VxHost_BufferToUtf8(name, 128), VxHost_GuidText(clsid));
    }
    ASSERT_GE(rows.size(), 5u);
    const VxTestHostRun run = VxTest_RunHost({"plugins"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(std::to_string(rows.size()) + " plug-ins"), std::string::npos) << run.out;
    size_t at = 0;
    for (const auto& [name, clsid] : rows) {
        at = run.out.find(name, at);
        ASSERT_NE(at, std::string::npos) << name << " in order in\n" << run.out;
        at = run.out.find(clsid, at);
        ASSERT_NE(at, std::string::npos) << clsid;
    }

    // In German: the readers' texts follow the host language.
    const VxTestJson value = VxTest_RunJson({"plugins", "--json", "--language", "1031"});
    EXPECT_EQ(value["language"].number, 1031);
    EXPECT_NE(value["module"].text.find(VxHostSystem_ModuleFileName()), std::string::npos);
    const std::vector<VxTestJson>& plugins = value["plugins"].items;
    ASSERT_EQ(plugins.size(), rows.size());
    for (size_t i = 0; i < plugins.size(); ++i) {
        const VxTestJson& row = plugins[i];
        EXPECT_EQ(row["name"].text, rows[i].first);
        EXPECT_EQ(row["clsid"].text, rows[i].second);
        // Both class objects are there, with seven texts each and a link to the other.
        for (const char* role : {"reader", "renderer"}) {
            EXPECT_TRUE(row[role]["available"].boolean) << role << ": " << row[role]["error"]["message"].text;
            EXPECT_EQ(row[role]["infoTexts"].items.size(), 7u) << role;
        }
        EXPECT_EQ(row["reader"]["linkedRenderer"]["classId"].text, row["renderer"]["classId"].text);
        EXPECT_EQ(row["renderer"]["linkedReader"]["classId"].text, row["reader"]["classId"].text);
        EXPECT_FALSE(row["reader"]["classId"].text.empty());
        if (row["clsid"].text == VxHost_GuidText(CLSID_VxPngPlugin)) {
            EXPECT_EQ(row["reader"]["infoTexts"][5].text, "PNG öffnen");
            EXPECT_EQ(row["reader"]["infoTexts"][3].text, "*.png");
        }
    }
}

TEST(Vxhost, FailuresExitWithAMessage)
{
    CVxTempDir directory;
    const std::string text = directory.Path("notes.txt");  // not a picture, nor a module
    const std::string cmyk = directory.Path("print.jpg");
    ASSERT_TRUE(VxTest_WriteBytes(text, {'p', 'l', 'a', 'i', 'n'}));
    ASSERT_TRUE(VxTest_WriteBytes(cmyk, VxTest_WriteJpeg({.components = 4})));
    // The EXR component beside the module is a loadable library without any module export.
    const std::string component = VxTest_BuildDir() + VxStr_ToUtf8(VX_LIBRARY_FILE("OpenExr"));
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "vxhost: no command given"},
        {{"plugins", "--bogus"}, "vxhost: unknown option --bogus"},
        {{"plugins", "--module", directory.Path("missing.so")}, "cannot load module"},
        {{"plugins", "--module", text}, "cannot load module"},
        {{"plugins", "--module", component}, "does not export DllGetClassObject"},
        {{"probe", text}, "no plug-in recognises this file"},
        {{"decode", directory.Path("missing.png"), "-o", directory.Path("o.png")}, VxHostSystem_ErrorText(2)},
        {{"decode", text, "-o", directory.Path("o.gif")}, ".png or .pfm"},  // checked before opening
        {{"probe", cmyk}, "0x8004E00B"},  // refused when opened
        {{"layers", directory.Path("x.psd"), "-o", directory.Path("dir")}, VxHostSystem_ErrorText(2)},
    };
    for (const auto& c : cases) {
        const VxTestHostRun run = VxTest_RunHost(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    const VxTestHostRun help = VxTest_RunHost({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: vxhost"), std::string::npos);
}

TEST(Vxhost, ProbeAndBenchDescribeAPng)
{
    CVxTempDir directory;
    const std::string path = directory.Path("rgb.png");
    ASSERT_TRUE(VxTest_WriteBytes(path, VxTest_WritePng({.width = 5, .height = 3})));
    const VxTestJson value = VxTest_RunJson({"probe", path, "--json"});
    const VxTestJson& file = value["files"][0];
    EXPECT_EQ(file["plugin"]["clsid"].text, VxHost_GuidText(CLSID_VxPngPlugin));
    EXPECT_EQ(file["formatName"].text, "Portable Network Graphic");
    EXPECT_EQ(file["compression"].text, "Inflate compression");
    ASSERT_EQ(file["streams"].items.size(), 1u);
    const VxTestJson& stream = file["streams"][0];
    EXPECT_EQ(stream["type"].number, 2);
    EXPECT_EQ(stream["frameCount"].number, 1);
    EXPECT_EQ(stream["header"]["width"].number, 5);
    EXPECT_EQ(stream["header"]["height"].number, 3);
    EXPECT_EQ(stream["header"]["bitCount"].number, 24);
    EXPECT_EQ(stream["extension"]["pixelAspect"].number, 1.0);
    EXPECT_EQ(file["layerCount"].number, 0);

    const VxTestHostRun bench = VxTest_RunHost({"bench", path, "--repeat", "3", "--threads", "2"});
    ASSERT_EQ(bench.exitCode, 0) << bench.err;
    EXPECT_NE(bench.out.find("2 decodes with 2 threads"), std::string::npos) << bench.out;
}

// Every kind of token gets the same frame: a block of vxhost's own process gets it decoded in
// place (colour JPEG, PNG) or widened band by band (grey JPEG in libjpeg's batches of rows,
// bitmaps of fewer than 24 bits several bands of file rows at a time); another process's block
// gets it through a frame of the pool. The preview PNG holds the picture libpng reads from the
// original.
TEST(Vxhost, DecodeDeliversTheSameFrameIntoEveryKindOfToken)
{
    CVxTempDir directory;
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } files[] = {
        {"rgb.png", VxTest_WritePng({.width = 5, .height = 3})},
        {"rgba.png", VxTest_WritePng({.width = 5, .height = 3, .colorType = 6})},
        {"colour.jpg", VxTest_WriteJpeg({.width = 33, .height = 21})},
        {"grey.jpg", VxTest_WriteJpeg({.width = 33, .height = 70, .components = 1})},
        {"pal8.bmp", VxTest_WriteDib({.width = 2000, .height = 150, .bits = 8, .colorsUsed = 256})},
        {"pal4-top-down.bmp", VxTest_WriteDib({.width = 4001, .height = -150, .bits = 4})},
        {"rgb16.bmp", VxTest_WriteDib({.width = 1000, .height = 300, .bits = 16})},
    };
    for (const auto& file : files) {
        const std::string path = directory.Path(file.name);
        const bool png = std::string(file.name).find(".png") != std::string::npos;
        ASSERT_TRUE(VxTest_WriteBytes(path, file.bytes));
        std::vector<uint8_t> frames[3];
        const char* tokens[] = {"local", "kind0", "kind1"};
        for (int t = 0; t < 3; ++t) {
            const std::string raw = directory.Path("frame.bin");
            std::vector<std::string> args = {"decode", path, "--raw", raw, "--token", tokens[t]};
            if (png && t == 0)
                args.insert(args.end(), {"-o", directory.Path("preview.png")});
            const VxTestHostRun run = VxTest_RunHost(args);
            ASSERT_EQ(run.exitCode, 0) << file.name << " " << tokens[t] << ": " << run.err;
            frames[t] = VxTest_ReadBytes(raw);
        }
        EXPECT_FALSE(frames[0].empty()) << file.name;
        EXPECT_EQ(frames[0], frames[1]) << file.name;
        EXPECT_EQ(frames[0], frames[2]) << file.name;
        if (png) {
            uint32_t width = 0, height = 0;
            EXPECT_EQ(VxTest_ReadPngRgba(directory.Path("preview.png"), &width, &height), VxTest_ReadPngRgba(path));
            EXPECT_EQ(width * height, 15u);
        }
    }
    // 24-bit rows of 15 bytes padded to 16.
    const VxTestJson value = VxTest_RunJson({"decode", directory.Path("rgb.png"), "--token", "kind1", "--json"});
    EXPECT_EQ(value["deliveredBytes"].number, 48);
    EXPECT_EQ(value["frame"]["frameTime"].number, 0);
    EXPECT_EQ(value["frame"]["stride"].number, 16);
    EXPECT_EQ(value["frame"]["imageBytes"].number, 48);
    EXPECT_EQ(value["frame"]["header"]["bitCount"].number, 24);
}

// The whole road through vxhost: the EXR plug-in reads the file, and the host writes it out
// again as OpenEXR (the same pixels as the library reads from the original), as PFM and as a
// tone-mapped PNG.
TEST(VxhostExr, DecodesAnExrIntoExrPfmAndPng)
{
    CVxTempDir directory;
    const VxTestExrOptions options = {.width = 9, .height = 4, .originX = 2, .originY = -1, .scale = 8.0f};
    const std::vector<uint8_t> original = VxTest_WriteExr(options);
    ASSERT_TRUE(VxTest_WriteBytes(directory.Path("in.exr"), original));

    for (const char* output : {"out.exr", "out.pfm", "out.png"}) {
        const VxTestHostRun run = VxTest_RunHost({"decode", directory.Path("in.exr"), "-o", directory.Path(output)});
        ASSERT_EQ(run.exitCode, 0) << output << ": " << run.err;
        EXPECT_FALSE(VxTest_ReadBytes(directory.Path(output)).empty()) << output;
    }
    const std::vector<float> expected = VxTest_ReadExrRgba(original);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(VxTest_ReadExrRgba(VxTest_ReadBytes(directory.Path("out.exr"))), expected);
}

TEST(Vxhost, MetaListsSidecarAndExifFields)
{
    CVxTempDir directory;
    const std::string in = directory.Path("pic.png");
    ASSERT_TRUE(VxTest_WriteBytes(in, VxTest_WritePng({.width = 2, .height = 2})));
    VxTest_WriteBytes(in + ".vxl",
                      VxTest_WriteSidecar(VxTest_Sidecar(
                          "pic.png", {{"INAM", "Harbour at dawn"}, {"ICMT", "caf\xE9"}},
                          {VxTest_SidecarProperty(7, 10, 4)})));
    const VxTestJson value = VxTest_RunJson({"meta", in, "--json"});
    EXPECT_EQ(value["summaryCount"].number, 2);
    ASSERT_EQ(value["fields"].items.size(), 2u);
    EXPECT_EQ(value["fields"][0]["codeText"].text, "INAM");
    EXPECT_EQ(value["fields"][0]["text"].text, "Harbour at dawn");
    EXPECT_EQ(value["fields"][1]["code"].number, VxTest_FourCC("ICMT"));
    EXPECT_EQ(value["fields"][1]["text"].text, "caf\xC3\xA9");  // Windows-1252 e-acute, as UTF-8
    EXPECT_TRUE(value["mediaManager"]["present"].boolean);
    EXPECT_EQ(value["mediaManager"]["propertyCount"].number, 1);

    const VxTestHostRun run = VxTest_RunHost({"meta", in});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"Harbour at dawn\""), std::string::npos) << run.out;

    // A JPEG's EXIF fields, by name.
    const std::string jpeg = directory.Path("photo.jpg");
    ASSERT_TRUE(VxTest_WriteBytes(jpeg, VxTest_WriteJpeg({.segments = {{0xE1, VxTest_ExifPayload(VxTest_WriteTiff(
                                                             true, {VxTest_TiffAscii(271, "Maker")},
                                                             {VxTest_TiffShort(true, 37385, 0x19)}))}}})));
    const VxTestHostRun text = VxTest_RunHost({"meta", jpeg});
    EXPECT_NE(text.out.find("EXIF Make (ifd 0 tag 0x010F type 2)"), std::string::npos) << text.out;
    const VxTestJson exif = VxTest_RunJson({"meta", jpeg, "--json"});
    ASSERT_EQ(exif["fields"].items.size(), 2u);
    EXPECT_EQ(exif["fields"][0]["name"].text, "Make");
    EXPECT_EQ(exif["fields"][0]["code"].number, 0x650010F2);
    EXPECT_EQ(exif["fields"][0]["text"].text, "Maker");
    EXPECT_EQ(exif["fields"][1]["name"].text, "Flash");
    EXPECT_EQ(exif["fields"][1]["text"].text, "1");
}

}  // namespace
