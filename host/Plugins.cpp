// vxhost plugins: the plug-in table and each plug-in's reader and renderer class objects.
#include "Commands.h"
#include "Errors.h"
#include "Json.h"
#include "OpenFile.h"
#include "Text.h"

#include <cstdio>
#include <optional>

namespace {

constexpr uint32_t kInfoTextCount = 7;
constexpr const char* kInfoLabels[kInfoTextCount] = {
    "short name", "description", "", "extensions", "format name", "open command", ""};

// What the host learns from one class object.
struct VxHostClassReport {
    bool available = false;
    VxHostFailure failure;  // why it is not available, or which query failed
    GUID classId = {};
    uint32_t classFlags = 0;
    uint32_t mediaTypes = 0;
    std::optional<std::string> texts[kInfoTextCount];  // empty optional: a null string
    // The other class object of the format, as this one finds it through the manager.
    const char* linkRole = "";  // printed
    const char* linkKey = "";   // JSON
    HRESULT linkResult = E_FAIL;
    GUID linkedClassId = {};
};

// A reader finds its renderer, and a renderer its reader, through the host's manager.
HRESULT VxHost_FollowLink(IVxReadFileClass* reader, GUID& classId)
{
    CVxComPtr<IVxRenderFileClass> renderer;
    VX_RETURN_IF_FAILED(reader->GetRenderFileClass(&renderer));
    return renderer ? renderer->GetClassID(&classId) : E_POINTER;
}

HRESULT VxHost_FollowLink(IVxRenderFileClass* renderer, GUID& classId)
{
    CVxComPtr<IVxReadFileClass> reader;
    VX_RETURN_IF_FAILED(renderer->GetReadFileClass(&reader));
    return reader ? reader->GetClassID(&classId) : E_POINTER;
}

// Reader and renderer class objects answer the same queries under the same names.
template <class ClassObject>
VxHostClassReport VxHost_ReportClass(const CVxHostModule& module, ClassObject* object,
                                     HRESULT madeResult, const GUID& classId, const char* linkRole,
                                     const char* linkKey)
{
    VxHostClassReport report;
    report.linkRole = linkRole;
    report.linkKey = linkKey;
    if (!object) {
        report.failure = VxHostFailure::Call("CreateInstance", madeResult);
        return report;
    }
    report.available = true;
    report.classId = classId;
    report.linkResult = VxHost_FollowLink(object, report.linkedClassId);
    HRESULT hr = object->GetClassFlags(&report.classFlags);
    if (SUCCEEDED(hr))
        hr = object->GetMediaTypes(&report.mediaTypes);
    if (FAILED(hr)) {
        report.failure = VxHostFailure::Call("GetClassFlags", hr);
        return report;
    }
    const uint32_t ids[kInfoTextCount] = {1, 2, 3, 4, 5, 6, 7};
    BSTR texts[kInfoTextCount] = {};
    hr = object->GetInfoText(ids, kInfoTextCount, texts);
    for (uint32_t i = 0; i < kInfoTextCount; ++i) {
        if (texts[i])
            report.texts[i] = VxHost_ToUtf8(std::u16string_view(texts[i], module.StringLength(texts[i])));
        module.FreeString(texts[i]);
    }
    if (FAILED(hr))
        report.failure = VxHostFailure::Call("GetInfoText", hr);
    return report;
}

void VxHost_PrintFailureText(const VxHostFailure& failure)
{
    if (!failure.method.empty())
        std::printf("%s: 0x%08X: %s", failure.method.c_str(), unsigned(failure.result),
                    VxHost_ResultText(failure.result).c_str());
    else
        std::printf("%s", failure.message.c_str());
}

void VxHost_PrintClass(const char* role, const VxHostClassReport& report)
{
    if (!report.available) {
        std::printf("  %-10s not available (0x%08X: %s)\n", role, unsigned(report.failure.result),
                    VxHost_ResultText(report.failure.result).c_str());
        return;
    }
    std::printf("  %-10s %s   class flags 0x%08X   media types %u\n", role,
                VxHost_GuidText(report.classId).c_str(), unsigned(report.classFlags),
                unsigned(report.mediaTypes));
    if (SUCCEEDED(report.linkResult))
        std::printf("    %-16s%s\n", report.linkRole, VxHost_GuidText(report.linkedClassId).c_str());
    else
        std::printf("    %-16snot found (0x%08X: %s)\n", report.linkRole, unsigned(report.linkResult),
                    VxHost_ResultText(report.linkResult).c_str());
    for (uint32_t i = 0; i < kInfoTextCount; ++i) {
        const std::optional<std::string>& text = report.texts[i];
        std::printf("    %u %-13s %s\n", i + 1, kInfoLabels[i],
                    text ? text->c_str() : "(no text)");
    }
    if (report.failure.Failed()) {
        std::printf("    ");
        VxHost_PrintFailureText(report.failure);
        std::printf("\n");
    }
}

void VxHost_WriteClassJson(CVxHostJson& json, const VxHostClassReport& report)
{
    json.BeginObject();
    json.Field("available", report.available);
    if (report.available) {
        json.Field("classId", VxHost_GuidText(report.classId));
        json.Field("classFlags", report.classFlags);
        json.Field("mediaTypes", report.mediaTypes);
        json.Key("infoTexts");
        json.BeginArray();
        for (const std::optional<std::string>& text : report.texts) {
            if (text)
                json.String(*text);
            else
                json.Null();
        }
        json.EndArray();
        json.Key(report.linkKey);
        json.BeginObject();
        json.Field("found", SUCCEEDED(report.linkResult));
        if (SUCCEEDED(report.linkResult))
            json.Field("classId", VxHost_GuidText(report.linkedClassId));
        else
            json.Field("code", VxHost_HexText(uint32_t(report.linkResult)));
        json.EndObject();
    }
    if (report.failure.Failed()) {
        json.Key("error");
        report.failure.WriteJson(json);
    }
    json.EndObject();
}

}  // namespace

