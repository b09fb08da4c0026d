// A Win32 error number as the failure HRESULT the module returns (both platforms).
#include "VxWin32.h"

#include "../plugin/contracts/VxResults.h"

// Out-of-memory errors keep their own COM code; every other number becomes 0x8007xxxx, and
// "no error" E_FAIL, so a caller that saw a call fail never returns success.
HRESULT VxErrorHandler_TranslateWin32Error(DWORD error)
{
    if (error == ERROR_SUCCESS)
        return E_FAIL;
    if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY)
        return E_OUTOFMEMORY;
    return HRESULT(0x80070000u | (error & 0xFFFFu));
}
