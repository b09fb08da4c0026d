#include "JpegFormat.h"

#include "../../framework/ImageSize.h"
#include "../../framework/VideoFormat.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include <jpeglib.h>  // after <cstdio>: it needs FILE and size_t declared
#include <jerror.h>

// libjpeg's error manager with the exit replaced: an error formats its message into the
// decoder's buffer and jumps back to the recovery point of the call that drove libjpeg.
struct VxJpegErrors {
    jpeg_error_mgr pub;  // first: libjpeg hands back a pointer to it
    jmp_buf recovery;
    char* message;       // JMSG_LENGTH_MAX bytes
};

// The data source: libjpeg's stdio source re-targeted to a VxJpegSource, with a fixed buffer.
struct VxJpegInput {
    jpeg_source_mgr pub;  // first: libjpeg hands back a pointer to it
    VxJpegSource source;
    bool anyBytes;        // whether the source has given anything yet
    JOCTET buffer[kJpegSourceBufferBytes];
};

// One call's libjpeg state, in a zero-filled block of its own: plain data, so a jump back
// from libjpeg leaves nothing behind that needed destroying.
struct VxJpegState {
    jpeg_decompress_struct cinfo;
    VxJpegErrors errors;
    VxJpegInput input;
};

static_assert(JMSG_LENGTH_MAX == 200, "the decoder's message buffer holds one libjpeg message");

namespace {

// Rows handed to libjpeg per call: it writes them straight into the frame.
constexpr int kJpegRowBatch = 16;

// Runs body with the recovery point armed: a libjpeg error raised inside it returns here with
// E_FAIL. The jump skips destructors, so nothing inside body may own anything; owners live
// outside the call.
HRESULT VxJpeg_Protect(VxJpegErrors* errors, void (*run)(void*), void* body)
{
    if (setjmp(errors->recovery))
        return E_FAIL;
    run(body);
    return S_OK;
}

template <class Body>
HRESULT VxJpeg_Protect(VxJpegErrors* errors, Body&& body)
{
    return VxJpeg_Protect(errors, [](void* context) { (*static_cast<std::remove_reference_t<Body>*>(context))(); },
                          &body);
}

void VxJpeg_OutputMessage(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<VxJpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
}

[[noreturn]] void VxJpeg_ErrorExit(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<VxJpegErrors*>(cinfo->err);
    (*cinfo->err->output_message)(cinfo);
    longjmp(errors->recovery, 1);
}

void VxJpeg_InitSource(j_decompress_ptr) {}

void VxJpeg_TermSource(j_decompress_ptr) {}

// As libjpeg's stdio source: an empty file is an error; a file that ends early gets a warning
// and an inserted end-of-image marker, so libjpeg's recovery finishes the image.
boolean VxJpeg_FillInputBuffer(j_decompress_ptr cinfo)
{
    auto* input = reinterpret_cast<VxJpegInput*>(cinfo->src);
    size_t got = input->source.read(input->source.context, input->buffer, sizeof input->buffer);
    got = std::min(got, sizeof input->buffer);
    if (got == 0) {
        if (!input->anyBytes)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        input->buffer[0] = 0xFF;
        input->buffer[1] = JPEG_EOI;
        got = 2;
    }
    input->anyBytes = true;
    input->pub.next_input_byte = input->buffer;
    input->pub.bytes_in_buffer = got;
    return TRUE;
}

// Every pass consumes buffered bytes or reads more; at the end of the data each refill gives
// two bytes, so a skip longer than the file still ends.
void VxJpeg_SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    size_t remaining = size_t(count);
    while (remaining > src->bytes_in_buffer) {
        remaining -= src->bytes_in_buffer;
        VxJpeg_FillInputBuffer(cinfo);
    }
    src->next_input_byte += remaining;
    src->bytes_in_buffer -= remaining;
}

// The output for a header: B, G, R straight from libjpeg for colour files, the sample for grey
// ones; anything else (CMYK, YCCK, two-component files) has no frame here.
HRESULT VxJpeg_ChooseOutput(jpeg_decompress_struct* cinfo)
{
    if (cinfo->out_color_space == JCS_RGB)
        cinfo->out_color_space = JCS_EXT_BGR;  // the same samples as RGB, in the frame's order
    else if (cinfo->out_color_space != JCS_GRAYSCALE)
        return VXE_CORRUPT;
    jpeg_calc_output_dimensions(cinfo);
    return cinfo->output_components == 1 || cinfo->output_components == 3 ? S_OK : VXE_CORRUPT;
}

}  // namespace

HRESULT VxJpeg_CheckFileHeader(const uint8_t* head, uint32_t headBytes)
{
    if (!head || headBytes < 3 || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF)
        return VXE_FILE_READ;
    return S_OK;
}

