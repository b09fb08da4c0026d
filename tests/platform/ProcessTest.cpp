#include "platform/VxOwners.h"
#include "tests/common/OwnerProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

const void* At(uint64_t address)
{
    return reinterpret_cast<const void*>(uintptr_t(address));
}

// A handle of another process takes no descriptor of this one, and fails once that process ends.
TEST(Process, HandlesOfAnotherProcessFailOnceItExits)
{
    CVxOwnerProcess owner(64);
    ASSERT_TRUE(owner.Ok());
    CVxHandle process(OpenProcess(PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, owner.ProcessId()));
    ASSERT_TRUE(process);
    // Descriptors cannot be placed into another process.
    CVxHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr));
    HANDLE copy = nullptr;
    EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), mapping.Get(), process.Get(), &copy, 0, FALSE,
                                 DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    owner.Exit();

    uint8_t bytes[8];
    size_t moved = 99;
    EXPECT_FALSE(ReadProcessMemory(process.Get(), At(owner.BlockAddress()), bytes, 8, &moved));
    EXPECT_EQ(moved, 0u);
    EXPECT_FALSE(DuplicateHandle(process.Get(), reinterpret_cast<HANDLE>(intptr_t(owner.MappingDescriptor())),
                                 GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(copy, nullptr);
    SetLastError(0);
    EXPECT_EQ(OpenProcess(PROCESS_VM_READ, FALSE, owner.ProcessId()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(OpenProcess(PROCESS_VM_READ, FALSE, 0), nullptr);
}

// A process handle is recognised by its descriptor each time: once closed, the same number
// reused for a mapping is no process handle.
TEST(Process, ClosedProcessHandleNumberIsNotTakenForTheProcess)
{
    HANDLE process = OpenProcess(PROCESS_VM_READ, FALSE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(CloseHandle(process));
    CVxHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr));
    ASSERT_TRUE(mapping);
    ASSERT_EQ(mapping.Get(), process) << "the descriptor number was expected to be reused";

    uint8_t byte = 0;
    const uint8_t source = 7;
    EXPECT_FALSE(ReadProcessMemory(mapping.Get(), &source, &byte, 1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Process, MappingsHaveAFixedSizeAndRefuseViewsBeyondIt)
{
    const long page = sysconf(_SC_PAGESIZE);
    CVxHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 10000, nullptr));
    ASSERT_TRUE(mapping);

    auto* whole = static_cast<uint8_t*>(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(whole, nullptr);
    auto* tail = static_cast<uint8_t*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, DWORD(page), 10000 - page));
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(tail[0], 0);
    whole[9999] = 0x5A;
    EXPECT_EQ(tail[9999 - page], 0x5A);  // both views share the pages

    EXPECT_EQ(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 10001), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 1, 16), nullptr);  // unaligned offset
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_NE(ftruncate(int(reinterpret_cast<intptr_t>(mapping.Get())), 100), 0);  // sealed

    EXPECT_TRUE(UnmapViewOfFile(tail));
    EXPECT_TRUE(UnmapViewOfFile(whole));
    EXPECT_FALSE(UnmapViewOfFile(whole));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    CVxHandle readOnly(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 4096, nullptr));
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(MapViewOfFile(readOnly.Get(), FILE_MAP_WRITE, 0, 0, 4096), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Process, DuplicatesWithinTheCurrentProcess)
{
    CVxHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr));
    ASSERT_TRUE(mapping);
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), mapping.Get(), GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    CVxHandle owned(copy);
    EXPECT_NE(copy, mapping.Get());
    EXPECT_GE(fcntl(int(reinterpret_cast<intptr_t>(copy)), F_GETFD), 0);

    // The pseudo handle becomes a real process handle.
    HANDLE self = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    CVxHandle selfHandle(self);
    ASSERT_TRUE(selfHandle);
    const uint8_t source = 42;
    uint8_t byte = 0;
    EXPECT_TRUE(ReadProcessMemory(self, &source, &byte, 1, nullptr));
    EXPECT_EQ(byte, 42);
}

}  // namespace
