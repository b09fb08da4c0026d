// vxbench: times the module against the peer decoders on large generated images.
//
//   vxbench [--width W] [--height H] [--seed S] [--repeat N] [--images DIR] [--vxhost PATH]
//           [--out FILE] [--only TEXT]
//       writes the benchmark files into DIR/<W>x<H>-seed<S>-v<generator>/ (once; later runs reuse them), times
//       every contender on each, prints one table per format and keeps it in FILE
//   vxbench images --images DIR [--width W] [--height H] [--seed S] [--only TEXT]
//       only writes the files (into DIR itself), e.g. small samples for memcheck
#include "Contenders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <unistd.h>

#if VXBENCH_HAVE_OPENEXR
#include <ImfThreading.h>
#endif
#if VXBENCH_HAVE_FREEIMAGE
#include <FreeImage.h>
#endif
#if VXBENCH_HAVE_OIIO
#include <OpenImageIO/imageio.h>
#endif

namespace {

struct Options {
    bool imagesOnly = false;
    uint32_t width = 6000;  // 24 megapixels, a current camera's size
    uint32_t height = 4000;
    uint64_t seed = 1;
    uint32_t repeat = 5;
    std::string images = "bench-images";
    std::string vxhost;
    std::string out;
    std::string only;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    int i = 1;
    if (i < argc && std::string(argv[i]) == "images") {
        options.imagesOnly = true;
        ++i;
    }
    for (; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vxbench: %s needs a value\n", name.c_str());
            return false;
        }
        const std::string value = argv[++i];
        const auto number = [&value]() { return std::strtoull(value.c_str(), nullptr, 10); };
        if (name == "--width")
            options.width = uint32_t(number());
        else if (name == "--height")
            options.height = uint32_t(number());
        else if (name == "--seed")
            options.seed = number();
        else if (name == "--repeat")
            options.repeat = uint32_t(std::max<unsigned long long>(1, number()));
        else if (name == "--images")
            options.images = value;
        else if (name == "--vxhost")
            options.vxhost = value;
        else if (name == "--out")
            options.out = value;
        else if (name == "--only")
            options.only = value;
        else {
            std::fprintf(stderr, "vxbench: unknown option %s\n", name.c_str());
            return false;
        }
    }
    if (options.width == 0 || options.height == 0 || options.width > 30000 || options.height > 30000) {
        std::fprintf(stderr, "vxbench: width and height must be 1 to 30000\n");
        return false;
    }
    return true;
}

// Progress on a terminal only, overwritten in place.
void Progress(const std::string& text)
{
    static const bool terminal = ::isatty(STDERR_FILENO);
    if (terminal)
        std::fprintf(stderr, "\r\033[K%s", text.c_str());
}

// Writes the files that are not there yet; the master image is generated only when needed.
bool WriteImages(const Options& options, const std::filesystem::path& folder, std::vector<VxBenchFile>& files)
{
    std::filesystem::create_directories(folder);
    VxBenchImage image;
    for (const VxBenchVariant& variant : VxBench_Variants()) {
        if (std::string(variant.name).find(options.only) == std::string::npos)
            continue;
        const std::filesystem::path path = folder / (std::string(variant.name) + variant.extension);
        if (!std::filesystem::exists(path)) {
            if (image.rgba.empty()) {
                Progress("generating the image");
                image = VxBench_GenerateImage(options.width, options.height, options.seed);
            }
            Progress("writing " + path.filename().string());
            const std::filesystem::path partial = path.string() + ".partial";
            std::string error;
            if (!variant.write(image, partial.string(), error)) {
                Progress("");
                std::fprintf(stderr, "vxbench: %s\n", error.c_str());
                return false;
            }
            std::filesystem::rename(partial, path);
        }
        files.push_back({&variant, path.string(), options.width, options.height});
    }
    Progress("");
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Pad(const std::string& text, size_t width, bool left = false)
{
    if (text.size() >= width)
        return text;
    return left ? text + std::string(width - text.size(), ' ') : std::string(width - text.size(), ' ') + text;
}

std::string MachineLine()
{
    std::string cpu = "unknown processor";
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);)
        if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos) {
            cpu = line.substr(line.find(':') + 2);
            break;
        }
    const std::time_t now = std::time(nullptr);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
    return std::string(date) + ", " + cpu + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores";
}

