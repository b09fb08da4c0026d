// Pins the library that holds the address: FreeLibrary no longer unloads it.
#include "../VxKeepLoaded.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

void VxPlatform_KeepLoaded(const void* address)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       static_cast<const wchar_t*>(address), &module);
}
