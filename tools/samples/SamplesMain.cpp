// vxsamples DIR: writes every registered sample image into DIR and lists the files written.
#include "Samples.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

std::vector<std::pair<const char*, VxSamples (*)()>>& Writers()
{
    static std::vector<std::pair<const char*, VxSamples (*)()>> writers;
    return writers;
}

}  // namespace

CVxSampleWriter::CVxSampleWriter(const char* format, VxSamples (*write)())
{
    Writers().emplace_back(format, write);
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: vxsamples DIR\n", stderr);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    for (const auto& [format, write] : Writers()) {
        for (const VxSample& sample : write()) {
            const std::filesystem::path path = dir / sample.name;
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(sample.bytes.data()), std::streamsize(sample.bytes.size()));
            if (!out) {
                std::fprintf(stderr, "vxsamples: cannot write %s\n", path.string().c_str());
                return 1;
            }
            std::printf("%s\n", path.string().c_str());
        }
    }
    return 0;
}
