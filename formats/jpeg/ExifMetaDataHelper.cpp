#include "ExifMetaDataHelper.h"

#include "../../platform/VxOwners.h"
#include "../../support/ByteReader.h"
#include "../../support/VxList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint16_t kTagMake = 271;
constexpr uint16_t kTagModel = 272;
constexpr uint16_t kTagDateTime = 306;
constexpr uint16_t kTagArtist = 315;
constexpr uint16_t kTagCopyright = 33432;
constexpr uint16_t kTagExifIfdPointer = 34665;
constexpr uint16_t kTagDateTimeOriginal = 36867;
constexpr uint16_t kTagDateTimeDigitized = 36868;
constexpr uint16_t kTagFlash = 37385;
constexpr uint16_t kTagInteropIfdPointer = 40965;

constexpr uint32_t kIfd0 = 0;
constexpr uint32_t kIfdExif = 1;
constexpr uint32_t kIfdInterop = 2;

constexpr uint32_t kIfdEntryBytes = 12;
constexpr size_t kPathChars = 260;  // file names, with their terminator
constexpr uint32_t kRecordHeaderBytes = sizeof(VXSUMMARYRECORD);
constexpr uint8_t kExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};

// The ASCII tags read into items: where each is read and the key it gets. Copyright is read
// from the 0th IFD but its key names the EXIF IFD, where the writer puts it.
struct VxExifStringTag {
    uint16_t tag;
    uint32_t ifd;
    uint32_t key;
};
constexpr VxExifStringTag kStringTags[] = {
    {kTagMake, kIfd0, VxExif_Key(kTagMake, kIfd0, kTiffAscii)},
    {kTagModel, kIfd0, VxExif_Key(kTagModel, kIfd0, kTiffAscii)},
    {kTagDateTime, kIfd0, VxExif_Key(kTagDateTime, kIfd0, kTiffAscii)},
    {kTagArtist, kIfd0, VxExif_Key(kTagArtist, kIfd0, kTiffAscii)},
    {kTagCopyright, kIfd0, VxExif_Key(kTagCopyright, kIfdExif, kTiffAscii)},
    {kTagDateTimeOriginal, kIfdExif, VxExif_Key(kTagDateTimeOriginal, kIfdExif, kTiffAscii)},
    {kTagDateTimeDigitized, kIfdExif, VxExif_Key(kTagDateTimeDigitized, kIfdExif, kTiffAscii)},
};
constexpr uint32_t kFlashKey = VxExif_Key(kTagFlash, kIfdExif, kTiffShort);

// The summary record at index when it is whole: a 12-byte header and the data it declares
// inside the item. Anything else is no record and is passed over.
const VXSUMMARYRECORD* VxExif_Record(tVXLIST* list, int32_t index)
{
    const auto* record = static_cast<const VXSUMMARYRECORD*>(VxList_GetItem(list, index));
    const size_t size = VxList_AllocSize(list, index);
    if (!record || size < kRecordHeaderBytes || record->headerSize != kRecordHeaderBytes ||
        record->dataBytes > size - kRecordHeaderBytes)
        return nullptr;
    return record;
}

bool VxExif_HasKey(tVXLIST* list, uint32_t key)
{
    const int32_t count = VxList_GetCount(list);
    for (int32_t i = 0; i < count; ++i) {
        const VXSUMMARYRECORD* record = VxExif_Record(list, i);
        if (record && record->fieldCode == key)
            return true;
    }
    return false;
}

// Appends a record of dataBytes bytes and hands its data area to fill (zero-filled).
HRESULT VxExif_AppendRecord(tVXLIST* list, uint32_t key, uint32_t dataBytes, uint8_t** data)
{
    if (!list)
        return E_INVALIDARG;
    if (dataBytes > 0x7FFFFFFFu - kRecordHeaderBytes)
        return E_OUTOFMEMORY;
    void* item = nullptr;
    VX_RETURN_IF_FAILED(VxList_AllocItem(list, kRecordHeaderBytes + dataBytes, &item));
    if (!item)
        return E_OUTOFMEMORY;
    const VXSUMMARYRECORD head = {kRecordHeaderBytes, key, dataBytes};
    std::memcpy(item, &head, sizeof head);
    *data = static_cast<uint8_t*>(item) + kRecordHeaderBytes;
    return S_OK;
}

