#include "PasswordScrambler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kDelta = 0x9E3779B9;
constexpr int kCycles = 32;

struct Key {
    uint32_t words[4];
};

uint32_t ReadLittleEndian(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

void WriteLittleEndian(uint32_t value, unsigned char* bytes) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The key text in a zero-filled 16-byte buffer, read as four little-endian words; a longer
// text is cut at 16 bytes.
Key MakeKey(const char* keyText) {
    unsigned char buffer[16] = {};
    if (keyText != nullptr)
        memcpy(buffer, keyText, strnlen(keyText, sizeof buffer));
    Key key{};
    for (int i = 0; i < 4; ++i)
        key.words[i] = ReadLittleEndian(buffer + 4 * i);
    return key;
}

void EncryptBlock(unsigned char* block, const Key& key) {
    uint32_t v0 = ReadLittleEndian(block), v1 = ReadLittleEndian(block + 4), sum = 0;
    for (int i = 0; i < kCycles; ++i) {
        v0 += (((v1 << 4) ^ (v1 >> 5)) + v1) ^ (sum + key.words[sum & 3]);
        sum += kDelta;
        v1 += (((v0 << 4) ^ (v0 >> 5)) + v0) ^ (sum + key.words[(sum >> 11) & 3]);
    }
    WriteLittleEndian(v0, block);
    WriteLittleEndian(v1, block + 4);
}

void DecryptBlock(unsigned char* block, const Key& key) {
    uint32_t v0 = ReadLittleEndian(block), v1 = ReadLittleEndian(block + 4);
    uint32_t sum = kDelta * kCycles;
    for (int i = 0; i < kCycles; ++i) {
        v1 -= (((v0 << 4) ^ (v0 >> 5)) + v0) ^ (sum + key.words[(sum >> 11) & 3]);
        sum -= kDelta;
        v0 -= (((v1 << 4) ^ (v1 >> 5)) + v1) ^ (sum + key.words[sum & 3]);
    }
    WriteLittleEndian(v0, block);
    WriteLittleEndian(v1, block + 4);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

size_t RoundUpToBlock(size_t length) {
    return (length + 7) / 8 * 8;
}

} // namespace

std::string EncryptPassword(const std::string& clearText, const char* keyText) {
    try {
        if (clearText.empty())
            return std::string();
        std::vector<unsigned char> buffer(RoundUpToBlock(clearText.size()), 0);
        std::copy(clearText.begin(), clearText.end(), buffer.begin());
        Key key = MakeKey(keyText);
        for (size_t offset = 0; offset < buffer.size(); offset += 8)
            EncryptBlock(buffer.data() + offset, key);
        static const char kDigits[] = "0123456789ABCDEF";
        std::string hex;
        hex.reserve(buffer.size() * 2);
        for (unsigned char byte : buffer) {
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 15];
        }
        return hex;
    } catch (...) {
        return std::string();
    }
}

std::string DecryptPassword(const std::string& hexText, const char* keyText) {
    try {
        if (hexText.empty())
            return std::string();
        std::vector<unsigned char> buffer(RoundUpToBlock(hexText.size() / 2), 0);
        // A trailing odd digit is ignored; anything that is not a hexadecimal digit means the
        // text was not written by us, and guessing a password from it helps nobody.
        for (size_t i = 0; i + 1 < hexText.size(); i += 2) {
            int high = HexValue(hexText[i]), low = HexValue(hexText[i + 1]);
            if (high < 0 || low < 0)
                return std::string();
            buffer[i / 2] = static_cast<unsigned char>(high << 4 | low);
        }
        Key key = MakeKey(keyText);
        for (size_t offset = 0; offset < buffer.size(); offset += 8)
            DecryptBlock(buffer.data() + offset, key);
        size_t length = 0;
        while (length < buffer.size() && buffer[length] != 0)
            ++length;
        return std::string(reinterpret_cast<const char*>(buffer.data()), length);
    } catch (...) {
        return std::string();
    }
}
