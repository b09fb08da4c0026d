// The host side of memory tokens: a block of frame memory and the token that names it. The
// block lives in this process (kind 0, own process id), or in a child process that vxhost
// starts for it: ordinary memory of the child (kind 0, the child's id and address) or a memfd
// mapping made by the child (kind 1, the child's descriptor number and id). The module reaches
// a child's block the way it reaches another process's memory; the host reads the bytes back
// from the child over a socket, so what it shows is what really arrived in the child.
#pragma once

#include "../plugin/contracts/VxRecords.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class VxHostTokenPlace {
    Local,        // --token local
    ChildMemory,  // --token kind0
    ChildMapping  // --token kind1
};

// "local", "kind0", "kind1"; false for anything else.
bool VxHost_ParseTokenPlace(std::string_view text, VxHostTokenPlace& place);
const char* VxHost_TokenPlaceName(VxHostTokenPlace place);

class CVxHostTokenOwner {
public:
    // A zero-filled block of bytes (1 to 2^31 - 1) at the place, or null with a message.
    static std::unique_ptr<CVxHostTokenOwner> Create(VxHostTokenPlace place, uint32_t bytes,
                                                     std::string& error);
    CVxHostTokenOwner(const CVxHostTokenOwner&) = delete;
    CVxHostTokenOwner& operator=(const CVxHostTokenOwner&) = delete;
    // Ends and reaps the child, if any.
    ~CVxHostTokenOwner();

    const _vxmemorytoken& Token() const { return m_token; }
    VxHostTokenPlace Place() const { return m_place; }
    uint32_t Bytes() const { return m_bytes; }

    // The block's current bytes.
    bool ReadBack(std::vector<uint8_t>& out, std::string& error) const;
    // Sets every byte of the block to value.
    bool Fill(uint8_t value, std::string& error);

private:
    CVxHostTokenOwner() = default;
    bool StartChild(std::string& error);
    bool Request(const uint8_t* command, size_t length, std::string& error) const;
    // Reads exactly length bytes of the child's answer.
    bool Receive(void* data, size_t length) const;

    VxHostTokenPlace m_place = VxHostTokenPlace::Local;
    uint32_t m_bytes = 0;
    _vxmemorytoken m_token = {};
    std::unique_ptr<uint8_t[]> m_local;  // the block of a local token
    int m_childPid = -1;
    int m_socket = -1;                   // the host's end of the child's socket pair
    std::shared_ptr<struct VxHostChild> m_child;  // Windows: vxhost started as the child
};

// vxhost's hidden mode "--token-child kind0|kind1 BYTES", where a token's child process is a
// program of its own (Windows; Linux forks instead): true when argv asks for it, with the
// child's exit code.
bool VxHost_RunTokenChild(int argc, char** argv, int& exitCode);

// Whether this process may reach a child's memory (process_vm_readv, pidfd_getfd): Yama's
// ptrace_scope 0 and 1 allow a parent to, 2 only with CAP_SYS_PTRACE, 3 never. False with a
// message when it may not.
bool VxHost_CanReachChildMemory(std::string& error);
