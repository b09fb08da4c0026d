// Positional reads on Linux: a descriptor and pread.
#include "../VxFileRead.h"

#include "../Unicode.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

struct VxReadOnlyFile {
    int fd;
};

VxReadOnlyFile* VxFileRead_Open(const char16_t* path, uint64_t* size)
{
    if (!path || !*path || !size)
        return nullptr;
    std::string utf8;
    size_t length = 0;
    while (path[length] != 0)
        ++length;
    uint8_t bytes[4];
    for (size_t pos = 0; pos < length;) {
        bool valid = true;
        const char32_t c = VxUtf16_Decode(path, length, &pos, &valid);
        if (!valid)
            return nullptr;  // no file name spells an unpaired surrogate
        utf8.append(reinterpret_cast<const char*>(bytes), VxUtf8_Encode(c, bytes));
    }
    const int fd = open(utf8.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0)
            close(fd);
        return nullptr;
    }
    *size = uint64_t(status.st_size);
    return new VxReadOnlyFile{fd};
}

bool VxFileRead_At(VxReadOnlyFile* file, uint64_t position, void* buffer, size_t count)
{
    auto* at = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(file->fd, at + done, count - done, off_t(position + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return true;
}

void VxFileRead_Close(VxReadOnlyFile* file)
{
    if (file) {
        close(file->fd);
        delete file;
    }
}
