#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

#include "Buf.h"

namespace {

TEST(Buf, AllocatesWithOrWithoutZeroFill) {
    Buf buffer;
    ASSERT_TRUE(buffer.Allocate(64, true));
    EXPECT_EQ(64u, buffer.size);
    for (uint64_t i = 0; i < buffer.size; ++i)
        ASSERT_EQ(0, buffer.data[i]);
    buffer.Free();
    EXPECT_EQ(nullptr, buffer.data);
    EXPECT_EQ(0u, buffer.size);

    ASSERT_TRUE(buffer.Allocate(0, false)) << "an empty block is a block";
    EXPECT_NE(nullptr, buffer.data);
    EXPECT_EQ(0u, buffer.size);
    buffer.Free();
}

TEST(Buf, FailedAllocationEmptiesTheBuffer) {
    scoped_buf buffer;
    ASSERT_TRUE(buffer.Allocate(16, false));
    EXPECT_FALSE(buffer.Allocate(std::numeric_limits<uint64_t>::max() / 2, false));
    EXPECT_EQ(nullptr, buffer.data);
    EXPECT_EQ(0u, buffer.size);
}

TEST(Buf, DestructorOfAPlainBufDoesNotFree) {
    unsigned char block[4] = {1, 2, 3, 4};
    {
        Buf carrier(block, sizeof block);
        EXPECT_EQ(block, carrier.data);
    }
    EXPECT_EQ(4, block[3]);
}

TEST(ScopedBuf, FreesOnlyWhileItOwns) {
    Buf taken;
    {
        scoped_buf owner;
        ASSERT_TRUE(owner.Allocate(8, true));
        taken = owner;
        owner.owns = false;
        owner.Free();
        EXPECT_EQ(taken.data, owner.data) << "Free without ownership keeps the block";
        EXPECT_FALSE(owner.Allocate(8, false)) << "allocates only while it owns";
    }
    taken.data[7] = 9; // still alive after the scoped_buf is gone
    taken.Free();

    scoped_buf borrowed(false);
    EXPECT_FALSE(borrowed.Allocate(1, false));
}

class ScopedFile : public testing::Test {
protected:
    void SetUp() override {
        path = (std::filesystem::temp_directory_path() /
                ("scoped_file_" + std::to_string(reinterpret_cast<uintptr_t>(this)) + ".txt"))
                   .string();
    }
    void TearDown() override { std::filesystem::remove(path); }
    std::string path;
};

TEST_F(ScopedFile, ClosesAndDeletesOnClose) {
    {
        scoped_file file(fopen(path.c_str(), "wb"), path.c_str(), true, true);
        ASSERT_NE(nullptr, file.file);
        fputs("x", file.file);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ScopedFile, KeepsTheFileWithoutDeleteOnClose) {
    scoped_file file(fopen(path.c_str(), "wb"), path.c_str(), true, false);
    ASSERT_NE(nullptr, file.file);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(nullptr, file.file);
    EXPECT_FALSE(file.Close());
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(ScopedFile, DoesNothingWithoutOwnership) {
    FILE* stream = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, stream);
    {
        scoped_file borrowed(stream, path.c_str(), false, true);
        EXPECT_FALSE(borrowed.Close());
    }
    EXPECT_EQ(1u, fwrite("y", 1, 1, stream)) << "the stream is still open";
    fclose(stream);
    EXPECT_TRUE(std::filesystem::exists(path));
}

} // namespace