void InitPeers()
{
#if VXBENCH_HAVE_OPENEXR
    // One worker per core, as the module's EXR component sizes the library's pool.
    Imf::setGlobalThreadCount(int(std::max(1u, std::thread::hardware_concurrency())));
#endif
#if VXBENCH_HAVE_FREEIMAGE
    FreeImage_Initialise(FALSE);
#endif
#if VXBENCH_HAVE_OIIO
    OIIO::attribute("threads", 1);
    OIIO::attribute("exr_threads", 1);
#endif
}

// Times every contender of the file and returns its table row; failures are added to the
// notes below the table. After one untimed warm-up run each, the contenders take turns, one
// run each per round, so that a slower or faster spell of the machine falls on all of them.
std::string BenchFile(const VxBenchFile& file, const std::vector<const VxBenchContender*>& contenders,
                      const VxBenchSettings& settings, std::vector<std::string>& notes)
{
    struct Timing {
        VxBenchRunner run;
        std::vector<double> runs;
        double processorSeconds = 0;
        std::string failure;
    };
    std::vector<Timing> timings(contenders.size());
    // Peers that also end with the 32-bit frame the module delivers, for files it widens.
    std::vector<Timing> widened(contenders.size());
    const auto skipped = [&](size_t c) { return contenders[c]->layersOnly && file.variant->layerStream == 0; };
    for (size_t c = 0; c < contenders.size(); ++c) {
        if (skipped(c))
            continue;
        Progress(std::string(file.variant->name) + ": " + contenders[c]->name + " (warm-up)");
        timings[c].run = contenders[c]->prepare(file, settings);
        timings[c].failure = timings[c].run().failure;
        if (contenders[c]->prepareWidened && (widened[c].run = contenders[c]->prepareWidened(file, settings)))
            widened[c].failure = widened[c].run().failure;
    }
    const auto runOnce = [&](Timing& timing, const std::string& name, uint32_t round) {
        if (!timing.run || !timing.failure.empty())
            return;
        Progress(std::string(file.variant->name) + ": round " + std::to_string(round + 1) + ", " + name);
        const VxBenchSample sample = timing.run();
        timing.failure = sample.failure;
        timing.runs.push_back(sample.ms);
        timing.processorSeconds += sample.processorSeconds;
    };
    for (uint32_t round = 0; round < settings.repeat; ++round)
        for (size_t c = 0; c < contenders.size(); ++c) {
            if (skipped(c))
                continue;
            runOnce(timings[c], contenders[c]->name, round);
            runOnce(widened[c], std::string(contenders[c]->name) + " (32-bit)", round);
        }
    Progress("");

    std::map<std::string, double> medians;
    std::map<std::string, const std::vector<double>*> runs;
    std::string row = Pad(file.variant->name, 16, true) +
                      Pad(Fixed(double(std::filesystem::file_size(file.path)) / 1e6, 1), 9);
    for (size_t c = 0; c < contenders.size(); ++c) {
        const Timing& timing = timings[c];
        const char* name = contenders[c]->name;
        if (skipped(c)) {
            row += Pad("", 11);
            continue;
        }
        if (!timing.failure.empty() || timing.runs.empty()) {
            row += Pad("-", 11);
            notes.push_back(std::string(file.variant->name) + ", " + name + ": " + timing.failure);
            continue;
        }
        medians[name] = Median(timing.runs);
        runs[name] = &timing.runs;
        double wall = 0;
        for (double ms : timing.runs)
            wall += ms / 1000;
        const double cores = wall > 0 ? timing.processorSeconds / wall : 0;
        const bool threaded = cores > 1.2;
        row += Pad(Fixed(medians[name], 1) + (threaded ? "*" : ""), 11);
        if (threaded)
            notes.push_back(std::string(file.variant->name) + ", " + name + ": * kept " + Fixed(cores, 1) +
                            " cores busy");
    }

    // The target ratio is the median of the ratios of runs of the same round, and it holds only
    // when the reference made the same frame.
    std::string reference;
    for (const VxBenchContender* contender : contenders)
        if (contender->isReference && runs.count(contender->name)) {
            reference = contender->name;
            std::vector<uint8_t> theirs, ours;
            std::string failure = contender->deliveredFrame ? contender->deliveredFrame(file, theirs) : "";
            if (failure.empty() && contender->deliveredFrame)
                failure = VxBench_ModuleFrame(file, settings, ours);
            if (failure.empty() && theirs != ours)
                failure = "frame differs from vxstills' (" + std::to_string(theirs.size()) + " and " +
                          std::to_string(ours.size()) + " bytes)";
            if (!failure.empty()) {
                notes.push_back(std::string(file.variant->name) + ", " + reference + ": " + failure);
                reference.clear();
            }
        }
    const auto module = medians.find("vxstills");
    if (module != medians.end() && !reference.empty()) {
        const std::vector<double>& ours = *runs["vxstills"];
        const std::vector<double>& theirs = *runs[reference];
        std::vector<double> ratios;
        for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
            if (theirs[i] > 0)
                ratios.push_back(ours[i] / theirs[i]);
        row += ratios.empty() ? Pad("-", 9) : Pad(Fixed(Median(ratios), 2), 9);
    } else {
        row += Pad("-", 9);
    }

    std::string bestPeer;
    for (const VxBenchContender* contender : contenders)
        if (contender->isPeer && medians.count(contender->name) &&
            (bestPeer.empty() || medians[contender->name] < medians[bestPeer]))
            bestPeer = contender->name;
    if (module != medians.end() && !bestPeer.empty())
        row += Pad(Fixed(module->second / medians[bestPeer], 2), 9) + " " + Pad(bestPeer, 10, true);
    else
        row += Pad("-", 9) + " " + Pad(bestPeer.empty() ? "" : "(" + bestPeer + ")", 10, true);
    if (module != medians.end() && medians.count("bound") && medians["bound"] > 0)
        row += Pad(Fixed(module->second / medians["bound"], 1), 9);
    else
        row += Pad("-", 9);

    // The same work: the peers that can also produce the 32-bit frame, timed in the same rounds.
    std::string sameWork, fastest;
    double fastestMs = 0;
    for (size_t c = 0; c < contenders.size(); ++c) {
        const Timing& timing = widened[c];
        if (!timing.run)
            continue;
        const std::string name = contenders[c]->name;
        if (!timing.failure.empty() || timing.runs.empty()) {
            notes.push_back(std::string(file.variant->name) + ", " + name + " (32-bit): " + timing.failure);
            continue;
        }
        const double ms = Median(timing.runs);
        sameWork += (sameWork.empty() ? "" : ", ") + name + " " + Fixed(ms, 1) + " ms";
        if (fastest.empty() || ms < fastestMs) {
            fastest = name;
            fastestMs = ms;
        }
    }
    if (!sameWork.empty() && module != medians.end() && fastestMs > 0)
        notes.push_back(std::string(file.variant->name) + ": vs peer counts peers keeping 8 bits a pixel; ending with a "
                        "32-bit frame as vxstills does, " + sameWork + ": vxstills / " + fastest + " " +
                        Fixed(module->second / fastestMs, 2));
    return row;
}

