#include "platform/VxOwners.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <climits>
#include <future>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// Runs f on another thread and returns its result.
template <class F>
auto OnOtherThread(F f)
{
    return std::async(std::launch::async, f).get();
}

// A mutex made owned: its owner takes it again and must release it as often; no other thread
// can take or release it meanwhile.
TEST(Mutex, IsReentrantAndOnlyItsOwnerReleasesIt)
{
    CVxHandle mutex(CreateMutexW(nullptr, TRUE, nullptr));
    ASSERT_TRUE(mutex);
    EXPECT_EQ(WaitForSingleObject(mutex.Get(), INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    const auto [taken, released, error] = OnOtherThread([&] {
        const DWORD wait = WaitForSingleObject(mutex.Get(), 0);
        const BOOL ok = ReleaseMutex(mutex.Get());
        return std::tuple(wait, ok, GetLastError());
    });
    EXPECT_EQ(taken, WAIT_TIMEOUT);  // still held once
    EXPECT_FALSE(released);
    EXPECT_EQ(error, ERROR_NOT_OWNER);
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex.Get()));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    EXPECT_EQ(OnOtherThread([&] {
                  const DWORD result = WaitForSingleObject(mutex.Get(), 0);
                  ReleaseMutex(mutex.Get());
                  return result;
              }),
              WAIT_OBJECT_0);
}

TEST(Mutex, ThreadsWaitUntilTheOwnerReleasesFully)
{
    CVxHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    ASSERT_EQ(WaitForSingleObject(mutex.Get(), INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(mutex.Get(), INFINITE), WAIT_OBJECT_0);

    std::atomic<bool> acquired = false;
    std::promise<void> started;
    std::thread waiter([&] {
        started.set_value();
        EXPECT_EQ(WaitForSingleObject(mutex.Get(), INFINITE), WAIT_OBJECT_0);
        acquired = true;
        EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    });
    started.get_future().wait();
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    // Held once more: the waiter must still be blocked, and a timed wait elsewhere times out.
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex.Get(), 10); }), WAIT_TIMEOUT);
    EXPECT_FALSE(acquired);
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    waiter.join();
    EXPECT_TRUE(acquired);
    EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
}

// Threads counting under the lock, and with the interlocked calls outside it, lose no update.
TEST(Mutex, ScopedLockAndInterlockedCallsCountAcrossThreads)
{
    CVxHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    int counter = 0;
    volatile LONG count = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                InterlockedIncrement(&count);
                InterlockedExchangeAdd(&count, 2);
                InterlockedDecrement(&count);
                CVxMutexLock outer(mutex.Get());
                CVxMutexLock inner(mutex.Get());  // the lock order takes it again
                ASSERT_TRUE(inner.Locked());
                ++counter;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(counter, 8000);
    EXPECT_EQ(count, 16000);
}

TEST(Mutex, UnknownAndClosedHandlesFailCleanly)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(mutex));
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_FALSE(CloseHandle(mutex));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // Neither a descriptor nor a mutex.
    const auto madeUp = reinterpret_cast<HANDLE>(uintptr_t(0x7F0012345678));
    EXPECT_FALSE(CloseHandle(madeUp));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);

    // A descriptor is not a waitable object here.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(intptr_t(pipeEnds[0])), 0), WAIT_FAILED);
    EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(intptr_t(pipeEnds[0]))));
    EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(intptr_t(pipeEnds[1]))));

    // Named mutexes are not offered.
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"shared"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST(Interlocked, ReturnsTheWin32Values)
{
    volatile LONG value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&value, 10), 5);  // the value before
    EXPECT_EQ(value, 15);
    EXPECT_EQ(InterlockedExchange(&value, 3), 15);
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 4), 3);  // no match: unchanged
    EXPECT_EQ(value, 3);
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 3), 3);
    EXPECT_EQ(value, 9);
    value = INT_MAX;
    EXPECT_EQ(InterlockedIncrement(&value), INT_MIN);  // wraps like the Win32 call
}

}  // namespace