HRESULT VxExif_InsertAppended(tVXLIST* list)
{
    const HRESULT hr = VxList_InsertList(list, -1, nullptr, -1);
    if (FAILED(hr))
        VxList_DeleteList(list, -1, -1, FALSE);  // frees the pending item
    return hr;
}

int VxExif_CompareKeys(uint32_t, const void* a, const void* b)
{
    const uint32_t ka = static_cast<const VXSUMMARYRECORD*>(a)->fieldCode;
    const uint32_t kb = static_cast<const VXSUMMARYRECORD*>(b)->fieldCode;
    return ka < kb ? -1 : ka > kb ? 1 : 0;
}

// Reads a whole file into zero-filled memory: the file forms of the readers work on bytes.
// Files that cannot be opened or mapped: E_FAIL.
HRESULT VxExif_MapFile(const char16_t* fileName, CVxHandle* file, CVxHandle* mapping, const uint8_t** view,
                       size_t* size)
{
    *file = CVxHandle(CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!*file)
        return E_FAIL;
    DWORD high = 0;
    const DWORD low = GetFileSize(file->Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return E_FAIL;
    *mapping = CVxHandle(CreateFileMappingW(file->Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!*mapping)
        return E_FAIL;
    *view = static_cast<const uint8_t*>(MapViewOfFile(mapping->Get(), FILE_MAP_READ, 0, 0, 0));
    if (!*view)
        return E_FAIL;
    *size = low;  // the low 32 bits: EXIF offsets cannot reach further
    return S_OK;
}

// Unmaps the view and closes mapping and file on every path.
class CVxExifMappedFile {
public:
    HRESULT Open(const char16_t* fileName) { return VxExif_MapFile(fileName, &m_file, &m_mapping, &m_view, &m_size); }
    ~CVxExifMappedFile()
    {
        if (m_view)
            UnmapViewOfFile(m_view);
    }
    const uint8_t* Data() const { return m_view; }
    size_t Size() const { return m_size; }

private:
    CVxHandle m_file;
    CVxHandle m_mapping;
    const uint8_t* m_view = nullptr;
    size_t m_size = 0;
};

}  // namespace

// The segment being written, in zero-filled global memory that grows as needed. A failed
// growth fails the buffer for good.
struct CVxExifMetaDataHelper::CVxExifOutput {
    CVxGlobalBlock block;
    size_t size = 0;
    bool failed = false;

    void Put(const void* bytes, size_t count)
    {
        if (failed || count == 0)
            return;
        if (block.Size() - size < count) {
            CVxGlobalBlock bigger(std::max<size_t>(2 * block.Size(), size + count + 256));
            if (!bigger) {
                failed = true;
                return;
            }
            if (size)
                std::memcpy(bigger.Bytes(), block.Bytes(), size);
            block = std::move(bigger);
        }
        std::memcpy(block.Bytes() + size, bytes, count);
        size += count;
    }
    void U16(uint16_t v)
    {
        const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        Put(b, 2);
    }
    void U32(uint32_t v)
    {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        Put(b, 4);
    }
};

// ---- Reading ---------------------------------------------------------------------------------

HRESULT CVxExifMetaDataHelper::AddExifTagsToSummaryListFromJpeg(const char16_t* fileName, tVXLIST* list)
{
    if (!fileName || !list)
        return E_INVALIDARG;
    CVxExifMappedFile file;
    VX_RETURN_IF_FAILED(file.Open(fileName));
    return AddExifTagsToSummaryListFromJpegData(file.Data(), file.Size(), list);
}

HRESULT CVxExifMetaDataHelper::AddExifTagsToSummaryListFromTiff(const char16_t* fileName, tVXLIST* list)
{
    if (!fileName || !list)
        return E_INVALIDARG;
    CVxExifMappedFile file;
    VX_RETURN_IF_FAILED(file.Open(fileName));
    return AddExifTagsToSummaryListFromTiffData(file.Data(), file.Size(), list);
}

// Walks the segments from FF D8 to the first APP1 segment carrying the EXIF identifier. The
// walk ends at the start of the image data (SOS) or its end (EOI): what follows is entropy-coded
// data, whose bytes only look like markers. The TIFF data runs to the end of the file.
HRESULT CVxExifMetaDataHelper::AddExifTagsToSummaryListFromJpegData(const uint8_t* data, size_t size,
                                                                   tVXLIST* list)
{
    if (!list || (!data && size))
        return E_INVALIDARG;
    if (size < 3 || data[0] != 0xFF || data[1] != 0xD8)
        return S_OK;
    size_t at = 2;
    while (size - at >= 5) {
        const uint16_t marker = uint16_t(data[at] << 8 | data[at + 1]);
        const uint16_t length = uint16_t(data[at + 2] << 8 | data[at + 3]);
        if (marker == 0xFFDA || marker == 0xFFD9)
            break;
        const size_t payload = at + 4;
        if (marker == 0xFFE1 && size - payload > sizeof kExifIdentifier &&
            std::memcmp(data + payload, kExifIdentifier, sizeof kExifIdentifier) == 0)
            return AddExifTagsToSummaryList(list, data + payload + sizeof kExifIdentifier, data + size);
        at += 2 + size_t(length);
        if (at >= size)
            break;
    }
    return S_OK;
}

HRESULT CVxExifMetaDataHelper::AddExifTagsToSummaryListFromTiffData(const uint8_t* data, size_t size,
                                                                   tVXLIST* list)
{
    if (!list || (!data && size))
        return E_INVALIDARG;
    return AddExifTagsToSummaryList(list, data, data + size);
}

HRESULT CVxExifMetaDataHelper::AddExifTagsToSummaryList(tVXLIST* list, const BYTE* tiff, const BYTE* end)
{
    if (!tiff || end < tiff || end - tiff < 9)
        return VXE_UNSUPPORTED_FORMAT;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        m_bigEndian = FALSE;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        m_bigEndian = TRUE;
    else
        return VXE_UNSUPPORTED_FORMAT;
    if (ConvertWord(tiff + 2) != 42)
        return VXE_UNSUPPORTED_FORMAT;
    return ParseIFD(list, tiff, end, ConvertDWord(tiff + 4), kIfd0);
}

// Each tag is taken from the IFD the table names; the EXIF IFD pointer is followed only from
// the 0th IFD, so pointers cannot loop. The result is that of the last handled entry.
HRESULT CVxExifMetaDataHelper::ParseIFD(tVXLIST* list, const BYTE* tiff, const BYTE* end, uint32_t ifdOffset,
                                        uint32_t ifd)
{
    const size_t size = size_t(end - tiff);
    if (ifdOffset > size || size - ifdOffset < 2 + kIfdEntryBytes)
        return E_FAIL;
    const uint16_t count = ConvertWord(tiff + ifdOffset);
    if (count == 0)
        return E_FAIL;
    HRESULT result = E_FAIL;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = size_t(ifdOffset) + 2 + size_t(i) * kIfdEntryBytes;
        if (at > size || size - at < kIfdEntryBytes)
            break;
        const BYTE* entry = tiff + at;
        const uint16_t tag = ConvertWord(entry);
        const uint16_t type = ConvertWord(entry + 2);
        const uint32_t valueCount = ConvertDWord(entry + 4);
        bool handled = false;
        for (const VxExifStringTag& s : kStringTags) {
            if (s.tag == tag && s.ifd == ifd) {
                result = AddString(list, s.key, entry, tiff, end);
                handled = true;
            }
        }
        if (handled)
            continue;
        if (tag == kTagFlash && ifd == kIfdExif && type == kTiffShort && valueCount == 1)
            result = AddBoolean(list, kFlashKey, ConvertWord(entry + 8) & 1);
        else if (tag == kTagExifIfdPointer && ifd == kIfd0 && type == kTiffLong && valueCount == 1)
            result = ParseIFD(list, tiff, end, ConvertDWord(entry + 8), kIfdExif);
    }
    return result;
}

