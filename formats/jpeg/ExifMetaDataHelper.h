// EXIF information between image files and summary lists: the EXIF block of a JPEG file (or a
// whole TIFF file) read into summary items, summary items written back as an EXIF APP1 segment
// of a JPEG file, single-tag helpers and the EXIF date strings. Exported from the module.
#pragma once

#include "../../platform/VxWin32.h"
#include "../../plugin/contracts/VxRecords.h"
#include "../../plugin/contracts/VxTypes.h"

#include <cstddef>
#include <cstdint>

struct tVXLIST;
class CVxGlobalBlock;

// Field code of an EXIF item: 0x65000000 + IFD × 0x100000 + tag × 16 + TIFF type. The IFD of
// an item is bits 23..20 (0: the 0th IFD, 1: the EXIF IFD, 2: the Interoperability IFD).
constexpr uint32_t VxExif_Key(uint32_t tag, uint32_t ifd, uint32_t type)
{
    return 0x65000000u + ifd * 0x100000u + tag * 16u + type;
}
constexpr uint32_t VxExif_KeyIfd(uint32_t key) { return key >> 20 & 0xF; }
constexpr uint32_t VxExif_KeyTag(uint32_t key) { return key >> 4 & 0xFFFF; }
constexpr uint32_t VxExif_KeyType(uint32_t key) { return key & 0xF; }

// TIFF field types used here.
constexpr uint16_t kTiffByte = 1;
constexpr uint16_t kTiffAscii = 2;
constexpr uint16_t kTiffShort = 3;
constexpr uint16_t kTiffLong = 4;
constexpr uint16_t kTiffRational = 5;
constexpr uint16_t kTiffUndefined = 7;


// Made on the stack for one call sequence. Reading fills a summary list (a heap list of
// summary records); writing expects a list of EXIF items only.
class VX_EXPORT CVxExifMetaDataHelper {
public:
    CVxExifMetaDataHelper() = default;

    // The EXIF block of a JPEG file: the first APP1 segment carrying "Exif\0\0" before the
    // image data. A file that cannot be opened or mapped: E_FAIL; a file without FF D8 or
    // without an EXIF segment: S_OK with nothing added.
    HRESULT AddExifTagsToSummaryListFromJpeg(const char16_t* fileName, tVXLIST* list);
    // A TIFF file: the whole file is the TIFF data.
    HRESULT AddExifTagsToSummaryListFromTiff(const char16_t* fileName, tVXLIST* list);
    // The same on bytes in memory (the file forms map the file and call these).
    HRESULT AddExifTagsToSummaryListFromJpegData(const uint8_t* data, size_t size, tVXLIST* list);
    HRESULT AddExifTagsToSummaryListFromTiffData(const uint8_t* data, size_t size, tVXLIST* list);

    // Appends one item with a copy of size data bytes; no duplicate check.
    HRESULT AddExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd, WORD type, DWORD size,
                                    const void* data);
    // ASCII (type 2): the text with its terminator; a null text is stored as "".
    HRESULT AddStringExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd, const char16_t* text);
    HRESULT AddShortExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd, WORD value);
    HRESULT AddLongExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd, DWORD value);
    HRESULT AddRationalExifTagToSummaryList(tVXLIST* list, WORD tag, WORD ifd, DWORD numerator,
                                            DWORD denominator);
    // The tags of a DCF thumbnail, in order; the first failing append stops and answers.
    HRESULT AddDefaultThumbnailExifTagsToSummaryList(tVXLIST* list);

    // Replaces the JPEG file's leading APP0, APP1 and APP2 segments by one EXIF APP1 segment
    // built from the list (sorted by key in place). The new file is written completely beside
    // the original and replaces it only when everything has been written: a failure leaves
    // the original as it was.
    HRESULT UpdateExifTagsFromSummaryList(const char16_t* fileName, tVXLIST* list);

    // "YYYY:MM:DD hh:mm:ss" of the time as given (no time-zone change).
    HRESULT SystemTimeToLocalDateTimeString(const SYSTEMTIME* time, char16_t* text, DWORD characters);
    // An EXIF date string taken as local time of the system's time zone, as a UTC automation
    // date. The text is changed in place (character 10 becomes ':', cut after 19 characters).
    HRESULT ParseExifLocalDateTimeStringToUtc(char16_t* text, DATE* time);

private:
    // A growable byte buffer for the segment being written (zero-filled global memory).
    struct CVxExifOutput;

    HRESULT AddExifTagsToSummaryList(tVXLIST* list, const BYTE* tiff, const BYTE* end);
    HRESULT ParseIFD(tVXLIST* list, const BYTE* tiff, const BYTE* end, uint32_t ifdOffset, uint32_t ifd);
    HRESULT AddString(tVXLIST* list, DWORD key, const BYTE* entry, const BYTE* tiff, const BYTE* end);
    HRESULT AddBoolean(tVXLIST* list, DWORD key, BOOL value);
    HRESULT FindStartOfNonExifData(const BYTE* file, DWORD size, DWORD* offset);
    HRESULT WriteExifTagsFromSummaryList(CVxExifOutput* out, tVXLIST* list);
    HRESULT WriteIFD(CVxExifOutput* out, tVXLIST* list, uint32_t ifd, DWORD* nextOffset);
    HRESULT WriteIFDEntry(CVxExifOutput* out, const VXSUMMARYRECORD* item, DWORD* nextOffset);
    HRESULT CreateIFDEntryData(const VXSUMMARYRECORD* item, CVxGlobalBlock* data, DWORD* dataSize,
                               WORD* tag, WORD* type, DWORD* count);
    WORD ConvertWord(const BYTE* bytes) const;
    DWORD ConvertDWord(const BYTE* bytes) const;
    static WORD SwapWord(WORD value);
    static DWORD SwapDWord(DWORD value);

    BOOL m_bigEndian = FALSE;  // of the TIFF data being read; set by each TIFF header
};
