// Host interfaces in slot order, with their identifiers. Each interface is a pure struct:
// a pointer to the slot table at offset 0, slots in declaration order (the COM layout).
#pragma once

#include "VxRecords.h"

// Maps an interface type to its IID: VxIidOf<IVxReadFile>() == IID_IVxReadFile.
template <class Interface>
struct VxIid;
template <class Interface>
constexpr const GUID& VxIidOf()
{
    return VxIid<Interface>::value;
}

#define VX_DEFINE_GUID(name, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7) \
    inline constexpr GUID name = {d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}}

#define VX_DEFINE_IID(Interface, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7)      \
    VX_DEFINE_GUID(IID_##Interface, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7); \
    template <>                                                                 \
    struct VxIid<Interface> {                                                   \
        static constexpr const GUID& value = IID_##Interface;                   \
    }

struct IUnknown {
    virtual HRESULT VXAPI QueryInterface(REFIID iid, void** out) = 0;  // 0
    virtual ULONG VXAPI AddRef() = 0;                                   // 1
    virtual ULONG VXAPI Release() = 0;                                  // 2
};
VX_DEFINE_IID(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IClassFactory : IUnknown {
    virtual HRESULT VXAPI CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;  // 3
    virtual HRESULT VXAPI LockServer(BOOL lock) = 0;                                     // 4
};
VX_DEFINE_IID(IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

// IStream seek origins.
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

struct IStream : IUnknown {
    virtual HRESULT VXAPI Read(void* data, ULONG bytes, ULONG* read) = 0;                          // 3
    virtual HRESULT VXAPI Write(const void* data, ULONG bytes, ULONG* written) = 0;                // 4
    virtual HRESULT VXAPI Seek(int64_t move, DWORD origin, uint64_t* newPosition) = 0;             // 5
    virtual HRESULT VXAPI SetSize(uint64_t size) = 0;                                              // 6
    virtual HRESULT VXAPI CopyTo(IStream* to, uint64_t bytes, uint64_t* read, uint64_t* written) = 0;  // 7
    virtual HRESULT VXAPI Commit(DWORD flags) = 0;                                                 // 8
    virtual HRESULT VXAPI Revert() = 0;                                                            // 9
    virtual HRESULT VXAPI LockRegion(uint64_t offset, uint64_t bytes, DWORD type) = 0;             // 10
    virtual HRESULT VXAPI UnlockRegion(uint64_t offset, uint64_t bytes, DWORD type) = 0;           // 11
    virtual HRESULT VXAPI Stat(void* statstg, DWORD flags) = 0;                                    // 12
    virtual HRESULT VXAPI Clone(IStream** out) = 0;                                                // 13
};
VX_DEFINE_IID(IStream, 0x0000000C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IVxReadFile;
struct IVxReadStream;
struct IVxReadMeta;
struct IVxRenderFile;
struct IVxRenderFileClass;

struct IVxReadFileClass : IUnknown {
    virtual HRESULT VXAPI SetClassIndex(uint32_t value) = 0;                                 // 3
    virtual HRESULT VXAPI GetClassIndex(uint32_t* value) = 0;                                // 4
    virtual HRESULT VXAPI SetFileIOManager(IUnknown* manager) = 0;                           // 5
    virtual HRESULT VXAPI GetFileIOManager(IUnknown** manager) = 0;                          // 6
    virtual HRESULT VXAPI GetClassID(GUID* classId) = 0;                                     // 7
    virtual HRESULT VXAPI GetMediaTypes(uint32_t* mediaTypes) = 0;                           // 8
    virtual HRESULT VXAPI GetClassFlags(uint32_t* flags) = 0;                                // 9
    virtual HRESULT VXAPI GetRenderFileClass(IVxRenderFileClass** out) = 0;                  // 10
    virtual HRESULT VXAPI GetInfoText(const uint32_t* ids, uint32_t count, BSTR* texts) = 0;  // 11
    virtual HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                          uint32_t reserved) = 0;                            // 12
    virtual HRESULT VXAPI CheckFile(const char16_t* path) = 0;                               // 13
    virtual HRESULT VXAPI ReservedClass14(uint32_t value) = 0;                               // 14
    virtual HRESULT VXAPI OpenReadFile(IVxReadFile** out, uint32_t reserved1, uint32_t reserved2,
                                       const char16_t* path, BOOL openNow) = 0;              // 15
    virtual HRESULT VXAPI QueryReady() = 0;                                                  // 16
    virtual HRESULT VXAPI ShowAbout(HWND parent) = 0;                                        // 17
    virtual HRESULT VXAPI GetPluginStatus(HRESULT* status, BSTR* text) = 0;                  // 18
};
VX_DEFINE_IID(IVxReadFileClass, 0xEEF647F1, 0x02AB, 0x4FCD, 0xB0, 0x6E, 0xA5, 0x01, 0xAE, 0xFF, 0x2D, 0x34);

struct IVxReadFile : IUnknown {
    virtual HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out) = 0;                             // 3
    virtual HRESULT VXAPI GetFormatName(char16_t* buf, int32_t bufChars, uint32_t kind) = 0;        // 4
    virtual HRESULT VXAPI GetDescription(char16_t* buf, int32_t bufChars, uint32_t ignored,
                                         uint32_t kind) = 0;                                       // 5
    virtual HRESULT VXAPI SetFileProperty(uint32_t a, uint32_t b, uint32_t c) = 0;                  // 6
    virtual HRESULT VXAPI GetFileProperty(void* buf, uint32_t bufBytes, uint32_t context,
                                          uint32_t propertyId) = 0;                                // 7
    virtual HRESULT VXAPI GetAssociatedFile(IVxReadFile** out) = 0;                                 // 8
    virtual HRESULT VXAPI Close() = 0;                                                              // 9
    virtual HRESULT VXAPI IsOpen() = 0;                                                             // 10
    virtual HRESULT VXAPI Open(uint32_t mode, uint32_t flags) = 0;                                  // 11
    virtual HRESULT VXAPI SetFileName(const char16_t* path) = 0;                                    // 12
    virtual HRESULT VXAPI GetFileName(char16_t* buf, int32_t bufChars) = 0;                         // 13
    virtual HRESULT VXAPI GetLength(uint64_t* length) = 0;                                          // 14
    virtual HRESULT VXAPI GetStreamCount(uint32_t* count) = 0;                                      // 15
    virtual HRESULT VXAPI GetClassMediaTypes(uint32_t* mediaTypes) = 0;                             // 16
    virtual HRESULT VXAPI GetStreamFormats(VXFILESTREAMFORMATINFOv2* formats, int32_t first,
                                           int32_t count) = 0;                                     // 17
    virtual HRESULT VXAPI GetStreamType(int32_t index, uint32_t* type, uint32_t* number) = 0;       // 18
    virtual HRESULT VXAPI FindStream(int32_t nth, uint32_t type, int32_t* index) = 0;               // 19
    virtual HRESULT VXAPI GetStream(IVxReadStream** out, int32_t type, int32_t nthOrIndex,
                                    uint32_t reserved1, uint32_t reserved2) = 0;                   // 20
    virtual HRESULT VXAPI CheckStream(int32_t index, uint32_t ignored, void* mustBeNonNull) = 0;    // 21
    virtual HRESULT VXAPI GetReadMeta(IVxReadMeta** out) = 0;                                       // 22
    virtual HRESULT VXAPI ReservedFile23(void** out, uint32_t a, uint32_t b) = 0;                   // 23
};
VX_DEFINE_IID(IVxReadFile, 0x08458FE3, 0x09B8, 0x4C25, 0x8B, 0x42, 0xFA, 0x7A, 0x46, 0x0D, 0xFC, 0x47);

struct IVxReadStream : IUnknown {
    virtual HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out) = 0;                    // 3
    virtual HRESULT VXAPI GetReadFile(IVxReadFile** out) = 0;                              // 4
    virtual HRESULT VXAPI GetLinkedStream(void** out) = 0;                                 // 5
    virtual HRESULT VXAPI GetStreamInfo(uint32_t* type, uint32_t* number, int32_t* index) = 0;  // 6
    virtual HRESULT VXAPI GetLength(uint64_t* length) = 0;                                 // 7
    virtual HRESULT VXAPI GetStartOffset(uint64_t* offset) = 0;                            // 8
    virtual HRESULT VXAPI SetStreamCookie(uint32_t cookie) = 0;                            // 9
    virtual HRESULT VXAPI Close() = 0;                                                     // 10
};
VX_DEFINE_IID(IVxReadStream, 0x60FD1C41, 0x7825, 0x11D3, 0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37);

struct IVxReadVideoStream : IVxReadStream {
    virtual HRESULT VXAPI GetFrameCount(uint64_t* count) = 0;                              // 11
    virtual HRESULT VXAPI GetFormatInfo(VXFILESTREAMFORMATINFOv2* format) = 0;             // 12
    virtual HRESULT VXAPI GetFormatInfoAlt(VXFILESTREAMFORMATINFOv2* format) = 0;          // 13
    virtual HRESULT VXAPI CheckFormat(VXFILESTREAMFORMATINFOv2* format) = 0;               // 14
    virtual HRESULT VXAPI GetFrameBufferSize(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                             uint32_t* bytes) = 0;                        // 15
    virtual HRESULT VXAPI GetFrameFormat(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                         VXFRAMEINFO* frame) = 0;                         // 16
    virtual HRESULT VXAPI GetFrame(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                   _vxmemorytoken token, VXFRAMEINFO* frame,
                                   uint32_t* bytes) = 0;                                  // 17
    virtual HRESULT VXAPI TimeToFrame(int64_t time, VXFRAMETIME* out) = 0;                 // 18
    virtual HRESULT VXAPI FrameToTime(int64_t frame, VXFRAMETIME* out) = 0;                // 19
    virtual HRESULT VXAPI SetFrameRate(double rate) = 0;                                   // 20
    virtual HRESULT VXAPI GetPixelAspect(double* aspect) = 0;                              // 21
    virtual HRESULT VXAPI GetFrameRate(double* rate) = 0;                                  // 22
};
VX_DEFINE_IID(IVxReadVideoStream, 0xD8E86F3C, 0x4C2F, 0x403C, 0xAC, 0x5B, 0x43, 0xF0, 0x2A, 0xF1, 0xB4, 0x27);

// Frame-request flag: bit 1 asks GetFrameFormat and LockLayerFrame to answer S_FALSE at once.
constexpr uint32_t kVxFrameFlagSkip = 2;

struct IVxReadLayer : IUnknown {
    virtual HRESULT VXAPI GetLayerState() = 0;                                              // 3
    virtual HRESULT VXAPI LockLayerFrame(uint32_t layer, uint32_t frameLo, uint32_t frameHi,
                                         void** pixels, uint32_t* reserved,
                                         BITMAPINFOHEADER** header,
                                         tVXVIDEOEXTENSION** extension, uint64_t* frameTime,
                                         uint32_t flags, uint32_t ignored) = 0;             // 4
    virtual HRESULT VXAPI UnlockLayerFrame(void* pixels) = 0;                               // 5
    virtual HRESULT VXAPI GetLayerCount(uint32_t* count) = 0;                               // 6
    virtual HRESULT VXAPI GetLayerInfo(uint32_t layer, void* buffer, uint32_t size,
                                       uint32_t kind) = 0;                                  // 7
};
VX_DEFINE_IID(IVxReadLayer, 0xF31E5FFB, 0x00AB, 0x4D22, 0x88, 0xDE, 0x28, 0x79, 0x18, 0xB4, 0x5E, 0xA1);

// Kinds of GetLayerInfo.
constexpr uint32_t kVxLayerInfoName = 0;
constexpr uint32_t kVxLayerInfoRect = 1;

struct IVxReadMeta : IUnknown {
    virtual HRESULT VXAPI ReservedMeta3(uint32_t value) = 0;                                // 3
    virtual HRESULT VXAPI ReservedMeta4(uint32_t value) = 0;                                // 4
    virtual HRESULT VXAPI ReservedMeta5(uint32_t value) = 0;                                // 5
    virtual HRESULT VXAPI GetSummaryText(uint32_t id, char16_t* buf, int32_t bufChars) = 0;  // 6
    virtual HRESULT VXAPI GetSummaryStream(IStream** out) = 0;                              // 7
};
VX_DEFINE_IID(IVxReadMeta, 0x001420E1, 0x938C, 0x11D3, 0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37);

struct IVxReadMediaMgrMeta : IUnknown {
    virtual HRESULT VXAPI GetMediaMgrStream(IStream** out) = 0;       // 3
    virtual HRESULT VXAPI GetMediaMgrInfo(VXMEDIAMGRINFO* out) = 0;   // 4
};
VX_DEFINE_IID(IVxReadMediaMgrMeta, 0x50FEB89B, 0x8026, 0x4FCC, 0xA2, 0xCC, 0x85, 0x5B, 0xCF, 0x8F, 0xF7, 0x4F);

struct IVxRenderFileClass : IUnknown {
    virtual HRESULT VXAPI SetClassIndex(uint32_t value) = 0;                                  // 3
    virtual HRESULT VXAPI GetClassIndex(uint32_t* value) = 0;                                 // 4
    virtual HRESULT VXAPI SetFileIOManager(IUnknown* manager) = 0;                            // 5
    virtual HRESULT VXAPI GetFileIOManager(IUnknown** manager) = 0;                           // 6
    virtual HRESULT VXAPI GetClassID(GUID* classId) = 0;                                      // 7
    virtual HRESULT VXAPI GetMediaTypes(uint32_t* mediaTypes) = 0;                            // 8
    virtual HRESULT VXAPI GetClassFlags(uint32_t* flags) = 0;                                 // 9
    virtual HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out) = 0;                       // 10
    virtual HRESULT VXAPI GetInfoText(const uint32_t* ids, uint32_t count, BSTR* texts) = 0;   // 11
    virtual HRESULT VXAPI ReservedRender12(uint32_t a, uint32_t b, uint32_t c) = 0;           // 12
    virtual HRESULT VXAPI CreateRenderFile(IVxRenderFile** out, const char16_t* path, uint32_t a,
                                           uint32_t b, const VXTEMPLATExV2* tmpl) = 0;        // 13
    virtual HRESULT VXAPI ReservedRender14(uint32_t* out) = 0;                                // 14
    virtual HRESULT VXAPI ReservedRender15(uint32_t a, uint32_t b) = 0;                       // 15
    virtual HRESULT VXAPI ReservedRender16(uint32_t a, uint32_t* out) = 0;                    // 16
    virtual HRESULT VXAPI ReservedRender17(uint32_t a, uint32_t b, uint32_t* out) = 0;        // 17
    virtual HRESULT VXAPI ReservedRender18(uint32_t* out, uint32_t a, uint32_t b) = 0;        // 18
    virtual HRESULT VXAPI GetTemplateData(void** out, uint32_t a, uint32_t b, int32_t kind) = 0;  // 19
    virtual HRESULT VXAPI GetTemplateInfo(const VXTEMPLATExV2* tmpl, char16_t* buf,
                                          uint32_t bufChars, int32_t kind) = 0;               // 20
    virtual HRESULT VXAPI GetRenderLimits(uint32_t* a, uint32_t* b, uint32_t* c) = 0;         // 21
    virtual HRESULT VXAPI ReservedRender22(uint32_t a, uint32_t* out) = 0;                    // 22
    virtual HRESULT VXAPI ReservedRender23(uint32_t a) = 0;                                   // 23
    virtual HRESULT VXAPI ReservedRender24() = 0;                                             // 24
    virtual HRESULT VXAPI ShowAbout(HWND parent) = 0;                                         // 25
    virtual HRESULT VXAPI GetPluginStatus(HRESULT* status, BSTR* text) = 0;                   // 26
};
VX_DEFINE_IID(IVxRenderFileClass, 0x5F351064, 0x46AD, 0x47EE, 0x89, 0x99, 0x54, 0x87, 0x69, 0xE7, 0x36, 0x39);

