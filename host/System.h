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

// The system's text of one of its error numbers (a Win32 error on Windows, an errno value on
// Linux, where the module's GetLastError answers errno values).
std::string VxHostSystem_ErrorText(uint32_t error);

bool VxHostSystem_StandardErrorIsTerminal();
uint32_t VxHostSystem_ProcessId();

// A child process started with pipes to its standard input and output.
struct VxHostChild {
    void* process = nullptr;
    void* toChild = nullptr;    // writes reach the child's standard input
    void* fromChild = nullptr;  // reads come from the child's standard output
    uint32_t id = 0;
};
// Starts the program with the arguments (args[0] names it); false with a message.
bool VxHostSystem_StartChild(const std::string& program, const std::string& arguments,
                             VxHostChild& child, std::string& error);
// Closes the pipes, then waits for the child to end.
void VxHostSystem_EndChild(VxHostChild& child);
// Whole transfers over a pipe or standard stream; false when the other end is gone.
bool VxHostSystem_WriteAll(void* pipe, const void* data, size_t bytes);
bool VxHostSystem_ReadAll(void* pipe, void* data, size_t bytes);
void* VxHostSystem_StandardInput();
void* VxHostSystem_StandardOutput();
// Zeroed memory of this process that other processes may reach: ordinary memory, or (mapping)
// a view of a pagefile-backed mapping whose handle stays open for the process's life.
bool VxHostSystem_AllocateShared(bool mapping, size_t bytes, uint8_t*& data,
                                 uint64_t& mappingHandle, std::string& error);
