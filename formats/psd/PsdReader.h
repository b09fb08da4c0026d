// The layered PSD reader: the still framework's class object, open file, video stream (with its
// layer interface) and metadata object. Parsing and decoding are PsdFormat's; this is the glue.
#pragma once

#include "../../framework/ReadFileClass.h"
#include "../../framework/StillReadFile.h"
#include "../../framework/StillReadMeta.h"
#include "../../framework/StillReadVideoStream.h"
#include "../../platform/VxOwners.h"
#include "PsdFormat.h"

class CVxLayeredPsdReadFileClass : public CVxStillReadFileClass {
public:
    CVxLayeredPsdReadFileClass();
    ~CVxLayeredPsdReadFileClass() override;

    HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                  uint32_t reserved) override;
    CVxStillReadFile* CreateReadFile(CVxStillReadFileClass* owner) override;
};

class CVxLayeredPsdReadFile : public CVxStillReadFile {
public:
    explicit CVxLayeredPsdReadFile(CVxStillReadFileClass* owner);
    ~CVxLayeredPsdReadFile() override;

    HRESULT LoadFrame(void** pixels) override;
    HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) override;
    HRESULT CloseImageFile() override;
    HRESULT ReadImageInfo(CVxStillFileInfo* info) override;
    HRESULT DecodeImage(void* pixels, uint32_t bytes) override;
    HRESULT GetLayerCount(uint32_t* count) override;
    HRESULT GetLayerInfo(uint32_t layer, void* buffer, uint32_t size, uint32_t kind) override;
    HRESULT DecodeLayer(uint32_t layer, void* pixels, uint32_t bytes) override;
    CVxStillReadMeta* CreateReadMeta(CVxStillReadFile* owner) override;
    CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner) override;

private:
    VxPsdSource Source();

    // The open file, read at offsets through PsdFormat's buffered reader; the document's
    // header, positions and layer records (kept after Close, replaced by the next open); the
    // merged image's frame format.
    CVxHandle m_file;
    CVxPsdDocument m_document;
    VxPsdFrameFormat m_format = {};
};

class CVxLayeredPsdReadVideoStream : public CVxStillReadVideoStream {
public:
    explicit CVxLayeredPsdReadVideoStream(CVxStillReadFile* owner);
    ~CVxLayeredPsdReadVideoStream() override;

    HRESULT VXAPI GetFrameCount(uint64_t* count) override;
    HRESULT VXAPI GetLayerState() override;
    HRESULT VXAPI LockLayerFrame(uint32_t layer, uint32_t frameLo, uint32_t frameHi, void** pixels,
                                 uint32_t* reserved, BITMAPINFOHEADER** header,
                                 tVXVIDEOEXTENSION** extension, uint64_t* frameTime,
                                 uint32_t flags, uint32_t ignored) override;
    HRESULT VXAPI UnlockLayerFrame(void* pixels) override;
    HRESULT VXAPI GetLayerCount(uint32_t* count) override;
    HRESULT VXAPI GetLayerInfo(uint32_t layer, void* buffer, uint32_t size, uint32_t kind) override;
};

class CVxLayeredPsdReadMeta : public CVxStillReadMeta {
public:
    explicit CVxLayeredPsdReadMeta(IVxReadFile* owner);
    ~CVxLayeredPsdReadMeta() override;
};
