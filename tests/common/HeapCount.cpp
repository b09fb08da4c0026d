// VxTest_HeapBytesInUse, in a file of its own: only the programs that count heap bytes link it,
// so only they start themselves again without the C library's cache (below).
#include "VxTest.h"

#if defined(__SANITIZE_ADDRESS__)
#define VX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_TEST_ASAN 1
#endif
#endif

#ifdef VX_TEST_ASAN
extern "C" size_t __sanitizer_get_current_allocated_bytes();  // the sanitizer runtime's
size_t VxTest_HeapBytesInUse()
{
    return __sanitizer_get_current_allocated_bytes();
}
#else
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The C library counts blocks in its per-thread cache of freed blocks as in use, and the cache
// can be turned off only before the program starts: a test program started with it on starts
// itself again with it off, the same arguments and the rest of the environment.
const bool g_heapCountExact = [] {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables && std::strstr(tunables, "glibc.malloc.tcache_count=0"))
        return true;
    const std::string value = (tunables && *tunables ? std::string(tunables) + ":" : std::string()) +
                              "glibc.malloc.tcache_count=0";
    setenv("GLIBC_TUNABLES", value.c_str(), 1);
    const std::vector<uint8_t> line = VxTest_ReadBytes("/proc/self/cmdline");
    std::vector<std::string> args;
    for (size_t at = 0; at < line.size();) {
        const size_t end = std::find(line.begin() + ptrdiff_t(at), line.end(), 0) - line.begin();
        args.emplace_back(line.begin() + ptrdiff_t(at), line.begin() + ptrdiff_t(end));
        at = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    return false;  // not started again: counts may include cached blocks
}();

}  // namespace

size_t VxTest_HeapBytesInUse()
{
    static_cast<void>(g_heapCountExact);
    return mallinfo2().uordblks;
}
#endif