HRESULT CVxJpegDecoder::Begin(VxJpegState* state, const VxJpegSource& source)
{
    m_message[0] = 0;
    m_warnings = 0;
    if (!source.read)
        return E_INVALIDARG;
    jpeg_decompress_struct* cinfo = &state->cinfo;
    cinfo->err = jpeg_std_error(&state->errors.pub);
    state->errors.pub.error_exit = VxJpeg_ErrorExit;
    state->errors.pub.output_message = VxJpeg_OutputMessage;
    state->errors.message = m_message;
    state->input.source = source;
    state->input.anyBytes = false;
    state->input.pub.init_source = VxJpeg_InitSource;
    state->input.pub.fill_input_buffer = VxJpeg_FillInputBuffer;
    state->input.pub.skip_input_data = VxJpeg_SkipInputData;
    state->input.pub.resync_to_restart = jpeg_resync_to_restart;
    state->input.pub.term_source = VxJpeg_TermSource;
    state->input.pub.next_input_byte = nullptr;
    state->input.pub.bytes_in_buffer = 0;
    // The state is zero-filled, so End may run after any failure here: destroying an object
    // whose memory manager was never made does nothing.
    if (FAILED(VxJpeg_Protect(&state->errors, [cinfo] { jpeg_create_decompress(cinfo); })))
        return VXE_FILE_READ;
    cinfo->src = &state->input.pub;
    const HRESULT hr = VxJpeg_Protect(&state->errors, [cinfo] { jpeg_read_header(cinfo, TRUE); });
    m_warnings = state->errors.pub.num_warnings;
    return FAILED(hr) ? VXE_FILE_READ : S_OK;
}

HRESULT CVxJpegDecoder::Start(const CVxGlobalBlock& block, const VxJpegSource& source, VxJpegState** state)
{
    if (!block)
        return E_OUTOFMEMORY;
    *state = static_cast<VxJpegState*>(block.Get());
    const HRESULT hr = Begin(*state, source);
    if (FAILED(hr))
        End(*state);
    return hr;
}

void CVxJpegDecoder::End(VxJpegState* state)
{
    m_warnings = state->errors.pub.num_warnings;
    jpeg_destroy_decompress(&state->cinfo);
}

HRESULT CVxJpegDecoder::ReadInfo(const VxJpegSource& source, VxJpegImage* image, uint64_t maxImageBytes)
{
    if (!image)
        return E_POINTER;
    *image = {};
    CVxGlobalBlock block(sizeof(VxJpegState));
    VxJpegState* state = nullptr;
    HRESULT hr = Start(block, source, &state);
    if (FAILED(hr))
        return hr;
    jpeg_decompress_struct* cinfo = &state->cinfo;
    // The header step stops at the output dimensions: starting decompression would already
    // read every scan of a progressive file, which the decode step reads again.
    HRESULT chosen = S_OK;
    hr = VxJpeg_Protect(&state->errors, [&] { chosen = VxJpeg_ChooseOutput(cinfo); });
    if (SUCCEEDED(hr))
        hr = chosen;
    if (SUCCEEDED(hr)) {
        const uint64_t stride = VxSize_Stride(8 * cinfo->output_components, cinfo->output_width);
        const uint64_t bytes = stride * cinfo->output_height;
        image->width = cinfo->output_width;
        image->height = cinfo->output_height;
        image->components = uint32_t(cinfo->output_components);
        image->pixelType = image->components == 1 ? kVxPixelGrey8 : kVxPixelBgr24;
        image->progressive = cinfo->progressive_mode != 0;
        image->stride = uint32_t(stride);
        image->imageBytes = uint32_t(bytes);
        if (bytes == 0 || bytes > std::min(maxImageBytes, kVxMaxImageBytes)) {
            *image = {};
            hr = E_OUTOFMEMORY;
        }
    } else if (hr == E_FAIL) {
        hr = VXE_FILE_READ;
    }
    End(state);
    return hr;
}

namespace {

// A whole frame as one band: rows are written where they belong.
class CVxJpegFrameBands final : public CVxRowBands {
public:
    CVxJpegFrameBands(uint8_t* pixels, uint32_t stride, uint32_t rows) : m_pixels(pixels), m_stride(stride), m_rows(rows) {}
    uint32_t MaxRows() const override { return m_rows; }
    uint8_t* Band(uint32_t first, uint32_t) override { return m_pixels + size_t(first) * m_stride; }
    HRESULT Done(uint32_t, uint32_t) override { return S_OK; }

private:
    uint8_t* m_pixels;
    uint32_t m_stride;
    uint32_t m_rows;
};

}  // namespace

