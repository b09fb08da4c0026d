// The few POSIX file calls the tests use for their scratch files, on Windows (the Windows test
// programs include this first). Files open in binary mode, as POSIX files are.
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <time.h>
#include <unistd.h>

inline const int kVxTestBinaryMode = (_fmode = _O_BINARY, 0);

inline int mkdir(const char* path, int /*mode*/)
{
    return _mkdir(path);
}

// pattern ends in XXXXXX, which is replaced in place. The names mix the process id, a counter
// and the clock: _mktemp_s offers only 26 names per process id, and Wine hands the same ids to
// the programs of one run, so those names ran out and the tests' folders fell back to "/".
inline char* mkdtemp(char* pattern)
{
    static std::atomic<uint64_t> counter = 0;
    const size_t length = std::strlen(pattern);
    if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    for (int attempt = 0; attempt < 1000; ++attempt) {
        uint64_t name = (uint64_t(_getpid()) << 32 | counter++) * 0x9E3779B97F4A7C15ull +
                        uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        name ^= name >> 31;  // the multiplied high bits into the six digits
        for (size_t i = length - 6; i < length; ++i, name /= 36)
            pattern[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[name % 36];
        if (_mkdir(pattern) == 0)
            return pattern;
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

// Only what the tests use: both times in whole seconds, for a path.
#define AT_FDCWD (-100)
inline int utimensat(int /*directory*/, const char* path, const struct timespec times[2], int /*flags*/)
{
    _utimbuf stamp = {times[0].tv_sec, times[1].tv_sec};
    return _utime(path, &stamp);
}

// Windows has no full device to link to (and links need privileges): always refused.
inline int symlink(const char* /*target*/, const char* /*path*/)
{
    errno = ENOSYS;
    return -1;
}

inline int setenv(const char* name, const char* value, int overwrite)
{
    if (!overwrite && std::getenv(name))
        return 0;
    return _putenv_s(name, value);
}

inline int unsetenv(const char* name)
{
    return _putenv_s(name, "");
}
