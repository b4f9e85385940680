#include <gtest/gtest.h>

#include "PasswordScrambler.h"

namespace {

struct Vector {
    const char* clear;
    const char* key;
    size_t length;
    const char* hex;
};

// Computed independently by password_vectors.py.
const Vector kVectors[] = {
#include "PasswordVectors.inc"
};

TEST(PasswordScrambler, MatchesIndependentVectors) {
    for (const Vector& v : kVectors) {
        std::string clear(v.clear, v.length);
        SCOPED_TRACE(v.hex);
        EXPECT_EQ(EncryptPassword(clear, v.key), v.hex);
        // Decryption ends at the first zero byte.
        EXPECT_EQ(DecryptPassword(v.hex, v.key), clear.substr(0, clear.find('\0')));
    }
}

TEST(PasswordScrambler, PadsToWholeBlocks) {
    EXPECT_EQ(EncryptPassword("12345678", kPasswordKey).size(), 16u);
    EXPECT_EQ(EncryptPassword("123456789", kPasswordKey).size(), 32u);
    EXPECT_EQ(EncryptPassword("", kPasswordKey), "");
    EXPECT_EQ(DecryptPassword("", kPasswordKey), "");
}

TEST(PasswordScrambler, BadInputGivesNothingHarmful) {
    std::string hex = EncryptPassword("secret", kPasswordKey);
    struct {
        std::string input;
        std::string clear;
    } cases[] = {
        {hex + "7", "secret"},      // a trailing odd digit is ignored
        {"ZZ" + hex.substr(2), ""}, // not hexadecimal
        {"not a password at all", ""},
        {std::string("AB\0CD", 5), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecryptPassword(c.input, kPasswordKey), c.clear) << c.input;
    // Lower-case digits read the same; half a block is padded with zero bytes.
    std::string lower = hex;
    for (char& ch : lower)
        ch = static_cast<char>(tolower(ch));
    EXPECT_EQ(DecryptPassword(lower, kPasswordKey), "secret");
    EXPECT_EQ(DecryptPassword("ABCDEF", kPasswordKey),
              DecryptPassword("ABCDEF0000000000", kPasswordKey));
    EXPECT_NE(DecryptPassword(hex, "wrong key"), "secret");
}

} // namespace
