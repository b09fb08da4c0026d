#include "host/Errors.h"
#include "host/Json.h"
#include "host/Options.h"
#include "host/System.h"
#include "host/Text.h"
#include "plugin/contracts/VxIdentifiers.h"
#include "plugin/contracts/VxResults.h"
#include "tests/host/JsonReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// Round trips, replacement characters for malformed text, buffers cut at the terminator.
TEST(HostText, Utf8AndUtf16)
{
    const std::u16string wide = u"Straße 東京 \U0001F600 end";
    EXPECT_EQ(VxHost_ToUtf16(VxHost_ToUtf8(wide)), wide);
    EXPECT_EQ(VxHost_ToUtf8(u"Ñ"), "\xC3\x91");
    EXPECT_EQ(VxHost_ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(VxHost_ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");        // overlong '/'
    EXPECT_EQ(VxHost_ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(VxHost_ToUtf16("\xE6\x9D"), u"\uFFFD\uFFFD");         // cut sequence
    const char16_t lone[] = {u'x', 0xD800, u'y', 0};
    EXPECT_EQ(VxHost_ToUtf8(std::u16string_view(lone, 3)), "x\xEF\xBF\xBDy");
    EXPECT_EQ(VxHost_BufferToUtf8(lone + 2, 2), "y");   // stops at the terminator
    EXPECT_EQ(VxHost_BufferToUtf8(u"abc", 2), "ab");    // or at the capacity
}

TEST(HostText, IdentifiersAndResultsPrintInTheirUsualForms)
{
    EXPECT_EQ(VxHost_GuidText(CLSID_VxPngPlugin), "{9EEB9CE1-F43D-11D3-A570-00AA006BA2BA}");
    EXPECT_EQ(VxHost_CompressionText(0), "BI_RGB");
    EXPECT_EQ(VxHost_CompressionText(3), "BI_BITFIELDS");
    EXPECT_EQ(VxHost_CompressionText(VxFourCC('V', 'X', 'D', 'B')), "VXDB");
    EXPECT_EQ(VxHost_CompressionText(0x00010203), "0x00010203");
    // Result texts come from the message table or the system.
    EXPECT_EQ(VxHost_ResultText(VXE_FILE_READ).rfind("An error occurred reading the file.", 0), 0u);
    EXPECT_EQ(VxHost_ResultText(HRESULT(0x80070002u)), VxHostSystem_ErrorText(2) + ".");
    EXPECT_EQ(VxHost_ResultText(HRESULT(0x80041234u)), "Unknown result code.");
}

TEST(HostJson, WritesOneDocumentThatParsesBack)
{
    CVxHostJson json;
    json.BeginObject();
    json.Field("text", std::string("quote \" slash \\ line\n tab\t bell\a 東"));
    json.Field("negative", int32_t(-5));
    json.Field("large", uint64_t(0xFFFFFFFFFFull));
    json.Field("half", 0.5);
    json.Field("nan", std::nan(""));
    json.Key("empty");
    json.BeginArray();
    json.EndArray();
    json.Key("list");
    json.BeginArray();
    json.Bool(true);
    json.Null();
    json.BeginObject();
    json.EndObject();
    json.EndArray();
    json.EndObject();

    VxTestJson value;
    std::string error;
    ASSERT_TRUE(VxTest_ParseJson(json.Text(), value, error)) << error << "\n" << json.Text();
    EXPECT_EQ(value["text"].text, "quote \" slash \\ line\n tab\t bell\a 東");
    EXPECT_EQ(value["negative"].number, -5);
    EXPECT_EQ(value["large"].number, double(0xFFFFFFFFFFull));
    EXPECT_EQ(value["half"].number, 0.5);
    EXPECT_EQ(value["nan"].type, VxTestJson::Type::Null);
    EXPECT_EQ(value["empty"].items.size(), 0u);
    ASSERT_EQ(value["list"].items.size(), 3u);
    EXPECT_TRUE(value["list"][0].boolean);
    EXPECT_EQ(value["list"][2].type, VxTestJson::Type::Object);
}

bool VxTest_Parse(std::vector<const char*> args, VxHostOptions& options, std::string& error)
{
    args.insert(args.begin(), "vxhost");
    options = {};
    error.clear();
    return VxHost_ParseOptions(int(args.size()), args.data(), options, error);
}

TEST(HostOptions, ReadsCommandFilesAndOptionsInAnyOrder)
{
    VxHostOptions options;
    std::string error;
    ASSERT_TRUE(VxTest_Parse({"--token=kind1", "decode", "in.png", "-o", "out.png", "--stream",
                              "2", "--language", "0x407", "--json"},
                             options, error))
        << error;
    EXPECT_EQ(options.command, "decode");
    EXPECT_EQ(options.files, std::vector<std::string>{"in.png"});
    EXPECT_EQ(options.output, "out.png");
    EXPECT_EQ(options.stream, 2u);
    EXPECT_EQ(options.language, 1031u);
    EXPECT_EQ(options.token, VxHostTokenPlace::ChildMapping);
    EXPECT_TRUE(options.json);

    ASSERT_TRUE(VxTest_Parse({"bench", "a.png", "b.png", "--repeat", "3", "--threads=4"}, options,
                             error));
    EXPECT_EQ(options.files.size(), 2u);
    EXPECT_EQ(options.repeat, 3u);
    EXPECT_EQ(options.threads, 4u);
    ASSERT_TRUE(VxTest_Parse({"probe", "--", "-dash.png"}, options, error));
    EXPECT_EQ(options.files, std::vector<std::string>{"-dash.png"});
}

TEST(HostOptions, RefusesWhatACommandDoesNotTake)
{
    VxHostOptions options;
    std::string error;
    const std::vector<std::vector<const char*>> bad = {
        {},                                         // no command
        {"transcode", "a", "b"},                    // not a command of this host
        {"plugins", "file.png"},                    // plugins takes no files
        {"plugins", "--repeat", "2"},               // a bench option
        {"bench", "a.png", "--json"},               // bench prints a table only
        {"decode", "a.png"},                        // nothing to write
        {"layers", "a.psd"},                        // no folder to write to
        {"decode", "a.png", "b.png", "-o", "x.png"},  // one file only
        {"probe"},                                  // no file
        {"bench", "a.png", "--repeat", "0"},        // at least one frame
        {"bench", "a.png", "--threads", "two"},     // not a number
        {"plugins", "--language"},                  // value missing
        {"plugins", "--token", "kind2"},            // no such token
        {"plugins", "--frobnicate"},                // unknown option
    };
    for (const auto& args : bad)
        EXPECT_FALSE(VxTest_Parse(args, options, error)) << (args.empty() ? "" : args[0]);
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(VxTest_Parse({"help"}, options, error));
    EXPECT_TRUE(options.help);
}

}  // namespace