struct IVxRenderMetaSupport : IUnknown {
    virtual HRESULT VXAPI BeginMetaSupport() = 0;                       // 3
    virtual HRESULT VXAPI SupportsMetaType(uint32_t a, uint32_t b) = 0;  // 4
};
VX_DEFINE_IID(IVxRenderMetaSupport, 0xBA95F583, 0xFA5C, 0x436E, 0xB4, 0x5A, 0x0B, 0x76, 0xB6, 0x3B, 0x01, 0x0F);

struct IVxRenderMetaSupport2 : IVxRenderMetaSupport {
    virtual HRESULT VXAPI GetMetaTypes(uint32_t* a, uint32_t* b) = 0;    // 5
};
VX_DEFINE_IID(IVxRenderMetaSupport2, 0x6084E4B3, 0x9479, 0x4545, 0xB4, 0x69, 0xE2, 0xC0, 0x03, 0x2F, 0x20, 0xC3);

struct IVxRenderFile : IUnknown {
    virtual HRESULT VXAPI GetRenderFileClass(IVxRenderFileClass** out) = 0;                   // 3
    virtual HRESULT VXAPI Close() = 0;                                                        // 4
    virtual HRESULT VXAPI IsOpen() = 0;                                                       // 5
    virtual HRESULT VXAPI Open(uint32_t a, uint32_t b) = 0;                                   // 6
    virtual HRESULT VXAPI SetFileName(const char16_t* path) = 0;                              // 7
    virtual HRESULT VXAPI GetFileName(char16_t* buf, int32_t bufChars) = 0;                   // 8
    virtual HRESULT VXAPI GetStreamCount(uint32_t* count) = 0;                                // 9
    virtual HRESULT VXAPI GetStreamFormats(VXFILESTREAMFORMATINFOv2* formats, int32_t first,
                                           int32_t count) = 0;                               // 10
    virtual HRESULT VXAPI SetStreamFormats(const VXFILESTREAMFORMATINFOv2* formats,
                                           uint32_t count) = 0;                              // 11
    virtual HRESULT VXAPI AddStream(IUnknown* source) = 0;                                    // 12
    virtual HRESULT VXAPI SetReadMeta(IVxReadMeta* meta) = 0;                                 // 13
    virtual HRESULT VXAPI ReservedRenderFile14(uint32_t a, uint32_t b) = 0;                   // 14
    virtual HRESULT VXAPI ReservedRenderFile15(uint32_t a) = 0;                               // 15
    virtual HRESULT VXAPI WriteMeta(uint32_t value) = 0;                                      // 16
    virtual HRESULT VXAPI WriteMetaAt(uint32_t value, uint32_t b) = 0;                        // 17
};
VX_DEFINE_IID(IVxRenderFile, 0xA69223F6, 0x6701, 0x4B79, 0x95, 0xE5, 0x86, 0x4C, 0x2B, 0x24, 0xDC, 0xD7);

