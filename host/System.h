// The host's few calls into the operating system, one implementation per system
// (host/posix, host/win32). Nothing here uses the module's contract types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The module's file name on this system: "vxstills.so" or "vxstills.dll".
const char* VxHostSystem_ModuleFileName();
// The directory of the running vxhost program; empty when the system does not say.
std::string VxHostSystem_ProgramDirectory();

// Loads a library with every symbol bound now; null with the system's reason.
void* VxHostSystem_LoadLibrary(const std::string& path, std::string& error);
void* VxHostSystem_Symbol(void* library, const char* name);
// The library that provides SysAllocString and its family to module and host: the module
// itself on Linux, OleAut32 on Windows. Null with a message when it cannot be loaded.
void* VxHostSystem_StringLibrary(void* module, std::string& error);

// A file opened for reading, as the module's file calls take it (a descriptor on Linux, a
// HANDLE on Windows), and its first bytes.
bool VxHostSystem_OpenRead(const std::string& path, void*& file, std::string& error);
// Up to bytes from the start of the file; -1 with a message.
int64_t VxHostSystem_ReadHead(void* file, uint8_t* buffer, size_t bytes, std::string& error);
void VxHostSystem_Close(void* file);

bool VxHostSystem_StandardErrorIsTerminal();
uint32_t VxHostSystem_ProcessId();
