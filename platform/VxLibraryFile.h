// The file name of a library the module loads from its own folder, as the system spells it:
// VX_LIBRARY_FILE("OpenExr") is u"/OpenExr.so" on Linux and u"\\OpenExr.dll" on Windows.
#pragma once

#if defined(_WIN32)
#define VX_LIBRARY_FILE(name) u"\\" name ".dll"
#else
#define VX_LIBRARY_FILE(name) u"/" name ".so"
#endif