struct IVxUnsharedFIOPluginInfo : IUnknown {
    virtual HRESULT VXAPI Initialize(uint32_t a, uint32_t b, uint32_t c) = 0;                 // 3
    virtual HRESULT VXAPI GetPluginCount(uint32_t* count) = 0;                                // 4
    virtual HRESULT VXAPI GetPluginInfo(int32_t index, GUID* clsid, char16_t* name,
                                        int32_t nameChars, uint32_t* kindFlags,
                                        uint32_t* mediaTypes, uint32_t r1, uint32_t r2,
                                        uint32_t r3, uint32_t r4, uint32_t r5,
                                        uint32_t* extra) = 0;                                // 5
};
VX_DEFINE_IID(IVxUnsharedFIOPluginInfo, 0x404E18A7, 0xC288, 0x4499, 0x8E, 0x42, 0x33, 0xFE, 0xCF, 0xA1, 0x64, 0x2C);

struct IVxBufferAccess;

struct IVxBufferPool : IUnknown {
    virtual HRESULT VXAPI CreateBufferAccess(IVxBufferAccess** access) = 0;  // 3
    virtual HRESULT VXAPI ReservedPool4(uint32_t a, uint32_t b) = 0;         // 4
};
VX_DEFINE_IID(IVxBufferPool, 0x9161B2DB, 0x9819, 0x46B7, 0x9D, 0x9A, 0xB4, 0xD6, 0xF7, 0x40, 0x5D, 0x77);

