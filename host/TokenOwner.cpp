// The host side of a token's block that does not depend on the system: the local block, and the
// read and fill requests to a child (the sending and receiving live in host/posix, host/win32).
#include "TokenOwner.h"
#include "TokenProtocol.h"

#include <cstring>

bool CVxHostTokenOwner::ReadBack(std::vector<uint8_t>& out, std::string& error) const
{
    out.resize(m_bytes);
    if (m_local) {
        std::memcpy(out.data(), m_local.get(), m_bytes);
        return true;
    }
    if (!Request(&kRequestRead, 1, error))
        return false;
    if (!Receive(out.data(), m_bytes)) {
        error = "the token's child process ended while sending its memory";
        return false;
    }
    return true;
}

bool CVxHostTokenOwner::Fill(uint8_t value, std::string& error)
{
    if (m_local) {
        std::memset(m_local.get(), value, m_bytes);
        return true;
    }
    const uint8_t command[2] = {kRequestFill, value};
    uint8_t reply = 0;
    if (!Request(command, sizeof command, error))
        return false;
    if (!Receive(&reply, 1) || reply != kReplyDone) {
        error = "the token's child process did not fill its memory";
        return false;
    }
    return true;
}
