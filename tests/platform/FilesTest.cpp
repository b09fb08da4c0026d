#include "platform/VxOwners.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(intptr_t(fd));
}

void WriteText(const std::string& path, const std::string& text)
{
    ASSERT_TRUE(VxTest_WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
}

// A file's text, "<missing>" when there is no such file.
std::string ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = VxTest_ReadBytes(path);
    return access(path.c_str(), F_OK) == 0 ? std::string(bytes.begin(), bytes.end()) : "<missing>";
}

CVxHandle Open(const std::u16string& path, DWORD access, DWORD disposition)
{
    return CVxHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr));
}

TEST(Files, HostDescriptorsWorkWithEveryCall)
{
    CVxTempDir dir;
    WriteText(dir.Path("host.bin"), "host data");
    const int fd = open(dir.Path("host.bin").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const HANDLE file = HandleOf(fd);
    EXPECT_EQ(GetFileSize(file, nullptr), 9u);
    EXPECT_EQ(SetFilePointer(file, 5, nullptr, FILE_BEGIN), 5u);
    char buffer[8];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));  // a short read at the end succeeds
    EXPECT_EQ(std::string(buffer, read), "data");
    ASSERT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));
    EXPECT_EQ(read, 0u);
    FILETIME written{};
    EXPECT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    EXPECT_NE(written.dwHighDateTime, 0u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);  // closed for real
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Files, WritesTruncatesAndCreatesByDisposition)
{
    CVxTempDir dir;
    const std::u16string path = dir.WidePath("out.txt");
    {
        CVxHandle file = Open(path, GENERIC_WRITE, CREATE_NEW);
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.Get(), "hello world", 11, &written, nullptr));
        EXPECT_EQ(written, 11u);
        EXPECT_EQ(SetFilePointer(file.Get(), -6, nullptr, FILE_END), 5u);
        EXPECT_TRUE(SetEndOfFile(file.Get()));
        EXPECT_TRUE(FlushFileBuffers(file.Get()));
    }
    EXPECT_EQ(ReadText(dir.Path("out.txt")), "hello");

    EXPECT_FALSE(Open(path, GENERIC_WRITE, CREATE_NEW));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    CVxHandle again = Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_TRUE(again);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(again.Get(), nullptr), 5u);
    again.Reset();

    CVxHandle replaced = Open(path, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(replaced.Get(), nullptr), 0u);

    CVxHandle fresh = Open(dir.WidePath("new.txt"), GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST(Files, DirectoriesAndPipesAreRefused)
{
    CVxTempDir dir;
    ASSERT_EQ(mkdir(dir.Path("sidecar.vxl").c_str(), 0755), 0);
    SetLastError(0);
    EXPECT_FALSE(Open(dir.WidePath("sidecar.vxl"), GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Open(dir.WidePath("sidecar.vxl"), GENERIC_WRITE, CREATE_ALWAYS));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Open(dir.WidePath("sidecar.vxl"), 0, OPEN_EXISTING));
    EXPECT_EQ(GetFileAttributesW(dir.WidePath("sidecar.vxl").c_str()), FILE_ATTRIBUTE_DIRECTORY);

    // A named pipe would block the first read forever: refused at once.
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0644), 0);
    EXPECT_FALSE(Open(dir.WidePath("fifo"), GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Files, FailuresSetTheWin32Error)
{
    CVxTempDir dir;
    SetLastError(0);
    EXPECT_FALSE(Open(dir.WidePath("missing"), GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Open(dir.WidePath(std::string(300, 'n')), GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_FALSE(Open(dir.WidePath("bad") + u'\xD800', GENERIC_READ, OPEN_ALWAYS));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(Open(u"", GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(Open(dir.WidePath("x"), GENERIC_READ, 77));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    char buffer[4];
    DWORD read = 5;
    EXPECT_FALSE(ReadFile(nullptr, buffer, 4, &read, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(read, 0u);
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, buffer, 4, &read, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(nullptr, nullptr), INVALID_FILE_SIZE);

    EXPECT_FALSE(DeleteFileW(dir.WidePath("missing").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesW(dir.WidePath("missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Files, SeeksWith64BitPositions)
{
    CVxTempDir dir;
    CVxHandle file = Open(dir.WidePath("big"), GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_TRUE(file);
    // A sparse file of 5 GiB + 3 bytes.
    ASSERT_EQ(ftruncate(int(intptr_t(file.Get())), (int64_t(5) << 30) + 3), 0);

    DWORD high = 0;
    EXPECT_EQ(GetFileSize(file.Get(), &high), 0x40000003u);
    EXPECT_EQ(high, 1u);
    SetLastError(0);
    EXPECT_EQ(GetFileSize(file.Get(), nullptr), INVALID_FILE_SIZE);  // would not fit
    EXPECT_EQ(GetLastError(), ERROR_FILE_TOO_LARGE);

    LONG distanceHigh = 1;
    EXPECT_EQ(SetFilePointer(file.Get(), 16, &distanceHigh, FILE_BEGIN), 16u);
    EXPECT_EQ(distanceHigh, 1);
    distanceHigh = -1;
    EXPECT_EQ(SetFilePointer(file.Get(), -8, &distanceHigh, FILE_CURRENT), 8u);
    EXPECT_EQ(distanceHigh, 1);

    // The low part 0xFFFFFFFF is a position, told from failure by the cleared last error.
    distanceHigh = 0;
    SetLastError(ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetFilePointer(file.Get(), LONG(0xFFFFFFFF), &distanceHigh, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    // Without a high part the new position must fit in 32 bits.
    EXPECT_EQ(SetFilePointer(file.Get(), 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // Before the start: refused, position unchanged.
    EXPECT_EQ(SetFilePointer(file.Get(), 10, nullptr, FILE_BEGIN), 10u);
    EXPECT_EQ(SetFilePointer(file.Get(), -11, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(file.Get(), 0, nullptr, FILE_CURRENT), 10u);
    EXPECT_EQ(SetFilePointer(file.Get(), 0, nullptr, 3), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Files, FileTimesAreTicksSince1601)
{
    CVxTempDir dir;
    WriteText(dir.Path("t"), "x");
    // 2021-03-04 05:06:07.1234567 UTC written, 2001-09-09 01:46:40 UTC read.
    const struct timespec times[2] = {{1000000000, 0}, {1614834367, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.Path("t").c_str(), times, 0), 0);

    CVxHandle file = Open(dir.WidePath("t"), 0, OPEN_EXISTING);  // no access: times only
    ASSERT_TRUE(file);
    FILETIME created{}, accessed{}, written{};
    ASSERT_TRUE(GetFileTime(file.Get(), &created, &accessed, &written));
    const auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    EXPECT_EQ(ticks(written), (1614834367ull + 11644473600ull) * 10000000ull + 1234567ull);
    EXPECT_EQ(ticks(accessed), (1000000000ull + 11644473600ull) * 10000000ull);
    EXPECT_GT(ticks(created), 0u);
}

TEST(Files, MoveReplacesAtomicallyOnlyWhenAsked)
{
    CVxTempDir dir;
    WriteText(dir.Path("new"), "new");
    WriteText(dir.Path("old"), "old");
    SetLastError(0);
    EXPECT_FALSE(MoveFileExW(dir.WidePath("new").c_str(), dir.WidePath("old").c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadText(dir.Path("old")), "old");
    EXPECT_TRUE(MoveFileExW(dir.WidePath("new").c_str(), dir.WidePath("old").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadText(dir.Path("old")), "new");
    EXPECT_EQ(ReadText(dir.Path("new")), "<missing>");
    EXPECT_TRUE(MoveFileExW(dir.WidePath("old").c_str(), dir.WidePath("free").c_str(), MOVEFILE_WRITE_THROUGH));
    EXPECT_FALSE(MoveFileExW(dir.WidePath("free").c_str(), nullptr, 0));  // delete-on-reboot has no meaning here
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(DeleteFileW(dir.WidePath("free").c_str()));
    EXPECT_EQ(ReadText(dir.Path("free")), "<missing>");
}

}  // namespace
