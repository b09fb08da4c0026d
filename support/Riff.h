// RIFF chunks: finding them in a file without trusting its sizes, and composing them in memory.
#pragma once

#include "../platform/VxOwners.h"
#include "../plugin/contracts/VxResults.h"

#include <cstddef>
#include <cstdint>

// A four-character code as it is stored: the first character in the lowest byte.
constexpr uint32_t VxRiff_FourCC(const char (&id)[5])
{
    return uint32_t(uint8_t(id[0])) | uint32_t(uint8_t(id[1])) << 8 | uint32_t(uint8_t(id[2])) << 16 |
           uint32_t(uint8_t(id[3])) << 24;
}

constexpr uint32_t kVxRiffId = VxRiff_FourCC("RIFF");
constexpr uint32_t kVxRiffList = VxRiff_FourCC("LIST");
constexpr uint32_t kVxRiffHeaderBytes = 12;   // "RIFF", size, form type
constexpr uint32_t kVxRiffChunkHeaderBytes = 8;

// Reads exact byte ranges of an open file through a small window, so that walking the headers
// of many small chunks costs few system calls. The file's size is taken once at construction.
class CVxFileReader {
public:
    explicit CVxFileReader(HANDLE file);
    CVxFileReader(const CVxFileReader&) = delete;
    CVxFileReader& operator=(const CVxFileReader&) = delete;

    uint64_t Size() const { return m_size; }
    // False, with out zero-filled, when fewer than bytes bytes exist at offset.
    bool ReadAt(uint64_t offset, void* out, size_t bytes);

private:
    bool Seek(uint64_t offset);
    bool Fill(uint64_t offset);

    static constexpr size_t kWindowBytes = 4096;
    HANDLE m_file;
    uint64_t m_size = 0;
    uint64_t m_windowOffset = 0;
    size_t m_windowBytes = 0;
    uint8_t m_window[kWindowBytes] = {};
};

struct VXRIFFCHUNK {
    uint32_t id;
    uint32_t size;         // as stored, pad byte excluded
    uint64_t dataOffset;   // file offset of the data (after the list type for LIST chunks)
    uint64_t dataEnd;      // dataOffset + the data's size, clipped to the walked range
    bool complete;         // the stored size fits the walked range
};

// Walks the chunks between begin and end and finds the first one with id (a LIST chunk only
// when its list type equals listType, when listType is not 0). Each step moves past a chunk's
// header, data and pad, so the walk ends; a chunk that runs past end is the last one looked at.
bool VxRiff_FindChunk(CVxFileReader& file, uint64_t begin, uint64_t end, uint32_t id,
                      uint32_t listType, VXRIFFCHUNK* chunk);

// The end of a RIFF form's chunks: 8 + its stored size, clipped to the file. Zero when the
// file does not begin with a RIFF header; the form type goes to formType.
uint64_t VxRiff_FormEnd(CVxFileReader& file, uint32_t* formType);

// Composes bytes in a growing zero-filled block. A failed allocation is remembered: later
// appends do nothing and Result() answers E_OUTOFMEMORY.
class CVxRiffWriter {
public:
    void Append(const void* data, size_t bytes);
    // bytes of zeros appended for the caller to fill; null when memory is out.
    uint8_t* Extend(size_t bytes);
    // Drops everything from size on (a failed step's partial output).
    void Truncate(size_t size);
    void U32(uint32_t value);
    void PatchU32(size_t offset, uint32_t value);

    // Opens "RIFF" with its form type, or a chunk (a LIST chunk with its list type when
    // listType is not 0); the mark goes to the matching End call.
    size_t BeginForm(uint32_t formType);
    size_t BeginChunk(uint32_t id, uint32_t listType = 0);
    // Pads the data to even length and stores the size (pad excluded; a form counts every
    // byte after its size word).
    void EndChunk(size_t mark);
    void EndForm(size_t mark);

    const uint8_t* Bytes() const { return m_block.Bytes(); }
    size_t Size() const { return m_size; }
    HRESULT Result() const { return m_failed ? E_OUTOFMEMORY : S_OK; }

private:
    bool Reserve(size_t more);

    CVxGlobalBlock m_block;
    size_t m_size = 0;
    bool m_failed = false;
};
