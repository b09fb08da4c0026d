// Other processes for the cross-process tests: a forked child that owns memory and a file
// mapping, and a way to run a piece of code in a child that may reach this process.
#pragma once

#include "plugin/contracts/VxRecords.h"

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <vector>

// A forked child owning a block of ordinary memory that ends right at an inaccessible guard
// page, and a memfd mapping of the same size, both filled with Pattern(i). It answers requests
// for their current contents until Exit, which also reaps it: its id then names no process.
class CVxOwnerProcess {
public:
    explicit CVxOwnerProcess(size_t bytes);
    ~CVxOwnerProcess();
    CVxOwnerProcess(const CVxOwnerProcess&) = delete;
    CVxOwnerProcess& operator=(const CVxOwnerProcess&) = delete;

    static uint8_t Pattern(size_t index) { return uint8_t(index * 7 + 3); }
    static std::vector<uint8_t> Pattern(size_t offset, size_t bytes);

    bool Ok() const { return m_pid > 0 && m_layout.block != 0; }
    uint32_t ProcessId() const { return uint32_t(m_pid); }
    uint64_t BlockAddress() const { return m_layout.block; }
    uint64_t GuardAddress() const { return m_layout.guard; }  // first byte after the block
    int MappingDescriptor() const { return m_layout.descriptor; }

    // Kind 0 over the block, kind 1 over the mapping (offset and size as given, unchecked).
    _vxmemorytoken MemoryToken(uint32_t offset, int32_t size) const;
    _vxmemorytoken MappingToken(uint32_t offset, int32_t size) const;

    // The contents as the child sees them now; empty when the child is gone.
    std::vector<uint8_t> Block() { return Ask('b'); }
    std::vector<uint8_t> Mapping() { return Ask('m'); }

    void Exit();

private:
    struct Layout {
        uint64_t block = 0;
        uint64_t guard = 0;
        uint64_t view = 0;
        int32_t descriptor = -1;
    };

    [[noreturn]] static void Serve(int requests, int answers, size_t bytes);
    std::vector<uint8_t> Ask(char request);

    size_t m_bytes;
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_requests = -1;
    int m_answers = -1;
    Layout m_layout;
};

// Runs body in a forked child and returns its result (0 to 125), or 126 + the signal number
// when the child died of a signal. Until the child ends, this process allows any process to
// reach its memory and descriptors (Yama ptrace scope 1 would otherwise refuse a child).
int VxTest_RunInChild(const std::function<int()>& body);
