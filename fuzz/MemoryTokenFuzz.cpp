// Fuzzes memory tokens: the input is a _vxmemorytoken followed by a mode byte, access flags
// and a 32-bit copy size. Whatever the token says, mapping it, copying out of and into it and
// wrapping it must answer a result and never fault.
//
// The owner is chosen by the mode byte:
// - this process: tokens here are trusted and used in place, so base and offset are pointed at
//   a real buffer and the data size is cut to fit it (negative sizes are kept): this checks the
//   size rules and that copies never exceed the data size;
// - a scratch child forked once, owning a block and a memfd mapping that the token may name or
//   miss: reads, writes and views of another process that fail must fail cleanly;
// - a process id no process can have.
// Data sizes of other processes' tokens are capped at the buffers' size, so that a copy that
// fails halfway cannot have written past them.
#include "framework/MemoryToken.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kBufferBytes = 4096;
constexpr size_t kScratchBytes = 65536;
constexpr int32_t kForeignSizeCap = int32_t(kBufferBytes);

struct Scratch {
    pid_t pid = -1;
    uint64_t block = 0;
    int32_t descriptor = -1;
};

// A child that owns memory and sleeps until the fuzzer ends; it dies with its parent.
Scratch StartScratch()
{
    int ends[2];
    Scratch scratch;
    if (pipe(ends) != 0)
        return scratch;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(0);
        void* block = mmap(nullptr, kScratchBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        const int descriptor = memfd_create("scratch", MFD_CLOEXEC);
        if (block == MAP_FAILED || descriptor < 0 || ftruncate(descriptor, kScratchBytes) != 0)
            _exit(1);
        Scratch mine{getpid(), reinterpret_cast<uintptr_t>(block), descriptor};
        if (write(ends[1], &mine, sizeof mine) != ssize_t(sizeof mine))
            _exit(1);
        for (;;)
            pause();
    }
    close(ends[1]);
    if (pid < 0 || read(ends[0], &scratch, sizeof scratch) != ssize_t(sizeof scratch))
        scratch = Scratch{};
    close(ends[0]);
    return scratch;
}

// Reads every page of the data, and writes it too unless only reading was asked for (a view
// of a mapping is then read-only, as with Win32).
void Touch(void* data, LONG size, ULONG flags)
{
    const bool writable = (flags & 6) != kVxTokenAccessRead;
    volatile uint8_t* p = static_cast<uint8_t*>(data);
    auto visit = [&](LONG i) {
        const uint8_t value = p[i];
        if (writable)
            p[i] = uint8_t(value + 1);
    };
    for (LONG i = 0; i < size; i += 512)
        visit(i);
    if (size > 0)
        visit(size - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < sizeof(_vxmemorytoken) + 6)
        return 0;
    static const Scratch scratch = StartScratch();
    alignas(16) static uint8_t buffer[kBufferBytes];
    alignas(16) static uint8_t copy[kBufferBytes];

    _vxmemorytoken token;
    std::memcpy(&token, data, sizeof token);
    const uint8_t mode = data[40];
    const ULONG flags = data[41];
    LONG cb;
    std::memcpy(&cb, data + 42, sizeof cb);

    switch (mode % 3) {
    case 0: {
        token.ownerProcessId = GetCurrentProcessId();
        token.baseAddress = reinterpret_cast<uintptr_t>(buffer);
        token.dataOffset %= kBufferBytes + 1;
        const size_t room = kBufferBytes - token.dataOffset;
        if (token.dataSize >= 0)
            token.dataSize = int32_t(size_t(token.dataSize) % (room + 1));
        break;
    }
    case 1:
        if (scratch.pid <= 0)
            return 0;
        token.ownerProcessId = uint32_t(scratch.pid);
        if (mode & 0x10)
            token.baseAddress = scratch.block;
        if (mode & 0x20)
            token.memoryHandle = uint64_t(int64_t(scratch.descriptor));
        if (token.dataSize > kForeignSizeCap)
            token.dataSize %= kForeignSizeCap + 1;
        break;
    default:
        token.ownerProcessId |= 0x40000000u;  // above any pid_max
        if (token.dataSize > kForeignSizeCap)
            token.dataSize %= kForeignSizeCap + 1;
        break;
    }

    {
        CMappingOfVxMemoryToken mapping(token, flags);
        void* pointer = nullptr;
        const HRESULT hr = mapping.GetPointer(&pointer);
        if (SUCCEEDED(hr) != (mapping.DataSize() >= 0) || (SUCCEEDED(hr) && pointer != mapping.Pointer()))
            std::abort();
        if (pointer)
            Touch(pointer, mapping.DataSize(), flags);
        if (mode & 0x40)
            mapping.Close();
    }

    // The copies may only move up to the data size, which fits the buffers in every mode that
    // reaches real memory here.
    const HRESULT out = CMappingOfVxMemoryToken::CopyData(copy, token, cb);
    if (out == S_OK && (token.dataSize < 0 || cb < token.dataSize))
        std::abort();
    const HRESULT in = CMappingOfVxMemoryToken::CopyData(token, copy, cb);
    if (in == S_OK && (cb < 0 || token.dataSize < cb))
        std::abort();

    {
        COutOfProcessMemoryToken wrapper(token, flags, 0);
        _vxmemorytoken shared{};
        if (SUCCEEDED(wrapper.GetMemoryToken(shared)) && shared.kind != token.kind) {
            CMappingOfVxMemoryToken view(shared, flags);
            if (view.DataSize() != token.dataSize || !view.Pointer())
                std::abort();
            Touch(view.Pointer(), view.DataSize(), kVxTokenAccessWrite);
        }
    }
    return 0;
}
