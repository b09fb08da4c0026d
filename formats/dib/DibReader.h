// The Windows bitmap reader: its class object, open file, video stream and metadata object.
// They derive from the still framework's objects for what every reader shares (COM identity,
// stream table, buffer pool, tokens, sidecar metadata) and override every slot where a bitmap
// answers differently, so that each slot behaves as this reader's own: the header is read on
// first need and again at a reopen only when the file changed on disk, Open keeps a read handle
// and answers a missing file with its system error, the class flag word is the reader's own
// module-wide word, SetFileIOManager only stores the manager, and the stream widens frames of
// fewer than 24 bits. Decoding is DibFormat's.
#pragma once

#include "../../framework/HandleSource.h"
#include "../../framework/ReadFileClass.h"
#include "../../framework/StillReadFile.h"
#include "../../framework/StillReadMeta.h"
#include "../../framework/StillReadVideoStream.h"
#include "../../platform/VxOwners.h"
#include "DibFormat.h"

class CVxDibReadFileClass : public CVxFormatFlagsReadFileClass {
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

    // Kind 1: the compression text (empty before loading); kind 2: "width x height x bits" of
    // the stored header, S_FALSE before loading.
    HRESULT VXAPI GetDescription(char16_t* buf, int32_t bufChars, uint32_t ignored,
                                 uint32_t kind) override;

    HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) override;
    HRESULT CloseImageFile() override;
    HRESULT ReadImageInfo(CVxStillFileInfo* info) override;
    HRESULT DecodeImage(void* pixels, uint32_t bytes) override;
    // Stored rows are read whole into the frame; expanded layouts start from a cleared one.
    HRESULT DecodeImageInPlace(void* pixels, uint32_t bytes) override;
    // Stored rows of fewer than 24 bits, which are widened on delivery, are read a band at a time.
    HRESULT DecodeImageBands(CVxRowBands& bands) override;
    CVxStillReadMeta* CreateReadMeta(CVxStillReadFile* owner) override;
    CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner) override;

private:
    CVxHandle m_file;      // held from Open to Close; reads go through the name
    VxDibImage m_image;    // the headers as last read
    bool m_loaded = false;
};

// Frames of fewer than 24 bits per pixel (palette, 16-bit, grey) are widened to 32 bits on
// delivery by ConvertDibTo32, whose answer is the frame's: 16-bit grey ("VXGS") frames, which
// it does not widen, are described as 32-bit frames and answer E_INVALIDARG. 24-, 32-bit and
// deeper frames are copied as held, colour table or not. A frame
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