// The text is what comes before the first zero byte of the count bytes (all of them when there
// is none), converted from the ANSI code page; the item holds count + 1 characters.
HRESULT CVxExifMetaDataHelper::AddString(tVXLIST* list, DWORD key, const BYTE* entry, const BYTE* tiff,
                                         const BYTE* end)
{
    if (ConvertWord(entry + 2) != kTiffAscii)
        return VXE_UNSUPPORTED_FORMAT;
    const uint32_t count = ConvertDWord(entry + 4);
    const size_t size = size_t(end - tiff);
    const BYTE* text = nullptr;
    // A string that would run past the end of the data, or lie beyond it, adds nothing.
    if (count <= 4) {
        text = entry + 8;
        if (size_t(end - text) < count)
            return S_OK;
    } else {
        const uint32_t offset = ConvertDWord(entry + 8);
        if (offset > size || size - offset < count)
            return S_OK;
        text = tiff + offset;
    }
    if (VxExif_HasKey(list, key))
        return S_OK;  // the first value wins, including one the list held before reading
    const uint64_t dataBytes = (uint64_t(count) + 1) * 2;
    if (dataBytes > 0x7FFFFFFFu)
        return E_OUTOFMEMORY;
    uint8_t* data = nullptr;
    VX_RETURN_IF_FAILED(VxExif_AppendRecord(list, key, uint32_t(dataBytes), &data));
    const size_t length = strnlen(reinterpret_cast<const char*>(text), count);
    if (length)
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, reinterpret_cast<const char*>(text), int(length),
                            reinterpret_cast<char16_t*>(data), int(count) + 1);
    return VxExif_InsertAppended(list);
}

