// The generic open still file: one image as a media file with one video stream (or, for a
// layered image, a composite stream plus one per layer). Everything format-specific goes
// through the virtual hooks after the interface slots; a format overrides them and writes no
// COM code of its own.
#pragma once

#include "../plugin/ComObject.h"
#include "../plugin/contracts/VxInterfaces.h"
#include "../platform/VxWin32.h"
#include "StillFileInfo.h"

#include <atomic>

class CVxRowBands;
class CVxStillReadFileClass;
class CVxStillReadMeta;
class CVxStillReadVideoStream;

// Locks: the file mutex guards decoding and the frame buffer. It is taken by LoadFrame and
// LoadLayerFrame and held until ReleaseFrame. Streams take their own mutex first, then this
// one, never the other way round. Both are recursive for their owner thread.
class CVxStillReadFile : public CVxComObject<IVxReadFile> {
public:
    explicit CVxStillReadFile(CVxStillReadFileClass* owner);

    // IUnknown
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;

    // IVxReadFile
    HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out) override;
    HRESULT VXAPI GetFormatName(char16_t* buf, int32_t bufChars, uint32_t kind) override;
    HRESULT VXAPI GetDescription(char16_t* buf, int32_t bufChars, uint32_t ignored,
                                 uint32_t kind) override;
    HRESULT VXAPI SetFileProperty(uint32_t a, uint32_t b, uint32_t c) override;
    HRESULT VXAPI GetFileProperty(void* buf, uint32_t bufBytes, uint32_t context,
                                  uint32_t propertyId) override;
    HRESULT VXAPI GetAssociatedFile(IVxReadFile** out) override;
    HRESULT VXAPI Close() override;
    HRESULT VXAPI IsOpen() override;
    HRESULT VXAPI Open(uint32_t mode, uint32_t flags) override;
    HRESULT VXAPI SetFileName(const char16_t* path) override;
    HRESULT VXAPI GetFileName(char16_t* buf, int32_t bufChars) override;
    HRESULT VXAPI GetLength(uint64_t* length) override;
    HRESULT VXAPI GetStreamCount(uint32_t* count) override;
    HRESULT VXAPI GetClassMediaTypes(uint32_t* mediaTypes) override;
    HRESULT VXAPI GetStreamFormats(VXFILESTREAMFORMATINFOv2* formats, int32_t first,
                                   int32_t count) override;
    HRESULT VXAPI GetStreamType(int32_t index, uint32_t* type, uint32_t* number) override;
    HRESULT VXAPI FindStream(int32_t nth, uint32_t type, int32_t* index) override;
    HRESULT VXAPI GetStream(IVxReadStream** out, int32_t type, int32_t nthOrIndex,
                            uint32_t reserved1, uint32_t reserved2) override;
    HRESULT VXAPI CheckStream(int32_t index, uint32_t ignored, void* mustBeNonNull) override;
    HRESULT VXAPI GetReadMeta(IVxReadMeta** out) override;
    HRESULT VXAPI ReservedFile23(void** out, uint32_t a, uint32_t b) override;

    // Hooks, in this order after the interface slots. The destructor runs the format's
    // clean-up first (derived destructor), then the framework's.
    ~CVxStillReadFile() override;

    // Takes the frame buffer and fills it with the image unless the pool says it already holds
    // it. On success the file mutex stays held and pixels points to image-bytes bytes; the
    // caller copies them and calls ReleaseFrame. On failure nothing is held and pixels is null.
    virtual HRESULT LoadFrame(void** pixels);
    // Opens the image file and whatever decoder state is needed (mode and flags of Open).
    virtual HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) = 0;
    // Releases what OpenImageFile took; safe when nothing is open. The base answers S_OK.
    virtual HRESULT CloseImageFile();
    // Fills the description: bitmap information, extension, image bytes, compression text.
    virtual HRESULT ReadImageInfo(CVxStillFileInfo* info) = 0;
    // Writes the whole image, exactly as the bitmap information describes it (bytes = image bytes).
    virtual HRESULT DecodeImage(void* pixels, uint32_t bytes) = 0;
    // The number of layers; count is preset to 1 and the result is ignored. The base leaves
    // it and answers VXE_LAYERS_UNSUPPORTED.
    virtual HRESULT GetLayerCount(uint32_t* count);
    // Name or rectangle of a layer; the base answers VXE_LAYERS_UNSUPPORTED.
    virtual HRESULT GetLayerInfo(uint32_t layer, void* buffer, uint32_t size, uint32_t kind);
    // One layer at full image size; the base answers VXE_LAYERS_UNSUPPORTED.
    virtual HRESULT DecodeLayer(uint32_t layer, void* pixels, uint32_t bytes);
    // A new metadata object keeping owner; null when memory is out. The base makes a
    // CVxStillReadMeta.
    virtual CVxStillReadMeta* CreateReadMeta(CVxStillReadFile* owner);
    // A new video stream keeping owner; null when memory is out. The base makes a
    // CVxStillReadVideoStream.
    virtual CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner);
    // Writes the whole image as DecodeImage does, but into memory that is not zero-filled (a
    // host's block): every byte of the frame, row padding and pixels a file leaves out
    // included. The base clears the memory and runs DecodeImage; a format whose decoder writes
    // every byte anyway overrides it to skip the clearing.
    virtual HRESULT DecodeImageInPlace(void* pixels, uint32_t bytes);
    // Writes the whole image, exactly as DecodeImage lays it out, band after band into
    // bands, each band handed on as soon as it is written. The base answers S_FALSE (the
    // format decodes whole frames only) and touches nothing.
    virtual HRESULT DecodeImageBands(CVxRowBands& bands);

    // Decodes the image straight into pixels, memory of this process that has the frame's
    // layout and holds bytes (the image bytes), under the file mutex and without a frame buffer
    // of the pool: the stream's delivery of a frame that it would copy unchanged into a block
    // of this process. On failure the memory holds whatever the decoder had written.
    HRESULT LoadFrameInPlace(void* pixels, uint32_t bytes);
    // The image band by band through DecodeImageBands, under the file mutex and without a
    // frame buffer of the pool: the stream's delivery of a frame that it widens into a block of
    // this process. S_FALSE when the format cannot; nothing was done then.
    HRESULT LoadFrameBands(CVxRowBands& bands);

    // Like LoadFrame, but decodes only when the pool hands out a fresh buffer, and with
    // DecodeLayer. pixels receives the held buffer, null after a failure.
    HRESULT LoadLayerFrame(uint32_t layer, void** pixels);
    // Gives back the frame buffer taken last by a successful LoadFrame or LoadLayerFrame of
    // this thread and releases the file mutex; does nothing when no buffer is held.
    void ReleaseFrame();
    // The same for the held buffer at pixels (layer frames may be given back in any order);
    // does nothing for null or a buffer not held.
    void ReleaseFrame(const void* pixels);

    CVxStillReadFileClass* Owner() const { return m_owner; }
    const CVxStillFileInfo& Info() const { return m_info; }

