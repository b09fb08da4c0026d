// RIFF chunks in files and in memory.
#include "Riff.h"

#include "ByteReader.h"

#include <algorithm>
#include <cstring>

CVxFileReader::CVxFileReader(HANDLE file) : m_file(file)
{
    if (!CVxHandle::IsValid(file))
        return;
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return;
    m_size = uint64_t(high) << 32 | low;
}

bool CVxFileReader::Seek(uint64_t offset)
{
    LONG high = LONG(offset >> 32);
    SetLastError(ERROR_SUCCESS);
    return SetFilePointer(m_file, LONG(uint32_t(offset)), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
           GetLastError() == ERROR_SUCCESS;
}

bool CVxFileReader::Fill(uint64_t offset)
{
    m_windowBytes = 0;
    if (!Seek(offset))
        return false;
    DWORD read = 0;
    const size_t wanted = size_t(std::min<uint64_t>(kWindowBytes, m_size - offset));
    if (!ReadFile(m_file, m_window, DWORD(wanted), &read, nullptr))
        return false;
    m_windowOffset = offset;
    m_windowBytes = std::min<size_t>(read, wanted);
    return true;
}

bool CVxFileReader::ReadAt(uint64_t offset, void* out, size_t bytes)
{
    auto* to = static_cast<uint8_t*>(out);
    std::memset(to, 0, bytes);
    if (offset > m_size || bytes > m_size - offset)
        return false;
    while (bytes > 0) {
        const bool inWindow = offset >= m_windowOffset && offset < m_windowOffset + m_windowBytes;
        if (!inWindow) {
            // Large reads bypass the window once it has nothing to offer.
            if (bytes >= kWindowBytes) {
                if (!Seek(offset))
                    return false;
                const DWORD part = DWORD(std::min<size_t>(bytes, 0x40000000));
                DWORD read = 0;
                if (!ReadFile(m_file, to, part, &read, nullptr) || read == 0)
                    return false;
                to += read;
                offset += read;
                bytes -= std::min<size_t>(read, bytes);
                continue;
            }
            if (!Fill(offset) || m_windowBytes == 0)
                return false;
        }
        const size_t at = size_t(offset - m_windowOffset);
        const size_t part = std::min(bytes, m_windowBytes - at);
        std::memcpy(to, m_window + at, part);
        to += part;
        offset += part;
        bytes -= part;
    }
    return true;
}

bool VxRiff_FindChunk(CVxFileReader& file, uint64_t begin, uint64_t end, uint32_t id,
                      uint32_t listType, VXRIFFCHUNK* chunk)
{
    end = std::min(end, file.Size());
    uint64_t at = begin;
    while (at < end && end - at >= kVxRiffChunkHeaderBytes) {
        uint8_t head[kVxRiffChunkHeaderBytes + 4];
        const bool withType = end - at >= sizeof head;
        if (!file.ReadAt(at, head, withType ? sizeof head : kVxRiffChunkHeaderBytes))
            return false;
        CVxByteReader r(head, sizeof head);
        const uint32_t chunkId = r.U32LE();
        const uint32_t size = r.U32LE();
        const uint32_t type = r.U32LE();
        const uint64_t dataOffset = at + kVxRiffChunkHeaderBytes;
        const uint64_t dataEnd = dataOffset + size;
        const bool matches = chunkId == id && (listType == 0 || (withType && size >= 4 && type == listType));
        if (matches) {
            const uint64_t skip = listType != 0 ? 4 : 0;
            *chunk = {chunkId, size, dataOffset + skip, std::min(dataEnd, end), dataEnd <= end};
            return true;
        }
        at = dataEnd + (size & 1);
    }
    return false;
}

uint64_t VxRiff_FormEnd(CVxFileReader& file, uint32_t* formType)
{
    uint8_t head[kVxRiffHeaderBytes];
    *formType = 0;
    if (!file.ReadAt(0, head, sizeof head))
        return 0;
    CVxByteReader r(head, sizeof head);
    if (r.U32LE() != kVxRiffId)
        return 0;
    const uint32_t size = r.U32LE();
    *formType = r.U32LE();
    return std::min<uint64_t>(uint64_t(kVxRiffChunkHeaderBytes) + size, file.Size());
}

bool CVxRiffWriter::Reserve(size_t more)
{
    if (m_failed)
        return false;
    if (more <= m_block.Size() - m_size)
        return true;
    const size_t wanted = std::max({m_size + more, m_block.Size() * 2, size_t(256)});
    CVxGlobalBlock grown(wanted);
    if (!grown || m_size + more < m_size) {
        m_failed = true;
        return false;
    }
    if (m_size)
        std::memcpy(grown.Get(), m_block.Get(), m_size);
    m_block = std::move(grown);
    return true;
}

void CVxRiffWriter::Append(const void* data, size_t bytes)
{
    if (bytes == 0 || !Reserve(bytes))
        return;
    if (data)
        std::memcpy(m_block.Bytes() + m_size, data, bytes);   // null data appends zeros
    m_size += bytes;
}

uint8_t* CVxRiffWriter::Extend(size_t bytes)
{
    if (!Reserve(bytes))
        return nullptr;
    uint8_t* at = m_block.Bytes() + m_size;
    m_size += bytes;
    return at;
}

void CVxRiffWriter::Truncate(size_t size)
{
    if (size < m_size) {
        std::memset(m_block.Bytes() + size, 0, m_size - size);
        m_size = size;
    }
}

void CVxRiffWriter::U32(uint32_t value)
{
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    Append(bytes, sizeof bytes);
}

void CVxRiffWriter::PatchU32(size_t offset, uint32_t value)
{
    if (m_failed || offset + 4 > m_size)
        return;
    uint8_t* at = m_block.Bytes() + offset;
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
    at[2] = uint8_t(value >> 16);
    at[3] = uint8_t(value >> 24);
}

size_t CVxRiffWriter::BeginForm(uint32_t formType)
{
    return BeginChunk(kVxRiffId, formType);
}

size_t CVxRiffWriter::BeginChunk(uint32_t id, uint32_t listType)
{
    const size_t mark = m_size;
    U32(id);
    U32(0);
    if (listType != 0)
        U32(listType);
    return mark;
}

void CVxRiffWriter::EndChunk(size_t mark)
{
    const size_t dataBytes = m_size - mark - kVxRiffChunkHeaderBytes;
    PatchU32(mark + 4, uint32_t(dataBytes));
    if (dataBytes & 1)
        Append(nullptr, 1);
}

void CVxRiffWriter::EndForm(size_t mark)
{
    PatchU32(mark + 4, uint32_t(m_size - mark - kVxRiffChunkHeaderBytes));
}
