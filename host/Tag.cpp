// vxhost tag: writes summary fields beside a file through its format's render file. The
// fields the file already carries (and its media-manager properties) are kept; a field given
// again is replaced, and one given with an empty text is removed.
#include "Commands.h"
#include "Errors.h"
#include "HostMeta.h"
#include "OpenFile.h"
#include "Text.h"

#include <cstdio>

namespace {

// CODE=TEXT with a four-character code of printable ASCII.
bool VxHost_ParseField(const std::string& argument, uint32_t& code, std::u16string& text)
{
    const size_t equals = argument.find('=');
    if (equals != 4)
        return false;
    code = 0;
    for (size_t i = 0; i < 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(argument[i]);
        if (c < 0x20 || c > 0x7E)
            return false;
        code |= uint32_t(c) << (8 * i);
    }
    text = VxHost_ToUtf16(std::string_view(argument).substr(equals + 1));
    return true;
}

}  // namespace

int VxHost_RunTag(const VxHostSession& session)
{
    const std::vector<std::string>& arguments = session.options.files;
    const std::string& path = arguments[0];
    CVxHostMeta* meta = new CVxHostMeta;
    CVxComPtr<IVxReadMeta> holder(meta);
    for (size_t i = 1; i < arguments.size(); ++i) {
        uint32_t code = 0;
        std::u16string text;
        if (!VxHost_ParseField(arguments[i], code, text))
            return VxHost_ReportError("'" + arguments[i] +
                                      "': a field is CODE=TEXT with a four-character code, like INAM=Harbour");
    }

    // The fields the file has now, read through its own reader, then the new ones on top.
    const VxHostPlugin* plugin = nullptr;
    {
        CVxComPtr<IVxReadFile> file;
        VxHostFailure failure;
        if (!VxHost_OpenFile(session.manager, path, plugin, file, failure))
            return failure.Report();
        CVxComPtr<IVxReadMeta> current;
        if (const HRESULT hr = file->GetReadMeta(&current); FAILED(hr) || !current)
            return VxHost_ReportFailure("GetReadMeta", FAILED(hr) ? hr : E_POINTER);
        if (const HRESULT hr = meta->CopyFrom(current.Get()); FAILED(hr))
            return VxHost_ReportFailure("GetSummaryStream", hr);
        current.Reset();
        file->Close();
    }
    for (size_t i = 1; i < arguments.size(); ++i) {
        uint32_t code = 0;
        std::u16string text;
        VxHost_ParseField(arguments[i], code, text);
        meta->SetText(code, text);
    }

    if (!plugin->renderer)
        return VxHost_ReportFailure("CreateInstance(IVxRenderFileClass)", plugin->rendererResult);
    const char* method = nullptr;
    if (const HRESULT hr = VxHost_WriteMetaBeside(plugin->renderer.Get(), path, meta, nullptr, method);
        FAILED(hr))
        return VxHost_ReportFailure(method, hr);
    std::printf("%s: %zu summary field%s handed to the render file of %s\n", path.c_str(),
                meta->Records().size(), meta->Records().size() == 1 ? "" : "s", plugin->name.c_str());
    return 0;
}
