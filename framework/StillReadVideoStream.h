// The generic video stream of an open still file: a one-frame stream that describes the image,
// converts times and frame numbers and delivers the frame into host memory named by a memory
// token, widening images of 8 bits per pixel and fewer to 32. Stream 0 is the composite image;
// streams 1 and up are layers, whose pixels come through the layer interface (which the
// layered reader overrides).
#pragma once

#include "../plugin/ComObject.h"
#include "../plugin/contracts/VxInterfaces.h"
#include "StillFileInfo.h"
#include "StillReadFile.h"

// References go to the owning file; the stream belongs to the file's stream table and is
// destroyed with it, never by Release. Locks: the stream mutex guards the open state and frame
// delivery; GetFrame holds it and, inside it, the file mutex (stream first, then file).
class CVxStillReadVideoStream
    : public CVxComChild<CVxStillReadFile, IVxReadVideoStream, IVxReadLayer> {
public:
    explicit CVxStillReadVideoStream(CVxStillReadFile* owner);

    // IUnknown (shared by both interfaces)
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;

    // IVxReadStream
    HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out) override;
    HRESULT VXAPI GetReadFile(IVxReadFile** out) override;
    HRESULT VXAPI GetLinkedStream(void** out) override;
    HRESULT VXAPI GetStreamInfo(uint32_t* type, uint32_t* number, int32_t* index) override;
    HRESULT VXAPI GetLength(uint64_t* length) override;
    HRESULT VXAPI GetStartOffset(uint64_t* offset) override;
    HRESULT VXAPI SetStreamCookie(uint32_t cookie) override;
    HRESULT VXAPI Close() override;

    // IVxReadVideoStream
    HRESULT VXAPI GetFrameCount(uint64_t* count) override;
    HRESULT VXAPI GetFormatInfo(VXFILESTREAMFORMATINFOv2* format) override;
    HRESULT VXAPI GetFormatInfoAlt(VXFILESTREAMFORMATINFOv2* format) override;
    HRESULT VXAPI CheckFormat(VXFILESTREAMFORMATINFOv2* format) override;
    HRESULT VXAPI GetFrameBufferSize(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                     uint32_t* bytes) override;
    HRESULT VXAPI GetFrameFormat(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                 VXFRAMEINFO* frame) override;
    HRESULT VXAPI GetFrame(uint32_t frameLo, uint32_t frameHi, uint32_t* flags, _vxmemorytoken token,
                           VXFRAMEINFO* frame, uint32_t* bytes) override;
    HRESULT VXAPI TimeToFrame(int64_t time, VXFRAMETIME* out) override;
    HRESULT VXAPI FrameToTime(int64_t frame, VXFRAMETIME* out) override;
    HRESULT VXAPI SetFrameRate(double rate) override;
    HRESULT VXAPI GetPixelAspect(double* aspect) override;
    HRESULT VXAPI GetFrameRate(double* rate) override;

    ~CVxStillReadVideoStream() override;

    // IVxReadLayer: a stream without layers answers VXE_LAYERS_UNSUPPORTED.
    HRESULT VXAPI GetLayerState() override;
    HRESULT VXAPI LockLayerFrame(uint32_t layer, uint32_t frameLo, uint32_t frameHi, void** pixels,
                                 uint32_t* reserved, BITMAPINFOHEADER** header,
                                 tVXVIDEOEXTENSION** extension, uint64_t* frameTime,
                                 uint32_t flags, uint32_t ignored) override;
    HRESULT VXAPI UnlockLayerFrame(void* pixels) override;
    HRESULT VXAPI GetLayerCount(uint32_t* count) override;
    HRESULT VXAPI GetLayerInfo(uint32_t layer, void* buffer, uint32_t size, uint32_t kind) override;

    // Called by the owner's stream creation at every open: takes the stream's number and
    // description and opens the stream. The file name is not used.
    HRESULT Init(const char16_t* fileName, uint32_t number, const CVxStillFileStreamInfo& info);

    const CVxStillFileStreamInfo& Info() const { return m_info; }
    int32_t StreamIndex() const { return m_index; }
    HANDLE Mutex() const { return m_mutex; }

protected:
    // The header the host receives: images of fewer than 9 bits per pixel widened to 32.
    BITMAPINFOHEADER DeliveredHeader() const;
    // Fills `frame` (not null) for a frame of `header`: cleared, no frame time, scale 1, the
    // header's image size and stride, and the file's video extension. E_UNEXPECTED when no
    // frame that large can be delivered.
    HRESULT DescribeFrame(const BITMAPINFOHEADER& header, VXFRAMEINFO* frame) const;
    // Copies or widens pixels (the source buffer of image-bytes bytes) into the token.
    HRESULT Deliver(const _vxmemorytoken& token, const VXFRAMEINFO& frame, const void* pixels);
    // The composite frame decoded straight into the token's memory, when that is memory of
    // this process: a frame that reaches the host unchanged (exactly the decoder's image
    // bytes) is written there in place; a widened one band by band, each band widened while it
    // is in the cache, when the format decodes in bands. The pool's frame buffer and the pass
    // over it are skipped. S_FALSE, with nothing done, when the frame must go through the pool.
    HRESULT DeliverInPlace(const _vxmemorytoken& token, const VXFRAMEINFO& frame, bool widened);
    HRESULT FrameTimes(int64_t frame, VXFRAMETIME* out);

    std::atomic<uint32_t> m_cookie;
    int32_t m_index = -1;
    bool m_open = false;        // guarded by the stream mutex
    HANDLE m_mutex = nullptr;   // the stream mutex; kept across reopenings
    CVxStillFileStreamInfo m_info;
    int64_t m_frameTime = 0;    // guarded by the stream mutex
};
