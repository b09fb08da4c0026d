// vxhost decode: frame 0 of one stream, delivered into host memory (or a child's) through a
// memory token, then written for a person to look at, kept raw, or described.
#include "Commands.h"
#include "Errors.h"
#include "FramePreview.h"
#include "Json.h"
#include "OpenFile.h"
#include "Records.h"
#include "Text.h"
#include "TokenOwner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

enum class VxHostPictureType { None, Png, Pfm, Exr };

std::string VxHost_LowerExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string extension = path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return extension;
}

bool VxHost_PictureTypeOf(const std::string& path, VxHostPictureType& type, std::string& error)
{
    type = VxHostPictureType::None;
    if (path.empty())
        return true;
    const std::string extension = VxHost_LowerExtension(path);
    if (extension == ".png")
        return type = VxHostPictureType::Png, true;
    if (extension == ".pfm")
        return type = VxHostPictureType::Pfm, true;
    if (extension == ".exr")
        return type = VxHostPictureType::Exr, true;
    error = path + ": the output must be a .png or .pfm file (or .exr for floating-point frames)";
    return false;
}

bool VxHost_WriteRaw(const std::string& path, const uint8_t* bytes, size_t count, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = count == 0 || std::fwrite(bytes, 1, count, file) == count;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

int VxHost_RunDecode(const VxHostSession& session)
{
    const VxHostOptions& options = session.options;
    const std::string& path = options.files[0];
    std::string error;
    VxHostPictureType pictureType;
    if (!VxHost_PictureTypeOf(options.output, pictureType, error))
        return VxHost_ReportError(error);

    const VxHostPlugin* plugin = nullptr;
    CVxComPtr<IVxReadFile> file;
    VxHostFailure failure;
    if (!VxHost_OpenFile(session.manager, path, plugin, file, failure))
        return failure.Report();
    uint32_t streamCount = 0;
    if (const HRESULT hr = file->GetStreamCount(&streamCount); FAILED(hr))
        return VxHost_ReportFailure("GetStreamCount", hr);
    if (options.stream >= streamCount)
        return VxHost_ReportError(path + ": there is no stream " + std::to_string(options.stream) +
                                  " (the file has " + std::to_string(streamCount) + ")");
    CVxComPtr<IVxReadVideoStream> stream;
    if (!VxHost_GetVideoStream(file.Get(), options.stream, stream, failure))
        return failure.Report();

    // Frame 0, no request flags: the size first, then memory of that size, then the frame.
    uint32_t flags = 0;
    uint32_t bufferBytes = 0;
    if (const HRESULT hr = stream->GetFrameBufferSize(0, 0, &flags, &bufferBytes); FAILED(hr))
        return VxHost_ReportFailure("GetFrameBufferSize", hr);
    std::unique_ptr<CVxHostTokenOwner> token =
        CVxHostTokenOwner::Create(options.token, bufferBytes, error);
    if (!token)
        return VxHost_ReportError(error);
    VXFRAMEINFO record = {};
    uint32_t delivered = 0;
    flags = 0;
    if (const HRESULT hr = stream->GetFrame(0, 0, &flags, token->Token(), &record, &delivered);
        FAILED(hr))
        return VxHost_ReportFailure("GetFrame", hr);
    if (delivered > bufferBytes)
        return VxHost_ReportError("GetFrame reports " + std::to_string(delivered) +
                                  " bytes delivered into a buffer of " +
                                  std::to_string(bufferBytes));
    std::vector<uint8_t> bytes;
    if (!token->ReadBack(bytes, error))
        return VxHost_ReportError(error);
    file->Close();

    if (!options.raw.empty() && !VxHost_WriteRaw(options.raw, bytes.data(), delivered, error))
        return VxHost_ReportError(error);
    if (pictureType == VxHostPictureType::Png) {
        // Floating-point frames hold linear light of any brightness: tone-mapped for the eye.
        VxHostRgbaImage image;
        if (!VxHost_ToneMapFloatFrame(record, bytes.data(), delivered, error) ||
            !VxHost_FrameToRgba(record, bytes.data(), delivered, image, error) ||
            !VxHost_WritePng(options.output, image, error))
            return VxHost_ReportError(path + ": " + error);
    } else if (pictureType == VxHostPictureType::Pfm) {
        if (!VxHost_WritePfm(options.output, record, bytes.data(), delivered, error))
            return VxHost_ReportError(path + ": " + error);
    } else if (pictureType == VxHostPictureType::Exr) {
        if (!VxHost_WriteExr(options.output, record, bytes.data(), delivered, error))
            return VxHost_ReportError(path + ": " + error);
    }

    if (options.json) {
        CVxHostJson json;
        json.BeginObject();
        json.Field("file", path);
        json.Field("plugin", plugin->name);
        json.Field("stream", options.stream);
        json.Field("token", VxHost_TokenPlaceName(options.token));
        json.Field("bufferBytes", bufferBytes);
        json.Field("deliveredBytes", delivered);
        json.Key("frame");
        VxHost_WriteFrameJson(json, record);
        json.EndObject();
        std::fputs(json.Text().c_str(), stdout);
    } else {
        std::printf("%s: stream %u: %s, stride %d, %u bytes delivered (%s token)%s%s\n",
                    path.c_str(), unsigned(options.stream), VxHost_HeaderText(record.header).c_str(),
                    int(record.stride), unsigned(delivered), VxHost_TokenPlaceName(options.token),
                    options.output.empty() ? "" : " -> ", options.output.c_str());
    }
    return 0;
}
