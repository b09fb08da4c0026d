// vxhost probe: which plug-in reads each file, and what the open file reports.
#include "Commands.h"
#include "Errors.h"
#include "Json.h"
#include "OpenFile.h"
#include "Progress.h"
#include "Records.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int32_t kTextChars = 260;
// A layered document has at most 32767 layers, so at most 32768 streams.
constexpr uint32_t kMaxStreams = 32768;

struct VxHostStreamReport {
    VXFILESTREAMFORMATINFOv2 format = {};
    uint64_t frameCount = 0;
    bool video = false;  // answers IVxReadVideoStream (frame count valid)
};

struct VxHostLayerReport {
    uint32_t index = 0;  // 1-based, as the layer interface counts
    std::string name;
    int32_t rect[4] = {};  // left, top, right, bottom
    HRESULT nameResult = S_OK;
    HRESULT rectResult = S_OK;
};

struct VxHostProbeReport {
    std::string path;
    const VxHostPlugin* plugin = nullptr;
    std::string formatName;
    std::string compression;
    std::string attributes;
    std::vector<VxHostStreamReport> streams;
    bool layerInterface = false;  // the composite stream answers layer queries
    uint32_t layerCount = 0;
    std::vector<VxHostLayerReport> layers;
    VxHostFailure failure;
};

void VxHost_ProbeLayers(IVxReadVideoStream* stream, VxHostProbeReport& report)
{
    CVxComPtr<IVxReadLayer> layers;
    if (FAILED(stream->QueryInterface(IID_IVxReadLayer, layers.OutVoid())) || !layers)
        return;
    uint32_t count = 0;  // only the low 16 bits are written
    if (layers->GetLayerCount(&count) != S_OK)
        return;  // VXE_LAYERS_UNSUPPORTED: a file without layers
    report.layerInterface = true;
    report.layerCount = count & 0xFFFF;
    for (uint32_t index = 1; index <= report.layerCount; ++index) {
        VxHostLayerReport layer;
        layer.index = index;
        constexpr uint32_t kNameChars = 1024;
        char16_t name[kNameChars] = {};
        layer.nameResult = layers->GetLayerInfo(index, name, sizeof name, kVxLayerInfoName);
        layer.name = VxHost_BufferToUtf8(name, kNameChars);
        int32_t rect[4] = {};
        layer.rectResult = layers->GetLayerInfo(index, rect, sizeof rect, kVxLayerInfoRect);
        if (layer.rectResult == S_OK)
            std::copy(rect, rect + 4, layer.rect);
        report.layers.push_back(std::move(layer));
    }
}

bool VxHost_Probe(const VxHostSession& session, VxHostProbeReport& report)
{
    CVxComPtr<IVxReadFile> file;
    VxHostFailure& failure = report.failure;
    if (!VxHost_OpenFile(session.manager, report.path, report.plugin, file, failure))
        return false;

    char16_t text[kTextChars] = {};
    HRESULT hr = file->GetFormatName(text, kTextChars, 1);
    if (FAILED(hr))
        return failure = VxHostFailure::Call("GetFormatName", hr), false;
    report.formatName = VxHost_BufferToUtf8(text, kTextChars);
    hr = file->GetDescription(text, kTextChars, 0, 1);
    if (FAILED(hr))
        return failure = VxHostFailure::Call("GetDescription", hr), false;
    report.compression = VxHost_BufferToUtf8(text, kTextChars);
    hr = file->GetDescription(text, kTextChars, 0, 2);
    if (FAILED(hr))
        return failure = VxHostFailure::Call("GetDescription", hr), false;
    report.attributes = VxHost_BufferToUtf8(text, kTextChars);

    uint32_t streamCount = 0;
    hr = file->GetStreamCount(&streamCount);
    if (FAILED(hr))
        return failure = VxHostFailure::Call("GetStreamCount", hr), false;
    if (streamCount > kMaxStreams)
        return failure = VxHostFailure::Message(report.path + ": the file reports " +
                                                std::to_string(streamCount) + " streams"),
               false;
    std::vector<VXFILESTREAMFORMATINFOv2> formats(streamCount);
    for (VXFILESTREAMFORMATINFOv2& format : formats)
        format.size = sizeof format;
    if (streamCount > 0) {
        hr = file->GetStreamFormats(formats.data(), 0, int32_t(streamCount));
        if (FAILED(hr))
            return failure = VxHostFailure::Call("GetStreamFormats", hr), false;
    }
    report.streams.resize(streamCount);
    for (uint32_t i = 0; i < streamCount; ++i) {
        VxHostStreamReport& stream = report.streams[i];
        stream.format = formats[i];
        if (stream.format.streamType != kVxStreamTypeVideo)
            continue;
        CVxComPtr<IVxReadVideoStream> video;
        if (!VxHost_GetVideoStream(file.Get(), i, video, failure))
            return false;
        hr = video->GetFrameCount(&stream.frameCount);
        if (FAILED(hr))
            return failure = VxHostFailure::Call("GetFrameCount", hr), false;
        stream.video = true;
        if (i == 0)
            VxHost_ProbeLayers(video.Get(), report);
    }
    file->Close();
    return true;
}

