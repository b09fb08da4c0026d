// The sidecar metadata file: names, recognition, reading and writing.
#include "Sidecar.h"

#include "../platform/VxStr.h"
#include "../plugin/contracts/VxComPtr.h"
#include "ByteReader.h"
#include "VxList.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char16_t kExtension[] = u".vxl";
constexpr size_t kExtensionChars = 4;
constexpr size_t kIdentityTextBytes = kVxSidecarPathChars - 1;   // name bytes compared at most
constexpr size_t kStreamPieceBytes = 0x10000;                    // host streams are read in pieces
constexpr uint32_t kListStreamHeaderBytes = 12;                   // 12, 100, item count

using Path = char16_t[kVxSidecarPathChars];

bool SameText(const char16_t* a, const char16_t* b)
{
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

// Windows-1252 bytes to UTF-16: the character count, or 0 when the text is empty or does not
// convert; with out, the characters are written there (room for the count is the caller's).
int AnsiToWide(const uint8_t* text, size_t bytes, char16_t* out)
{
    if (bytes == 0 || bytes > size_t(INT32_MAX))
        return 0;
    const auto* chars = reinterpret_cast<const char*>(text);
    const int needed = MultiByteToWideChar(CP_ACP, 0, chars, int(bytes), nullptr, 0);
    if (needed <= 0 || !out)
        return std::max(needed, 0);
    return MultiByteToWideChar(CP_ACP, 0, chars, int(bytes), out, needed);
}

// A field code the INFO list can carry: four printable characters. EXIF keys (0x650..0x652 in
// the top twelve bits) describe the image itself and come back from it, not from a sidecar.
bool IsFourCharacterCode(uint32_t code)
{
    const uint32_t top = code >> 20;
    if (top >= 0x650 && top <= 0x652)
        return false;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t c = (code >> shift) & 0xFF;
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

// The field code of an existing summary record or item, or false when it is too short.
bool CodeOfEntry(tVXLIST* list, int32_t index, size_t codeOffset, uint32_t* code)
{
    const auto* entry = static_cast<const uint8_t*>(VxList_GetItem(list, index));
    if (!entry || VxList_AllocSize(list, index) < codeOffset + 4)
        return false;
    std::memcpy(code, entry + codeOffset, sizeof *code);
    return true;
}

// Which INFO fields go into a list: the first field of each code, unless the list already
// holds a record with that code. Sorting (code, order) pairs keeps this n log n for sidecars
// with very many fields; existing records sort first with order -1.
struct CodeOrder {
    uint32_t code;
    int64_t order;
    bool operator<(const CodeOrder& other) const
    {
        return code != other.code ? code < other.code : order < other.order;
    }
};

HRESULT SelectNewFields(tVXLIST* list, size_t codeOffset, const VXINFOFIELD* fields, int32_t count,
                        uint8_t* keep)
{
    const int32_t existing = VxList_GetCount(list);
    CVxGlobalBlock block((size_t(existing) + size_t(count)) * sizeof(CodeOrder) + 1);
    if (!block)
        return E_OUTOFMEMORY;
    auto* pairs = reinterpret_cast<CodeOrder*>(block.Get());
    size_t n = 0;
    for (int32_t i = 0; i < existing; ++i) {
        if (CodeOfEntry(list, i, codeOffset, &pairs[n].code))
            pairs[n++].order = -1;
    }
    for (int32_t i = 0; i < count; ++i)
        pairs[n++] = {fields[i].code, i};
    std::sort(pairs, pairs + n);
    for (size_t i = 0; i < n; ++i) {
        const bool firstOfCode = i == 0 || pairs[i - 1].code != pairs[i].code;
        if (firstOfCode && pairs[i].order >= 0)
            keep[pairs[i].order] = 1;
    }
    return S_OK;
}

// Adds the kept fields as summary records (itemHeader false) or whole summary items. On a
// failure the entries added so far are taken out again.
HRESULT AddFields(tVXLIST* list, bool itemHeader, const uint8_t* data, const VXINFOFIELD* fields,
                  int32_t count)
{
    const size_t head = itemHeader ? kVxSummaryItemHeaderBytes : 0;
    CVxGlobalBlock keep(size_t(count) + 1);
    if (!keep)
        return E_OUTOFMEMORY;
    VX_RETURN_IF_FAILED(SelectNewFields(list, head + 4, fields, count, keep.Bytes()));
    const int32_t kept = int32_t(std::count(keep.Bytes(), keep.Bytes() + count, 1));
    if (kept == 0)
        return S_OK;

    const int32_t before = VxList_GetCount(list);
    HRESULT hr = VxList_GrowAllocated(list, kept);
    for (int32_t i = 0; i < count && SUCCEEDED(hr); ++i) {
        if (!keep.Bytes()[i])
            continue;
        const uint8_t* text = data + fields[i].offset;
        const int chars = AnsiToWide(text, fields[i].bytes, nullptr);
        if (chars <= 0)
            continue;
        const uint64_t textBytes = (uint64_t(chars) + 1) * sizeof(char16_t);
        const uint64_t size = head + sizeof(VXSUMMARYRECORD) + textBytes;
        if (size > UINT32_MAX) {
            hr = VXE_FILE_READ;
            break;
        }
        void* item = nullptr;
        hr = VxList_AllocItem(list, uint32_t(size), &item);
        if (FAILED(hr))
            break;
        auto* bytes = static_cast<uint8_t*>(item);
        if (itemHeader) {
            const uint32_t itemWords[] = {kVxSummaryItemHeaderBytes, kVxSummaryItemKind};
            std::memcpy(bytes, itemWords, sizeof itemWords);
            std::memcpy(bytes + 8, &kVxSummaryItemType, sizeof(GUID));
            const uint32_t dataSize = uint32_t(textBytes + sizeof(VXSUMMARYRECORD));
            std::memcpy(bytes + 24, &dataSize, sizeof dataSize);
        }
        const VXSUMMARYRECORD record = {sizeof(VXSUMMARYRECORD), fields[i].code, uint32_t(textBytes)};
        std::memcpy(bytes + head, &record, sizeof record);
        AnsiToWide(text, fields[i].bytes, reinterpret_cast<char16_t*>(bytes + head + sizeof record));
        hr = VxList_InsertList(list, -1, nullptr, -1);
        if (FAILED(hr))
            VxList_DeleteList(list, -1, -1, FALSE);   // the pending item
    }
    if (FAILED(hr))
        VxList_DeleteList(list, before, -1, TRUE);
    return hr;
}

// ---- Writing --------------------------------------------------------------------------------

// Reads exactly bytes bytes from a host stream. A list stream answers E_FAIL together with the
// bytes it did deliver when a read reaches its end, so only the count decides.
bool ReadExact(IStream* stream, void* out, ULONG bytes)
{
    if (bytes == 0)
        return true;
    ULONG read = 0;
    stream->Read(out, bytes, &read);
    return read == bytes;
}

// Appends bytes bytes of a host stream to out, in pieces, so memory grows only with what the
// stream really delivers. VXE_FILE_READ when it delivers less.
HRESULT AppendFromStream(IStream* stream, uint64_t bytes, CVxRiffWriter& out)
{
    while (bytes > 0) {
        const size_t piece = size_t(std::min<uint64_t>(bytes, kStreamPieceBytes));
        uint8_t* at = out.Extend(piece);
        if (!at)
            return E_OUTOFMEMORY;
        if (!ReadExact(stream, at, ULONG(piece)))
            return VXE_FILE_READ;
        bytes -= piece;
    }
    return S_OK;
}

// The summary records of a metadata object's summary stream, as a heap list of records with
// 12-byte headers. An object without a summary stream leaves the list empty; a stream that
// ends inside a record it announced gives VXE_FILE_READ.
HRESULT ReadSummaryRecords(IUnknown* meta, tVXLIST* records)
{
    CVxComPtr<IVxReadMeta> readMeta;
    if (!meta || FAILED(meta->QueryInterface(IID_IVxReadMeta, readMeta.OutVoid())))
        return S_OK;
    CVxComPtr<IStream> stream;
    if (FAILED(readMeta->GetSummaryStream(&stream)) || !stream)
        return S_OK;

    // The stream is shared by every caller of the object: start at its beginning.
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    uint8_t head[kListStreamHeaderBytes];
    if (!ReadExact(stream.Get(), head, sizeof head))
        return S_OK;   // an empty stream holds no summary
    CVxByteReader r(head, sizeof head);
    r.Skip(8);
    const uint32_t count = r.U32LE();

    HRESULT hr = S_OK;
    for (uint32_t i = 0; i < count && SUCCEEDED(hr); ++i) {
        uint8_t recordHead[sizeof(VXSUMMARYRECORD)];
        if (!ReadExact(stream.Get(), recordHead, sizeof recordHead)) {
            hr = VXE_FILE_READ;
            break;
        }
        CVxByteReader rr(recordHead, sizeof recordHead);
        const uint32_t headerSize = rr.U32LE();
        const uint32_t code = rr.U32LE();
        const uint32_t dataBytes = rr.U32LE();
        if (headerSize < sizeof(VXSUMMARYRECORD)) {
            hr = VXE_FILE_READ;
            break;
        }
        CVxRiffWriter skipped;
        CVxRiffWriter record;
        const VXSUMMARYRECORD normal = {sizeof(VXSUMMARYRECORD), code, dataBytes};
        record.Append(&normal, sizeof normal);
        hr = AppendFromStream(stream.Get(), headerSize - sizeof(VXSUMMARYRECORD), skipped);
        if (SUCCEEDED(hr))
            hr = AppendFromStream(stream.Get(), dataBytes, record);
        if (SUCCEEDED(hr))
            hr = record.Result();
        if (SUCCEEDED(hr))
            hr = VxList_AllocAndInsertItem(records, record.Bytes(), uint32_t(record.Size()), -1, nullptr);
    }
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    return hr;
}

// Appends the identity chunk: the media file's name part in the ANSI code page, terminated.
void AppendIdentity(CVxRiffWriter& riff, const char16_t* mediaPath)
{
    const char16_t* name = VxStr_FileNamePart(mediaPath);
    const int chars = int(std::min<size_t>(VxStr_Length(name), kVxSidecarPathChars));
    const size_t mark = riff.BeginChunk(kVxSidecarIdentity);
    const int bytes = chars > 0 ? WideCharToMultiByte(CP_ACP, 0, name, chars, nullptr, 0, nullptr, nullptr) : 0;
    if (bytes > 0) {
        if (uint8_t* at = riff.Extend(size_t(bytes)))
            WideCharToMultiByte(CP_ACP, 0, name, chars, reinterpret_cast<char*>(at), bytes, nullptr, nullptr);
    }
    riff.Append("", 1);
    riff.EndChunk(mark);
}

// name + ".<process>-<thread>.tmp": unique among writers, in the same folder as name.
void FormTempName(const char16_t* name, char16_t* out, size_t capacity)
{
    size_t n = VxStr_CopyTruncated(out, int64_t(capacity), name);
    auto put = [&](char16_t c) {
        if (n + 1 < capacity)
            out[n++] = c;
        out[n] = 0;
    };
    auto putNumber = [&](uint32_t value) {
        char16_t digits[10];
        int count = 0;
        do
            digits[count++] = char16_t(u'0' + value % 10);
        while ((value /= 10) != 0);
        while (count > 0)
            put(digits[--count]);
    };
    put(u'.');
    putNumber(GetCurrentProcessId());
    put(u'-');
    putNumber(GetCurrentThreadId());
    for (const char16_t c : u".tmp")
        if (c)
            put(c);
}

// Writes bytes under a temporary name beside name, then renames it over name, so a write
// that fails part-way leaves whatever name held before. Creating the file answers the
// translated Win32 error; writing, flushing and renaming answer VXE_FILE_WRITE.
HRESULT WriteReplacing(const char16_t* name, const CVxRiffWriter& content)
{
    char16_t temp[kVxSidecarPathChars + 32];
    FormTempName(name, temp, std::size(temp));
    CVxHandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return VxErrorHandler_TranslateWin32Error(GetLastError());
    bool written = true;
    for (size_t at = 0; written && at < content.Size();) {
        const DWORD part = DWORD(std::min<size_t>(content.Size() - at, 0x40000000));
        DWORD done = 0;
        written = WriteFile(file.Get(), content.Bytes() + at, part, &done, nullptr) && done > 0;
        at += done;
    }
    written = written && FlushFileBuffers(file.Get());
    written = CloseHandle(file.Detach()) && written;
    if (!written || !MoveFileExW(temp, name, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temp);
        return VXE_FILE_WRITE;
    }
    return S_OK;
}

void DeleteIfSidecarOf(const char16_t* mediaPath, const char16_t* name)
{
    if (VxFMMeta_IsMetaFile(mediaPath, name))
        DeleteFileW(name);
}

// Copies every complete chunk of an existing sidecar's form except media-manager chunks,
// stopping at the first chunk that runs past the form's end. True when the identity chunk
// was among them.
bool CopyChunksExceptMediaMgr(const char16_t* name, CVxRiffWriter& riff)
{
    bool identity = false;
    CVxHandle file(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return identity;
    CVxFileReader reader(file.Get());
    uint32_t form = 0;
    const uint64_t end = VxRiff_FormEnd(reader, &form);
    for (uint64_t at = kVxRiffHeaderBytes; end > at && end - at >= kVxRiffChunkHeaderBytes;) {
        uint8_t head[kVxRiffChunkHeaderBytes];
        reader.ReadAt(at, head, sizeof head);
        CVxByteReader r(head, sizeof head);
        const uint32_t id = r.U32LE();
        const uint32_t size = r.U32LE();
        const uint64_t padded = uint64_t(size) + (size & 1);
        if (uint64_t(size) > end - at - kVxRiffChunkHeaderBytes)
            break;
        if (id != kVxSidecarMediaMgr) {
            const size_t mark = riff.BeginChunk(id);
            uint8_t* data = size ? riff.Extend(size) : nullptr;
            if (size && (!data || !reader.ReadAt(at + kVxRiffChunkHeaderBytes, data, size))) {
                riff.Truncate(mark);
                break;
            }
            riff.EndChunk(mark);
            identity = identity || id == kVxSidecarIdentity;
        }
        at += kVxRiffChunkHeaderBytes + padded;
    }
    return identity;
}

// The media-manager chunk from an object's IVxReadMediaMgrMeta: the header it reports and
// each property from its stream. S_FALSE when it reports none.
HRESULT AppendMediaMgrChunk(IVxReadMediaMgrMeta* mediaMgr, CVxRiffWriter& riff)
{
    VXMEDIAMGRINFO info = {};
    if (mediaMgr->GetMediaMgrInfo(&info) != S_OK)
        return S_FALSE;
    CVxComPtr<IStream> stream;
    const HRESULT hr = mediaMgr->GetMediaMgrStream(&stream);
    if (FAILED(hr))
        return hr;
    if (hr != S_OK || !stream)
        return S_FALSE;

    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    uint8_t listHead[kListStreamHeaderBytes];
    if (!ReadExact(stream.Get(), listHead, sizeof listHead))
        return VXE_FILE_READ;
    // Only the 12 header bytes are written, so the size word says 12 whatever was reported.
    const size_t mark = riff.BeginChunk(kVxSidecarMediaMgr);
    riff.U32(info.tag);
    riff.U32(kVxMediaMgrHeaderBytes);
    riff.U32(info.propertyCount);
    for (uint32_t i = 0; i < info.propertyCount; ++i) {
        uint8_t* record = riff.Extend(kVxMediaMgrRecordBytes);
        if (!record)
            return E_OUTOFMEMORY;
        if (!ReadExact(stream.Get(), record, kVxMediaMgrRecordBytes))
            return VXE_FILE_READ;
        CVxByteReader r(record, kVxMediaMgrRecordBytes);
        r.Skip(11 * 4);
        const uint32_t firstBlock = r.U32LE();
        r.Skip(4);
        const uint32_t secondBlock = r.U32LE();
        VX_RETURN_IF_FAILED(AppendFromStream(stream.Get(), uint64_t(firstBlock) + secondBlock, riff));
    }
    riff.EndChunk(mark);
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    return riff.Result();
}

HRESULT FormNames(const char16_t* mediaPath, Path& replaceName, Path& appendName)
{
    VX_RETURN_IF_FAILED(VxFMMeta_CreateMetaName(mediaPath, replaceName, kVxSidecarPathChars, FALSE));
    return VxFMMeta_CreateMetaName(mediaPath, appendName, kVxSidecarPathChars, TRUE);
}

}  // namespace

HRESULT VxFMMeta_CreateMetaName(const char16_t* mediaPath, char16_t* name, int32_t capacity, BOOL append)
{
    if (!mediaPath || !name || capacity < 1)
        return E_INVALIDARG;
    name[0] = 0;
    if (size_t(capacity) < kExtensionChars + 1)
        return E_INVALIDARG;
    size_t baseChars = VxStr_Length(mediaPath);
    if (!append) {
        // The extension starts at the last dot of the name part; a name without one keeps it all.
        const std::u16string_view part = VxStr_FileNamePart(mediaPath);
        const size_t dot = part.rfind(u'.');
        if (dot != std::u16string_view::npos)
            baseChars = size_t(part.data() - mediaPath) + dot;
    }
    baseChars = std::min(baseChars, size_t(capacity) - 1 - kExtensionChars);
    std::memcpy(name, mediaPath, baseChars * sizeof(char16_t));
    std::memcpy(name + baseChars, kExtension, sizeof kExtension);
    return S_OK;
}

BOOL VxFMMeta_IsMetaFile(const char16_t* mediaPath, const char16_t* sidecarPath)
{
    if (!mediaPath || !sidecarPath)
        return FALSE;
    CVxHandle file(CreateFileW(sidecarPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return FALSE;
    CVxFileReader reader(file.Get());
    uint32_t form = 0;
    const uint64_t end = VxRiff_FormEnd(reader, &form);
    VXRIFFCHUNK identity;
    if (!VxRiff_FindChunk(reader, kVxRiffHeaderBytes, end, kVxSidecarIdentity, 0, &identity))
        return FALSE;
    uint8_t text[kIdentityTextBytes];
    const size_t bytes = size_t(std::min<uint64_t>({identity.size, kIdentityTextBytes, identity.dataEnd - identity.dataOffset}));
    if (!reader.ReadAt(identity.dataOffset, text, bytes))
        return FALSE;
    const size_t length = size_t(std::find(text, text + bytes, 0) - text);
    char16_t wide[kIdentityTextBytes + 1] = {};
    const int chars = AnsiToWide(text, length, nullptr);
    if (chars <= 0 || size_t(chars) > kIdentityTextBytes)
        return FALSE;
    AnsiToWide(text, length, wide);
    return SameText(wide, VxStr_FileNamePart(mediaPath));
}

BOOL VxFMMeta_IsFilePathToXDSVolume(const char16_t*)
{
    return FALSE;
}

HRESULT VxFMMeta_OpenMetaFile(const char16_t* mediaPath, HANDLE* file)
{
    if (!file)
        return E_POINTER;
    *file = INVALID_HANDLE_VALUE;
    // An unnamed file has no sidecar: its names would be ".vxl" in the current folder.
    if (!mediaPath || !*mediaPath)
        return E_FAIL;
    for (const BOOL append : {TRUE, FALSE}) {
        Path name;
        if (FAILED(VxFMMeta_CreateMetaName(mediaPath, name, kVxSidecarPathChars, append)) ||
            !VxFMMeta_IsMetaFile(mediaPath, name))
            continue;
        HANDLE opened = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (!CVxHandle::IsValid(opened))
            return VXE_FILE_OPEN;
        *file = opened;
        return S_OK;
    }
    return E_FAIL;
}

HRESULT VxFMMeta_fillSummaryFromFileEx(HANDLE file, tVXLIST* summaryList, tVXLIST* itemList)
{
    if (!CVxHandle::IsValid(file))
        return VXE_FILE_OPEN;
    if (!summaryList && !itemList)
        return S_OK;
    CVxFileReader reader(file);
    uint8_t head[8];
    if (!reader.ReadAt(4, head, sizeof head))
        return VXE_FILE_READ;
    CVxByteReader r(head, sizeof head);
    const uint32_t riffSize = r.U32LE();
    const uint32_t form = r.U32LE();
    const uint64_t begin = kVxRiffHeaderBytes + (form == kVxRiffList ? 8 : 0);
    const uint64_t end = uint64_t(kVxRiffChunkHeaderBytes) + riffSize;

    VXRIFFCHUNK info;
    if (!VxRiff_FindChunk(reader, begin, end, kVxRiffList, kVxSidecarInfo, &info))
        return S_OK;   // no summary fields
    if (!info.complete)
        return VXE_FILE_READ;
    const size_t bytes = size_t(info.dataEnd - info.dataOffset);
    CVxGlobalBlock data(bytes + 1);
    if (!data)
        return E_OUTOFMEMORY;
    if (!reader.ReadAt(info.dataOffset, data.Get(), bytes))
        return VXE_FILE_READ;

    // Every field needs at least its 8-byte header, which bounds the field list by the data.
    tVXLIST* fields = nullptr;
    VX_RETURN_IF_FAILED(VxList_CreateExZ(&fields, sizeof(VXINFOFIELD), int32_t(bytes / 8 + 1), -1, kVxListInline));
    HRESULT hr = VxSummary_Load(data.Bytes(), bytes, fields);
    const auto* loaded = static_cast<const VXINFOFIELD*>(VxList_GetItem(fields, 0));
    const int32_t count = VxList_GetCount(fields);
    if (SUCCEEDED(hr) && count > 0 && summaryList)
        hr = AddFields(summaryList, false, data.Bytes(), loaded, count);
    if (SUCCEEDED(hr) && count > 0 && itemList)
        hr = AddFields(itemList, true, data.Bytes(), loaded, count);
    VxList_Destroy(fields);
    return hr;
}

HRESULT VxSummary_Load(const uint8_t* data, size_t bytes, tVXLIST* fields)
{
    CVxByteReader r(data, bytes);
    while (r.Remaining() >= kVxRiffChunkHeaderBytes) {
        VXINFOFIELD field;
        field.code = r.U32LE();
        const uint32_t size = r.U32LE();
        field.offset = uint32_t(r.Offset());
        CVxByteReader text = r.Section(size);
        if (!text.Ok())
            return VXE_FILE_READ;
        // The text ends at its terminator, or with the data when the terminator is missing.
        field.bytes = uint32_t(std::find(text.Current(), text.Current() + size, 0) - text.Current());
        if (field.bytes > 0)
            VX_RETURN_IF_FAILED(VxList_InsertList(fields, -1, &field, 1));
        if ((size & 1) && r.Remaining() > 0)
            r.Skip(1);
    }
    return S_OK;
}

HRESULT VxSummary_Save(CVxRiffWriter& riff, tVXLIST* records)
{
    const size_t mark = riff.BeginChunk(kVxRiffList, kVxSidecarInfo);
    const size_t emptySize = riff.Size();
    for (int32_t i = 0; i < VxList_GetCount(records); ++i) {
        const auto* record = static_cast<const uint8_t*>(VxList_GetItem(records, i));
        CVxByteReader r(record, VxList_AllocSize(records, i));
        const uint32_t headerSize = r.U32LE();
        const uint32_t code = r.U32LE();
        const uint32_t dataBytes = r.U32LE();
        if (!r.Ok() || headerSize < sizeof(VXSUMMARYRECORD) || !IsFourCharacterCode(code))
            continue;
        r.Skip(headerSize - sizeof(VXSUMMARYRECORD));
        CVxByteReader data = r.Section(std::min<size_t>(dataBytes, r.Remaining()));
        // The text is copied out: a record's data need not be aligned for UTF-16.
        const size_t maxChars = data.Remaining() / sizeof(char16_t);
        CVxGlobalBlock text((maxChars + 1) * sizeof(char16_t));
        if (!text)
            return E_OUTOFMEMORY;
        auto* chars = reinterpret_cast<char16_t*>(text.Get());
        data.Bytes(chars, maxChars * sizeof(char16_t));
        const int length = int(std::min<size_t>(VxStr_Length(chars), INT32_MAX));
        if (length == 0)
            continue;   // empty fields are not written
        const int ansiBytes = WideCharToMultiByte(CP_ACP, 0, chars, length, nullptr, 0, nullptr, nullptr);
        if (ansiBytes <= 0)
            continue;
        const size_t field = riff.BeginChunk(code);
        if (uint8_t* at = riff.Extend(size_t(ansiBytes)))
            WideCharToMultiByte(CP_ACP, 0, chars, length, reinterpret_cast<char*>(at), ansiBytes, nullptr, nullptr);
        riff.Append("", 1);
        riff.EndChunk(field);
    }
    if (riff.Size() == emptySize) {
        riff.Truncate(mark);
        return riff.Result() == S_OK ? S_FALSE : riff.Result();
    }
    riff.EndChunk(mark);
    return riff.Result();
}

HRESULT MediaMgrRiff_LoadPropertyInfo(HANDLE file, VXMEDIAMGRINFO* header, tVXLIST* properties,
                                      uint32_t* found)
{
    if (!CVxHandle::IsValid(file))
        return VXE_FILE_OPEN;
    if (!header || !properties || !found)
        return E_POINTER;
    CVxFileReader reader(file);
    uint32_t form = 0;
    const uint64_t end = VxRiff_FormEnd(reader, &form);
    if (end == 0)
        return VXE_FILE_READ;
    VXRIFFCHUNK chunk;
    if (!VxRiff_FindChunk(reader, kVxRiffHeaderBytes, end, kVxSidecarMediaMgr, 0, &chunk))
        return S_OK;

    uint8_t head[kVxMediaMgrHeaderBytes];
    if (!reader.ReadAt(chunk.dataOffset, head, sizeof head))
        return VXE_FILE_READ;
    CVxByteReader r(head, sizeof head);
    const VXMEDIAMGRINFO info = {r.U32LE(), r.U32LE(), r.U32LE()};
    if (info.tag != kVxMediaMgrTag || info.headerSize < kVxMediaMgrHeaderBytes)
        return VXE_FILE_READ;

    // Properties are read within the chunk as far as the file holds it; each needs at least
    // its record, so a count the chunk cannot hold is refused before anything is allocated.
    uint64_t at = chunk.dataOffset + info.headerSize;
    const uint64_t limit = chunk.dataEnd;
    if (at > limit || info.propertyCount > (limit - at) / kVxMediaMgrRecordBytes)
        return VXE_FILE_READ;
    const int32_t before = VxList_GetCount(properties);
    HRESULT hr = info.propertyCount ? VxList_GrowAllocated(properties, int32_t(info.propertyCount)) : S_OK;
    for (uint32_t i = 0; i < info.propertyCount && SUCCEEDED(hr); ++i) {
        uint8_t record[kVxMediaMgrRecordBytes];
        if (!reader.ReadAt(at, record, sizeof record)) {
            hr = VXE_FILE_READ;
            break;
        }
        CVxByteReader words(record, sizeof record);
        words.Skip(11 * 4);
        const uint32_t firstBlock = words.U32LE();
        words.Skip(4);
        const uint32_t secondBlock = words.U32LE();
        const uint64_t size = uint64_t(kVxMediaMgrRecordBytes) + firstBlock + secondBlock;
        if (size > limit - at || size > UINT32_MAX) {
            hr = VXE_FILE_READ;
            break;
        }
        void* item = nullptr;
        hr = VxList_AllocItem(properties, uint32_t(size), &item);
        if (FAILED(hr))
            break;
        hr = reader.ReadAt(at, item, size_t(size)) ? VxList_InsertList(properties, -1, nullptr, -1) : VXE_FILE_READ;
        if (FAILED(hr))
            VxList_DeleteList(properties, -1, -1, FALSE);   // the pending item
        at += size;
    }
    if (FAILED(hr)) {
        VxList_DeleteList(properties, before, -1, TRUE);
        return hr;
    }
    *header = info;
    *found = 1;
    return S_OK;
}

HRESULT VxFMMeta_openAndWriteMetaStreamEx(const char16_t* mediaPath, BOOL sidecarWanted, void*,
                                          IUnknown* meta, uint32_t, uint32_t kinds)
{
    if (!mediaPath || !*mediaPath)
        return E_INVALIDARG;
    if (!sidecarWanted)
        return S_FALSE;

    // Everything the new sidecar holds is gathered before any file is touched: a metadata
    // object that fails part-way leaves the sidecars as they were.
    tVXLIST* records = nullptr;
    VX_RETURN_IF_FAILED(VxList_CreateExZ(&records, 4, -1, -1, kVxListHeap));
    HRESULT hr = (kinds & kVxMetaKindSummary) ? ReadSummaryRecords(meta, records) : S_OK;
    CVxRiffWriter riff;
    const size_t form = riff.BeginForm(kVxSidecarForm);
    HRESULT saved = S_FALSE;
    if (SUCCEEDED(hr)) {
        saved = VxSummary_Save(riff, records);
        hr = FAILED(saved) ? saved : S_OK;
    }
    VxList_Destroy(records);
    VX_RETURN_IF_FAILED(hr);
    const bool held = saved == S_OK;
    AppendIdentity(riff, mediaPath);
    riff.EndForm(form);
    VX_RETURN_IF_FAILED(riff.Result());

    Path replaceName, appendName;
    VX_RETURN_IF_FAILED(FormNames(mediaPath, replaceName, appendName));
    if (VxFMMeta_IsFilePathToXDSVolume(replaceName) || VxFMMeta_IsFilePathToXDSVolume(appendName))
        return E_FAIL;
    // The new sidecar takes the append name; the replace name of this media file goes. With
    // no extension both names are one, and the new file must then stay.
    if (held)
        VX_RETURN_IF_FAILED(WriteReplacing(appendName, riff));
    else
        DeleteIfSidecarOf(mediaPath, appendName);
    if (!SameText(replaceName, appendName))
        DeleteIfSidecarOf(mediaPath, replaceName);
    return S_OK;
}

// A sidecar is not made only to hold nothing: without properties and without a sidecar of
// this media file the call changes nothing.
HRESULT MediaMgrRiff_openAndWriteInfo(const char16_t* mediaPath, IUnknown* meta, BOOL sidecarWanted)
{
    if (!mediaPath || !*mediaPath)
        return E_INVALIDARG;
    if (!meta)
        return S_OK;
    if (!sidecarWanted)
        return S_FALSE;
    CVxComPtr<IVxReadMediaMgrMeta> mediaMgr;
    if (FAILED(meta->QueryInterface(IID_IVxReadMediaMgrMeta, mediaMgr.OutVoid())) || !mediaMgr)
        return S_OK;

    CVxRiffWriter chunk;
    const HRESULT properties = AppendMediaMgrChunk(mediaMgr.Get(), chunk);
    VX_RETURN_IF_FAILED(properties);

    Path appendName;
    VX_RETURN_IF_FAILED(VxFMMeta_CreateMetaName(mediaPath, appendName, kVxSidecarPathChars, TRUE));
    const bool exists = VxFMMeta_IsMetaFile(mediaPath, appendName);
    if (!exists && properties == S_FALSE)
        return S_OK;

    CVxRiffWriter riff;
    const size_t form = riff.BeginForm(kVxSidecarForm);
    if (!exists || !CopyChunksExceptMediaMgr(appendName, riff))
        AppendIdentity(riff, mediaPath);
    riff.Append(chunk.Bytes(), chunk.Size());
    riff.EndForm(form);
    VX_RETURN_IF_FAILED(riff.Result());
    return WriteReplacing(appendName, riff);
}