struct IVxBufferAccess : IUnknown {
    virtual HRESULT VXAPI ReservedAccess3(uint32_t a, uint32_t b) = 0;                        // 3
    virtual HRESULT VXAPI ReservedAccess4(uint32_t a) = 0;                                    // 4
    virtual HRESULT VXAPI AllocBuffer(uint32_t key0, uint32_t key1, uint32_t key2, uint32_t bytes,
                                      uint32_t key4, uint32_t key5, void** buffer) = 0;       // 5
    virtual HRESULT VXAPI FreeBuffer(uint32_t key0, uint32_t key1, uint32_t key2, uint32_t key3,
                                     uint32_t bytes, void* buffer) = 0;                      // 6
    virtual HRESULT VXAPI ReservedAccess7() = 0;                                              // 7
};
VX_DEFINE_IID(IVxBufferAccess, 0x569E7993, 0xD161, 0x43E7, 0xBB, 0x2F, 0x42, 0x30, 0x22, 0x06, 0x0B, 0x82);

// Asked for by VxFio_FillStreamFormatInfo for audio streams; no still class answers it.
struct IVxReadAudioStream : IVxReadStream {
    virtual HRESULT VXAPI ReservedAudio11() = 0;                                // 11
    virtual HRESULT VXAPI ReservedAudio12() = 0;                                // 12
    virtual HRESULT VXAPI GetFormatInfo(VXFILESTREAMFORMATINFOv2* format) = 0;  // 13
};
VX_DEFINE_IID(IVxReadAudioStream, 0x6E362EA8, 0xF473, 0x4167, 0xB8, 0x5F, 0x07, 0x4E, 0xAB, 0x32, 0x90, 0xCE);

