// Test inputs for the compression tests: log-like text and structured binary data that
// compress like the real thing, made deterministically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

std::vector<uint8_t> MakeLogText(size_t size, uint32_t seed = 1);
std::vector<uint8_t> MakeBinary(size_t size, uint32_t seed = 1);
std::vector<uint8_t> MakeRandom(size_t size, uint32_t seed = 1);
