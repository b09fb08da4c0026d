#include "VxFault.h"

#include <atomic>

namespace {

std::atomic<uint64_t> g_failAt{0};
std::atomic<uint64_t> g_count{0};

}  // namespace

void VxFault_FailAllocation(uint64_t nth)
{
    g_failAt.store(0);
    g_count.store(0);
    g_failAt.store(nth);
}

uint64_t VxFault_AllocationCount()
{
    return g_count.load();
}

bool VxFault_AllocationFails()
{
    const uint64_t failAt = g_failAt.load(std::memory_order_relaxed);
    return failAt != 0 && g_count.fetch_add(1) + 1 == failAt;
}
