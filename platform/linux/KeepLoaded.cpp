// On Linux a library's threads end outside any loader lock: unloading stays allowed.
#include "../VxKeepLoaded.h"

void VxPlatform_KeepLoaded(const void* /*address*/)
{
}
