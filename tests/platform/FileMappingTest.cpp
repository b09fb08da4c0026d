#include "platform/VxOwners.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

// A read-only mapping of an open file shows its bytes; empty files, writable or sized mappings
// of files are refused, as Win32 refuses the first and this layer does not offer the others.
TEST(FileMapping, MapsOpenFilesReadOnly)
{
    CVxTempDir dir;
    std::ofstream(dir.Path("data")) << "mapped bytes";
    std::ofstream(dir.Path("empty")).flush();
    CVxHandle file(CreateFileW(dir.WidePath("data").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    CVxHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    ASSERT_TRUE(mapping);
    const auto* view = static_cast<const char*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    file.Reset();  // the mapping keeps the file
    EXPECT_EQ(std::memcmp(view, "mapped bytes", 12), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));

    CVxHandle again(CreateFileW(dir.WidePath("data").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(CreateFileMappingW(again.Get(), nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    CVxHandle empty(CreateFileW(dir.WidePath("empty").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(empty);
    EXPECT_EQ(CreateFileMappingW(empty.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
}
