#include "GzipDecoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace {

constexpr unsigned char kMagic1 = 0x1F, kMagic2 = 0x8B;
constexpr unsigned char kDeflated = 8;
constexpr unsigned char kFlagHeaderCrc = 0x02, kFlagExtra = 0x04, kFlagName = 0x08,
                        kFlagComment = 0x10, kFlagReserved = 0xE0;
constexpr size_t kLargeInput = 400000;
// zlib counts input and output in unsigned int.
constexpr size_t kMaxPiece = UINT_MAX / 2;

bool StartsMember(const unsigned char* input, size_t length, size_t at) {
    return length - at >= 2 && input[at] == kMagic1 && input[at + 1] == kMagic2;
}

// Moves at past the member header; false when the header is bad or cut short.
bool SkipHeader(const unsigned char* input, size_t length, size_t& at) {
    if (length - at < 10 || input[at + 2] != kDeflated || (input[at + 3] & kFlagReserved) != 0)
        return false;
    unsigned char flags = input[at + 3];
    at += 10; // magic, method, flags, time, extra flags, system
    if (flags & kFlagExtra) {
        if (length - at < 2)
            return false;
        size_t extra = input[at] | (input[at + 1] << 8);
        at += 2;
        if (length - at < extra)
            return false;
        at += extra;
    }
    for (unsigned char text : {kFlagName, kFlagComment}) {
        if (!(flags & text))
            continue;
        const void* zero = memchr(input + at, 0, length - at);
        if (zero == nullptr)
            return false;
        at = static_cast<size_t>(static_cast<const unsigned char*>(zero) - input) + 1;
    }
    if (flags & kFlagHeaderCrc) {
        if (length - at < 2)
            return false;
        at += 2;
    }
    return true;
}

uint32_t ReadLittle32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A growing output block that always keeps room for a closing zero byte.
class Output {
public:
    explicit Output(size_t chunk) : m_chunk(chunk) {}
    ~Output() { free(m_data); }

    // At least one free byte besides the closing zero.
    bool MakeRoom() {
        if (m_capacity - m_size > 1)
            return true;
        // Doubling keeps the copying linear for highly compressed data.
        size_t wanted = m_capacity == 0 ? m_chunk + 1 : std::max(m_capacity * 2, m_chunk + 1);
        if (wanted <= m_capacity)
            return false;
        void* grown = realloc(m_data, wanted);
        if (grown == nullptr)
            return false;
        m_data = static_cast<unsigned char*>(grown);
        m_capacity = wanted;
        return true;
    }
    unsigned char* End() { return m_data + m_size; }
    size_t Free() const { return std::min(m_capacity - m_size - 1, kMaxPiece); }
    void Grow(size_t n) { m_size += n; }
    unsigned char* Data() { return m_data; }
    size_t Size() const { return m_size; }

    GzipDecodeResult Release(bool dataError) {
        GzipDecodeResult result;
        result.dataError = dataError;
        if (m_size != 0) {
            m_data[m_size] = 0;
            result.data = m_data;
            result.size = m_size;
            m_data = nullptr;
        }
        return result;
    }

private:
    size_t m_chunk;
    unsigned char* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

// Inflates one member's deflate data starting at at; false on bad or cut-short data.
bool InflateMember(z_stream& stream, const unsigned char* input, size_t length, size_t& at,
                   Output& output) {
    if (inflateReset(&stream) != Z_OK)
        return false;
    for (;;) {
        if (!output.MakeRoom())
            return false;
        size_t inputPiece = std::min(length - at, kMaxPiece);
        stream.next_in = const_cast<Bytef*>(input + at);
        stream.avail_in = static_cast<uInt>(inputPiece);
        stream.next_out = output.End();
        stream.avail_out = static_cast<uInt>(output.Free());
        int status = inflate(&stream, Z_NO_FLUSH);
        at += inputPiece - stream.avail_in;
        output.Grow(static_cast<size_t>(stream.next_out - output.End()));
        if (status == Z_STREAM_END)
            return true;
        if (status == Z_BUF_ERROR && stream.avail_out == 0)
            continue;
        if (status != Z_OK)
            return false;
        if (at == length && stream.avail_out != 0)
            return false; // the input ended inside the member
    }
}

} // namespace

GzipDecodeResult GzipDecodeMemory(const unsigned char* input, size_t length) {
    if (input == nullptr || length == 0)
        return {};
    size_t chunk = length > SIZE_MAX / 3 ? length : std::max<size_t>(3 * length, 1024);
    if (chunk > kLargeInput)
        chunk = length;
    Output output(chunk);

    if (!StartsMember(input, length, 0)) {
        // Not gzip: the data passes through unchanged.
        for (size_t at = 0; at < length;) {
            if (!output.MakeRoom())
                return output.Release(true);
            size_t n = std::min(output.Free(), length - at);
            memcpy(output.End(), input + at, n);
            output.Grow(n);
            at += n;
        }
        return output.Release(false);
    }

    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return output.Release(true);
    bool dataError = false;
    size_t at = 0;
    while (StartsMember(input, length, at)) {
        if (!SkipHeader(input, length, at)) {
            dataError = true;
            break;
        }
        size_t memberStart = output.Size();
        if (!InflateMember(stream, input, length, at, output)) {
            dataError = true;
            break;
        }
        // Trailer: CRC-32 of the member's bytes, then the length (not checked).
        if (length - at < 8) {
            dataError = true;
            break;
        }
        uLong crc = crc32(0L, Z_NULL, 0);
        for (size_t done = memberStart; done < output.Size();) {
            size_t n = std::min(output.Size() - done, kMaxPiece);
            crc = crc32(crc, output.Data() + done, static_cast<uInt>(n));
            done += n;
        }
        if (static_cast<uint32_t>(crc) != ReadLittle32(input + at)) {
            dataError = true;
            break;
        }
        at += 8;
    }
    inflateEnd(&stream);
    return output.Release(dataError);
}
