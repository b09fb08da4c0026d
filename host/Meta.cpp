// vxhost meta: the metadata object of an open file: its summary fields (read back through the
// summary stream) and its media-manager header.
#include "Commands.h"
#include "Errors.h"
#include "Json.h"
#include "OpenFile.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>

namespace {

// Summary streams are small; more than this is a module gone wrong.
constexpr size_t kMaxSummaryBytes = 64u << 20;
constexpr uint32_t kListHeaderBytes = 12;
constexpr uint32_t kExifCodeBase = 0x65000000u;

struct VxHostSummaryField {
    uint32_t code = 0;
    std::vector<uint8_t> data;
};

struct VxHostMetaReport {
    std::vector<uint8_t> stream;  // the summary stream's bytes
    uint32_t declaredCount = 0;   // the count in the stream's header
    std::vector<VxHostSummaryField> fields;
    std::string streamProblem;    // set when the stream's bytes do not parse
    HRESULT mediaResult = S_FALSE;
    VXMEDIAMGRINFO media = {};
};

uint32_t VxHost_Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The whole stream from its start. Read answers E_FAIL when it runs into the end with bytes
// still wanted, and nothing more after that.
HRESULT VxHost_ReadStream(IStream* stream, std::vector<uint8_t>& bytes)
{
    VX_RETURN_IF_FAILED(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    constexpr uint32_t kChunk = 64 * 1024;
    std::vector<uint8_t> chunk(kChunk);
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(chunk.data(), kChunk, &got);
        got = std::min<ULONG>(got, kChunk);
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
        if (hr != S_OK || got < kChunk || bytes.size() > kMaxSummaryBytes)
            return S_OK;
    }
}

// List header (12, 100, count), then each record: header size, field code, data bytes, data.
void VxHost_ParseSummary(VxHostMetaReport& report)
{
    const std::vector<uint8_t>& s = report.stream;
    if (s.size() < kListHeaderBytes) {
        report.streamProblem = "the stream has " + std::to_string(s.size()) + " bytes, no header";
        return;
    }
    report.declaredCount = VxHost_Le32(&s[8]);
    size_t at = kListHeaderBytes;
    while (at < s.size()) {
        if (s.size() - at < kListHeaderBytes) {
            report.streamProblem = "a record header is cut off at byte " + std::to_string(at);
            return;
        }
        const uint32_t headerBytes = VxHost_Le32(&s[at]);
        const uint32_t dataBytes = VxHost_Le32(&s[at + 8]);
        if (headerBytes < kListHeaderBytes || headerBytes > s.size() - at ||
            dataBytes > s.size() - at - headerBytes) {
            report.streamProblem = "the record at byte " + std::to_string(at) + " overruns the stream";
            return;
        }
        VxHostSummaryField field;
        field.code = VxHost_Le32(&s[at + 4]);
        field.data.assign(s.begin() + long(at + headerBytes), s.begin() + long(at + headerBytes + dataBytes));
        report.fields.push_back(std::move(field));
        at += headerBytes + size_t(dataBytes);
    }
}

// Names of the EXIF tags the module reads and writes, and of the common ones beside them.
// Tags 1 and 2 are names only in the Interoperability IFD (IFD 2).
struct VxHostExifName {
    uint16_t tag;
    const char* name;
};
constexpr VxHostExifName kExifNames[] = {
    {1, "InteroperabilityIndex"}, {2, "InteroperabilityVersion"}, {270, "ImageDescription"},
    {271, "Make"}, {272, "Model"}, {274, "Orientation"}, {282, "XResolution"}, {283, "YResolution"},
    {296, "ResolutionUnit"}, {305, "Software"}, {306, "DateTime"}, {315, "Artist"},
    {531, "YCbCrPositioning"}, {33432, "Copyright"}, {33434, "ExposureTime"}, {33437, "FNumber"},
    {34665, "ExifIFDPointer"}, {34855, "ISOSpeedRatings"}, {36864, "ExifVersion"},
    {36867, "DateTimeOriginal"}, {36868, "DateTimeDigitized"}, {37121, "ComponentsConfiguration"},
    {37385, "Flash"}, {37386, "FocalLength"}, {40960, "FlashpixVersion"}, {40961, "ColorSpace"},
    {40962, "PixelXDimension"}, {40963, "PixelYDimension"}, {40965, "InteroperabilityIFDPointer"},
};

// The tag name of an EXIF field code, or "" for a tag without one here.
std::string VxHost_ExifName(uint32_t code)
{
    if ((code & 0xFF000000u) != kExifCodeBase)
        return {};
    const uint32_t ifd = (code >> 20) & 0xF;
    const uint32_t tag = (code >> 4) & 0xFFFF;
    if (tag < 3 && ifd != 2)
        return {};
    for (const VxHostExifName& entry : kExifNames)
        if (entry.tag == tag)
            return entry.name;
    return {};
}

// EXIF codes by name and by their parts: "EXIF Make (ifd 0 tag 0x010F type 2)".
std::string VxHost_FieldCodeText(uint32_t code)
{
    if ((code & 0xFF000000u) == kExifCodeBase) {
        const std::string name = VxHost_ExifName(code);
        char text[96];
        std::snprintf(text, sizeof text, "EXIF %s%sifd %u tag 0x%04X type %u%s", name.c_str(),
                      name.empty() ? "" : " (", unsigned((code >> 20) & 0xF), unsigned((code >> 4) & 0xFFFF),
                      unsigned(code & 0xF), name.empty() ? "" : ")");
        return text;
    }
    return VxHost_FourCCText(code);
}

// Text fields hold terminated UTF-16; anything else is shown as bytes.
bool VxHost_FieldText(const std::vector<uint8_t>& data, std::string& text)
{
    if (data.size() < 2 || data.size() % 2 != 0 || data[data.size() - 1] != 0 ||
        data[data.size() - 2] != 0)
        return false;
    std::u16string units(data.size() / 2 - 1, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
    while (!units.empty() && units.back() == u'\0')
        units.pop_back();
    text = VxHost_ToUtf8(units);
    return true;
}

std::string VxHost_HexBytes(const std::vector<uint8_t>& data)
{
    constexpr size_t kShown = 64;
    std::string text;
    char byte[4];
    for (size_t i = 0; i < data.size() && i < kShown; ++i) {
        std::snprintf(byte, sizeof byte, "%02X", data[i]);
        text += (i ? " " : "") + std::string(byte);
    }
    if (data.size() > kShown)
        text += " ...";
    return text;
}

}  // namespace

int VxHost_RunMeta(const VxHostSession& session)
{
    const std::string& path = session.options.files[0];
    const VxHostPlugin* plugin = nullptr;
    CVxComPtr<IVxReadFile> file;
    VxHostFailure failure;
    if (!VxHost_OpenFile(session.manager, path, plugin, file, failure))
        return failure.Report();

    CVxComPtr<IVxReadMeta> meta;
    if (const HRESULT hr = file->GetReadMeta(&meta); FAILED(hr) || !meta)
        return VxHost_ReportFailure("GetReadMeta", FAILED(hr) ? hr : E_POINTER);
    VxHostMetaReport report;
    {
        CVxComPtr<IStream> summary;
        if (const HRESULT hr = meta->GetSummaryStream(&summary); FAILED(hr) || !summary)
            return VxHost_ReportFailure("GetSummaryStream", FAILED(hr) ? hr : E_POINTER);
        if (const HRESULT hr = VxHost_ReadStream(summary.Get(), report.stream); FAILED(hr))
            return VxHost_ReportFailure("Seek", hr);
    }
    VxHost_ParseSummary(report);

    // No sidecar, or one without media-manager properties, is an answer, not a failure.
    CVxComPtr<IVxReadMediaMgrMeta> media;
    report.mediaResult = meta.As(media);
    if (SUCCEEDED(report.mediaResult))
        report.mediaResult = media->GetMediaMgrInfo(&report.media);
    media.Reset();
    meta.Reset();
    file->Close();

    if (session.options.json) {
        CVxHostJson json;
        json.BeginObject();
        json.Field("file", path);
        json.Field("plugin", plugin->name);
        json.Field("summaryStreamBytes", uint64_t(report.stream.size()));
        json.Field("summaryCount", report.declaredCount);
        if (!report.streamProblem.empty())
            json.Field("summaryProblem", report.streamProblem);
        json.Key("fields");
        json.BeginArray();
        for (const VxHostSummaryField& field : report.fields) {
            json.BeginObject();
            json.Field("code", field.code);
            json.Field("codeText", VxHost_FieldCodeText(field.code));
            if (const std::string name = VxHost_ExifName(field.code); !name.empty())
                json.Field("name", name);
            json.Field("bytes", uint64_t(field.data.size()));
            std::string text;
            if (VxHost_FieldText(field.data, text))
                json.Field("text", text);
            else
                json.Field("hex", VxHost_HexBytes(field.data));
            json.EndObject();
        }
        json.EndArray();
        json.Key("mediaManager");
        json.BeginObject();
        json.Field("present", report.mediaResult == S_OK);
        json.Field("result", VxHost_HexText(uint32_t(report.mediaResult)));
        if (report.mediaResult == S_OK) {
            json.Field("tag", report.media.tag);
            json.Field("headerSize", report.media.headerSize);
            json.Field("propertyCount", report.media.propertyCount);
        }
        json.EndObject();
        json.EndObject();
        std::fputs(json.Text().c_str(), stdout);
        return 0;
    }

    std::printf("%s\n", path.c_str());
    std::printf("  plug-in        %s\n", plugin->name.c_str());
    std::printf("  summary        %zu field%s, stream %zu bytes\n", report.fields.size(),
                report.fields.size() == 1 ? "" : "s", report.stream.size());
    if (!report.streamProblem.empty())
        std::printf("  summary stream %s\n", report.streamProblem.c_str());
    for (const VxHostSummaryField& field : report.fields) {
        std::string text;
        if (VxHost_FieldText(field.data, text))
            std::printf("    %-48s \"%s\"\n", VxHost_FieldCodeText(field.code).c_str(), text.c_str());
        else
            std::printf("    %-48s %s\n", VxHost_FieldCodeText(field.code).c_str(),
                        VxHost_HexBytes(field.data).c_str());
    }
    if (report.mediaResult == S_OK)
        std::printf("  media manager  tag %u, header %u bytes, %u properties\n",
                    unsigned(report.media.tag), unsigned(report.media.headerSize),
                    unsigned(report.media.propertyCount));
    else if (report.mediaResult == S_FALSE)
        std::printf("  media manager  none\n");
    else if (report.mediaResult == E_FAIL)  // no sidecar beside the file, or not its sidecar
        std::printf("  media manager  none (no sidecar file)\n");
    else
        std::printf("  media manager  none (0x%08X: %s)\n", unsigned(report.mediaResult),
                    VxHost_ResultText(report.mediaResult).c_str());
    return 0;
}
