// vxhost as a person or a script runs it: the built binary, its output and its exit status.
// Each behaviour is pinned at a lower layer; these tests check that the host shows it. None
// skips: a host that cannot read a PNG fails them.
#include "host/System.h"
#include "host/Text.h"
#include "platform/VxLibraryFile.h"
#include "platform/VxStr.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/DibWriter.h"
#include "tests/fixtures/JpegWriter.h"
#include "tests/fixtures/PngWriter.h"
#include "tests/fixtures/SidecarWriter.h"
#include "tests/host/HostRun.h"
#include "tests/host/JsonReader.h"

#include <gtest/gtest.h>

#include <png.h>

#include <fstream>


namespace {

struct VxTestPluginRow {
    std::string name;
    std::string clsid;
};

// The rows the module linked into this program offers: the host must show exactly these.
std::vector<VxTestPluginRow> ModuleRows()
{
    CVxComPtr<IVxUnsharedFIOPluginInfo> info = VxTest_ClassObject<IVxUnsharedFIOPluginInfo>(CLSID_VxPluginInfo);
    if (!info)
        return {};
    uint32_t count = 0;
    info->GetPluginCount(&count);
    std::vector<VxTestPluginRow> rows;
    for (uint32_t i = 0; i < count; ++i) {
        GUID clsid = {};
        char16_t name[128] = {};
        info->GetPluginInfo(int32_t(i), &clsid, name, 128, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr);
        rows.push_back({VxHost_BufferToUtf8(name, 128), VxHost_GuidText(clsid)});
    }
    return rows;
}

VxTestJson VxTest_RunJson(const std::vector<std::string>& args, int expectedExit = 0)
{
    const VxTestHostRun run = VxTest_RunHost(args);
    EXPECT_EQ(run.exitCode, expectedExit) << run.err;
    VxTestJson value;
    std::string error;
    EXPECT_TRUE(VxTest_ParseJson(run.out, value, error)) << error << "\n" << run.out;
    return value;
}

// The PNG row of vxhost's plug-in list.
const VxTestJson& PngRow(const VxTestJson& plugins)
{
    for (const VxTestJson& row : plugins["plugins"].items)
        if (row["clsid"].text == VxHost_GuidText(CLSID_VxPngPlugin))
            return row;
    ADD_FAILURE() << "vxhost lists no PNG plug-in";
    return plugins["none"];
}

// A top-row-first 8-bit RGBA picture with distinct pixels and some transparency.
std::vector<uint8_t> VxTest_Pixels(uint32_t width, uint32_t height, bool alpha)
{
    std::vector<uint8_t> rgba;
    for (uint32_t i = 0; i < width * height; ++i)
        rgba.insert(rgba.end(), {uint8_t(i * 40 + 1), uint8_t(i * 13 + 100), uint8_t(255 - i * 7),
                                 alpha ? uint8_t(i * 50) : uint8_t(255)});
    return rgba;
}

// Written with libpng's simplified interface, independent of the module.
bool VxTest_WritePicture(const std::string& path, uint32_t width, uint32_t height,
                         const std::vector<uint8_t>& rgba, bool alpha)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<uint8_t> samples;
    for (size_t i = 0; i < rgba.size(); ++i)
        if (alpha || i % 4 != 3)
            samples.push_back(rgba[i]);
    return png_image_write_to_file(&image, path.c_str(), 0, samples.data(), 0, nullptr) != 0;
}

