// File calls over POSIX descriptors. A file HANDLE is its descriptor cast to a pointer, so a
// descriptor that a host opened works with every call here. Null never names a descriptor
// (it means "no handle" throughout the module), nor do negative values.
//
// Sharing modes have no POSIX counterpart and are not enforced.
#include "../Internal.h"
#include "../VxStr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

namespace {

// One read or write asks for at most this much; the kernel moves at most ~2 GiB per call.
constexpr size_t kMaxTransfer = size_t(1) << 30;

// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;

bool FailBool(DWORD error)
{
    SetLastError(error);
    return false;
}

BOOL FailErrno()
{
    VxPlatform_SetLastErrorFromErrno(errno);
    return FALSE;
}

// The descriptor of a file handle, or -1 (with ERROR_INVALID_HANDLE set) for null and values
// that cannot be one.
int DescriptorOf(HANDLE handle)
{
    const intptr_t value = reinterpret_cast<intptr_t>(handle);
    if (value <= 0 || value > INT_MAX) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return int(value);
}

// Times before 1601 become the earliest FILETIME, times past its range the latest.
FILETIME ToFileTime(const struct statx_timestamp& t)
{
    int64_t value = 0;
    if (__builtin_mul_overflow(int64_t(t.tv_sec), int64_t(10000000), &value) ||
        __builtin_add_overflow(value, int64_t(t.tv_nsec / 100) + kUnixEpochAsFileTime, &value))
        value = t.tv_sec < 0 ? 0 : INT64_MAX;
    value = std::max<int64_t>(value, 0);
    return {DWORD(uint64_t(value)), DWORD(uint64_t(value) >> 32)};
}

struct statx_timestamp FromTimespec(const struct timespec& t)
{
    struct statx_timestamp s = {};
    s.tv_sec = t.tv_sec;
    s.tv_nsec = uint32_t(t.tv_nsec);
    return s;
}

int OpenRetrying(const std::string& name, int flags)
{
    int fd;
    do
        fd = open(name.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

bool VxPath_ToUtf8(const char16_t* path, std::string* out)
{
    if (!path)
        return FailBool(ERROR_INVALID_PARAMETER);
    if (path[0] == 0)
        return FailBool(ERROR_PATH_NOT_FOUND);
    const size_t length = VxStr_Length(path);
    for (size_t i = 0; i < length; ++i) {
        const bool lead = path[i] >= 0xD800 && path[i] <= 0xDBFF;
        const bool trail = path[i] >= 0xDC00 && path[i] <= 0xDFFF;
        if (trail || (lead && !(i + 1 < length && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF)))
            return FailBool(ERROR_INVALID_NAME);
        i += lead ? 1 : 0;
    }
    try {
        *out = VxStr_ToUtf8(std::u16string_view(path, length));
    } catch (...) {
        return FailBool(ERROR_NOT_ENOUGH_MEMORY);
    }
    return true;
}

// Opens regular files (and character devices such as /dev/null). A directory is refused with
// ERROR_ACCESS_DENIED, as Win32 refuses it without backup semantics, and so is a FIFO or
// socket, whose reads could block forever. The open itself is non-blocking for that reason;
// the flag is cleared once the descriptor is known to be a file.
extern "C" HANDLE CreateFileW(const char16_t* path, DWORD access, DWORD /*share*/, void* /*security*/,
                              DWORD disposition, DWORD flagsAndAttributes, HANDLE /*templateFile*/)
{
    std::string name;
    if (!VxPath_ToUtf8(path, &name))
        return INVALID_HANDLE_VALUE;

    const bool reading = (access & GENERIC_READ) != 0;
    const bool writing = (access & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    flags |= reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
    bool openOrCreate = false;  // CREATE_ALWAYS, OPEN_ALWAYS: tell whether the file existed
    switch (disposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_TRUNC;
        openOrCreate = true;
        break;
    case OPEN_EXISTING:
        // No access asked for: attributes and times only, without needing read permission.
        if (!reading && !writing)
            flags = O_PATH | O_CLOEXEC;
        break;
    case OPEN_ALWAYS:
        openOrCreate = true;
        break;
    case TRUNCATE_EXISTING:
        if (!writing) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        flags |= O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    // An exclusive create first, then an open of the existing file: which one succeeded says
    // whether it existed, without a race (a file removed in between is simply created).
    bool existed = false;
    int fd = -1;
    if (!openOrCreate) {
        fd = OpenRetrying(name, flags);
    } else {
        for (int attempt = 0; attempt < 8; ++attempt) {
            fd = OpenRetrying(name, flags | O_CREAT | O_EXCL);
            if (fd >= 0 || errno != EEXIST)
                break;
            fd = OpenRetrying(name, flags);
            existed = true;
            if (fd >= 0 || errno != ENOENT)
                break;
            existed = false;
        }
    }
    if (fd < 0) {
        VxPlatform_SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }

    struct stat info;
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        VxPlatform_SetLastErrorFromErrno(error);
        return INVALID_HANDLE_VALUE;
    }
    if (!S_ISREG(info.st_mode) && !S_ISCHR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!(flags & O_PATH)) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (flagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN)
            posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(intptr_t(fd));
}

// Reads until bytes are in or the file ends: a short count at the end of a file is success,
// 0 bytes read at its end too (Win32 semantics). A pipe or device gives what one read gives.
extern "C" BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read, void* overlapped)
{
    if (read)
        *read = 0;
    const int fd = DescriptorOf(file);
    if (fd < 0)
        return FALSE;
    if (overlapped || (!buffer && bytes > 0))
        return FailBool(ERROR_INVALID_PARAMETER);
    size_t done = 0;
    while (done < bytes) {
        const size_t chunk = std::min<size_t>(bytes - done, kMaxTransfer);
        const ssize_t got = ::read(fd, static_cast<uint8_t*>(buffer) + done, chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            if (read)
                *read = DWORD(done);
            return FailErrno();
        }
        done += size_t(got);
        if (size_t(got) < chunk)
            break;
    }
    if (read)
        *read = DWORD(done);
    return TRUE;
}

// Writes everything or fails; *written tells how much went out before the failure.
extern "C" BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void* overlapped)
{
    if (written)
        *written = 0;
    const int fd = DescriptorOf(file);
    if (fd < 0)
        return FALSE;
    if (overlapped || (!buffer && bytes > 0))
        return FailBool(ERROR_INVALID_PARAMETER);
    size_t done = 0;
    while (done < bytes) {
        const size_t chunk = std::min<size_t>(bytes - done, kMaxTransfer);
        const ssize_t put = ::write(fd, static_cast<const uint8_t*>(buffer) + done, chunk);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (written)
                *written = DWORD(done);
            if (put == 0)
                return FailBool(ERROR_DISK_FULL);
            return FailErrno();
        }
        done += size_t(put);
    }
    if (written)
        *written = DWORD(done);
    return TRUE;
}

// The distance is 64-bit when distanceHigh is given, otherwise the sign-extended low part,
// and then the new position must fit in 32 bits. Positions before the start fail with
// ERROR_NEGATIVE_SEEK and leave the position unchanged. Success clears the last error, since
// a position whose low part is 0xFFFFFFFF looks like INVALID_SET_FILE_POINTER.
extern "C" DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method)
{
    const int fd = DescriptorOf(file);
    if (fd < 0)
        return INVALID_SET_FILE_POINTER;
    const int64_t offset = distanceHigh ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance))
                                        : int64_t(distance);
    int64_t base = 0;
    if (method == FILE_CURRENT) {
        base = lseek(fd, 0, SEEK_CUR);
    } else if (method == FILE_END) {
        struct stat info;
        base = fstat(fd, &info) == 0 ? int64_t(info.st_size) : -1;
    } else if (method != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (base < 0) {
        FailErrno();
        return INVALID_SET_FILE_POINTER;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || (!distanceHigh && target > int64_t(UINT32_MAX))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(fd, target, SEEK_SET) < 0) {
        FailErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = LONG(uint64_t(target) >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(uint64_t(target));
}

// Without sizeHigh a file of 4 GiB or more fails with ERROR_FILE_TOO_LARGE rather than
// answering a silently truncated size. Success clears the last error (0xFFFFFFFF is a size).
extern "C" DWORD GetFileSize(HANDLE file, DWORD* sizeHigh)
{
    const int fd = DescriptorOf(file);
    if (fd < 0)
        return INVALID_FILE_SIZE;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        FailErrno();
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = uint64_t(info.st_size);
    if (sizeHigh) {
        *sizeHigh = DWORD(size >> 32);
    } else if (size > UINT32_MAX) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return INVALID_FILE_SIZE;
    }
    SetLastError(ERROR_SUCCESS);
    return DWORD(size);
}

// The creation time is the birth time where the file system records one, otherwise the time
// of the last status change (the closest POSIX has).
extern "C" BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite)
{
    const int fd = DescriptorOf(file);
    if (fd < 0)
        return FALSE;
    struct statx info = {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        if (errno != ENOSYS && errno != EPERM)
            return FailErrno();
        // statx refused (an old kernel or a sandbox): the same times from fstat.
        struct stat basic;
        if (fstat(fd, &basic) != 0)
            return FailErrno();
        info.stx_mask = STATX_BASIC_STATS;
        info.stx_atime = FromTimespec(basic.st_atim);
        info.stx_mtime = FromTimespec(basic.st_mtim);
        info.stx_ctime = FromTimespec(basic.st_ctim);
    }
    if (creation)
        *creation = ToFileTime((info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime);
    if (lastAccess)
        *lastAccess = ToFileTime(info.stx_atime);
    if (lastWrite)
        *lastWrite = ToFileTime(info.stx_mtime);
    return TRUE;
}

extern "C" BOOL SetEndOfFile(HANDLE file)
{
    const int fd = DescriptorOf(file);
    if (fd < 0)
        return FALSE;
    const off_t position = lseek(fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(fd, position) != 0)
        return FailErrno();
    return TRUE;
}

extern "C" BOOL FlushFileBuffers(HANDLE file)
{
    const int fd = DescriptorOf(file);
    if (fd < 0)
        return FALSE;
    if (fsync(fd) != 0)
        return FailErrno();
    return TRUE;
}

extern "C" BOOL DeleteFileW(const char16_t* path)
{
    std::string name;
    if (!VxPath_ToUtf8(path, &name))
        return FALSE;
    if (unlink(name.c_str()) != 0)
        return FailErrno();
    return TRUE;
}

namespace {

bool Rename(const std::string& source, const std::string& target, bool replace)
{
    if (replace)
        return rename(source.c_str(), target.c_str()) == 0;
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    // A file system without RENAME_NOREPLACE: check, then rename.
    struct stat info;
    if (lstat(target.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(source.c_str(), target.c_str()) == 0;
}

// Makes a rename in the directory of path durable.
void SyncDirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

// With MOVEFILE_REPLACE_EXISTING a plain rename(2): atomic, so readers see the old file or the
// new one, never a part. Without it an existing target fails with ERROR_ALREADY_EXISTS.
// MOVEFILE_WRITE_THROUGH also makes the new name durable before returning.
extern "C" BOOL MoveFileExW(const char16_t* from, const char16_t* to, DWORD flags)
{
    if (!to || (flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0)
        return FailBool(ERROR_INVALID_PARAMETER);
    std::string source, target;
    if (!VxPath_ToUtf8(from, &source) || !VxPath_ToUtf8(to, &target))
        return FALSE;
    if (!Rename(source, target, (flags & MOVEFILE_REPLACE_EXISTING) != 0)) {
        if (errno == EEXIST)
            return FailBool(ERROR_ALREADY_EXISTS);
        return FailErrno();
    }
    if (flags & MOVEFILE_WRITE_THROUGH)
        SyncDirectoryOf(target);
    return TRUE;
}

extern "C" DWORD GetFileAttributesW(const char16_t* path)
{
    std::string name;
    if (!VxPath_ToUtf8(path, &name))
        return INVALID_FILE_ATTRIBUTES;
    struct stat info;
    if (stat(name.c_str(), &info) != 0) {
        FailErrno();
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

// Mutex handles are told apart first (they lie outside the descriptor range); anything else
// is a descriptor. An unknown handle fails with ERROR_INVALID_HANDLE. INVALID_HANDLE_VALUE is
// also GetCurrentProcess()'s pseudo handle, whose closing succeeds and does nothing (Win32).
extern "C" BOOL CloseHandle(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return TRUE;
    if (VxSync_CloseMutex(handle))
        return TRUE;
    const int fd = DescriptorOf(handle);
    if (fd < 0)
        return FALSE;
    // Linux releases the descriptor even when close reports EINTR: never retry it.
    if (close(fd) != 0 && errno != EINTR)
        return FailErrno();
    return TRUE;
}
