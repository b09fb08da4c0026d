// Claiming and opening image files.
#include "OpenFile.h"

#include "Errors.h"
#include "System.h"
#include "Text.h"

int VxHostFailure::Report() const
{
    if (!method.empty())
        return VxHost_ReportFailure(method.c_str(), result);
    return VxHost_ReportError(message);
}

void VxHostFailure::WriteJson(CVxHostJson& json) const
{
    json.BeginObject();
    if (!method.empty()) {
        json.Field("method", method);
        json.Field("code", VxHost_HexText(uint32_t(result)));
        json.Field("message", VxHost_ResultText(result));
    } else {
        json.Field("message", message);
    }
    json.EndObject();
}

bool VxHost_ClaimFile(const CVxHostFileIOManager& manager, const std::string& path,
                      const VxHostPlugin*& plugin, VxHostFailure& failure)
{
    plugin = nullptr;
    void* file = nullptr;
    std::string reason;
    if (!VxHostSystem_OpenRead(path, file, reason)) {
        failure = VxHostFailure::Message(path + ": " + reason);
        return false;
    }
    // The host offers the first 4096 bytes, and the file itself for formats that look further.
    constexpr size_t kHeadBytes = 4096;
    uint8_t head[kHeadBytes];
    const int64_t count = VxHostSystem_ReadHead(file, head, sizeof head, reason);
    if (count < 0) {
        failure = VxHostFailure::Message(path + ": " + reason);
        VxHostSystem_Close(file);
        return false;
    }
    const HANDLE handle = file;
    bool anyReader = false;
    for (const VxHostPlugin& candidate : manager.Plugins()) {
        if (!candidate.reader)
            continue;
        anyReader = true;
        if (candidate.reader->CheckFileHeader(handle, head, uint32_t(count), 0) == S_OK) {
            plugin = &candidate;
            break;
        }
    }
    VxHostSystem_Close(file);
    if (!plugin) {
        failure = VxHostFailure::Message(
            path + ": no plug-in recognises this file" +
            (anyReader ? "" : " (the module offers no reader class)"));
        return false;
    }
    return true;
}

bool VxHost_OpenFile(const CVxHostFileIOManager& manager, const std::string& path,
                     const VxHostPlugin*& plugin, CVxComPtr<IVxReadFile>& file,
                     VxHostFailure& failure)
{
    const std::u16string widePath = VxHost_ToUtf16(path);
    if (widePath.size() > kVxHostMaxPathChars) {
        failure = VxHostFailure::Message(path + ": the path is longer than " +
                                         std::to_string(kVxHostMaxPathChars) + " characters");
        return false;
    }
    if (!VxHost_ClaimFile(manager, path, plugin, failure))
        return false;
    // Made first and opened separately, so that a failure names the step that failed.
    HRESULT hr = plugin->reader->OpenReadFile(&file, 0, 0, widePath.c_str(), FALSE);
    if (FAILED(hr) || !file) {
        failure = VxHostFailure::Call("OpenReadFile", FAILED(hr) ? hr : E_POINTER);
        return false;
    }
    hr = file->Open(0, 32);
    if (FAILED(hr)) {
        failure = VxHostFailure::Call("Open", hr);
        return false;
    }
    return true;
}

bool VxHost_GetVideoStream(IVxReadFile* file, uint32_t index, CVxComPtr<IVxReadVideoStream>& stream,
                           VxHostFailure& failure)
{
    CVxComPtr<IVxReadStream> plain;
    constexpr int32_t kByIndex = -1;
    HRESULT hr = file->GetStream(&plain, kByIndex, int32_t(index), 0, 0);
    if (FAILED(hr) || !plain) {
        failure = VxHostFailure::Call("GetStream", FAILED(hr) ? hr : E_POINTER);
        return false;
    }
    hr = plain.As(stream);
    if (FAILED(hr)) {
        failure = VxHostFailure::Call("QueryInterface", hr);
        return false;
    }
    return true;
}
