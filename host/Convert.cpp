// vxhost convert: decodes IN through its reader, writes OUT with the host's own encoder for
// OUT's extension, then hands IN's metadata object to the render file of OUT's format, whose
// WriteMeta puts IN's metadata beside OUT.
#include "Commands.h"
#include "Encoders.h"
#include "Errors.h"
#include "HostMeta.h"
#include "OpenFile.h"
#include "Records.h"
#include "Text.h"
#include "TokenOwner.h"

#include <cstdio>
#include <filesystem>

namespace {

// Frame 0 of stream 0 as a top-row-first RGBA picture.
bool VxHost_DecodePicture(const VxHostSession& session, IVxReadFile* file, VxHostRgbaImage& image,
                          VXFRAMEINFO& record, VxHostFailure& failure)
{
    CVxComPtr<IVxReadVideoStream> stream;
    if (!VxHost_GetVideoStream(file, 0, stream, failure))
        return false;
    uint32_t flags = 0;
    uint32_t bufferBytes = 0;
    if (const HRESULT hr = stream->GetFrameBufferSize(0, 0, &flags, &bufferBytes); FAILED(hr))
        return failure = VxHostFailure::Call("GetFrameBufferSize", hr), false;
    std::string error;
    std::unique_ptr<CVxHostTokenOwner> token =
        CVxHostTokenOwner::Create(session.options.token, bufferBytes, error);
    if (!token)
        return failure = VxHostFailure::Message(error), false;
    uint32_t delivered = 0;
    flags = 0;
    if (const HRESULT hr = stream->GetFrame(0, 0, &flags, token->Token(), &record, &delivered); FAILED(hr))
        return failure = VxHostFailure::Call("GetFrame", hr), false;
    std::vector<uint8_t> bytes;
    if (delivered > bufferBytes || !token->ReadBack(bytes, error) ||
        !VxHost_FrameToRgba(record, bytes.data(), std::min<size_t>(delivered, bytes.size()), image, error))
        return failure = VxHostFailure::Message(error.empty() ? "GetFrame delivered more than it was given" : error), false;
    return true;
}

const VxHostPlugin* VxHost_PluginOf(const CVxHostFileIOManager& manager, const GUID& clsid)
{
    for (const VxHostPlugin& plugin : manager.Plugins())
        if (plugin.clsid == clsid)
            return &plugin;
    return nullptr;
}

}  // namespace

int VxHost_RunConvert(const VxHostSession& session)
{
    namespace fs = std::filesystem;
    const std::string& in = session.options.files[0];
    const std::string& out = session.options.files[1];
    const VxHostEncoder* encoder = VxHost_EncoderFor(out);
    if (!encoder)
        return VxHost_ReportError(out + ": the host writes only " + VxHost_EncoderExtensions() + " files");
    std::error_code ignored;
    if (fs::equivalent(in, out, ignored))
        return VxHost_ReportError(out + ": the output would overwrite the input");
    if (VxHost_ToUtf16(out).size() > kVxHostMaxPathChars)
        return VxHost_ReportError(out + ": the path is longer than " +
                                  std::to_string(kVxHostMaxPathChars) + " characters");
    const VxHostPlugin* target = VxHost_PluginOf(session.manager, *encoder->plugin);
    if (!target || !target->renderer)
        return VxHost_ReportFailure("CreateInstance(IVxRenderFileClass)",
                                    target ? target->rendererResult : E_NOINTERFACE);

    const VxHostPlugin* source = nullptr;
    CVxComPtr<IVxReadFile> file;
    VxHostFailure failure;
    VxHostRgbaImage image;
    VXFRAMEINFO record = {};
    if (!VxHost_OpenFile(session.manager, in, source, file, failure) ||
        !VxHost_DecodePicture(session, file.Get(), image, record, failure))
        return failure.Report();

    // The picture goes to a temporary name beside OUT and takes OUT's name only when complete,
    // so a failed encode leaves no partial file and an old OUT intact.
    const std::string temporary = out + ".vxhost-tmp";
    std::string error;
    if (!encoder->encode(temporary, image, error)) {
        fs::remove(temporary, ignored);
        return VxHost_ReportError(error);
    }
    fs::rename(temporary, out, ignored);
    if (ignored) {
        fs::remove(temporary, ignored);
        return VxHost_ReportError("cannot write " + out);
    }

    CVxComPtr<IVxReadMeta> meta;
    if (const HRESULT hr = file->GetReadMeta(&meta); FAILED(hr) || !meta)
        return VxHost_ReportFailure("GetReadMeta", FAILED(hr) ? hr : E_POINTER);
    const char* method = nullptr;
    if (const HRESULT hr = VxHost_WriteMetaBeside(target->renderer.Get(), out, meta.Get(), file.Get(), method);
        FAILED(hr))
        return VxHost_ReportFailure(method, hr);
    meta.Reset();
    file->Close();
    std::printf("%s -> %s: %s, %u x %u, metadata handed to the %s render file\n", in.c_str(),
                out.c_str(), encoder->name, unsigned(image.width), unsigned(image.height),
                target->name.c_str());
    return 0;
}
