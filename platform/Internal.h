// Helpers the platform layer's own files share; not part of the Win32 subset.
#pragma once

#include "VxWin32.h"

#include <string>

// Closes handle when it is a live mutex handle and answers true; false for any other value.
bool VxSync_CloseMutex(HANDLE handle);

// A UTF-16 path as the UTF-8 the system takes. Backslashes are kept: they are valid in Linux
// file names. False (last error set) for a null or empty path, and for one that no file name
// can spell (an unpaired surrogate).
bool VxPath_ToUtf8(const char16_t* path, std::string* out);
