// Command-line parsing.
#include "Options.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

// Which options each command takes, and how many files.
struct VxHostCommandRule {
    const char* name;
    bool json;
    bool decodeOptions;  // -o, --stream, --raw
    bool benchOptions;   // --repeat, --threads
    uint32_t minFiles;
    uint32_t maxFiles;
};

constexpr uint32_t kAnyCount = 0xFFFFFFFFu;
constexpr VxHostCommandRule kCommands[] = {
    {"plugins", true, false, false, 0, 0},
    {"probe", true, false, false, 1, kAnyCount},
    {"decode", true, true, false, 1, 1},
    {"layers", false, true, false, 1, 1},  // -o DIR only
    {"meta", true, false, false, 1, 1},
    {"tag", false, false, false, 2, kAnyCount},
    {"convert", false, false, false, 2, 2},
    {"bench", false, false, true, 1, kAnyCount},
};

// Decimal, or hexadecimal after 0x; the whole text must be the number.
bool VxHost_ParseNumber(std::string_view text, uint32_t& value)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

}  // namespace

const char* VxHost_Usage()
{
    return "usage: vxhost COMMAND [options] [FILE...]\n"
           "\n"
           "commands:\n"
           "  plugins [--json]                      the module's plug-ins and their class objects\n"
           "  probe FILE... [--json]                which plug-in reads each file, and what it reports\n"
           "  decode FILE -o OUT [--stream N] [--raw FILE.bin] [--json]\n"
           "                                        frame 0 of stream N into OUT (.png, or .exr or .pfm\n"
           "                                        for floating-point frames); --raw keeps the bytes as\n"
           "                                        delivered; --json prints the frame record\n"
           "  layers FILE -o DIR                    every layer (and the composite) as PNG files in DIR\n"
           "  meta FILE [--json]                    the file's metadata: summary fields, media manager\n"
           "  tag FILE CODE=TEXT...                 writes summary fields beside FILE through its\n"
           "                                        format's render file (CODE= removes a field)\n"
           "  convert IN OUT                        decodes IN, writes OUT (.png .bmp .tga .jpg)\n"
           "                                        and IN's metadata beside OUT\n"
           "  bench FILE... [--repeat N] [--threads T] [--stream N]\n"
           "                                        open and decode each file N times (default 5), T\n"
           "                                        at once (default 1); frame 0 of stream N (default 0)\n"
           "\n"
           "common options:\n"
           "  --module PATH        the module to load (default: vxstills.so beside vxhost)\n"
           "  --language LCID      the language the host reports to the module (default 1033)\n"
           "  --token local|kind0|kind1\n"
           "                       where frames are delivered: this process, or memory of a child\n"
           "                       process through a kind-0 or kind-1 memory token\n";
}

bool VxHost_ParseOptions(int argc, const char* const* argv, VxHostOptions& options,
                         std::string& error)
{
    bool sawOutput = false, sawStream = false, sawRaw = false, sawRepeat = false,
         sawThreads = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (options.command.empty())
                options.command = arg;
            else
                options.files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--json") {
            options.json = true;
            continue;
        }
        // Options with a value: "--name value" or "--name=value".
        std::string_view name = arg;
        std::string_view value;
        bool hasValue = false;
        if (const size_t equals = arg.find('='); equals != std::string_view::npos && arg[1] == '-') {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        static constexpr std::string_view kValued[] = {"--module", "--language", "--token", "-o",
                                                       "--output", "--stream",   "--raw",   "--repeat",
                                                       "--threads"};
        bool known = false;
        for (std::string_view candidate : kValued)
            known = known || name == candidate;
        if (!known) {
            error = "unknown option " + std::string(arg);
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = "option " + std::string(name) + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        const auto number = [&](uint32_t& target, uint32_t minimum) {
            if (!VxHost_ParseNumber(value, target) || target < minimum) {
                error = "option " + std::string(name) + ": '" + std::string(value) +
                        "' is not a number" + (minimum > 0 ? " of at least 1" : "");
                return false;
            }
            return true;
        };
        if (name == "--module") {
            options.modulePath = value;
        } else if (name == "--language") {
            if (!number(options.language, 0))
                return false;
        } else if (name == "--token") {
            if (!VxHost_ParseTokenPlace(value, options.token)) {
                error = "option --token: '" + std::string(value) + "' is not local, kind0 or kind1";
                return false;
            }
        } else if (name == "-o" || name == "--output") {
            options.output = value, sawOutput = true;
        } else if (name == "--raw") {
            options.raw = value, sawRaw = true;
        } else if (name == "--stream") {
            if (!number(options.stream, 0))
                return false;
            sawStream = true;
        } else if (name == "--repeat") {
            if (!number(options.repeat, 1))
                return false;
            sawRepeat = true;
        } else if (name == "--threads") {
            if (!number(options.threads, 1))
                return false;
            sawThreads = true;
        }
    }
    if (options.command == "help")
        options.help = true;
    if (options.help)
        return true;
    if (options.command.empty()) {
        error = "no command given";
        return false;
    }

    const VxHostCommandRule* rule = nullptr;
    for (const VxHostCommandRule& candidate : kCommands)
        if (options.command == candidate.name)
            rule = &candidate;
    if (!rule) {
        error = "unknown command '" + options.command + "'";
        return false;
    }
    const auto refuse = [&](bool present, const char* option) {
        if (present)
            error = "the " + options.command + " command takes no " + option + " option";
        return present;
    };
    if (refuse(options.json && !rule->json, "--json") ||
        refuse(sawOutput && !rule->decodeOptions, "-o") ||
        refuse(sawRaw && !rule->decodeOptions, "--raw") ||
        refuse(sawStream && !rule->decodeOptions && !rule->benchOptions, "--stream") ||
        refuse(sawRepeat && !rule->benchOptions, "--repeat") ||
        refuse(sawThreads && !rule->benchOptions, "--threads"))
        return false;

    const size_t files = options.files.size();
    if (files < rule->minFiles || files > rule->maxFiles) {
        if (rule->maxFiles == 0)
            error = "the " + options.command + " command takes no files";
        else if (rule->maxFiles == 1)
            error = "the " + options.command + " command takes one file";
        else if (rule->minFiles == 2 && rule->maxFiles == 2)
            error = "the " + options.command + " command takes two files: IN OUT";
        else if (rule->minFiles == 2)
            error = "the " + options.command + " command needs a file and at least one CODE=TEXT";
        else
            error = "the " + options.command + " command needs at least one file";
        return false;
    }
    if (options.command == "layers") {
        if (refuse(sawRaw, "--raw") || refuse(sawStream, "--stream"))
            return false;
        if (options.output.empty()) {
            error = "the layers command needs -o DIR";
            return false;
        }
        return true;
    }
    // A decode with nothing to write or print would decode for nobody.
    if (rule->decodeOptions && options.output.empty() && options.raw.empty() && !options.json) {
        error = "the decode command needs -o OUT (or --raw FILE.bin, or --json)";
        return false;
    }
    return true;
}
