// Move-only owners of what the platform layer hands out: handles, held mutexes, global
// memory blocks. Each gives its resource back on every path.
#pragma once

#include "VxWin32.h"

#include <utility>

// A file, mapping, process or mutex handle. Null and INVALID_HANDLE_VALUE both mean "none".
class CVxHandle {
public:
    CVxHandle() = default;
    explicit CVxHandle(HANDLE handle) : m_handle(handle) {}
    CVxHandle(CVxHandle&& other) noexcept : m_handle(other.Detach()) {}
    CVxHandle& operator=(CVxHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    CVxHandle(const CVxHandle&) = delete;
    CVxHandle& operator=(const CVxHandle&) = delete;
    ~CVxHandle() { Reset(); }

    static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return IsValid(m_handle); }
    HANDLE Get() const { return m_handle; }
    HANDLE Detach() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (IsValid(m_handle))
            CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Holds a Win32 mutex for one scope: WaitForSingleObject(INFINITE) ... ReleaseMutex.
// A null mutex is not waited for; Locked() tells whether the wait succeeded.
class CVxMutexLock {
public:
    explicit CVxMutexLock(HANDLE mutex)
        : m_mutex(mutex != nullptr && WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0 ? mutex
                                                                                           : nullptr)
    {
    }
    CVxMutexLock(const CVxMutexLock&) = delete;
    CVxMutexLock& operator=(const CVxMutexLock&) = delete;
    ~CVxMutexLock() { Unlock(); }

    bool Locked() const { return m_mutex != nullptr; }
    void Unlock()
    {
        if (m_mutex)
            ReleaseMutex(std::exchange(m_mutex, nullptr));
    }

private:
    HANDLE m_mutex;
};

// Zero-filled global memory: GlobalAlloc(GMEM_ZEROINIT) and GlobalLock; freed with
// GlobalUnlock(GlobalHandle(p)) and GlobalFree(GlobalHandle(p)).
inline void* VxGlobal_Alloc(size_t bytes)
{
    HGLOBAL block = GlobalAlloc(GPTR, bytes);
    return block ? GlobalLock(block) : nullptr;
}

inline void VxGlobal_Free(void* pointer)
{
    if (!pointer)
        return;
    HGLOBAL block = GlobalHandle(pointer);
    GlobalUnlock(block);
    GlobalFree(block);
}

class CVxGlobalBlock {
public:
    CVxGlobalBlock() = default;
    explicit CVxGlobalBlock(size_t bytes) : m_data(VxGlobal_Alloc(bytes)), m_size(m_data ? bytes : 0) {}
    CVxGlobalBlock(CVxGlobalBlock&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
    {
    }
    CVxGlobalBlock& operator=(CVxGlobalBlock&& other) noexcept
    {
        if (this != &other) {
            VxGlobal_Free(m_data);
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
        }
        return *this;
    }
    CVxGlobalBlock(const CVxGlobalBlock&) = delete;
    CVxGlobalBlock& operator=(const CVxGlobalBlock&) = delete;
    ~CVxGlobalBlock() { VxGlobal_Free(m_data); }

    explicit operator bool() const { return m_data != nullptr; }
    uint8_t* Bytes() const { return static_cast<uint8_t*>(m_data); }
    void* Get() const { return m_data; }
    size_t Size() const { return m_size; }
    void* Detach()
    {
        m_size = 0;
        return std::exchange(m_data, nullptr);
    }

private:
    void* m_data = nullptr;
    size_t m_size = 0;
};
