// The decoders the benchmark times: the module (through vxhost bench), the peer libraries a
// user would pick instead, and the physical lower bound.
#pragma once

#include "ImageWriters.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct VxBenchFile {
    const VxBenchVariant* variant;
    std::string path;
    uint32_t width;
    uint32_t height;
};

struct VxBenchSettings {
    uint32_t repeat = 5;
    std::string vxhost;  // path of vxhost; empty: the module is not timed
};

// One timed run of a contender: milliseconds, or why it could not decode the file, and the
// processor time it used (in-process contenders only; 0 otherwise).
struct VxBenchSample {
    double ms = 0;
    double processorSeconds = 0;
    std::string failure;
};

// A contender made ready for one file (buffers sized, peers loaded); each call is one run.
using VxBenchRunner = std::function<VxBenchSample()>;

struct VxBenchContender {
    const char* name;
    bool isPeer;                     // counts for "best peer"
    std::set<VxBenchFormat> formats;
    VxBenchRunner (*prepare)(const VxBenchFile& file, const VxBenchSettings& settings);
    bool isReference = false;  // the module's performance target is a ratio to this one
    // A reference decodes the very frame the module delivers: this gives it (empty text) or
    // why it could not; vxbench compares it with the module's bytes.
    std::string (*deliveredFrame)(const VxBenchFile& file, std::vector<uint8_t>& frame) = nullptr;
    // For files the module widens to 32 bits per pixel on delivery (palette bitmaps), a run
    // of the peer that also ends with a 32-bit frame in memory, through the library's own
    // conversion; null runner when the file is not widened or the peer has no such path.
    VxBenchRunner (*prepareWidened)(const VxBenchFile& file, const VxBenchSettings& settings) = nullptr;
    bool layersOnly = false;  // times files with layers only (VxBenchVariant::layerStream)
};

// Frame 0 of the file as the module delivers it, through vxhost decode --raw: empty text, or why
// not.
std::string VxBench_ModuleFrame(const VxBenchFile& file, const VxBenchSettings& settings,
                                std::vector<uint8_t>& frame);

// Every contender compiled into this build, module and lower bound first.
const std::vector<VxBenchContender>& VxBench_Contenders();

// Library versions of the peers, one line.
std::string VxBench_PeerVersions();