TEST(Vxhost, PluginsShowsTheModulesTableInTextAndJson)
{
    const std::vector<VxTestPluginRow> rows = ModuleRows();
    ASSERT_GE(rows.size(), 5u);
    const VxTestHostRun run = VxTest_RunHost({"plugins"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(std::to_string(rows.size()) + " plug-ins"), std::string::npos) << run.out;
    size_t at = 0;
    for (const VxTestPluginRow& row : rows) {
        at = run.out.find(row.name, at);
        ASSERT_NE(at, std::string::npos) << row.name << " in order in\n" << run.out;
        at = run.out.find(row.clsid, at);
        ASSERT_NE(at, std::string::npos) << row.clsid;
    }

    const VxTestJson value = VxTest_RunJson({"plugins", "--json"});
    EXPECT_EQ(value["language"].number, 1033);
    EXPECT_NE(value["module"].text.find(VxHostSystem_ModuleFileName()), std::string::npos);
    const std::vector<VxTestJson>& plugins = value["plugins"].items;
    ASSERT_EQ(plugins.size(), rows.size());
    for (size_t i = 0; i < plugins.size(); ++i) {
        const VxTestJson& row = plugins[i];
        EXPECT_EQ(row["name"].text, rows[i].name);
        EXPECT_EQ(row["clsid"].text, rows[i].clsid);
        // A class object is either there, with seven texts and a link to its partner when the
        // partner exists, or missing with the code of why.
        const char* roles[2] = {"reader", "renderer"};
        for (int role = 0; role < 2; ++role) {
            const VxTestJson& object = row[roles[role]];
            ASSERT_EQ(object["available"].type, VxTestJson::Type::Bool) << roles[role];
            if (object["available"].boolean) {
                EXPECT_EQ(object["infoTexts"].items.size(), 7u);
                const VxTestJson& link = object[role == 0 ? "linkedRenderer" : "linkedReader"];
                const VxTestJson& other = row[roles[1 - role]];
                EXPECT_EQ(link["found"].boolean, other["available"].boolean) << roles[role];
                if (other["available"].boolean) {
                    EXPECT_EQ(link["classId"].text, other["classId"].text);
                }
            } else {
                EXPECT_EQ(object["error"]["code"].text.size(), 10u) << roles[role];
                EXPECT_FALSE(object["error"]["message"].text.empty());
            }
        }
    }
    EXPECT_TRUE(PngRow(value)["reader"]["available"].boolean);
}

TEST(Vxhost, ReaderTextsFollowTheHostLanguage)
{
    const VxTestJson english = VxTest_RunJson({"plugins", "--json"});
    const VxTestJson german = VxTest_RunJson({"plugins", "--json", "--language", "1031"});
    EXPECT_EQ(PngRow(english)["reader"]["infoTexts"][5].text, "Open PNG");
    EXPECT_EQ(PngRow(german)["reader"]["infoTexts"][5].text, "PNG öffnen");
    EXPECT_EQ(PngRow(german)["reader"]["infoTexts"][3].text, "*.png");
}

TEST(Vxhost, ModuleThatCannotBeLoadedExitsWithAMessage)
{
    CVxTestDirectory directory;
    const std::string bogus = directory.Path("bogus.so");
    std::ofstream(bogus) << "not a module";
    for (const std::string& path : {directory.Path("missing.so"), bogus}) {
        const VxTestHostRun run = VxTest_RunHost({"plugins", "--module", path});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("cannot load module"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

TEST(Vxhost, LibraryWithoutTheExportsIsNotAModule)
{
    // The EXR component beside the module is a loadable library without any module export.
    const std::string component = VxTest_BuildDir() + VxStr_ToUtf8(VX_LIBRARY_FILE("OpenExr"));
    const VxTestHostRun run = VxTest_RunHost({"plugins", "--module", component});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("does not export DllGetClassObject"), std::string::npos) << run.err;
}

TEST(Vxhost, CommandLineMistakesExitWithAMessage)
{
    const std::vector<std::vector<std::string>> mistakes = {
        {}, {"frob"}, {"plugins", "--bogus"}, {"decode", "x.png"}, {"bench", "x.png", "--repeat", "0"},
        {"plugins", "--token", "kind9"}, {"layers", "x.psd", "-o", "dir"}, {"layers", "x.psd"}};
    for (const auto& args : mistakes) {
        const VxTestHostRun run = VxTest_RunHost(args);
        EXPECT_EQ(run.exitCode, 1) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(run.err.rfind("vxhost: ", 0), 0u) << run.err;
    }
    const VxTestHostRun help = VxTest_RunHost({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: vxhost"), std::string::npos);
}

TEST(Vxhost, FilesNoPluginReadsAreReported)
{
    CVxTestDirectory directory;
    const std::string text = directory.Path("notes.txt");
    std::ofstream(text) << "plain words, not a picture";
    VxTestHostRun run = VxTest_RunHost({"probe", text});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no plug-in recognises this file"), std::string::npos) << run.err;

    run = VxTest_RunHost({"decode", directory.Path("missing.png"), "-o", directory.Path("o.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(VxHostSystem_ErrorText(2)), std::string::npos) << run.err;  // file not found

    // The output type is checked before anything is opened.
    run = VxTest_RunHost({"decode", text, "-o", directory.Path("o.gif")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(".png or .pfm"), std::string::npos) << run.err;
}

TEST(Vxhost, ProbeDescribesAPng)
{
    CVxTestDirectory directory;
    const std::string path = directory.Path("rgb.png");
    ASSERT_TRUE(VxTest_WritePicture(path, 5, 3, VxTest_Pixels(5, 3, false), false));
    const VxTestJson value = VxTest_RunJson({"probe", path, "--json"});
    const VxTestJson& file = value["files"][0];
    EXPECT_EQ(file["plugin"]["clsid"].text, VxHost_GuidText(CLSID_VxPngPlugin));
    EXPECT_EQ(file["formatName"].text, "Portable Network Graphic");
    EXPECT_EQ(file["compression"].text, "Inflate compression");
    ASSERT_EQ(file["streams"].items.size(), 1u);
    const VxTestJson& stream = file["streams"][0];
    EXPECT_EQ(stream["type"].number, 2);
    EXPECT_EQ(stream["recordSize"].number, 184);
    EXPECT_EQ(stream["frameCount"].number, 1);
    EXPECT_EQ(stream["header"]["width"].number, 5);
    EXPECT_EQ(stream["header"]["height"].number, 3);
    EXPECT_EQ(stream["header"]["bitCount"].number, 24);
    EXPECT_EQ(stream["extension"]["pixelAspect"].number, 1.0);
    EXPECT_EQ(file["layerCount"].number, 0);
}

TEST(Vxhost, DecodeWritesThePictureTopRowFirst)
{
    CVxTestDirectory directory;
    for (bool alpha : {false, true}) {
        const std::vector<uint8_t> pixels = VxTest_Pixels(5, 3, alpha);
        const std::string in = directory.Path(alpha ? "rgba.png" : "rgb.png");
        const std::string out = directory.Path("out.png");
        ASSERT_TRUE(VxTest_WritePicture(in, 5, 3, pixels, alpha));
        const VxTestHostRun run = VxTest_RunHost({"decode", in, "-o", out});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        uint32_t width = 0, height = 0;
        EXPECT_EQ(VxTest_ReadPngRgba(out, &width, &height), pixels) << (alpha ? "RGBA" : "RGB");
        EXPECT_EQ(width, 5u);
        EXPECT_EQ(height, 3u);
    }
}

TEST(Vxhost, DecodeDeliversTheSameBytesIntoEveryKindOfToken)
{
    CVxTestDirectory directory;
    const std::string in = directory.Path("rgb.png");
    const std::vector<uint8_t> pixels = VxTest_Pixels(5, 3, false);
    ASSERT_TRUE(VxTest_WritePicture(in, 5, 3, pixels, false));

    // 24-bit rows of 15 bytes padded to 16, bottom row first, blue-green-red.
    std::vector<uint8_t> expected;
    for (int row = 2; row >= 0; --row) {
        for (int x = 0; x < 5; ++x) {
            const uint8_t* p = &pixels[(size_t(row) * 5 + size_t(x)) * 4];
            expected.insert(expected.end(), {p[2], p[1], p[0]});
        }
        expected.push_back(0);
    }
    for (const std::string token : {"local", "kind0", "kind1"}) {
        const std::string raw = directory.Path("frame-" + token + ".bin");
        const VxTestJson value =
            VxTest_RunJson({"decode", in, "--raw", raw, "--token", token, "--json"});
        EXPECT_EQ(VxTest_ReadFile(raw), expected) << token;
        EXPECT_EQ(value["deliveredBytes"].number, 48) << token;
        EXPECT_EQ(value["frame"]["frameTime"].number, 0);
        EXPECT_EQ(value["frame"]["stride"].number, 16);
        EXPECT_EQ(value["frame"]["imageBytes"].number, 48);
        EXPECT_EQ(value["frame"]["header"]["bitCount"].number, 24);
    }

    // A block of vxhost's own process gets the frame decoded in place, or widened band by band
    // (grey JPEG in libjpeg's batches of rows, bitmaps of fewer than 24 bits several bands of
    // file rows at a time); another process's block gets it through a frame of the pool.
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } widened[] = {
        {"grey.jpg", VxTest_WriteJpeg({.width = 33, .height = 70, .components = 1})},
        {"pal8.bmp", VxTest_WriteDib({.width = 2000, .height = 150, .bits = 8, .colorsUsed = 256})},
        {"pal4-top-down.bmp", VxTest_WriteDib({.width = 4001, .height = -150, .bits = 4})},
        {"rgb16.bmp", VxTest_WriteDib({.width = 1000, .height = 300, .bits = 16})},
    };
    for (const auto& file : widened) {
        const std::string path = directory.Path(file.name);
        ASSERT_TRUE(VxTest_WriteFile(path, file.bytes));
        std::vector<uint8_t> frames[3];
        const char* tokens[] = {"local", "kind0", "kind1"};
        for (int t = 0; t < 3; ++t) {
            const std::string raw = directory.Path(std::string(file.name) + "-" + tokens[t] + ".bin");
            const VxTestHostRun run = VxTest_RunHost({"decode", path, "--raw", raw, "--token", tokens[t]});
            ASSERT_EQ(run.exitCode, 0) << file.name << " " << tokens[t] << ": " << run.err;
            frames[t] = VxTest_ReadFile(raw);
        }
        EXPECT_FALSE(frames[0].empty()) << file.name;
        EXPECT_EQ(frames[0], frames[1]) << file.name;
        EXPECT_EQ(frames[0], frames[2]) << file.name;
    }
}

TEST(Vxhost, MetaListsTheSidecarFields)
{
    CVxTestDirectory directory;
    const std::string in = directory.Path("pic.png");
    ASSERT_TRUE(VxTest_WritePicture(in, 2, 2, VxTest_Pixels(2, 2, false), false));
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
}

TEST(Vxhost, BenchReportsEveryFile)
{
    CVxTestDirectory directory;
    const std::string in = directory.Path("bench.png");
    ASSERT_TRUE(VxTest_WritePicture(in, 8, 8, VxTest_Pixels(8, 8, true), true));
    const VxTestHostRun run = VxTest_RunHost({"bench", in, "--repeat", "3", "--threads", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("2 decodes with 2 threads"), std::string::npos) << run.out;
}

}  // namespace