protected:
    // The framework's LoadFrame; forceDecode decodes even when the pool reports the buffer
    // valid (the layered reader's variant).
    HRESULT LoadFrameWith(void** pixels, bool forceDecode);

    // For readers of one video stream that read their header on first need rather than at
    // Open (called from the constructor). Open then succeeds without reading the header,
    // GetLength, GetStreamCount, the stream queries and LoadFrame load it once (their answer
    // is ReadImageInfo's failure), GetStreamType and FindStream answer for the one stream
    // without loading, and a reopen reloads only when the file's last-write time changed.
    void LoadInfoOnDemand() { m_onDemand = true; }
    // Reads the header information and makes or refreshes the stream table, once; S_OK at once
    // when loaded.
    HRESULT LoadInfo();

    // The file mutex and the buffer-access object of the current open (for formats that
    // serialise work of their own with the frames, and for tests).
    HANDLE FileMutex() const { return m_mutex; }
    IVxBufferAccess* BufferAccess() const { return m_access; }

    // The stream table and its objects, made at the first open and kept until destruction.
    uint32_t StreamTableCount() const { return m_streamCount; }
    CVxStillReadVideoStream* StreamAt(uint32_t index) const;

private:
    static constexpr int64_t kCompositeImage = -1;

    // LoadFrameWith and LoadLayerFrame: takes the file mutex and a frame buffer and decodes the
    // image (layer kCompositeImage) or the layer into it when the pool hands out a fresh buffer
    // or forceDecode asks. Holds both on success, neither on failure.
    HRESULT TakeFrameBuffer(void** pixels, bool forceDecode, int64_t layer);
    HRESULT CreateStreams(uint32_t count);
    HRESULT InitStreams(uint32_t count);
    uint32_t StreamCountNoLoad();
    HRESULT OpenOnDemand(const char16_t* path, uint32_t mode, uint32_t flags);
    HRESULT TakeBufferAccess();
    void DestroyStreams();
    uint32_t FrameBytes() const;
    void ReleaseHeld(uint32_t slot);  // with the file mutex taken

    FILETIME m_lastWrite = {};
    std::atomic<bool> m_open = false;
    bool m_onDemand = false;    // LoadInfoOnDemand
    bool m_infoLoaded = false;  // on demand: LoadInfo succeeded since the last change
    CVxStillReadFileClass* m_owner;  // no reference: a class object outlives its files
    char16_t m_fileName[260] = {};
    std::atomic<CVxStillReadMeta*> m_meta = nullptr;  // owned, made on first request
    CVxStillFileInfo m_info;
    CVxStillFileStreamData* m_streams = nullptr;      // owned array of m_streamCount elements
    uint32_t m_streamCount = 0;
    HANDLE m_mutex = nullptr;                          // the file mutex
    // Frame buffers held, oldest first, each with one hold of the file mutex. The thread that
    // holds a frame (a layer a host keeps locked) may ask for another frame or layer: it gets
    // a buffer of its own, and what it still holds is neither freed nor overwritten.
    static constexpr uint32_t kMaxHeldFrames = 8;
    void* m_heldFrames[kMaxHeldFrames] = {};
    uint32_t m_heldCount = 0;
    IVxBufferAccess* m_access = nullptr;               // one reference
};
