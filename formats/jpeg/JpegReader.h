// The JPEG reader: the still framework's class object, open file, video stream and metadata
// object for JPEG files. Decoding is JpegFormat's, EXIF reading the EXIF helper's; this is the
// glue to the framework.
#pragma once

#include "../../framework/ReadFileClass.h"
#include "../../framework/StillReadFile.h"
#include "../../framework/StillReadMeta.h"
#include "../../framework/StillReadVideoStream.h"
#include "../../platform/VxOwners.h"
#include "JpegFormat.h"

class CVxJpgReadFileClass : public CVxStillReadFileClass {
public:
    CVxJpgReadFileClass();
    ~CVxJpgReadFileClass() override;

    HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                  uint32_t reserved) override;
    CVxStillReadFile* CreateReadFile(CVxStillReadFileClass* owner) override;
};

// The layer hooks keep the framework's answer (VXE_LAYERS_UNSUPPORTED): a JPEG has no layers.
class CVxJpgReadFile : public CVxStillReadFile {
public:
    explicit CVxJpgReadFile(CVxStillReadFileClass* owner);
    ~CVxJpgReadFile() override;

    HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) override;
    HRESULT CloseImageFile() override;
    HRESULT ReadImageInfo(CVxStillFileInfo* info) override;
    HRESULT DecodeImage(void* pixels, uint32_t bytes) override;
    // The decoder writes every row with its padding: nothing to clear first.
    HRESULT DecodeImageInPlace(void* pixels, uint32_t bytes) override;
    // Grey frames, which are widened on delivery, go out in libjpeg's batches of rows.
    HRESULT DecodeImageBands(CVxRowBands& bands) override;
    CVxStillReadMeta* CreateReadMeta(CVxStillReadFile* owner) override;
    CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner) override;

private:
    // The file from its first byte, for the decoder; VXE_FILE_READ when it cannot be rewound.
    HRESULT Rewind(VxJpegSource* source);

    CVxHandle m_file;
    CVxJpegDecoder m_decoder;
    VxJpegImage m_image;  // as the last header step read it; its stride is the frame's
};

class CVxJpgReadVideoStream : public CVxStillReadVideoStream {
public:
    explicit CVxJpgReadVideoStream(CVxStillReadFile* owner);
    ~CVxJpgReadVideoStream() override;
};

// Adds the file's EXIF tags to the summary list read from the sidecar.
class CVxJpgReadMeta : public CVxStillReadMeta {
public:
    explicit CVxJpgReadMeta(IVxReadFile* owner);
    ~CVxJpgReadMeta() override;

    HRESULT LoadSummary() override;
};