HRESULT CVxExifMetaDataHelper::AddBoolean(tVXLIST* list, DWORD key, BOOL value)
{
    if (VxExif_HasKey(list, key))
        return S_OK;
    uint8_t* data = nullptr;
    VX_RETURN_IF_FAILED(VxExif_AppendRecord(list, key, 4, &data));
    const char16_t text[2] = {value ? u'1' : u'0', 0};
    std::memcpy(data, text, sizeof text);
    return VxExif_InsertAppended(list);
}

WORD CVxExifMetaDataHelper::ConvertWord(const BYTE* bytes) const
{
    WORD value;
    std::memcpy(&value, bytes, 2);
    return m_bigEndian ? SwapWord(value) : value;
}

DWORD CVxExifMetaDataHelper::ConvertDWord(const BYTE* bytes) const
{
    DWORD value;
    std::memcpy(&value, bytes, 4);
    return m_bigEndian ? SwapDWord(value) : value;
}

WORD CVxExifMetaDataHelper::SwapWord(WORD value)
{
    return WORD(value >> 8 | value << 8);
}

DWORD CVxExifMetaDataHelper::SwapDWord(DWORD value)
{
    return __builtin_bswap32(value);
}

// ---- Single items --------------------------------------------------------------------------

HRESULT CVxExifMetaDataHelper::AddExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd, WORD type,
                                                       DWORD size, const void* data)
{
    if (!data && size)
        return E_INVALIDARG;
    uint8_t* item = nullptr;
    VX_RETURN_IF_FAILED(VxExif_AppendRecord(list, VxExif_Key(tag, ifd, type), size, &item));
    if (size)
        std::memcpy(item, data, size);
    return VxExif_InsertAppended(list);
}

