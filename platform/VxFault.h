// A test-only fault switch of the platform layer. Every allocation the module makes through
// the platform (global memory and so every COM object, BSTRs, list heap items, the language
// handle) asks VxFault_AllocationFails first; while a number N is armed, the Nth allocation
// after arming fails as if memory were out, once. Tests run a path for N = 1, 2, ... until
// it completes without reaching N, so every allocation on the path fails once. Disarmed, the
// check is one relaxed load.
#pragma once

#include <cstdint>

void VxFault_FailAllocation(uint64_t nth);  // 0 disarms; the count restarts at 0
uint64_t VxFault_AllocationCount();         // allocations since the last arming, while armed
bool VxFault_AllocationFails();
