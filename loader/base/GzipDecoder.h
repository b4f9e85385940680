// Decoding gzip data (RFC 1952) held in memory, as web servers send it with
// "Content-Encoding: gzip": a sequence of members, each with its header, deflate data,
// CRC-32 and length. Data that does not start with the gzip magic passes through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

struct GzipDecodeResult {
    // Bytes produced, in a block from malloc with a zero byte after them (the block is
    // the caller's to free); null when nothing was produced.
    unsigned char* data = nullptr;
    size_t size = 0;
    // Decoding stopped at bad data (bad header, broken deflate data, wrong CRC, or the
    // input ended inside a member); what was produced before stays in data.
    bool dataError = false;

    // True when at least one byte was produced.
    bool Produced() const { return size != 0; }
};

// Never throws; a failed allocation ends decoding as a data error.
GzipDecodeResult GzipDecodeMemory(const unsigned char* input, size_t length);
