// File mappings, other processes and their memory on Linux.
// - A mapping HANDLE is a descriptor: a memfd for page-file-backed mappings. Its size is fixed
//   with seals, as a section's is, so a view this layer checked can never lose its pages.
// - A process HANDLE is a pidfd. Its process id is read from /proc/self/fdinfo each time it is
//   needed, so nothing is cached that could go stale when CloseHandle frees the descriptor and
//   the number is reused. GetCurrentProcess() is the Win32 pseudo handle, (HANDLE)-1.
// - Process memory moves with process_vm_readv/writev, which never fault in the caller: a bad
//   address in any process, this one included, is a failed or partial copy.
#include "../VxWin32.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

namespace {

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(intptr_t(-1));

template <class Result>
Result VxProcess_Fail(DWORD error, Result result)
{
    SetLastError(error);
    return result;
}

HANDLE VxProcess_Handle(int fd)
{
    return reinterpret_cast<HANDLE>(intptr_t(fd));
}

// The descriptor behind a handle, or -1 when the value cannot be one.
int VxProcess_Descriptor(HANDLE handle)
{
    const intptr_t value = reinterpret_cast<intptr_t>(handle);
    return value >= 0 && value <= INT_MAX ? int(value) : -1;
}

// Descriptors 0 to 2 would read as a null handle or be taken for standard streams: new
// descriptors are moved above them.
int VxProcess_KeepAboveStandard(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int error = errno;
    close(fd);
    errno = error;
    return moved;
}

// The id of the process a pidfd refers to: > 0, 0 when the process has exited and been
// reaped, -1 when the descriptor is not a pidfd.
pid_t VxProcess_PidOfDescriptor(int fd)
{
    char path[48];
    std::snprintf(path, sizeof path, "/proc/self/fdinfo/%d", fd);
    const int info = open(path, O_RDONLY | O_CLOEXEC);
    if (info < 0)
        return -1;
    char text[1024];
    size_t length = 0;
    for (;;) {
        const ssize_t got = read(info, text + length, sizeof text - 1 - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        length += size_t(got);
        if (length == sizeof text - 1)
            break;
    }
    close(info);
    text[length] = '\0';
    const char* field = std::strstr(text, "\nPid:");  // never the first line, which is "pos:"
    if (!field)
        return -1;
    const long pid = std::strtol(field + 5, nullptr, 10);
    return pid > 0 && pid <= INT_MAX ? pid_t(pid) : 0;
}

// The process id of a process handle, 0 after setting the last error when there is none.
pid_t VxProcess_Pid(HANDLE process, DWORD goneError)
{
    if (process == kCurrentProcess)
        return getpid();
    const int fd = VxProcess_Descriptor(process);
    const pid_t pid = fd >= 0 ? VxProcess_PidOfDescriptor(fd) : -1;
    if (pid < 0)
        return VxProcess_Fail(ERROR_INVALID_HANDLE, pid_t(0));
    if (pid == 0)
        return VxProcess_Fail(goneError, pid_t(0));
    return pid;
}

// Mapped views and their lengths, so that UnmapViewOfFile can be given the base alone. The
// registry is never destroyed: views may still be unmapped while statics are torn down.
struct VxViewRegistry {
    std::mutex lock;
    std::map<uintptr_t, size_t> views;
};

VxViewRegistry& VxProcess_Views()
{
    alignas(VxViewRegistry) static unsigned char storage[sizeof(VxViewRegistry)];
    static VxViewRegistry* registry = new (storage) VxViewRegistry;
    return *registry;
}

// Moves process memory in chunks the system calls accept; a fault or a vanished process ends
// the transfer early, which is reported as ERROR_PARTIAL_COPY with the count moved so far.
template <class Transfer>
BOOL VxProcess_MoveMemory(HANDLE process, uintptr_t remote, uint8_t* local, size_t bytes,
                          size_t* moved, Transfer transfer)
{
    if (moved)
        *moved = 0;
    const pid_t pid = VxProcess_Pid(process, ERROR_PARTIAL_COPY);
    if (pid == 0)
        return FALSE;
    constexpr size_t kChunk = size_t(1) << 30;
    size_t done = 0;
    while (done < bytes) {
        const size_t count = bytes - done < kChunk ? bytes - done : kChunk;
        iovec localIo{local + done, count};
        iovec remoteIo{reinterpret_cast<void*>(remote + done), count};
        const ssize_t got = transfer(pid, &localIo, &remoteIo);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EFAULT;
            break;
        }
        done += size_t(got);
    }
    if (moved)
        *moved = done;
    if (done == bytes)
        return TRUE;
    const int error = errno;
    return VxProcess_Fail(error == EPERM || error == EACCES ? ERROR_ACCESS_DENIED : ERROR_PARTIAL_COPY,
                          FALSE);
}

}  // namespace

