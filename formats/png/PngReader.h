// The PNG reader: the still framework's class object, open file, video stream and metadata
// object for PNG files. Decoding is PngFormat's; this is the glue to the framework.
#pragma once

#include "../../framework/ReadFileClass.h"
#include "../../framework/StillReadFile.h"
#include "../../framework/StillReadMeta.h"
#include "../../framework/StillReadVideoStream.h"
#include "../../platform/VxOwners.h"
#include "PngFormat.h"

class CVxPngReadFileClass : public CVxStillReadFileClass {
public:
    CVxPngReadFileClass();
    ~CVxPngReadFileClass() override;

    HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                  uint32_t reserved) override;
    CVxStillReadFile* CreateReadFile(CVxStillReadFileClass* owner) override;
};

// The layer hooks keep the framework's answer (VXE_LAYERS_UNSUPPORTED): a PNG has no layers.
class CVxPngReadFile : public CVxStillReadFile {
public:
    explicit CVxPngReadFile(CVxStillReadFileClass* owner);
    ~CVxPngReadFile() override;

    HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) override;
    HRESULT CloseImageFile() override;
    HRESULT ReadImageInfo(CVxStillFileInfo* info) override;
    HRESULT DecodeImage(void* pixels, uint32_t bytes) override;
    CVxStillReadMeta* CreateReadMeta(CVxStillReadFile* owner) override;
    CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner) override;

private:
    // The file from its first byte, for the decoder; VXE_FILE_READ when it cannot be rewound.
    HRESULT Rewind(VxPngSource* source);

    // The PNG state: the open file, libpng's structures (inside the decoder) and the header
    // as the last header step read it.
    CVxHandle m_file;
    CVxPngDecoder m_decoder;
    VxPngImage m_image;
};

class CVxPngReadVideoStream : public CVxStillReadVideoStream {
public:
    explicit CVxPngReadVideoStream(CVxStillReadFile* owner);
    ~CVxPngReadVideoStream() override;
};

class CVxPngReadMeta : public CVxStillReadMeta {
public:
    explicit CVxPngReadMeta(IVxReadFile* owner);
    ~CVxPngReadMeta() override;
};
