// vxfuzzseeds DIR: writes every registered seed corpus, DIR/<target>/seed-<n>.
#include "FuzzSeeds.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct SeedWriter {
    const char* target;
    VxFuzzSeeds (*write)();
};

// Filled by static initialisers of the seed files: a function-local table has no order problem.
std::vector<SeedWriter>& Writers()
{
    static std::vector<SeedWriter> writers;
    return writers;
}

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

}  // namespace

CVxFuzzSeedWriter::CVxFuzzSeedWriter(const char* target, VxFuzzSeeds (*write)())
{
    Writers().push_back({target, write});
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vxfuzzseeds DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const SeedWriter& writer : Writers()) {
        const std::filesystem::path folder = root / writer.target;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            std::fprintf(stderr, "vxfuzzseeds: cannot create %s\n", folder.c_str());
            return 1;
        }
        const VxFuzzSeeds seeds = writer.write();
        for (size_t i = 0; i < seeds.size(); ++i) {
            const std::filesystem::path path = folder / ("seed-" + std::to_string(i));
            if (!WriteFile(path, seeds[i])) {
                std::fprintf(stderr, "vxfuzzseeds: cannot write %s\n", path.c_str());
                return 1;
            }
        }
        std::printf("%s: %zu seeds\n", writer.target, seeds.size());
    }
    return 0;
}
