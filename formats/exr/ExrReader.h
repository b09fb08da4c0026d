// The OpenEXR reader: the still framework's class object, open file, video stream and metadata
// object for EXR files. Every access to the file goes through the EXR wrapper component
// (plugin/ExrComponent.h), which writes the frame's floats itself; this is the glue.
#pragma once

#include "../../framework/ReadFileClass.h"
#include "../../framework/StillReadFile.h"
#include "../../framework/StillReadMeta.h"
#include "../../framework/StillReadVideoStream.h"

// Constructing the class object takes a use of the component, destroying it drops that use.
class CVxExrReadFileClass : public CVxStillReadFileClass {
public:
    CVxExrReadFileClass();
    ~CVxExrReadFileClass() override;

    HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                  uint32_t reserved) override;
    CVxStillReadFile* CreateReadFile(CVxStillReadFileClass* owner) override;

private:
    bool m_componentUse = false;  // the load succeeded: the destructor gives its use back
};

// Frames are B, G, R, A 32-bit floats of the data window's size. The layer hooks keep the
// framework's answer (VXE_LAYERS_UNSUPPORTED): the reader shows an EXR file as one image.
class CVxExrReadFile : public CVxStillReadFile {
public:
    explicit CVxExrReadFile(CVxStillReadFileClass* owner);
    ~CVxExrReadFile() override;

    HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) override;
    HRESULT CloseImageFile() override;
    HRESULT ReadImageInfo(CVxStillFileInfo* info) override;
    HRESULT DecodeImage(void* pixels, uint32_t bytes) override;
    CVxStillReadMeta* CreateReadMeta(CVxStillReadFile* owner) override;
    CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner) override;

private:
    HRESULT DecodeGuarded(void* pixels, uint32_t bytes);

    // The component's handles of the open file (null when closed) and the data window's size.
    void* m_context = nullptr;
    void* m_image = nullptr;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_dataWindowOption = 0;  // always 0
};

// Reports the 128-bit format unchanged: no widening of small formats and no layer marking.
class CVxExrReadVideoStream : public CVxStillReadVideoStream {
public:
    explicit CVxExrReadVideoStream(CVxStillReadFile* owner);
    ~CVxExrReadVideoStream() override;

    HRESULT VXAPI GetFrameFormat(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                 VXFRAMEINFO* frame) override;
};

class CVxExrReadMeta : public CVxStillReadMeta {
public:
    explicit CVxExrReadMeta(IVxReadFile* owner);
    ~CVxExrReadMeta() override;
};
