// Scrambling of the proxy password kept in TillerConfig.txt: XTEA in 64-bit blocks without
// chaining, written as upper-case hexadecimal.
#pragma once

#include <string>

// The key text the loader stores its proxy password with.
constexpr const char* kPasswordKey = "quindoravelt";

// Empty clear text gives an empty result; so does any failure.
std::string EncryptPassword(const std::string& clearText, const char* keyText);
// The clear text up to its first zero byte; empty for empty or non-hexadecimal input.
std::string DecryptPassword(const std::string& hexText, const char* keyText);
