#include "OwnerProcess.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

// All the bytes through call(offset), a read or write of the bytes from offset on, riding out
// interruptions.
template <class Call>
bool Whole(size_t bytes, Call call)
{
    for (size_t done = 0; done < bytes;) {
        const ssize_t n = call(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool WriteAll(int fd, const void* data, size_t bytes)
{
    return Whole(bytes, [&](size_t done) { return write(fd, static_cast<const uint8_t*>(data) + done, bytes - done); });
}

bool ReadAll(int fd, void* data, size_t bytes)
{
    return Whole(bytes, [&](size_t done) { return read(fd, static_cast<uint8_t*>(data) + done, bytes - done); });
}

}  // namespace

// The child's side: only system calls, as befits a forked copy of a test program.
void CVxOwnerProcess::Serve(int requests, int answers, size_t bytes)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t rounded = (bytes + page - 1) / page * page;
    auto* area = static_cast<uint8_t*>(
        mmap(nullptr, rounded + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    const int descriptor = memfd_create("owner", MFD_CLOEXEC);
    if (area == MAP_FAILED || descriptor < 0 || ftruncate(descriptor, off_t(bytes)) != 0 ||
        mprotect(area + rounded, page, PROT_NONE) != 0)
        _exit(1);
    auto* view = static_cast<uint8_t*>(
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0));
    if (view == MAP_FAILED)
        _exit(1);
    uint8_t* block = area + rounded - bytes;
    for (size_t i = 0; i < bytes; ++i)
        block[i] = view[i] = CVxOwnerProcess::Pattern(i);

    Layout layout;
    layout.block = reinterpret_cast<uintptr_t>(block);
    layout.guard = reinterpret_cast<uintptr_t>(area + rounded);
    layout.view = reinterpret_cast<uintptr_t>(view);
    layout.descriptor = descriptor;
    if (!WriteAll(answers, &layout, sizeof layout))
        _exit(1);
    char request = 0;
    while (ReadAll(requests, &request, 1)) {
        if (request == 'b' && WriteAll(answers, block, bytes))
            continue;
        if (request == 'm' && WriteAll(answers, view, bytes))
            continue;
        break;
    }
    _exit(0);
}

std::vector<uint8_t> CVxOwnerProcess::Pattern(size_t offset, size_t bytes)
{
    std::vector<uint8_t> pattern(bytes);
    for (size_t i = 0; i < bytes; ++i)
        pattern[i] = Pattern(offset + i);
    return pattern;
}

CVxOwnerProcess::CVxOwnerProcess(size_t bytes) : m_bytes(bytes)
{
    int requests[2];
    int answers[2];
    if (pipe2(requests, O_CLOEXEC) != 0)
        return;
    if (pipe2(answers, O_CLOEXEC) != 0) {
        close(requests[0]);
        close(requests[1]);
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        close(requests[1]);
        close(answers[0]);
        Serve(requests[0], answers[1], bytes);
    }
    close(requests[0]);
    close(answers[1]);
    m_requests = requests[1];
    m_answers = answers[0];
    if (m_pid < 0 || !ReadAll(m_answers, &m_layout, sizeof m_layout))
        m_layout = Layout{};
}

CVxOwnerProcess::~CVxOwnerProcess()
{
    Exit();
}

_vxmemorytoken CVxOwnerProcess::MemoryToken(uint32_t offset, int32_t size) const
{
    _vxmemorytoken token{};
    token.baseAddress = m_layout.block;
    token.dataSize = size;
    token.mappedSize = uint32_t(size);
    token.dataOffset = offset;
    token.kind = kVxTokenKindMemory;
    token.ownerProcessId = ProcessId();
    return token;
}

_vxmemorytoken CVxOwnerProcess::MappingToken(uint32_t offset, int32_t size) const
{
    _vxmemorytoken token = MemoryToken(offset, size);
    token.memoryHandle = uint64_t(int64_t(m_layout.descriptor));
    token.baseAddress = m_layout.view;
    token.kind = kVxTokenKindMapping;
    return token;
}

std::vector<uint8_t> CVxOwnerProcess::Ask(char request)
{
    std::vector<uint8_t> contents(m_bytes);
    if (m_requests < 0 || !WriteAll(m_requests, &request, 1) || !ReadAll(m_answers, contents.data(), m_bytes))
        contents.clear();
    return contents;
}

void CVxOwnerProcess::Exit()
{
    if (m_requests >= 0) {
        WriteAll(m_requests, "q", 1);
        close(m_requests);
        close(m_answers);
        m_requests = m_answers = -1;
    }
    if (m_pid > 0 && !m_reaped) {
        m_reaped = true;
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

int VxTest_RunInChild(const std::function<int()>& body)
{
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);  // fails harmlessly without Yama
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    prctl(PR_SET_PTRACER, 0, 0, 0, 0);
    if (pid < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 126 + WTERMSIG(status);
}
