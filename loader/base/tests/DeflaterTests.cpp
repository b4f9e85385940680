#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "ArchiveCorpus.h"
#include "Deflater.h"

namespace {

// Raw inflate with zlib; false when zlib rejects the stream or finds data after its end.
bool Inflate(const std::vector<uint8_t>& packed, size_t expected, std::vector<uint8_t>& out) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    out.assign(expected + 1, 0);
    stream.next_in = const_cast<Bytef*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int status = inflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    bool whole = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole;
}

std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& input, int level) {
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&stream, static_cast<uLong>(input.size())));
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

struct Case {
    const char* name;
    std::vector<uint8_t> data;
};

std::vector<Case> Corpus() {
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"one byte", {'x'}});
    cases.push_back({"short text", {'a', 'b', 'a', 'b', 'a', 'b', 'c'}});
    cases.push_back({"log text", MakeLogText(300000)});
    cases.push_back({"binary", MakeBinary(300000)});
    cases.push_back({"incompressible", MakeRandom(200000)});
    cases.push_back({"long run", std::vector<uint8_t>(1000000, 'z')});
    std::vector<uint8_t> mixed = MakeLogText(40000, 7);
    std::vector<uint8_t> noise = MakeRandom(40000, 3);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), 70000, 0);
    cases.push_back({"text, noise and zeros above 64 KiB", mixed});
    cases.push_back({"log text above 4 MiB", MakeLogText(4 * 1024 * 1024 + 12345, 5)});
    return cases;
}

TEST(DeflaterTest, RoundTripsThroughZlibAtEveryLevel) {
    for (const Case& c : Corpus()) {
        for (int level : {1, 6, 8, 9}) {
            if (c.data.size() > 1000000 && level != 8)
                continue;
            std::vector<uint8_t> packed, unpacked;
            ASSERT_TRUE(CDeflater::Compress(c.data.data(), c.data.size(), level, packed)) << c.name;
            ASSERT_TRUE(Inflate(packed, c.data.size(), unpacked)) << c.name << " level " << level;
            EXPECT_TRUE(unpacked == c.data) << c.name << " level " << level;
        }
    }
}

TEST(DeflaterTest, PiecesOfAnySizeGiveTheSameStream) {
    std::vector<uint8_t> input = MakeLogText(200000, 9);
    std::vector<uint8_t> whole;
    ASSERT_TRUE(CDeflater::Compress(input.data(), input.size(), 8, whole));
    for (size_t piece : {1u, 7u, 1000u, 65536u, 100000u}) {
        CDeflater deflater(8);
        std::vector<uint8_t> packed;
        for (size_t at = 0; at < input.size(); at += piece)
            ASSERT_TRUE(deflater.Deflate(input.data() + at, std::min(piece, input.size() - at),
                                         false, packed));
        ASSERT_TRUE(deflater.Deflate(nullptr, 0, true, packed));
        EXPECT_TRUE(packed == whole) << "pieces of " << piece;
    }
}

TEST(DeflaterTest, FinishedStreamRefusesMoreUntilReset) {
    CDeflater deflater(8);
    std::vector<uint8_t> packed, unpacked;
    const uint8_t text[] = "hello hello hello";
    ASSERT_TRUE(deflater.Deflate(text, sizeof text, true, packed));
    EXPECT_FALSE(deflater.Deflate(text, sizeof text, true, packed));
    deflater.Reset();
    packed.clear();
    ASSERT_TRUE(deflater.Deflate(text, sizeof text, true, packed));
    ASSERT_TRUE(Inflate(packed, sizeof text, unpacked));
    EXPECT_EQ(0, memcmp(text, unpacked.data(), sizeof text));
}

TEST(DeflaterTest, CompressesAboutAsWellAsZlib) {
    for (const Case& c : Corpus()) {
        if (c.data.size() < 1000)
            continue;
        std::vector<uint8_t> ours;
        ASSERT_TRUE(CDeflater::Compress(c.data.data(), c.data.size(), 8, ours));
        size_t theirs = ZlibDeflate(c.data, 8).size();
        EXPECT_LE(ours.size(), theirs + theirs / 50 + 16) << c.name;
    }
}

TEST(DeflaterTest, IncompressibleDataGrowsOnlyByStoredBlockHeaders) {
    std::vector<uint8_t> input = MakeRandom(500000, 11);
    std::vector<uint8_t> packed;
    ASSERT_TRUE(CDeflater::Compress(input.data(), input.size(), 8, packed));
    EXPECT_LE(packed.size(), input.size() + input.size() / 1000 + 16);
}

} // namespace