HRESULT CVxExifMetaDataHelper::AddStringExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd,
                                                             const char16_t* text)
{
    const char16_t empty = 0;
    if (!text)
        text = &empty;
    size_t length = 0;
    while (text[length] && length < 0x3FFFFFFF)
        ++length;
    return AddExifTagToSummaryList(list, tag, ifd, kTiffAscii, DWORD((length + 1) * 2), text);
}

HRESULT CVxExifMetaDataHelper::AddShortExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd, WORD value)
{
    const uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
    return AddExifTagToSummaryList(list, tag, ifd, kTiffShort, 2, bytes);
}

HRESULT CVxExifMetaDataHelper::AddLongExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd, DWORD value)
{
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return AddExifTagToSummaryList(list, tag, ifd, kTiffLong, 4, bytes);
}

HRESULT CVxExifMetaDataHelper::AddRationalExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd,
                                                               DWORD numerator, DWORD denominator)
{
    uint8_t bytes[8];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = uint8_t(numerator >> (8 * i));
        bytes[4 + i] = uint8_t(denominator >> (8 * i));
    }
    return AddExifTagToSummaryList(list, tag, ifd, kTiffRational, 8, bytes);
}

HRESULT CVxExifMetaDataHelper::AddDefaultThumbnailExifTagsToSummaryList(tVXLIST* list)
{
    static const uint8_t kComponents[4] = {1, 2, 3, 0};
    VX_RETURN_IF_FAILED(AddRationalExifTagToSummaryList(list, 282, kIfd0, 7200000, 100000));
    VX_RETURN_IF_FAILED(AddRationalExifTagToSummaryList(list, 283, kIfd0, 7200000, 100000));
    VX_RETURN_IF_FAILED(AddShortExifTagToSummaryList(list, 296, kIfd0, 2));
    VX_RETURN_IF_FAILED(AddShortExifTagToSummaryList(list, 531, kIfd0, 2));
    VX_RETURN_IF_FAILED(AddExifTagToSummaryList(list, 36864, kIfdExif, kTiffUndefined, 4, "0221"));
    VX_RETURN_IF_FAILED(AddExifTagToSummaryList(list, 37121, kIfdExif, kTiffUndefined, 4, kComponents));
    VX_RETURN_IF_FAILED(AddExifTagToSummaryList(list, 40960, kIfdExif, kTiffUndefined, 4, "0100"));
    VX_RETURN_IF_FAILED(AddShortExifTagToSummaryList(list, 40961, kIfdExif, 1));
    VX_RETURN_IF_FAILED(AddLongExifTagToSummaryList(list, 40962, kIfdExif, 160));
    VX_RETURN_IF_FAILED(AddLongExifTagToSummaryList(list, 40963, kIfdExif, 120));
    VX_RETURN_IF_FAILED(AddStringExifTagToSummaryList(list, 1, kIfdInterop, u"THM"));
    return AddExifTagToSummaryList(list, 2, kIfdInterop, kTiffUndefined, 4, "0100");
}

// ---- Writing ---------------------------------------------------------------------------------