// Decoding one layer reads that layer's planes only: the top layer of a document of 64 layers
// costs what the same-sized top layer of one of 2 does. The two are timed side by side, one run
// of each per round, and the median of the rounds' ratios is given.
std::string LayerRatio(const std::vector<VxBenchFile>& files, const VxBenchSettings& settings)
{
    const VxBenchFile* few = nullptr;
    const VxBenchFile* many = nullptr;
    for (const VxBenchFile& file : files) {
        const std::string name = file.variant->name;
        few = name == "psd-tiles2" ? &file : few;
        many = name == "psd-tiles64" ? &file : many;
    }
    const VxBenchContender* layer = nullptr;
    for (const VxBenchContender& contender : VxBench_Contenders())
        layer = contender.layersOnly ? &contender : layer;
    if (!few || !many || !layer)
        return "";
    const VxBenchRunner runFew = layer->prepare(*few, settings), runMany = layer->prepare(*many, settings);
    runFew();
    runMany();
    std::vector<double> ratios;
    for (uint32_t round = 0; round < settings.repeat; ++round) {
        Progress("layer ratio: round " + std::to_string(round + 1));
        const VxBenchSample a = runFew(), b = runMany();
        if (!a.failure.empty() || !b.failure.empty())
            return "layer ratio: " + a.failure + b.failure;
        if (a.ms > 0)
            ratios.push_back(b.ms / a.ms);
    }
    Progress("");
    return ratios.empty() ? "" : "layer: the top layer of psd-tiles64 / that of psd-tiles2, side by side: " +
                                     Fixed(Median(ratios), 2);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    std::vector<VxBenchFile> files;
    if (options.imagesOnly)
        return WriteImages(options, options.images, files) ? 0 : 1;

    const std::string size = std::to_string(options.width) + "x" + std::to_string(options.height);
    const std::filesystem::path folder =
        std::filesystem::path(options.images) /
        (size + "-seed" + std::to_string(options.seed) + "-v" + std::to_string(kVxBenchImageVersion));
    if (!WriteImages(options, folder, files))
        return 1;
    InitPeers();
    const VxBenchSettings settings{options.repeat, options.vxhost};

    std::ostringstream report;
    report << "vxbench: " << options.width << " x " << options.height << " ("
           << Fixed(double(options.width) * options.height / 1e6, 1) << " MP), seed " << options.seed
           << ", median of " << options.repeat << " rounds after one warm-up, milliseconds\n";
    report << MachineLine() << "\n" << VxBench_PeerVersions() << "\n";
    report << "bound: reading the file from the page cache and copying one delivered frame. vxstills: vxhost bench,\n"
              "open + the fastest of three GetFrames into host memory. Peers: whole decode from the path, single-threaded\n"
              "(OpenEXR, the reference for EXR: one worker per core, as the module's EXR component).\n"
              "libpng (the reference for PNG): the transformations that give the frame vxstills delivers, into\n"
              "a caller buffer made before the runs; its frame is checked to equal the one vxstills delivers.\n"
              "libjpeg (the reference for JPEG): the classic API decoding into bottom-up B, G, R rows (grey: the\n"
              "widened 32-bit frame) of a caller buffer, checked the same way.\n"
              "layer (PSD): vxhost bench --stream of the top layer, the fastest of three GetFrames of it (no open).\n"
              "vs ref: median over the rounds of vxstills / reference; vs peer: vxstills / fastest peer; vs bound: vxstills / bound.\n"
              "Palette bitmaps, which vxstills widens to 32 bits a pixel, also get a note with the peers that end with\n"
              "a 32-bit frame too (FreeImage_ConvertTo32Bits after the load, stb_image asked for four channels).\n";
    std::fputs(report.str().c_str(), stdout);

    for (VxBenchFormat format : {VxBenchFormat::Png, VxBenchFormat::Jpeg, VxBenchFormat::Tga, VxBenchFormat::Bmp,
                                 VxBenchFormat::Psd, VxBenchFormat::Exr}) {
        std::vector<const VxBenchFile*> group;
        for (const VxBenchFile& file : files)
            if (file.variant->format == format)
                group.push_back(&file);
        if (group.empty())
            continue;
        std::vector<const VxBenchContender*> contenders;
        for (const VxBenchContender& contender : VxBench_Contenders())
            if (contender.formats.count(format))
                contenders.push_back(&contender);

        std::string header = "\n" + Pad(VxBench_FormatName(format), 16, true) + Pad("MB", 9);
        for (const VxBenchContender* contender : contenders)
            header += Pad(contender->name, 11);
        header += Pad("vs ref", 9) + Pad("vs peer", 9) + " " + Pad("", 10) + Pad("vs bound", 9) + "\n";
        std::fputs(header.c_str(), stdout);
        report << header;
        std::vector<std::string> notes;
        for (const VxBenchFile* file : group) {
            const std::string row = BenchFile(*file, contenders, settings, notes) + "\n";
            std::fputs(row.c_str(), stdout);
            std::fflush(stdout);
            report << row;
        }
        if (format == VxBenchFormat::Psd)
            if (const std::string ratio = LayerRatio(files, settings); !ratio.empty())
                notes.push_back(ratio);
        for (const std::string& note : notes) {
            const std::string line = "  - " + note + "\n";
            std::fputs(line.c_str(), stdout);
            report << line;
        }
    }

    if (!options.out.empty()) {
        std::filesystem::create_directories(std::filesystem::path(options.out).parent_path());
        std::ofstream out(options.out, std::ios::trunc);
        out << report.str();
        if (!out) {
            std::fprintf(stderr, "vxbench: cannot write %s\n", options.out.c_str());
            return 1;
        }
        std::printf("\nresults: %s\n", options.out.c_str());
    }
    return 0;
}