// The host's file-I/O manager. The module calls only slots 3, 14 and 15; it has no IID of
// its own here because the module reaches it through the IUnknown handed to SetFileIOManager.
struct IVxFileIOManager : IUnknown {
    virtual HRESULT VXAPI GetLanguage(uint32_t* languageId, uint32_t reserved) = 0;     // 3
    virtual HRESULT VXAPI HostReserved4() = 0;                                          // 4
    virtual HRESULT VXAPI HostReserved5() = 0;                                          // 5
    virtual HRESULT VXAPI HostReserved6() = 0;                                          // 6
    virtual HRESULT VXAPI HostReserved7() = 0;                                          // 7
    virtual HRESULT VXAPI HostReserved8() = 0;                                          // 8
    virtual HRESULT VXAPI HostReserved9() = 0;                                          // 9
    virtual HRESULT VXAPI HostReserved10() = 0;                                         // 10
    virtual HRESULT VXAPI HostReserved11() = 0;                                         // 11
    virtual HRESULT VXAPI HostReserved12() = 0;                                         // 12
    virtual HRESULT VXAPI HostReserved13() = 0;                                         // 13
    virtual HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out, const GUID* readerClassId) = 0;      // 14
    virtual HRESULT VXAPI GetRenderFileClass(IVxRenderFileClass** out, const GUID* rendererClassId) = 0;  // 15
};
