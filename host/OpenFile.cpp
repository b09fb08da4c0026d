// Claiming and opening image files.
#include "OpenFile.h"

#include "Errors.h"
#include "System.h"
#include "Text.h"

#include <cctype>
#include <cstdio>

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

namespace {

// Whether an extension list of "*.ext" patterns separated by ";" (spaces allowed) names the
// extension of path, ignoring case.
bool ListsExtension(const std::string& patterns, const std::string& path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    auto lower = [](std::string text) {
        for (char& c : text)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    const std::string extension = lower(path.substr(dot));
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(';', start);
        if (end == std::string::npos)
            end = patterns.size();
        std::string pattern = patterns.substr(start, end - start);
        pattern.erase(0, pattern.find_first_not_of(' '));
        pattern.erase(pattern.find_last_not_of(' ') + 1);
        if (pattern.size() > 1 && pattern[0] == '*' && lower(pattern.substr(1)) == extension)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

// Some files a reader opens are not claimed by its strict header check: as editors do, try
// the readers whose extension list (info text 4) names the file's extension, and say so.
const VxHostPlugin* VxHost_ClaimByExtension(const CVxHostFileIOManager& manager, const std::string& path)
{
    const std::u16string widePath = VxHost_ToUtf16(path);
    for (const VxHostPlugin& candidate : manager.Plugins()) {
        if (!candidate.reader)
            continue;
        const uint32_t id = 4;
        BSTR text = nullptr;
        candidate.reader->GetInfoText(&id, 1, &text);
        const std::string patterns =
            text ? VxHost_ToUtf8(std::u16string_view(text, manager.Module().StringLength(text))) : "";
        manager.Module().FreeString(text);
        if (!ListsExtension(patterns, path))
            continue;
        // Readers that read their header on first need open any file: asking the stream count
        // makes them read it.
        CVxComPtr<IVxReadFile> file;
        uint32_t streams = 0;
        if (SUCCEEDED(candidate.reader->OpenReadFile(&file, 0, 0, widePath.c_str(), TRUE)) && file &&
            SUCCEEDED(file->GetStreamCount(&streams))) {
            std::fprintf(stderr, "vxhost: no reader claims %s by its header; opened with %s by its extension\n",
                         path.c_str(), candidate.name.c_str());
            return &candidate;
        }
    }
    return nullptr;
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
    if (!plugin)
        plugin = VxHost_ClaimByExtension(manager, path);
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
