// Inputs for the compression tests and benchmarks: log-like text and structured binary data
// that compress like the real thing, made deterministically; and zlib's deflate to compare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

std::vector<uint8_t> MakeLogText(size_t size, uint32_t seed = 1);
std::vector<uint8_t> MakeBinary(size_t size, uint32_t seed = 1);
std::vector<uint8_t> MakeRandom(size_t size, uint32_t seed = 1);

// zlib's deflate over the whole input; window bits as for deflateInit2 (negative: raw).
std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& input, int level, int windowBits);
