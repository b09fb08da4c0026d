// Slots the reader and the renderer objects answer alike: a class object's link to the host
// (its class index and the host's file I/O manager), and an open file's name.
#pragma once

#include "../plugin/contracts/VxInterfaces.h"
#include "../plugin/contracts/VxResults.h"

// A class object's link to the host. The owning class forwards its four slots here.
struct VxFileClassLink {
    explicit VxFileClassLink(uint32_t initialClassIndex) : classIndex(initialClassIndex) {}

    HRESULT SetClassIndex(uint32_t value);
    HRESULT GetClassIndex(uint32_t* value) const;
    // Keeps the manager and switches the module to the user's language the manager reports.
    HRESULT SetFileIOManager(IUnknown* value);
    // The manager with a reference added; E_NOINTERFACE (and null) before the host set one.
    HRESULT GetFileIOManager(IUnknown** value) const;

    IUnknown* manager = nullptr;  // no reference: the host outlives its class objects
    uint32_t classIndex;
};

// SetFileName and GetFileName of an open file whose name lives in `name` of `nameChars`
// characters (terminator included): the path is kept truncated to fit, and a buffer of fewer
// than one character is answered S_OK with nothing written.
HRESULT VxFile_SetFileName(char16_t* name, int32_t nameChars, const char16_t* path);
HRESULT VxFile_GetFileName(const char16_t* name, char16_t* buf, int32_t bufChars);
