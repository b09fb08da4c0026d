// Bounded reading of untrusted bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads little- and big-endian values and never past its end. A read that does not fit
// returns 0 and fails the reader for good: check Ok() before a value sizes, places or allocates.
class CVxByteReader {
public:
    CVxByteReader() = default;
    CVxByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}

    uint8_t U8()
    {
        const uint8_t* p = Take(1);
        return p ? p[0] : 0;
    }
    uint16_t U16LE()
    {
        const uint8_t* p = Take(2);
        return p ? uint16_t(p[0] | p[1] << 8) : 0;
    }
    uint16_t U16BE()
    {
        const uint8_t* p = Take(2);
        return p ? uint16_t(p[0] << 8 | p[1]) : 0;
    }
    uint32_t U32LE()
    {
        const uint8_t* p = Take(4);
        return p ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24 : 0;
    }
    uint32_t U32BE()
    {
        const uint8_t* p = Take(4);
        return p ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]) : 0;
    }
    // Copies count bytes into out; on a short read out is zero-filled.
    void Bytes(void* out, size_t count)
    {
        const uint8_t* p = Take(count);
        if (p)
            std::memcpy(out, p, count);
        else if (count)
            std::memset(out, 0, count);
    }
    void Skip(size_t count) { Take(count); }

    // The next length bytes as a reader of their own; fails both when fewer remain.
    CVxByteReader Section(size_t length)
    {
        const bool fits = Fits(length);
        CVxByteReader section(fits ? m_data + m_offset : nullptr, fits ? length : 0);
        section.m_ok = fits;
        Take(length);
        return section;
    }

    const uint8_t* Current() const { return m_data + m_offset; }
    size_t Offset() const { return m_offset; }
    size_t Remaining() const { return m_ok ? m_size - m_offset : 0; }
    bool Ok() const { return m_ok; }

private:
    bool Fits(size_t count) const { return m_ok && count <= m_size - m_offset; }

    // The next count bytes, or null (and the reader failed) when they do not fit.
    const uint8_t* Take(size_t count)
    {
        if (!Fits(count)) {
            m_ok = false;
            return nullptr;
        }
        static const uint8_t kNothing = 0;
        if (!m_data)
            return &kNothing;  // count is 0 here: an empty read of an empty reader succeeds
        const uint8_t* p = m_data + m_offset;
        m_offset += count;
        return p;
    }

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_offset = 0;
    bool m_ok = true;
};
