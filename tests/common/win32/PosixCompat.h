// The few POSIX file calls the tests use for their scratch files, on Windows (the Windows test
// programs include this first). Files open in binary mode, as POSIX files are.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <time.h>
#include <unistd.h>

inline const int kVxTestBinaryMode = (_fmode = _O_BINARY, 0);

inline int mkdir(const char* path, int /*mode*/)
{
    return _mkdir(path);
}

// pattern ends in XXXXXX, which is replaced in place.
inline char* mkdtemp(char* pattern)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        char candidate[4096];
        std::strncpy(candidate, pattern, sizeof candidate - 1);
        candidate[sizeof candidate - 1] = 0;
        if (_mktemp_s(candidate, std::strlen(candidate) + 1) != 0)
            return nullptr;
        if (_mkdir(candidate) == 0) {
            std::strcpy(pattern, candidate);
            return pattern;
        }
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