// Works on a copy of the file in memory and writes the result as a new file beside it, which
// then replaces the original: a failure at any step leaves the original untouched.
HRESULT CVxExifMetaDataHelper::UpdateExifTagsFromSummaryList(const char16_t* fileName, tVXLIST* list)
{
    if (!fileName || !list)
        return E_INVALIDARG;
    CVxHandle file(CreateFileW(fileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    if (!file)
        return VXE_FILE_OPEN;
    DWORD high = 0;
    const DWORD size = GetFileSize(file.Get(), &high);
    if (high != 0 || size == INVALID_FILE_SIZE)
        return E_FAIL;
    CVxGlobalBlock bytes(std::max<DWORD>(size, 1));
    if (!bytes)
        return E_OUTOFMEMORY;
    DWORD got = 0;
    if (SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadFile(file.Get(), bytes.Get(), size, &got, nullptr) || got != size)
        return VXE_FILE_READ;
    file.Reset();

    DWORD keptFrom = 0;
    VX_RETURN_IF_FAILED(FindStartOfNonExifData(bytes.Bytes(), size, &keptFrom));

    CVxExifOutput segment;
    VX_RETURN_IF_FAILED(WriteExifTagsFromSummaryList(&segment, list));

    // The new file beside the original, under the original's name plus a suffix of ours.
    static constexpr char16_t kSuffix[] = u".vxexif.tmp";
    char16_t temporary[kPathChars + sizeof kSuffix / sizeof kSuffix[0]] = {};
    size_t nameLength = 0;
    while (fileName[nameLength] && nameLength < kPathChars)
        ++nameLength;
    if (nameLength >= kPathChars)
        return E_INVALIDARG;
    std::memcpy(temporary, fileName, nameLength * sizeof(char16_t));
    std::memcpy(temporary + nameLength, kSuffix, sizeof kSuffix);
    CVxHandle output(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output)
        return VXE_FILE_WRITE;
    static const uint8_t kStart[2] = {0xFF, 0xD8};
    auto write = [&output](const void* data, size_t count) {
        DWORD written = 0;
        return WriteFile(output.Get(), data, DWORD(count), &written, nullptr) && written == count;
    };
    const bool written = write(kStart, 2) && write(segment.block.Bytes(), segment.size) &&
                         write(bytes.Bytes() + keptFrom, size - keptFrom) && FlushFileBuffers(output.Get());
    output.Reset();
    if (!written || !MoveFileExW(temporary, fileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary);
        return VXE_FILE_WRITE;
    }
    return S_OK;
}

// The kept data: from the first segment that is not APP0, APP1 or APP2 to the end. Leading
// JFIF, EXIF, XMP and ICC segments are all dropped.
HRESULT CVxExifMetaDataHelper::FindStartOfNonExifData(const BYTE* file, DWORD size, DWORD* offset)
{
    CVxByteReader reader(file, size);
    const uint8_t first = reader.U8();
    const uint8_t second = reader.U8();
    if (!reader.Ok())
        return VXE_FILE_READ;
    if (first != 0xFF || second != 0xD8)
        return E_FAIL;
    for (;;) {
        const uint16_t marker = reader.U16BE();
        if (!reader.Ok())
            return VXE_FILE_READ;
        if (marker < 0xFFE0 || marker > 0xFFE2)
            break;
        const uint16_t length = reader.U16BE();
        if (!reader.Ok())
            return VXE_FILE_READ;
        if (length < 3)
            return E_FAIL;
        reader.Skip(length - 2u);
        if (!reader.Ok())
            return VXE_FILE_READ;
    }
    *offset = DWORD(reader.Offset() - 2);
    return S_OK;
}

// FF E1, the length, "Exif\0\0", a little-endian TIFF header and the IFDs with their data.
HRESULT CVxExifMetaDataHelper::WriteExifTagsFromSummaryList(CVxExifOutput* out, tVXLIST* list)
{
    VX_RETURN_IF_FAILED(VxList_Sort(list, 0, VxExif_CompareKeys));
    static const uint8_t kHead[] = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    out->Put(kHead, sizeof kHead);
    DWORD nextOffset = 8;
    VX_RETURN_IF_FAILED(WriteIFD(out, list, kIfd0, &nextOffset));
    if (out->failed)
        return E_OUTOFMEMORY;
    const size_t length = out->size - 2;
    if (length > 0xFFFF)
        return E_FAIL;  // more than one segment can hold
    out->block.Bytes()[2] = uint8_t(length >> 8);
    out->block.Bytes()[3] = uint8_t(length);
    return S_OK;
}

// One IFD (0th, EXIF or Interoperability) with its items' data, then the IFD it points to.
// nextOffset counts TIFF offsets: where the next data or IFD will lie.
HRESULT CVxExifMetaDataHelper::WriteIFD(CVxExifOutput* out, tVXLIST* list, uint32_t ifd, DWORD* nextOffset)
{
    const int32_t count = VxList_GetCount(list);
    uint32_t entries = 0;
    bool deeper = false;  // items of a later IFD: this one points to the next
    for (int32_t i = 0; i < count; ++i) {
        const VXSUMMARYRECORD* record = VxExif_Record(list, i);
        if (!record)
            continue;
        const uint32_t itemIfd = VxExif_KeyIfd(record->fieldCode);
        entries += itemIfd == ifd;
        deeper |= itemIfd > ifd && itemIfd <= kIfdInterop;
    }
    const uint32_t n = entries + (deeper ? 1 : 0);
    if (n > 0xFFFF)
        return E_FAIL;
    out->U16(uint16_t(n));
    *nextOffset += n * kIfdEntryBytes + 6;
    for (int32_t i = 0; i < count; ++i) {
        const VXSUMMARYRECORD* record = VxExif_Record(list, i);
        if (record && VxExif_KeyIfd(record->fieldCode) == ifd)
            VX_RETURN_IF_FAILED(WriteIFDEntry(out, record, nextOffset));
    }
    if (deeper) {
        out->U16(ifd == kIfd0 ? kTagExifIfdPointer : kTagInteropIfdPointer);
        out->U16(kTiffLong);
        out->U32(1);
        out->U32(*nextOffset);
    }
    out->U32(0);  // no next IFD: no thumbnail image
    for (int32_t i = 0; i < count; ++i) {
        const VXSUMMARYRECORD* record = VxExif_Record(list, i);
        if (!record || VxExif_KeyIfd(record->fieldCode) != ifd)
            continue;
        CVxGlobalBlock data;
        DWORD dataSize = 0, valueCount = 0;
        WORD tag = 0, type = 0;
        VX_RETURN_IF_FAILED(CreateIFDEntryData(record, &data, &dataSize, &tag, &type, &valueCount));
        if (dataSize > 4) {
            out->Put(data.Bytes(), dataSize);
            if (dataSize % 2)
                out->Put("", 1);
        }
    }
    return deeper ? WriteIFD(out, list, ifd + 1, nextOffset) : S_OK;
}

HRESULT CVxExifMetaDataHelper::WriteIFDEntry(CVxExifOutput* out, const VXSUMMARYRECORD* item, DWORD* nextOffset)
{
    CVxGlobalBlock data;
    DWORD dataSize = 0, count = 0;
    WORD tag = 0, type = 0;
    VX_RETURN_IF_FAILED(CreateIFDEntryData(item, &data, &dataSize, &tag, &type, &count));
    out->U16(tag);
    out->U16(type);
    out->U32(count);
    if (dataSize > 4) {
        out->U32(*nextOffset);
        *nextOffset += (dataSize + 1) & ~1u;
    } else {
        uint8_t value[4] = {};
        if (dataSize)
            std::memcpy(value, data.Bytes(), dataSize);
        out->Put(value, 4);
    }
    return S_OK;
}

HRESULT CVxExifMetaDataHelper::CreateIFDEntryData(const VXSUMMARYRECORD* item, CVxGlobalBlock* data,
                                                  DWORD* dataSize, WORD* tag, WORD* type, DWORD* count)
{
    // A whole record (VxExif_Record): its data lies inside the item.
    const uint32_t itemBytes = item->dataBytes;
    const auto* itemData = reinterpret_cast<const uint8_t*>(item + 1);
    *tag = WORD(VxExif_KeyTag(item->fieldCode));
    *type = WORD(VxExif_KeyType(item->fieldCode));
    switch (*type) {
    case kTiffAscii: {
        // UTF-16 to the ANSI code page: never more bytes than characters, always terminated.
        const size_t chars = itemBytes / 2;
        *data = CVxGlobalBlock(std::max<size_t>(itemBytes, 1));
        if (!*data)
            return E_OUTOFMEMORY;
        size_t length = 0;
        while (length < chars && (itemData[2 * length] | itemData[2 * length + 1]))
            ++length;
        int converted = 0;
        if (length) {
            CVxGlobalBlock wide(length * 2);
            if (!wide)
                return E_OUTOFMEMORY;
            std::memcpy(wide.Get(), itemData, length * 2);
            converted = WideCharToMultiByte(CP_ACP, 0, static_cast<const char16_t*>(wide.Get()), int(length),
                                            reinterpret_cast<char*>(data->Bytes()), int(data->Size()) - 1,
                                            nullptr, nullptr);
        }
        const size_t text = strnlen(reinterpret_cast<const char*>(data->Bytes()), size_t(std::max(converted, 0)));
        *count = DWORD(text + 1);
        *dataSize = DWORD(text + 1);
        return S_OK;
    }
    case kTiffShort:
    case kTiffLong:
    case kTiffRational:
        if (itemBytes != (*type == kTiffShort ? 2u : *type == kTiffLong ? 4u : 8u))
            return E_FAIL;
        *count = 1;
        break;
    case kTiffUndefined:
        *count = itemBytes;
        break;
    default:
        return E_FAIL;  // 0, above 10, and the types the writer has no rule for
    }
    *data = CVxGlobalBlock(std::max<uint32_t>(itemBytes, 1));
    if (!*data)
        return E_OUTOFMEMORY;
    if (itemBytes)
        std::memcpy(data->Bytes(), itemData, itemBytes);
    *dataSize = itemBytes;
    return S_OK;
}

// ---- Dates -----------------------------------------------------------------------------------

HRESULT CVxExifMetaDataHelper::SystemTimeToLocalDateTimeString(const SYSTEMTIME* time, char16_t* text,
                                                               DWORD characters)
{
    if (!text)
        return E_INVALIDARG;
    if (characters)
        text[0] = 0;
    if (characters < 20)
        return E_FAIL;
    if (!time)
        return E_INVALIDARG;
    char narrow[64];
    const int length = std::snprintf(narrow, sizeof narrow, "%04d:%02d:%02d %02d:%02d:%02d", time->wYear,
                                     time->wMonth, time->wDay, time->wHour, time->wMinute, time->wSecond);
    // Fields beyond their ranges can make a longer text; it is refused rather than cut.
    if (length < 0 || DWORD(length) >= characters)
        return E_FAIL;
    for (int i = 0; i <= length; ++i)
        text[i] = char16_t(uint8_t(narrow[i]));
    return S_OK;
}

HRESULT CVxExifMetaDataHelper::ParseExifLocalDateTimeStringToUtc(char16_t* text, DATE* time)
{
    if (!text || !time)
        return E_FAIL;
    size_t length = 0;
    while (length < 19 && text[length])
        ++length;
    if (length < 19 || text[0] == u' ')
        return E_FAIL;
    text[10] = u':';
    text[19] = 0;
    uint32_t fields[6] = {};
    const char16_t* p = text;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            if (*p != u':')
                return E_FAIL;
            ++p;
        }
        while (*p == u' ')
            ++p;
        if (*p < u'0' || *p > u'9')
            return E_FAIL;
        while (*p >= u'0' && *p <= u'9') {
            fields[i] = std::min<uint32_t>(fields[i] * 10 + uint32_t(*p - u'0'), 0x10000);
            ++p;
        }
        if (fields[i] > 0xFFFF)
            return E_FAIL;
    }
    SYSTEMTIME local = {};
    local.wYear = WORD(fields[0]);
    local.wMonth = WORD(fields[1]);
    local.wDay = WORD(fields[2]);
    local.wHour = WORD(fields[3]);
    local.wMinute = WORD(fields[4]);
    local.wSecond = WORD(fields[5]);
    FILETIME localFile, utcFile;
    SYSTEMTIME utc;
    if (!SystemTimeToFileTime(&local, &localFile) || !LocalFileTimeToFileTime(&localFile, &utcFile) ||
        !FileTimeToSystemTime(&utcFile, &utc) || !SystemTimeToVariantTime(&utc, time))
        return E_FAIL;
    return S_OK;
}
