// The Windows bitmap reader: its class object, open file, video stream and metadata object.
// The classes are the bitmap's own; they build on the still framework's objects for what every
// reader shares (COM identity, stream table, buffer pool, tokens, sidecar metadata) and differ
// where bitmaps do: the header test, the description texts, layouts delivered from the file's
// own bytes, 16-bit widening and the expansion of compressed layouts. Decoding is DibFormat's.
#pragma once

#include "../../framework/ReadFileClass.h"
#include "../../framework/StillReadFile.h"
#include "../../framework/StillReadMeta.h"
#include "../../framework/StillReadVideoStream.h"
#include "../../platform/VxOwners.h"
#include "DibFormat.h"

// Reads up to bytes bytes of a file from offset; answers how many it read (fewer at the end of
// the file or on an error). Shared by the bitmap and TARGA readers.
size_t VxFile_ReadAt(HANDLE file, uint64_t offset, void* buffer, size_t bytes);
// The size of an open file; 0 when it cannot be told.
uint64_t VxFile_Size(HANDLE file);

class CVxDibReadFileClass : public CVxStillReadFileClass {
public:
    CVxDibReadFileClass();
    ~CVxDibReadFileClass() override;

    HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                  uint32_t reserved) override;
    // Reads the file's first 4096 bytes and asks CheckFileHeader.
    HRESULT VXAPI CheckFile(const char16_t* path) override;
    CVxStillReadFile* CreateReadFile(CVxStillReadFileClass* owner) override;
};

class CVxDibReadFile : public CVxStillReadFile {
public:
    explicit CVxDibReadFile(CVxStillReadFileClass* owner);
    ~CVxDibReadFile() override;

    // Kind 2: "width x height x bits" of the stored header.
    HRESULT VXAPI GetDescription(char16_t* buf, int32_t bufChars, uint32_t ignored,
                                 uint32_t kind) override;

    HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) override;
    HRESULT CloseImageFile() override;
    HRESULT ReadImageInfo(CVxStillFileInfo* info) override;
    HRESULT DecodeImage(void* pixels, uint32_t bytes) override;
    CVxStillReadMeta* CreateReadMeta(CVxStillReadFile* owner) override;
    CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner) override;

private:
    CVxHandle m_file;      // held from Open to Close
    VxDibImage m_image;    // the headers as last read
    bool m_loaded = false;
};

// Frames of fewer than 24 bits per pixel (palette, 16-bit, grey) are widened to 32 bits on
// delivery; 24-, 32-bit and deeper frames are copied as held, colour table or not. A frame
// number past the one frame answers S_FALSE. The stream has no layers and does not answer
// IVxReadLayer.
class CVxDibReadVideoStream : public CVxStillReadVideoStream {
public:
    explicit CVxDibReadVideoStream(CVxStillReadFile* owner);
    ~CVxDibReadVideoStream() override;

    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;

    HRESULT VXAPI GetFrameBufferSize(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                     uint32_t* bytes) override;
    HRESULT VXAPI GetFrameFormat(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                 VXFRAMEINFO* frame) override;
    HRESULT VXAPI GetFrame(uint32_t frameLo, uint32_t frameHi, uint32_t* flags, _vxmemorytoken token,
                           VXFRAMEINFO* frame, uint32_t* bytes) override;

protected:
    // The header of the frame the host receives.
    BITMAPINFOHEADER FrameHeader() const;
    // Widens or copies the held pixels into the token as the frame record describes them.
    HRESULT DeliverFrame(const _vxmemorytoken& token, const VXFRAMEINFO& frame, const void* pixels);
};

class CVxDibReadMeta : public CVxStillReadMeta {
public:
    explicit CVxDibReadMeta(IVxReadFile* owner);
    ~CVxDibReadMeta() override;
};
