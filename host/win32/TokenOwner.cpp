// The host side of memory tokens on Windows: blocks in this process. Blocks in a child
// process (kind0, kind1) are not built here yet and are refused with a message.
#include "../TokenOwner.h"

#include "../System.h"

#include <cstring>
#include <new>

bool VxHost_CanReachChildMemory(std::string& error)
{
    error = "tokens of a child process are not available in the Windows build; use --token local";
    return false;
}

std::unique_ptr<CVxHostTokenOwner> CVxHostTokenOwner::Create(VxHostTokenPlace place,
                                                             uint32_t bytes, std::string& error)
{
    constexpr uint32_t kMaxBytes = 0x7FFFFFFFu;  // the token's size is an i32
    if (bytes < 1 || bytes > kMaxBytes) {
        error = "a frame of " + std::to_string(bytes) + " bytes cannot be delivered into a token";
        return nullptr;
    }
    if (place != VxHostTokenPlace::Local) {
        VxHost_CanReachChildMemory(error);
        return nullptr;
    }
    std::unique_ptr<CVxHostTokenOwner> owner(new CVxHostTokenOwner);
    owner->m_place = place;
    owner->m_bytes = bytes;
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

CVxHostTokenOwner::~CVxHostTokenOwner() = default;

bool CVxHostTokenOwner::StartChild(std::string& error)
{
    return VxHost_CanReachChildMemory(error);
}

bool CVxHostTokenOwner::Request(const uint8_t* /*command*/, size_t /*length*/, std::string& error) const
{
    error = "the token has no child process";
    return false;
}

bool CVxHostTokenOwner::ReadBack(std::vector<uint8_t>& out, std::string& /*error*/) const
{
    out.assign(m_local.get(), m_local.get() + m_bytes);
    return true;
}

bool CVxHostTokenOwner::Fill(uint8_t value, std::string& /*error*/)
{
    std::memset(m_local.get(), value, m_bytes);
    return true;
}
