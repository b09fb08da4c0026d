// The sidecar metadata file: a small RIFF file (form "VXPL") beside an image that carries the
// summary text fields and media-manager properties a still image cannot hold itself.
//
//   "RIFF" size "VXPL"
//     "LIST" size "INFO" { code size ANSI-text NUL [pad] }...   summary fields
//     "VXPI" size ANSI-name NUL [pad]                           the media file's name part
//     "mudp" size 100 12 n { 56-byte record, block 1, block 2 }... [pad]
//
// Every chunk's data is padded to even length; the pad is not counted in its size.
#pragma once

#include "../platform/VxWin32.h"
#include "../plugin/contracts/VxInterfaces.h"
#include "../plugin/contracts/VxRecords.h"
#include "Riff.h"

struct tVXLIST;

constexpr int32_t kVxSidecarPathChars = 260;   // names, terminator included
constexpr uint32_t kVxSidecarForm = VxRiff_FourCC("VXPL");
constexpr uint32_t kVxSidecarIdentity = VxRiff_FourCC("VXPI");
constexpr uint32_t kVxSidecarInfo = VxRiff_FourCC("INFO");
constexpr uint32_t kVxSidecarMediaMgr = VxRiff_FourCC("mudp");
constexpr uint32_t kVxMediaMgrTag = 100;
constexpr uint32_t kVxMediaMgrHeaderBytes = 12;
constexpr uint32_t kVxMediaMgrRecordBytes = 56;   // fourteen words; words 12 and 14 size the blocks

// Metadata kinds of the writer: 1 is the summary list.
constexpr uint32_t kVxMetaKindSummary = 1;

// Type identifier and kind of the in-memory summary item built from one INFO field.
VX_DEFINE_GUID(kVxSummaryItemType, 0x925F94BC, 0x525A, 0x11D2, 0x86, 0xDC, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A);
constexpr uint32_t kVxSummaryItemHeaderBytes = 28;
constexpr uint32_t kVxSummaryItemKind = 100;

// Interface of typed metadata streams; the metadata objects of this module do not answer it.
VX_DEFINE_GUID(IID_IVxMetaStreamEnum, 0x960A6634, 0x5DE0, 0x4C22, 0x90, 0xE0, 0x35, 0xD0, 0x1A, 0x0C, 0xF9, 0x71);

// The sidecar name of a media path: with append, the path plus ".vxl" (a.jpg.vxl); without,
// the path with its extension replaced (a.vxl). A name that does not fit capacity (characters,
// terminator included) keeps as much of the path as leaves room for ".vxl".
HRESULT VxFMMeta_CreateMetaName(const char16_t* mediaPath, char16_t* name, int32_t capacity, BOOL append);

// True when sidecarPath opens for reading, is a RIFF file with a "VXPI" chunk, and that
// chunk's text (at most 259 bytes) equals the media path's name part exactly.
BOOL VxFMMeta_IsMetaFile(const char16_t* mediaPath, const char16_t* sidecarPath);

// True when a path lies on a disc volume that takes no sidecars. Such volumes do not exist on
// this platform.
BOOL VxFMMeta_IsFilePathToXDSVolume(const char16_t* path);

// Finds the sidecar of a media file (append name first, then replace name) and opens it for
// sequential reading. E_FAIL with the handle INVALID_HANDLE_VALUE when there is none,
// VXE_FILE_OPEN when it cannot be opened. The caller closes the handle.
HRESULT VxFMMeta_OpenMetaFile(const char16_t* mediaPath, HANDLE* file);

// Adds the sidecar's summary fields: each non-empty INFO text becomes a summary record
// (12, code, bytes, UTF-16 text with terminator) in summaryList and a whole summary item
// (28-byte item header, then the record) in itemList, unless the list holds that code already.
// Either list may be null. Nothing is added when the INFO list is damaged (VXE_FILE_READ).
HRESULT VxFMMeta_fillSummaryFromFileEx(HANDLE file, tVXLIST* summaryList, tVXLIST* itemList);

// Reads the media-manager chunk: its header goes to header, each property (56-byte record and
// its two blocks) becomes one item of properties, and found becomes 1. No chunk: S_OK with
// found 0. A short read or a wrong tag: VXE_FILE_READ, nothing added.
HRESULT MediaMgrRiff_LoadPropertyInfo(HANDLE file, VXMEDIAMGRINFO* header, tVXLIST* properties,
                                      uint32_t* found);

// One INFO field: its code and where its text lies in the INFO data (terminator excluded).
struct VXINFOFIELD {
    uint32_t code;
    uint32_t offset;
    uint32_t bytes;
};

// Splits the data of a "LIST" "INFO" chunk (after the list type) into fields, appended to an
// inline list of VXINFOFIELD. A field running past the data: VXE_FILE_READ.
HRESULT VxSummary_Load(const uint8_t* data, size_t bytes, tVXLIST* fields);

// Writes the "LIST" "INFO" chunk of a heap list of summary records: one field per record with
// a four-character code and non-empty text. S_FALSE, nothing written, when no record qualifies.
HRESULT VxSummary_Save(CVxRiffWriter& riff, tVXLIST* records);

// Writes the summary of meta (an object answering IVxReadMeta; null holds nothing) beside a
// media file: stale sidecars of the media file are deleted and, when the object holds a summary
// with content, a new append-name sidecar is made. kinds is a mask of metadata kinds; this
// module writes kind 1. sidecarWanted 0 (metadata for a container named by target) is not
// supported: S_FALSE, nothing written.
HRESULT VxFMMeta_openAndWriteMetaStreamEx(const char16_t* mediaPath, BOOL sidecarWanted, void* target,
                                          IUnknown* meta, uint32_t reserved, uint32_t kinds);

// Replaces the media-manager chunk of the media file's append-name sidecar with the
// properties of meta's IVxReadMediaMgrMeta. Without that interface: S_OK, nothing done.
HRESULT MediaMgrRiff_openAndWriteInfo(const char16_t* mediaPath, IUnknown* meta, BOOL sidecarWanted);
