// The TARGA reader: its class object, open file, video stream and metadata object, built the
// way the bitmap reader's are (framework objects with every differing slot overridden, so each
// slot behaves as this reader's own). The file object holds no handle: Open succeeds without
// touching the file, and the header (on first need, and again at a reopen only when the file
// changed on disk) and every frame are read by opening the file by name. The class flag word
// is the reader's own module-wide word. Decoding is TgaFormat's.
#pragma once

#include "../../framework/HandleSource.h"
#include "../../framework/ReadFileClass.h"
#include "../../framework/StillReadFile.h"
#include "../../framework/StillReadMeta.h"
#include "../../framework/StillReadVideoStream.h"
#include "../dib/DibReader.h"
#include "TgaFormat.h"

class CVxTgaReadFileClass : public CVxFormatFlagsReadFileClass {
public:
    CVxTgaReadFileClass();
    ~CVxTgaReadFileClass() override;

    // Claims a file only from at least 277 bytes (read from the file when fewer are offered).
    HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                  uint32_t reserved) override;
    // E_NOTIMPL: TARGA files are recognised only by their header.
    HRESULT VXAPI CheckFile(const char16_t* path) override;
    CVxStillReadFile* CreateReadFile(CVxStillReadFileClass* owner) override;
};

class CVxTgaReadFile : public CVxStillReadFile {
public:
    explicit CVxTgaReadFile(CVxStillReadFileClass* owner);
    ~CVxTgaReadFile() override;

    // Kind 1: the type text; kind 2: "width x height x bits" of the frame, zeros before loading.
    HRESULT VXAPI GetDescription(char16_t* buf, int32_t bufChars, uint32_t ignored,
                                 uint32_t kind) override;

    HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) override;
    HRESULT ReadImageInfo(CVxStillFileInfo* info) override;
    HRESULT DecodeImage(void* pixels, uint32_t bytes) override;
    // Raw true-colour rows are read whole into the frame; other files start from a cleared one.
    HRESULT DecodeImageInPlace(void* pixels, uint32_t bytes) override;
    CVxStillReadMeta* CreateReadMeta(CVxStillReadFile* owner) override;
    CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner) override;

    // Bytes from one row to the next in the frame buffer: negative when the first row in the
    // buffer is the top one.
    int32_t RowStride() const { return m_stride; }

private:
    // cleared: the frame is zero-filled, so what the file leaves out needs no writing.
    HRESULT Decode(void* pixels, uint32_t bytes, bool cleared);

    char16_t m_path[260] = {};
    VxTgaHeader m_header;
    char16_t m_typeText[256] = {};
    int32_t m_stride = 0;
};

// The bitmap stream's delivery (TARGA frames are 24 or 32 bits: always copied), handing the
// host the file's signed row stride and, for top-row-first frames, where the bottom row starts.
class CVxTgaReadVideoStream : public CVxDibReadVideoStream {
public:
    explicit CVxTgaReadVideoStream(CVxStillReadFile* owner);
    ~CVxTgaReadVideoStream() override;

    HRESULT VXAPI GetFrameFormat(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                 VXFRAMEINFO* frame) override;
};

class CVxTgaReadMeta : public CVxStillReadMeta {
public:
    explicit CVxTgaReadMeta(IVxReadFile* owner);
    ~CVxTgaReadMeta() override;
};
