// Opening an image file as the host does: the plug-in whose reader class claims the file's first
// bytes (CheckFileHeader, in plug-in table order), then OpenReadFile and Open.
#pragma once

#include "FileIOManager.h"
#include "Json.h"

#include <string>

// What went wrong: a failed call (method and result code) or a message of the host's own.
struct VxHostFailure {
    std::string method;   // empty for the host's own messages
    HRESULT result = S_OK;
    std::string message;  // the host's own message, when method is empty

    bool Failed() const { return !method.empty() || !message.empty(); }
    // Prints the report on standard error ("Method: 0x...: text", or "vxhost: message") and
    // answers the exit status 1.
    int Report() const;
    // {"method": ..., "code": "0x8004E008", "message": ...}
    void WriteJson(CVxHostJson& json) const;
    static VxHostFailure Call(const char* method, HRESULT result) { return {method, result, {}}; }
    static VxHostFailure Message(std::string message) { return {{}, S_OK, std::move(message)}; }
};

// Longest path the module keeps (its file names hold 260 characters with the terminator).
constexpr size_t kVxHostMaxPathChars = 259;

// The first reader whose extension list names the file's extension and that opens it; null
// when none does. Says on standard error which reader it used.
const VxHostPlugin* VxHost_ClaimByExtension(const CVxHostFileIOManager& manager, const std::string& path);
// The plug-in whose reader claims the file (by its header, else by its extension); false with
// the failure when none does.
bool VxHost_ClaimFile(const CVxHostFileIOManager& manager, const std::string& path,
                      const VxHostPlugin*& plugin, VxHostFailure& failure);

// Claims and opens the file.
bool VxHost_OpenFile(const CVxHostFileIOManager& manager, const std::string& path,
                     const VxHostPlugin*& plugin, CVxComPtr<IVxReadFile>& file,
                     VxHostFailure& failure);

// Stream index of the file as a video stream.
bool VxHost_GetVideoStream(IVxReadFile* file, uint32_t index, CVxComPtr<IVxReadVideoStream>& stream,
                           VxHostFailure& failure);