HRESULT CVxJpegDecoder::Decode(const VxJpegSource& source, const VxJpegImage& expected, uint8_t* pixels,
                               uint32_t bytes)
{
    if (!pixels)
        return E_POINTER;
    if (uint64_t(expected.stride) * expected.height > bytes)
        return E_INVALIDARG;
    CVxJpegFrameBands frame(pixels, expected.stride, std::max<uint32_t>(expected.height, 1));
    return Decode(source, expected, frame);
}

HRESULT CVxJpegDecoder::Decode(const VxJpegSource& source, const VxJpegImage& expected, CVxRowBands& bands)
{
    CVxGlobalBlock block(sizeof(VxJpegState));
    VxJpegState* state = nullptr;
    HRESULT hr = Start(block, source, &state);
    if (FAILED(hr))
        return hr == VXE_FILE_READ ? VXE_CORRUPT : hr;
    jpeg_decompress_struct* cinfo = &state->cinfo;
    HRESULT chosen = S_OK;
    hr = VxJpeg_Protect(&state->errors, [&] { chosen = VxJpeg_ChooseOutput(cinfo); });
    // The file must still be the one described when it was opened.
    if (FAILED(hr) || FAILED(chosen) || cinfo->output_width != expected.width ||
        cinfo->output_height != expected.height || uint32_t(cinfo->output_components) != expected.components) {
        End(state);
        return VXE_CORRUPT;
    }
    if (expected.stride < uint64_t(expected.width) * expected.components || bands.MaxRows() < 1) {
        End(state);
        return E_INVALIDARG;
    }
    // libjpeg's own working memory (a progressive file keeps every coefficient of the image)
    // is bounded by the frame's size: a header that lies about its size cannot make it take
    // more than a few frames' worth.
    const uint64_t bytes = uint64_t(expected.stride) * expected.height;
    cinfo->mem->max_memory_to_use = long(std::min<uint64_t>(4 * bytes + (64u << 20), 0x7FFFFFFF));

    const uint32_t stride = expected.stride;
    const uint32_t height = expected.height;
    const size_t used = size_t(expected.width) * expected.components;
    const uint32_t most = std::min<uint32_t>(kJpegRowBatch, bands.MaxRows());
    HRESULT delivered = S_OK;
    hr = VxJpeg_Protect(&state->errors, [&] {
        jpeg_start_decompress(cinfo);
        JSAMPROW rows[kJpegRowBatch];
        while (cinfo->output_scanline < height && SUCCEEDED(delivered)) {
            const uint32_t first = cinfo->output_scanline;
            const uint32_t batch = std::min<uint32_t>(most, height - first);
            // Image row r lands in frame row height - 1 - r: the frame is bottom-up, so the
            // band of a batch holds its rows last first.
            uint8_t* band = bands.Band(height - first - batch, batch);
            for (uint32_t i = 0; i < batch; ++i)
                rows[i] = band + size_t(batch - 1 - i) * stride;
            const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, batch);
            if (got == 0)
                ERREXIT(cinfo, JERR_INPUT_EOF);  // a non-suspending source never gets here
            if (stride > used)
                for (JDIMENSION i = 0; i < got; ++i)
                    std::memset(rows[i] + used, 0, stride - used);
            delivered = bands.Done(height - first - got, got);
        }
    });
    if (FAILED(hr) || FAILED(delivered)) {
        End(state);
        return FAILED(hr) ? VXE_CORRUPT : delivered;
    }
    // Reading up to the end-of-image marker; an error there leaves the frame as it is.
    VxJpeg_Protect(&state->errors, [cinfo] { jpeg_finish_decompress(cinfo); });
    End(state);
    return S_OK;
}

namespace {

struct VxJpegMemory {
    const uint8_t* data;
    size_t size;
    size_t position;
};

size_t VxJpeg_ReadMemory(void* context, uint8_t* buffer, size_t bytes)
{
    auto* memory = static_cast<VxJpegMemory*>(context);
    const size_t count = std::min(bytes, memory->size - memory->position);
    if (count)
        std::memcpy(buffer, memory->data + memory->position, count);
    memory->position += count;
    return count;
}

}  // namespace

HRESULT VxJpeg_DecodeBytes(const uint8_t* data, size_t size, uint64_t maxImageBytes,
                           VxJpegImage* image, CVxGlobalBlock* frame)
{
    if (!image || !frame || (!data && size))
        return E_POINTER;
    CVxJpegDecoder decoder;
    VxJpegMemory memory{data, size, 0};
    const VxJpegSource source{VxJpeg_ReadMemory, &memory};
    VX_RETURN_IF_FAILED(decoder.ReadInfo(source, image, maxImageBytes));
    *frame = CVxGlobalBlock(image->imageBytes);
    if (!*frame)
        return E_OUTOFMEMORY;
    memory.position = 0;
    return decoder.Decode(source, *image, frame->Bytes(), image->imageBytes);
}
