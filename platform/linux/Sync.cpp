// Win32 mutexes (recursive, owned by the thread that waited for them), interlocked operations
// and thread and process ids.
//
// A mutex handle is a serial number in a range no descriptor reaches, looked up in a registry
// on every call: a closed or made-up handle is refused with ERROR_INVALID_HANDLE, never
// dereferenced, and a mutex stays alive while a call on it is still running.
#include "../Internal.h"

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

constexpr uintptr_t kMutexHandleBase = uintptr_t(0x564D) << 48;

class CRecursiveMutex {
public:
    explicit CRecursiveMutex(DWORD owner) : m_owner(owner), m_count(owner ? 1 : 0) {}

    DWORD Wait(DWORD milliseconds)
    {
        const DWORD self = GetCurrentThreadId();
        std::unique_lock lock(m_lock);
        if (m_count > 0 && m_owner == self) {
            if (m_count == UINT32_MAX) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return WAIT_FAILED;
            }
            ++m_count;
            return WAIT_OBJECT_0;
        }
        const auto isFree = [this] { return m_count == 0; };
        if (milliseconds == INFINITE)
            m_released.wait(lock, isFree);
        else if (!m_released.wait_for(lock, std::chrono::milliseconds(milliseconds), isFree))
            return WAIT_TIMEOUT;
        m_owner = self;
        m_count = 1;
        return WAIT_OBJECT_0;
    }

    bool Release()
    {
        const DWORD self = GetCurrentThreadId();
        {
            std::lock_guard lock(m_lock);
            if (m_count == 0 || m_owner != self)
                return false;
            if (--m_count > 0)
                return true;
            m_owner = 0;
        }
        m_released.notify_one();
        return true;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_released;
    DWORD m_owner;     // thread id, meaningful while m_count > 0
    uint32_t m_count;  // recursion depth of the owner
};

struct MutexRegistry {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<CRecursiveMutex>> mutexes;
    uintptr_t nextSerial = 1;
};

// Never destroyed: handles may still be closed while the module's statics are torn down.
MutexRegistry& Registry()
{
    static MutexRegistry* const registry = new MutexRegistry;
    return *registry;
}

std::shared_ptr<CRecursiveMutex> FindMutex(HANDLE handle)
{
    MutexRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    const auto found = registry.mutexes.find(uintptr_t(handle));
    return found != registry.mutexes.end() ? found->second : nullptr;
}

}  // namespace

bool VxSync_CloseMutex(HANDLE handle)
{
    std::shared_ptr<CRecursiveMutex> closed;  // destroyed outside the registry lock
    MutexRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    const auto found = registry.mutexes.find(uintptr_t(handle));
    if (found == registry.mutexes.end())
        return false;
    closed = std::move(found->second);
    registry.mutexes.erase(found);
    return true;
}

// Only unnamed mutexes: the module never shares one between processes. A thread that ends
// while it owns a mutex leaves it owned (Win32 would report it abandoned); the module never
// ends a thread inside a lock.
extern "C" HANDLE CreateMutexW(void* /*security*/, BOOL initialOwner, const char16_t* name)
{
    if (name) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    MutexRegistry& registry = Registry();
    try {
        auto mutex = std::make_shared<CRecursiveMutex>(initialOwner ? GetCurrentThreadId() : 0);
        std::lock_guard lock(registry.lock);
        const uintptr_t handle = kMutexHandleBase | registry.nextSerial++;
        registry.mutexes.emplace(handle, std::move(mutex));
        return reinterpret_cast<HANDLE>(handle);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    const std::shared_ptr<CRecursiveMutex> mutex = FindMutex(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return mutex->Wait(milliseconds);
}

extern "C" BOOL ReleaseMutex(HANDLE handle)
{
    const std::shared_ptr<CRecursiveMutex> mutex = FindMutex(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!mutex->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

extern "C" LONG InterlockedIncrement(volatile LONG* value)
{
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}

extern "C" LONG InterlockedDecrement(volatile LONG* value)
{
    return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST);
}

extern "C" LONG InterlockedExchange(volatile LONG* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

extern "C" LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;  // the value found, whether or not it was replaced
}

extern "C" LONG InterlockedExchangeAdd(volatile LONG* target, LONG value)
{
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}

extern "C" DWORD GetCurrentThreadId()
{
    static thread_local const DWORD t_id = DWORD(gettid());
    return t_id;
}

extern "C" DWORD GetCurrentProcessId()
{
    return DWORD(getpid());
}
