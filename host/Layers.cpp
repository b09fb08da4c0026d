// vxhost layers: every layer of a layered file through the stream's layer interface
// (LockLayerFrame, UnlockLayerFrame), one PNG per layer named by index and layer name, plus
// the composite (frame 0 of stream 0) as composite.png.
#include "Commands.h"
#include "Errors.h"
#include "FramePreview.h"
#include "OpenFile.h"
#include "Text.h"
#include "TokenOwner.h"


#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// A layer name as part of a file name: letters, digits, '-' and '_' kept, the rest '_'.
std::string VxHost_FileNamePart(const std::string& name)
{
    std::string part;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_';
        part += plain ? c : '_';
    }
    return part.substr(0, 64);
}

bool VxHost_MakeDirectory(const std::string& path, std::string& error)
{
    std::error_code code;
    std::filesystem::create_directory(std::filesystem::u8path(path), code);  // an existing one is fine
    if (!code)
        return true;
    error = "cannot make " + path + ": " + code.message();
    return false;
}

// Frame 0 of the stream into host memory, as a picture.
bool VxHost_WriteComposite(const VxHostSession& session, IVxReadVideoStream* stream, const std::string& path,
                           VxHostFailure& failure)
{
    uint32_t flags = 0;
    uint32_t bytes = 0;
    if (const HRESULT hr = stream->GetFrameBufferSize(0, 0, &flags, &bytes); FAILED(hr))
        return failure = VxHostFailure::Call("GetFrameBufferSize", hr), false;
    std::string error;
    std::unique_ptr<CVxHostTokenOwner> token = CVxHostTokenOwner::Create(session.options.token, bytes, error);
    if (!token)
        return failure = VxHostFailure::Message(error), false;
    VXFRAMEINFO record = {};
    uint32_t delivered = 0;
    if (const HRESULT hr = stream->GetFrame(0, 0, &flags, token->Token(), &record, &delivered); FAILED(hr))
        return failure = VxHostFailure::Call("GetFrame", hr), false;
    std::vector<uint8_t> pixels;
    VxHostRgbaImage image;
    if (!token->ReadBack(pixels, error) || !VxHost_FrameToRgba(record, pixels.data(), delivered, image, error) ||
        !VxHost_WritePng(path, image, error))
        return failure = VxHostFailure::Message(error), false;
    return true;
}

// One locked layer as a picture: canvas-sized B, G, R, A pixels of 8 or 16 bits per sample,
// bottom row first, described by the stream's header.
bool VxHost_WriteLayer(IVxReadLayer* layers, uint32_t index, const std::string& path, VxHostFailure& failure)
{
    void* pixels = nullptr;
    uint32_t reserved = 0;
    BITMAPINFOHEADER* header = nullptr;
    tVXVIDEOEXTENSION* extension = nullptr;
    uint64_t frameTime = 0;
    if (const HRESULT hr = layers->LockLayerFrame(index, 0, 0, &pixels, &reserved, &header, &extension,
                                                  &frameTime, 0, 0);
        FAILED(hr))
        return failure = VxHostFailure::Call("LockLayerFrame", hr), false;
    VXFRAMEINFO record = {};
    bool ok = pixels && header && header->biWidth > 0 && header->biHeight > 0;
    if (ok) {
        record.header = *header;
        record.header.biBitCount = header->biBitCount == 64 ? 64 : 32;
        record.header.biCompression = kVxCompressionDeepBgra;
        record.stride = header->biWidth * (record.header.biBitCount / 8);
        record.imageBytes = uint32_t(record.stride) * uint32_t(header->biHeight);
    }
    std::string error = "LockLayerFrame gave no frame";
    VxHostRgbaImage image;
    ok = ok && VxHost_FrameToRgba(record, static_cast<const uint8_t*>(pixels), record.imageBytes, image, error) &&
         VxHost_WritePng(path, image, error);
    layers->UnlockLayerFrame(pixels);
    if (!ok)
        failure = VxHostFailure::Message(error);
    return ok;
}

}  // namespace

int VxHost_RunLayers(const VxHostSession& session)
{
    const std::string& path = session.options.files[0];
    const std::string& directory = session.options.output;
    std::string error;
    if (!VxHost_MakeDirectory(directory, error))
        return VxHost_ReportError(error);

    const VxHostPlugin* plugin = nullptr;
    CVxComPtr<IVxReadFile> file;
    VxHostFailure failure;
    CVxComPtr<IVxReadVideoStream> stream;
    if (!VxHost_OpenFile(session.manager, path, plugin, file, failure) ||
        !VxHost_GetVideoStream(file.Get(), 0, stream, failure))
        return failure.Report();
    CVxComPtr<IVxReadLayer> layers;
    if (const HRESULT hr = stream.As(layers); FAILED(hr))
        return VxHost_ReportFailure("QueryInterface(IVxReadLayer)", hr);
    uint32_t count = 0;
    if (const HRESULT hr = layers->GetLayerCount(&count); FAILED(hr))
        return VxHost_ReportFailure("GetLayerCount", hr);
    count &= 0xFFFF;

    const std::string composite = directory + "/composite.png";
    if (!VxHost_WriteComposite(session, stream.Get(), composite, failure))
        return failure.Report();
    std::printf("%s: composite -> %s\n", path.c_str(), composite.c_str());
    int status = 0;
    for (uint32_t index = 1; index <= count; ++index) {
        char16_t name[260] = {};
        layers->GetLayerInfo(index, name, sizeof(name), kVxLayerInfoName);
        int32_t rectangle[4] = {};
        layers->GetLayerInfo(index, rectangle, sizeof(rectangle), kVxLayerInfoRect);
        const std::string text = VxHost_BufferToUtf8(name, 260);
        char prefix[16];
        std::snprintf(prefix, sizeof(prefix), "layer-%03u", unsigned(index));
        const std::string picture = directory + "/" + prefix + (text.empty() ? "" : "-" + VxHost_FileNamePart(text)) + ".png";
        if (!VxHost_WriteLayer(layers.Get(), index, picture, failure)) {
            std::fprintf(stderr, "layer %u: ", unsigned(index));
            failure.Report();
            status = 1;
            continue;
        }
        std::printf("%s: layer %u \"%s\" (%d, %d)-(%d, %d) -> %s\n", path.c_str(), unsigned(index), text.c_str(),
                    int(rectangle[0]), int(rectangle[1]), int(rectangle[2]), int(rectangle[3]), picture.c_str());
    }
    file->Close();
    return status;
}