void VxHost_PrintProbe(const VxHostProbeReport& report)
{
    std::printf("%s\n", report.path.c_str());
    if (report.plugin)
        std::printf("  plug-in      %s %s\n", report.plugin->name.c_str(),
                    VxHost_GuidText(report.plugin->clsid).c_str());
    if (report.failure.Failed())
        return;
    std::printf("  format       %s\n", report.formatName.c_str());
    std::printf("  compression  %s\n", report.compression.c_str());
    std::printf("  attributes   %s\n", report.attributes.c_str());
    std::printf("  streams      %zu\n", report.streams.size());
    for (size_t i = 0; i < report.streams.size(); ++i) {
        const VxHostStreamReport& stream = report.streams[i];
        const VXFILESTREAMFORMATINFOv2& f = stream.format;
        std::printf("  stream %zu     type %u, record %u bytes, length %lld", i,
                    unsigned(f.streamType), unsigned(f.size), static_cast<long long>(f.length));
        if (stream.video)
            std::printf(", %llu frame%s", static_cast<unsigned long long>(stream.frameCount),
                        stream.frameCount == 1 ? "" : "s");
        std::printf("\n");
        if (f.streamType == kVxStreamTypeVideo) {
            std::printf("    header     %s\n", VxHost_HeaderText(f.format.video).c_str());
            std::printf("    extension  %s\n", VxHost_ExtensionText(f.extension.video).c_str());
        }
    }
    if (!report.layerInterface) {
        std::printf("  layers       none\n");
        return;
    }
    std::printf("  layers       %u\n", unsigned(report.layerCount));
    for (const VxHostLayerReport& layer : report.layers) {
        std::printf("    layer %u    \"%s\"", unsigned(layer.index), layer.name.c_str());
        if (layer.rectResult == S_OK)
            std::printf(" (%d, %d)-(%d, %d)", int(layer.rect[0]), int(layer.rect[1]),
                        int(layer.rect[2]), int(layer.rect[3]));
        std::printf("\n");
    }
}

void VxHost_WriteProbeJson(CVxHostJson& json, const VxHostProbeReport& report)
{
    json.BeginObject();
    json.Field("file", report.path);
    if (report.plugin) {
        json.Key("plugin");
        json.BeginObject();
        json.Field("index", report.plugin->index);
        json.Field("clsid", VxHost_GuidText(report.plugin->clsid));
        json.Field("name", report.plugin->name);
        json.EndObject();
    }
    if (report.failure.Failed()) {
        json.Key("error");
        report.failure.WriteJson(json);
        json.EndObject();
        return;
    }
    json.Field("formatName", report.formatName);
    json.Field("compression", report.compression);
    json.Field("attributes", report.attributes);
    json.Key("streams");
    json.BeginArray();
    for (const VxHostStreamReport& stream : report.streams) {
        const VXFILESTREAMFORMATINFOv2& f = stream.format;
        json.BeginObject();
        json.Field("recordSize", f.size);
        json.Field("type", f.streamType);
        json.Field("length", f.length);
        if (f.streamType == kVxStreamTypeVideo) {
            json.Key("header");
            VxHost_WriteHeaderJson(json, f.format.video);
            json.Key("extension");
            VxHost_WriteExtensionJson(json, f.extension.video);
        }
        if (stream.video)
            json.Field("frameCount", stream.frameCount);
        json.EndObject();
    }
    json.EndArray();
    json.Field("layerCount", report.layerCount);
    json.Key("layers");
    json.BeginArray();
    for (const VxHostLayerReport& layer : report.layers) {
        json.BeginObject();
        json.Field("index", layer.index);
        json.Field("name", layer.name);
        if (layer.rectResult == S_OK) {
            json.Key("rect");
            json.BeginArray();
            for (int32_t value : layer.rect)
                json.Number(value);
            json.EndArray();
        }
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

}  // namespace

int VxHost_RunProbe(const VxHostSession& session)
{
    CVxHostJson json;
    if (session.options.json) {
        json.BeginObject();
        json.Key("files");
        json.BeginArray();
    }
    int status = 0;
    const size_t total = session.options.files.size();
    for (size_t i = 0; i < total; ++i) {
        if (total > 1)
            VxHost_ProgressShow("probe: " + std::to_string(i + 1) + "/" + std::to_string(total) +
                                " " + session.options.files[i]);
        VxHostProbeReport report;
        report.path = session.options.files[i];
        // A file that fails is reported, and the others are still probed.
        if (!VxHost_Probe(session, report))
            status = report.failure.Report();
        VxHost_ProgressClear();
        if (session.options.json) {
            VxHost_WriteProbeJson(json, report);
        } else {
            if (i > 0)
                std::printf("\n");
            VxHost_PrintProbe(report);
        }
    }
    if (session.options.json) {
        json.EndArray();
        json.EndObject();
        std::fputs(json.Text().c_str(), stdout);
    }
    return status;
}
