// The decoders the benchmark times: the module (through vxhost bench), the peer libraries a
// user would pick instead, and the physical lower bound.
#pragma once

#include "ImageWriters.h"

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

// Milliseconds of each timed run, or a reason why the contender could not decode the file.
struct VxBenchTiming {
    std::vector<double> runs;
    std::string failure;
    double cores = 0;  // processor time over wall time of the runs, when measured in-process
};

struct VxBenchContender {
    const char* name;
    bool isPeer;                     // counts for "best peer"
    std::set<VxBenchFormat> formats;
    VxBenchTiming (*time)(const VxBenchFile& file, const VxBenchSettings& settings);
};

// Every contender compiled into this build, module and lower bound first.
const std::vector<VxBenchContender>& VxBench_Contenders();

// Library versions of the peers, one line.
std::string VxBench_PeerVersions();