int VxHost_RunPlugins(const VxHostSession& session)
{
    const std::vector<VxHostPlugin>& plugins = session.manager.Plugins();
    CVxHostJson json;
    if (session.options.json) {
        json.BeginObject();
        json.Field("module", session.module.Path());
        json.Field("language", session.manager.Language());
        json.Key("plugins");
        json.BeginArray();
    } else {
        std::printf("%s: %zu plug-ins (language %u)\n", session.module.Path().c_str(),
                    plugins.size(), unsigned(session.manager.Language()));
    }

    // A class object that is missing is part of the answer, not a failure of the command.
    for (const VxHostPlugin& plugin : plugins) {
        const VxHostClassReport reader = VxHost_ReportClass(
            session.module, plugin.reader.Get(), plugin.readerResult, plugin.readerClassId,
            "linked renderer", "linkedRenderer");
        const VxHostClassReport renderer = VxHost_ReportClass(
            session.module, plugin.renderer.Get(), plugin.rendererResult, plugin.rendererClassId,
            "linked reader", "linkedReader");
        if (session.options.json) {
            json.BeginObject();
            json.Field("index", plugin.index);
            json.Field("clsid", VxHost_GuidText(plugin.clsid));
            json.Field("name", plugin.name);
            json.Field("kindFlags", plugin.kindFlags);
            json.Field("mediaTypes", plugin.mediaTypes);
            json.Field("extra", plugin.extra);
            json.Key("reader");
            VxHost_WriteClassJson(json, reader);
            json.Key("renderer");
            VxHost_WriteClassJson(json, renderer);
            json.EndObject();
            continue;
        }
        std::printf("\n[%u] %s\n", unsigned(plugin.index), plugin.name.c_str());
        std::printf("  %-10s %s\n", "CLSID", VxHost_GuidText(plugin.clsid).c_str());
        std::printf("  %-10s kind flags 0x%08X   media types %u   extra %u\n", "table",
                    unsigned(plugin.kindFlags), unsigned(plugin.mediaTypes), unsigned(plugin.extra));
        VxHost_PrintClass("reader", reader);
        VxHost_PrintClass("renderer", renderer);
    }

    if (session.options.json) {
        json.EndArray();
        json.EndObject();
        std::fputs(json.Text().c_str(), stdout);
    }
    return 0;
}
