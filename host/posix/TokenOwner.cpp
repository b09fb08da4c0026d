// Frame memory for tokens: in this process, or in a child process that serves it.
#include "../TokenOwner.h"
#include "../TokenProtocol.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What a child reports once its block exists.
struct VxHostChildHello {
    int32_t error;     // errno of the failed step, 0 when the block is ready
    int32_t fd;        // the memfd's descriptor number in the child (kind 1), else -1
    uint64_t address;  // the block's address in the child
};

bool VxHost_SendAll(int socket, const void* data, size_t length)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t sent = send(socket, bytes, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        length -= size_t(sent);
    }
    return true;
}

bool VxHost_ReceiveAll(int socket, void* data, size_t length)
{
    auto* bytes = static_cast<uint8_t*>(data);
    while (length > 0) {
        const ssize_t received = recv(socket, bytes, length, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return false;
        bytes += received;
        length -= size_t(received);
    }
    return true;
}

// The child's whole life. It runs after fork in a process that may have had other threads, so
// it only makes system calls. It dies with the host (PR_SET_PDEATHSIG) and names the host as
// its ptracer, which Yama scope 1 honours alongside plain ancestry.
[[noreturn]] void VxHost_ServeBlock(int socket, pid_t host, VxHostTokenPlace place, size_t size,
                                    uint32_t offset)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != host)
        _exit(1);
    prctl(PR_SET_PTRACER, host, 0, 0, 0);  // fails harmlessly without Yama

    VxHostChildHello hello = {0, -1, 0};
    void* block = MAP_FAILED;
    if (place == VxHostTokenPlace::ChildMapping) {
        hello.fd = memfd_create("vxhost-frame", 0);
        if (hello.fd >= 0 && ftruncate(hello.fd, off_t(size)) == 0)
            block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, hello.fd, 0);
    } else {
        block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
    if (block == MAP_FAILED)
        hello.error = errno ? errno : ENOMEM;
    else
        hello.address = uint64_t(uintptr_t(block));
    if (!VxHost_SendAll(socket, &hello, sizeof hello) || hello.error != 0)
        _exit(1);

    uint8_t* data = static_cast<uint8_t*>(block) + offset;
    const size_t bytes = size - offset;
    for (;;) {
        uint8_t request = 0;
        if (!VxHost_ReceiveAll(socket, &request, 1) || request == kRequestQuit)
            _exit(0);
        if (request == kRequestRead) {
            if (!VxHost_SendAll(socket, data, bytes))
                _exit(1);
        } else if (request == kRequestFill) {
            uint8_t value = 0;
            if (!VxHost_ReceiveAll(socket, &value, 1))
                _exit(1);
            std::memset(data, value, bytes);
            if (!VxHost_SendAll(socket, &kReplyDone, 1))
                _exit(1);
        } else {
            _exit(1);
        }
    }
}

std::string VxHost_ErrnoText(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

// Reads one line of a /proc file; empty when it does not exist.
std::string VxHost_ReadFirstLine(const char* path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

bool VxHost_HasPtraceCapability()
{
    constexpr int kCapSysPtrace = 19;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("CapEff:", 0) != 0)
            continue;
        std::istringstream fields(line.substr(7));
        uint64_t capabilities = 0;
        fields >> std::hex >> capabilities;
        return (capabilities >> kCapSysPtrace) & 1;
    }
    return false;
}

}  // namespace

bool VxHost_CanReachChildMemory(std::string& error)
{
    const std::string scope = VxHost_ReadFirstLine("/proc/sys/kernel/yama/ptrace_scope");
    if (scope.empty() || scope == "0" || scope == "1")
        return true;
    if (scope == "2" && VxHost_HasPtraceCapability())
        return true;
    error = "tokens of a child process need access to the child's memory, which "
            "kernel.yama.ptrace_scope " + scope + " refuses" +
            (scope == "2" ? " without CAP_SYS_PTRACE" : "") + "; use --token local";
    return false;
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
    if (place == VxHostTokenPlace::Local) {
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
        token.ownerProcessId = uint32_t(getpid());
        return owner;
    }
    if (!VxHost_CanReachChildMemory(error) || !owner->StartChild(error))
        return nullptr;
    return owner;
}

bool CVxHostTokenOwner::StartChild(std::string& error)
{
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        error = VxHost_ErrnoText("socketpair", errno);
        return false;
    }
    const pid_t host = getpid();
    const size_t size = size_t(kChildDataOffset) + m_bytes;
    const pid_t child = fork();
    if (child < 0) {
        error = VxHost_ErrnoText("fork", errno);
        close(sockets[0]);
        close(sockets[1]);
        return false;
    }
    if (child == 0) {
        close(sockets[0]);
        VxHost_ServeBlock(sockets[1], host, m_place, size, kChildDataOffset);
    }
    close(sockets[1]);
    m_childPid = child;
    m_socket = sockets[0];

    VxHostChildHello hello = {};
    if (!VxHost_ReceiveAll(m_socket, &hello, sizeof hello)) {
        error = "the token's child process ended before its memory was ready";
        return false;
    }
    if (hello.error != 0) {
        error = VxHost_ErrnoText("memory of the token's child process", hello.error);
        return false;
    }
    m_token.memoryHandle = uint64_t(int64_t(hello.fd));  // sign-extended, as handles are
    m_token.baseAddress = hello.address;
    m_token.dataSize = int32_t(m_bytes);
    m_token.mappedSize = m_bytes;
    m_token.dataOffset = kChildDataOffset;
    m_token.kind = m_place == VxHostTokenPlace::ChildMapping ? kVxTokenKindMapping
                                                             : kVxTokenKindMemory;
    m_token.ownerProcessId = uint32_t(child);
    return true;
}

CVxHostTokenOwner::~CVxHostTokenOwner()
{
    if (m_socket >= 0) {
        VxHost_SendAll(m_socket, &kRequestQuit, 1);
        close(m_socket);  // a child waiting for a request also ends on the closed socket
    }
    if (m_childPid > 0) {
        while (waitpid(m_childPid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

bool CVxHostTokenOwner::Request(const uint8_t* command, size_t length, std::string& error) const
{
    if (!VxHost_SendAll(m_socket, command, length)) {
        error = "the token's child process no longer answers";
        return false;
    }
    return true;
}

bool CVxHostTokenOwner::Receive(void* data, size_t length) const
{
    return VxHost_ReceiveAll(m_socket, data, length);
}

bool VxHost_RunTokenChild(int /*argc*/, char** /*argv*/, int& /*exitCode*/)
{
    return false;  // the child is forked
}
