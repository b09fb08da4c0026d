// The host side of memory tokens on Windows. A local block lives in this process; a child's
// block lives in vxhost.exe started again in its hidden child mode, which holds ordinary
// memory (kind 0) or a view of a pagefile-backed mapping (kind 1) and answers requests over
// its standard input and output: what the host shows is what really arrived in the child.
#include "../TokenOwner.h"
#include "../TokenProtocol.h"

#include "../System.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

// What the child reports once its block exists.
struct VxHostChildHello {
    int32_t ready;           // 1 when the block is ready
    int32_t reserved;
    uint64_t mappingHandle;  // the mapping's handle in the child (kind 1), else all ones
    uint64_t address;        // the block's address in the child
};

}  // namespace

bool VxHost_RunTokenChild(int argc, char** argv, int& exitCode)
{
    if (argc != 4 || std::string(argv[1]) != "--token-child")
        return false;
    exitCode = 1;
    VxHostTokenPlace place = VxHostTokenPlace::Local;
    const unsigned long long bytes = std::strtoull(argv[3], nullptr, 10);
    if (!VxHost_ParseTokenPlace(argv[2], place) || place == VxHostTokenPlace::Local ||
        bytes < 1 || bytes > 0x7FFFFFFFu)
        return true;
    void* in = VxHostSystem_StandardInput();
    void* out = VxHostSystem_StandardOutput();
    const size_t size = kChildDataOffset + size_t(bytes);
    uint8_t* block = nullptr;
    VxHostChildHello hello = {};
    std::string error;
    if (VxHostSystem_AllocateShared(place == VxHostTokenPlace::ChildMapping, size, block,
                                    hello.mappingHandle, error)) {
        hello.ready = 1;
        hello.address = uint64_t(uintptr_t(block));
    }
    if (!VxHostSystem_WriteAll(out, &hello, sizeof hello) || !hello.ready)
        return true;
    uint8_t* data = block + kChildDataOffset;
    for (uint8_t request = 0; VxHostSystem_ReadAll(in, &request, 1) && request != kRequestQuit;) {
        if (request == kRequestRead) {
            if (!VxHostSystem_WriteAll(out, data, size_t(bytes)))
                return true;
        } else if (request == kRequestFill) {
            uint8_t value = 0;
            if (!VxHostSystem_ReadAll(in, &value, 1))
                return true;
            std::memset(data, value, size_t(bytes));
            if (!VxHostSystem_WriteAll(out, &kReplyDone, 1))
                return true;
        }
    }
    exitCode = 0;
    return true;
}

bool VxHost_CanReachChildMemory(std::string& /*error*/)
{
    return true;  // a process may open the processes it started
}

std::unique_ptr<CVxHostTokenOwner> CVxHostTokenOwner::Create(VxHostTokenPlace place,
                                                             uint32_t bytes, std::string& error)
{
    constexpr uint32_t kMaxBytes = 0x7FFFFFFFu - kChildDataOffset;  // the token's size is an i32
    if (bytes < 1 || bytes > kMaxBytes) {
        error = "a frame of " + std::to_string(bytes) + " bytes cannot be delivered into a token";
        return nullptr;
    }
    std::unique_ptr<CVxHostTokenOwner> owner(new CVxHostTokenOwner);
    owner->m_place = place;
    owner->m_bytes = bytes;
    if (place != VxHostTokenPlace::Local)
        return owner->StartChild(error) ? std::move(owner) : nullptr;
    owner->m_local.reset(new (std::nothrow) uint8_t[bytes]());
    if (!owner->m_local) {
        error = "not enough memory for a frame of " + std::to_string(bytes) + " bytes";
        return nullptr;
    }
    _vxmemorytoken& token = owner->m_token;
    token.baseAddress = uint64_t(uintptr_t(owner->m_local.get()));
    token.dataSize = int32_t(bytes);
    token.mappedSize = bytes;
    token.kind = kVxTokenKindMemory;
    token.ownerProcessId = VxHostSystem_ProcessId();
    return owner;
}

bool CVxHostTokenOwner::StartChild(std::string& error)
{
    const std::string directory = VxHostSystem_ProgramDirectory();
    const std::string program = (directory.empty() ? "" : directory + "/") + "vxhost.exe";
    m_child = std::make_shared<VxHostChild>();
    const std::string arguments = std::string("vxhost --token-child ") +
                                  VxHost_TokenPlaceName(m_place) + " " + std::to_string(m_bytes);
    if (!VxHostSystem_StartChild(program, arguments, *m_child, error))
        return false;
    VxHostChildHello hello = {};
    if (!VxHostSystem_ReadAll(m_child->fromChild, &hello, sizeof hello) || !hello.ready) {
        error = "the token's child process could not make its memory ready";
        return false;
    }
    m_token.memoryHandle = hello.mappingHandle;
    m_token.baseAddress = hello.address;
    m_token.dataSize = int32_t(m_bytes);
    m_token.mappedSize = m_bytes;
    m_token.dataOffset = kChildDataOffset;
    m_token.kind = m_place == VxHostTokenPlace::ChildMapping ? kVxTokenKindMapping
                                                             : kVxTokenKindMemory;
    m_token.ownerProcessId = m_child->id;
    return true;
}

CVxHostTokenOwner::~CVxHostTokenOwner()
{
    if (m_child) {
        VxHostSystem_WriteAll(m_child->toChild, &kRequestQuit, 1);
        VxHostSystem_EndChild(*m_child);  // a child waiting for a request also ends on the closed pipe
    }
}

bool CVxHostTokenOwner::Request(const uint8_t* command, size_t length, std::string& error) const
{
    if (!m_child || !VxHostSystem_WriteAll(m_child->toChild, command, length)) {
        error = "the token's child process no longer answers";
        return false;
    }
    return true;
}

bool CVxHostTokenOwner::Receive(void* data, size_t length) const
{
    return m_child && VxHostSystem_ReadAll(m_child->fromChild, data, length);
}
