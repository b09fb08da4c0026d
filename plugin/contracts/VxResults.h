// Result codes of the module and their message texts (the texts hosts show to a person).
#pragma once

#include "VxTypes.h"

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110u);
constexpr HRESULT VXE_LOW_RESOURCES = HRESULT(0x8004E003u);
constexpr HRESULT VXE_FILE_OPEN = HRESULT(0x8004E007u);
constexpr HRESULT VXE_FILE_READ = HRESULT(0x8004E008u);
constexpr HRESULT VXE_FILE_WRITE = HRESULT(0x8004E009u);
constexpr HRESULT VXE_NOT_FOUND = HRESULT(0x8004E00Au);
constexpr HRESULT VXE_CORRUPT = HRESULT(0x8004E00Bu);
constexpr HRESULT VXE_UNSUPPORTED_FORMAT = HRESULT(0x8004E016u);
constexpr HRESULT VXE_BUFFER_TOO_SMALL = HRESULT(0x8004E03Cu);
constexpr HRESULT VXE_LAYERS_UNSUPPORTED = HRESULT(0x8004E0C1u);
constexpr HRESULT VXE_SUMMARY_ITEM_MISSING = HRESULT(0x8004E1FEu);
constexpr HRESULT VXE_END_OF_FILE = HRESULT(0x800A0026u);

struct VxResultInfo {
    HRESULT code;
    const char* name;
    const char* message;  // null where the module's message table has no text
};

inline constexpr VxResultInfo kVxResults[] = {
    {S_OK, "S_OK", nullptr},
    {S_FALSE, "S_FALSE", nullptr},
    {E_NOTIMPL, "E_NOTIMPL", "A necessary function has not been implemented."},
    {E_NOINTERFACE, "E_NOINTERFACE",
     "A necessary COM interface was not available.  You may need to reboot your computer."},
    {E_POINTER, "E_POINTER", "An invalid pointer was specified."},
    {E_FAIL, "E_FAIL", "The reason for the error could not be determined."},
    {E_UNEXPECTED, "E_UNEXPECTED", "An unexpected error has occurred."},
    {E_INVALIDARG, "E_INVALIDARG", "An invalid argument was specified."},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY",
     "The system is low on memory. You may be able to reduce memory usage by closing other "
     "applications."},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION", nullptr},
    {VXE_LOW_RESOURCES, "VXE_LOW_RESOURCES",
     "Application resources are low. You may regain resources by closing some applications."},
    {VXE_FILE_OPEN, "VXE_FILE_OPEN",
     "The file could not be opened. Make sure the file exists and that you have access to the "
     "file/folder."},
    {VXE_FILE_READ, "VXE_FILE_READ",
     "An error occurred reading the file. Make sure you have read access to the file/folder and "
     "that it is not corrupted."},
    {VXE_FILE_WRITE, "VXE_FILE_WRITE",
     "An error occurred writing the file. Make sure you have write access to the file/folder and "
     "that there is enough free space."},
    {VXE_NOT_FOUND, "VXE_NOT_FOUND", "The item was not found."},
    {VXE_CORRUPT, "VXE_CORRUPT", "The file is most likely corrupted or of an unknown format."},
    {VXE_UNSUPPORTED_FORMAT, "VXE_UNSUPPORTED_FORMAT", "The file is an unsupported format."},
    {VXE_BUFFER_TOO_SMALL, "VXE_BUFFER_TOO_SMALL", "Buffer to small."},
    {VXE_LAYERS_UNSUPPORTED, "VXE_LAYERS_UNSUPPORTED", nullptr},
    {VXE_SUMMARY_ITEM_MISSING, "VXE_SUMMARY_ITEM_MISSING", nullptr},
    {VXE_END_OF_FILE, "VXE_END_OF_FILE", "End of File is not an error."},
};

inline const VxResultInfo* VxResult_Find(HRESULT code)
{
    for (const VxResultInfo& info : kVxResults)
        if (info.code == code)
            return &info;
    return nullptr;
}

// The message table shows each text after two line breaks, except the end-of-file text.
// This returns the text without them; codes the table has no text for give their name, and
// unknown codes give null.
inline const char* VxResult_Text(HRESULT code)
{
    const VxResultInfo* info = VxResult_Find(code);
    if (!info)
        return nullptr;
    return info->message ? info->message : info->name;
}
