// Module-wide state: set on process attach, cleared on detach (ModuleEntry.cpp).
#pragma once

#include "contracts/VxInterfaces.h"

#include <string>

struct VXLANG;  // the module's string-language handle (Language.h)

// The handle the module was attached with (its load base on Linux); null after detach.
HINSTANCE VxModule_Instance();
// The module-wide frame buffer pool; null when it could not be made (opening files then fails).
IVxBufferPool* VxModule_Pool();
// The module's string language; null when it could not be opened (texts are then empty).
VXLANG* VxModule_Language();
// The full path of the module file, and its directory without a trailing separator.
std::u16string VxModule_Path();
std::u16string VxModule_Directory();