extern "C" {

HANDLE GetCurrentProcess()
{
    return kCurrentProcess;
}

// Page-file-backed mappings (file = INVALID_HANDLE_VALUE) are a memfd of the given size, sealed
// against shrinking and growing, and against writing for PAGE_READONLY. A mapping of an open
// file is a duplicate of its descriptor, read-only and of the whole file (sizes 0, 0): views of
// it see the file as it is. Named mappings are not supported: Linux has no namespace that
// other processes would find them in.
HANDLE CreateFileMappingW(HANDLE file, void* /*security*/, DWORD protect, DWORD sizeHigh,
                          DWORD sizeLow, const char16_t* name)
{
    const DWORD pageProtection = protect & 0xFF;
    if (name != nullptr)
        return VxProcess_Fail(ERROR_NOT_SUPPORTED, HANDLE(nullptr));
    if (file != INVALID_HANDLE_VALUE) {
        const int source = VxProcess_Descriptor(file);
        struct stat info;
        if (source < 0 || pageProtection != PAGE_READONLY || sizeHigh != 0 || sizeLow != 0)
            return VxProcess_Fail(source < 0 ? ERROR_INVALID_HANDLE : ERROR_NOT_SUPPORTED, HANDLE(nullptr));
        if (fstat(source, &info) != 0 || info.st_size == 0)  // Win32 refuses empty files too
            return VxProcess_Fail(ERROR_INVALID_PARAMETER, HANDLE(nullptr));
        const int fd = VxProcess_KeepAboveStandard(fcntl(source, F_DUPFD_CLOEXEC, 0));
        if (fd < 0)
            return VxProcess_Fail(VxPlatform_Win32ErrorFromErrno(errno), HANDLE(nullptr));
        return VxProcess_Handle(fd);
    }
    const uint64_t size = uint64_t(sizeHigh) << 32 | sizeLow;
    if ((pageProtection != PAGE_READONLY && pageProtection != PAGE_READWRITE) || size == 0 ||
        size > uint64_t(INT64_MAX))
        return VxProcess_Fail(ERROR_INVALID_PARAMETER, HANDLE(nullptr));

    const int fd = VxProcess_KeepAboveStandard(memfd_create("vxmapping", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (fd < 0)
        return VxProcess_Fail(VxPlatform_Win32ErrorFromErrno(errno), HANDLE(nullptr));
    int seals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;
    if (pageProtection == PAGE_READONLY)
        seals |= F_SEAL_WRITE;
    if (ftruncate(fd, off_t(size)) != 0 || fcntl(fd, F_ADD_SEALS, seals) != 0) {
        const int error = errno;
        close(fd);
        return VxProcess_Fail(error == EFBIG || error == ENOSPC ? ERROR_NOT_ENOUGH_MEMORY
                                                                : VxPlatform_Win32ErrorFromErrno(error),
                              HANDLE(nullptr));
    }
    return VxProcess_Handle(fd);
}

// FILE_MAP_WRITE (alone or with read) maps shared read-write, FILE_MAP_READ read-only. Length 0
// maps from the offset to the end. A view that would reach beyond the end of the mapping is
// refused, as Win32 does: its pages would fault on first touch.
void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, size_t bytes)
{
    const int fd = VxProcess_Descriptor(mapping);
    if (fd < 0)
        return VxProcess_Fail(ERROR_INVALID_HANDLE, nullptr);
    int protection;
    if (access & FILE_MAP_WRITE)
        protection = PROT_READ | PROT_WRITE;
    else if (access & FILE_MAP_READ)
        protection = PROT_READ;
    else
        return VxProcess_Fail(ERROR_INVALID_PARAMETER, nullptr);

    const uint64_t offset = uint64_t(offsetHigh) << 32 | offsetLow;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (offset % uint64_t(pageSize) != 0 || offset > uint64_t(INT64_MAX))
        return VxProcess_Fail(ERROR_INVALID_PARAMETER, nullptr);
    struct stat info;
    if (fstat(fd, &info) != 0)
        return VxProcess_Fail(VxPlatform_Win32ErrorFromErrno(errno), nullptr);
    const uint64_t end = uint64_t(info.st_size);
    if (bytes == 0) {
        if (offset >= end)
            return VxProcess_Fail(ERROR_ACCESS_DENIED, nullptr);
        bytes = size_t(end - offset);
    }
    if (offset > end || bytes > end - offset)
        return VxProcess_Fail(ERROR_ACCESS_DENIED, nullptr);

    void* view = mmap(nullptr, bytes, protection, MAP_SHARED, fd, off_t(offset));
    if (view == MAP_FAILED)
        return VxProcess_Fail(errno == ENODEV ? ERROR_INVALID_HANDLE : VxPlatform_Win32ErrorFromErrno(errno),
                              nullptr);
    VxViewRegistry& registry = VxProcess_Views();
    try {
        std::lock_guard<std::mutex> hold(registry.lock);
        registry.views[reinterpret_cast<uintptr_t>(view)] = bytes;
    } catch (...) {
        munmap(view, bytes);
        return VxProcess_Fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    return view;
}

BOOL UnmapViewOfFile(const void* view)
{
    size_t bytes = 0;
    {
        VxViewRegistry& registry = VxProcess_Views();
        std::lock_guard<std::mutex> hold(registry.lock);
        const auto found = registry.views.find(reinterpret_cast<uintptr_t>(view));
        if (found == registry.views.end())
            return VxProcess_Fail(ERROR_INVALID_PARAMETER, FALSE);
        bytes = found->second;
        registry.views.erase(found);
    }
    if (munmap(const_cast<void*>(view), bytes) != 0)
        return VxProcess_Fail(VxPlatform_Win32ErrorFromErrno(errno), FALSE);
    return TRUE;
}

// A pidfd of the process; the access mask is not checked here: Linux checks the caller's
// right to reach the process when its memory or descriptors are used.
HANDLE OpenProcess(DWORD /*access*/, BOOL /*inheritHandle*/, DWORD processId)
{
    if (processId == 0 || processId > DWORD(INT_MAX))
        return VxProcess_Fail(ERROR_INVALID_PARAMETER, HANDLE(nullptr));
    const int fd = VxProcess_KeepAboveStandard(int(syscall(SYS_pidfd_open, pid_t(processId), 0u)));
    if (fd < 0)
        return VxProcess_Fail(VxPlatform_Win32ErrorFromErrno(errno), HANDLE(nullptr));
    return VxProcess_Handle(fd);
}

// Brings a descriptor of another process into this one (pidfd_getfd, or reopening
// /proc/PID/fd/N where that call is missing or refused), or duplicates one of this process.
// Handles can only be duplicated into the current process: Linux has no way to place a
// descriptor in another one. Closing the source is supported only within this process. The
// access of the copy is always that of the source.
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD /*access*/, BOOL inheritHandle, DWORD options)
{
    if (target)
        *target = nullptr;
    const pid_t self = getpid();
    const pid_t targetPid = VxProcess_Pid(targetProcess, ERROR_INVALID_HANDLE);
    if (targetPid == 0)
        return FALSE;
    if (targetPid != self)
        return VxProcess_Fail(ERROR_NOT_SUPPORTED, FALSE);
    const pid_t sourcePid = VxProcess_Pid(sourceProcess, ERROR_INVALID_HANDLE);
    if (sourcePid == 0)
        return FALSE;
    const bool closeSource = (options & DUPLICATE_CLOSE_SOURCE) != 0;
    if (!target && !closeSource)
        return VxProcess_Fail(ERROR_INVALID_PARAMETER, FALSE);

    if (sourcePid == self) {
        // The pseudo handle of this process becomes a real one.
        if (source == kCurrentProcess) {
            if (!target)
                return TRUE;
            const HANDLE process = OpenProcess(0, inheritHandle, DWORD(self));
            *target = process;
            return process != nullptr;
        }
        const int fd = VxProcess_Descriptor(source);
        if (fd < 0 || fcntl(fd, F_GETFD) < 0)
            return VxProcess_Fail(ERROR_INVALID_HANDLE, FALSE);
        if (target) {
            const int copy = fcntl(fd, inheritHandle ? F_DUPFD : F_DUPFD_CLOEXEC, 3);
            if (copy < 0)
                return VxProcess_Fail(VxPlatform_Win32ErrorFromErrno(errno), FALSE);
            *target = VxProcess_Handle(copy);
        }
        if (closeSource)
            close(fd);
        return TRUE;
    }

    if (closeSource)
        return VxProcess_Fail(ERROR_NOT_SUPPORTED, FALSE);
    const int fd = VxProcess_Descriptor(source);
    if (fd < 0)
        return VxProcess_Fail(ERROR_INVALID_HANDLE, FALSE);
    // Validated above as a pidfd of a live process; the pid was only needed to tell which.
    const int pidfd = VxProcess_Descriptor(sourceProcess);
    int copy = int(syscall(SYS_pidfd_getfd, pidfd, fd, 0u));
    if (copy < 0 && (errno == ENOSYS || errno == EPERM || errno == EACCES)) {
        char path[48];
        std::snprintf(path, sizeof path, "/proc/%d/fd/%d", int(sourcePid), fd);
        copy = open(path, O_RDWR | O_CLOEXEC);
        if (copy < 0 && errno == EACCES)
            copy = open(path, O_RDONLY | O_CLOEXEC);
        if (copy < 0 && errno == ENOENT)
            errno = EBADF;
    }
    copy = VxProcess_KeepAboveStandard(copy);
    if (copy < 0)
        return VxProcess_Fail(errno == ESRCH ? ERROR_INVALID_HANDLE : VxPlatform_Win32ErrorFromErrno(errno),
                              FALSE);
    if (inheritHandle)
        fcntl(copy, F_SETFD, 0);
    *target = VxProcess_Handle(copy);
    return TRUE;
}

BOOL ReadProcessMemory(HANDLE process, const void* base, void* buffer, size_t bytes, size_t* read)
{
    if (!buffer && bytes != 0)
        return VxProcess_Fail(ERROR_INVALID_PARAMETER, FALSE);
    return VxProcess_MoveMemory(process, reinterpret_cast<uintptr_t>(base), static_cast<uint8_t*>(buffer),
                                bytes, read, [](pid_t pid, const iovec* local, const iovec* remote) {
                                    return process_vm_readv(pid, local, 1, remote, 1, 0);
                                });
}

BOOL WriteProcessMemory(HANDLE process, void* base, const void* buffer, size_t bytes, size_t* written)
{
    if (!buffer && bytes != 0)
        return VxProcess_Fail(ERROR_INVALID_PARAMETER, FALSE);
    return VxProcess_MoveMemory(process, reinterpret_cast<uintptr_t>(base),
                                const_cast<uint8_t*>(static_cast<const uint8_t*>(buffer)), bytes, written,
                                [](pid_t pid, const iovec* local, const iovec* remote) {
                                    return process_vm_writev(pid, local, 1, remote, 1, 0);
                                });
}

}  // extern "C"
