// Module entry: the exported class-object entry points.
#include "contracts/VxExports.h"

extern "C" VX_EXPORT HRESULT VXAPI DllCanUnloadNow()
{
    return S_FALSE;  // the module never asks to be unloaded
}
