// The command line of vxhost: a command, its files and options, and the common options.
#pragma once

#include "TokenOwner.h"

#include <string>
#include <vector>

struct VxHostOptions {
    std::string command;
    std::vector<std::string> files;

    std::string modulePath;  // --module; empty: vxstills.so beside vxhost
    uint32_t language = 1033;  // --language
    VxHostTokenPlace token = VxHostTokenPlace::Local;  // --token

    bool json = false;       // --json
    std::string output;      // decode -o
    std::string raw;         // decode --raw
    uint32_t stream = 0;     // decode and bench --stream
    uint32_t repeat = 5;     // bench --repeat
    uint32_t threads = 1;    // bench --threads
    bool help = false;       // --help, -h or the command "help"
};

// Parses argv; false with a message for an unknown command or option, a missing or malformed
// value, an option the command does not take, or a wrong number of files.
bool VxHost_ParseOptions(int argc, const char* const* argv, VxHostOptions& options,
                         std::string& error);

// The usage text.
const char* VxHost_Usage();
