#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ArchiveCorpus.h"
#include "ArchiveOutput.h"
#include "ZipWriter.h"

namespace {

class CStdioOutput : public IZipOutput {
public:
    explicit CStdioOutput(const std::filesystem::path& path)
        : m_file(fopen(path.string().c_str(), "wb")) {}
    ~CStdioOutput() override {
        if (m_file)
            fclose(m_file);
    }
    bool Write(const void* data, size_t length) override {
        return m_file && fwrite(data, 1, length, m_file) == length;
    }
    bool Seek(uint64_t position) override {
        return m_file && fseek(m_file, static_cast<long>(position), SEEK_SET) == 0;
    }

private:
    FILE* m_file;
};

// Counts what was written and fails on request.
class CMemoryOutput : public IZipOutput {
public:
    bool Write(const void* data, size_t length) override {
        if (failWriteAfter >= 0 && written.size() + length > static_cast<size_t>(failWriteAfter))
            return false;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        if (position + length > written.size())
            written.resize(position + length);
        std::copy(p, p + length, written.begin() + static_cast<long>(position));
        position += length;
        return true;
    }
    bool Seek(uint64_t to) override {
        if (failSeek)
            return false;
        position = to;
        return true;
    }
    std::vector<uint8_t> written;
    uint64_t position = 0;
    long failWriteAfter = -1;
    bool failSeek = false;
};

class CTextSource : public IZipSource {
public:
    explicit CTextSource(std::string text, bool failRead = false)
        : m_text(std::move(text)), m_failRead(failRead) {}
    bool Read(void* buffer, size_t capacity, size_t* bytesRead) override {
        if (m_failRead)
            return false;
        size_t n = std::min(capacity, m_text.size() - m_at);
        memcpy(buffer, m_text.data() + m_at, n);
        m_at += n;
        *bytesRead = n;
        return true;
    }

private:
    std::string m_text;
    size_t m_at = 0;
    bool m_failRead;
};

ZipFileFacts Facts(const std::string& data, uint32_t attributes, int64_t lastWrite) {
    ZipFileFacts facts;
    facts.attributes = attributes;
    facts.size = data.size();
    facts.lastWrite = lastWrite;
    facts.lastAccess = lastWrite + 100;
    facts.creation = lastWrite - 100;
    return facts;
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(ZipWriterTest, ArchivesReadableByOtherTools) {
    struct Entry {
        std::string name;       // as given
        std::string storedName; // as the archive holds it
        std::string data;
        uint32_t attributes;
        int64_t lastWrite;
        int method;
        uint32_t external;
    } entries[] = {
        {"Skiff.log", "Skiff.log", Text(MakeLogText(300000)), 0x20, 1796551401, 8, 0x81800020},
        {"logs\\a.txt", "logs/a.txt", "a\r\nb\r\n", 0x21, 1796551402, 8, 0x81000021},
        {"x.ZIP", "x.ZIP", Text(MakeRandom(5000)), 0x02, 1796551403, 0, 0x81800002},
        {"y.tgz", "y.tgz", "not really compressed", 0x04, 315532800, 0, 0x81800004},
        {"z.log", "z.log", "", 0x00, 4102444799, 8, 0x81800000},
        {"data.bin", "data.bin", Text(MakeBinary(200000)), 0x27, 1000000000, 8, 0x81000027},
        {"noise", "noise", Text(MakeRandom(70000, 4)), 0x20, 1796551401, 8, 0x81800020},
    };
    const std::string archive = "portable.zip";
    CStdioOutput output(ArchiveOutputFolder() / archive);
    CZipWriter writer(&output);
    int n = 0;
    for (const Entry& e : entries) {
        std::string source = "portable_source_" + std::to_string(n++);
        WriteOutputFile(source, e.data);
        CTextSource reader(e.data);
        ASSERT_EQ(0u,
                  writer.AddEntry(e.name.c_str(), Facts(e.data, e.attributes, e.lastWrite), reader))
            << e.name;
        ExpectArchiveEntry(archive, e.storedName, source, e.method, e.external, e.lastWrite);
    }
    EXPECT_EQ(0u, writer.Finish());
    EXPECT_EQ(kZipErrorClosed, writer.Finish());
}

TEST(ZipWriterTest, LongNamesAreCutAt260Characters) {
    std::string name(300, 'n');
    name[10] = '\\';
    std::string stored = CZipWriter::EntryName(name.c_str());
    ASSERT_EQ(260u, stored.size());
    EXPECT_EQ('/', stored[10]);
    const std::string archive = "long_name.zip";
    CStdioOutput output(ArchiveOutputFolder() / archive);
    CZipWriter writer(&output);
    CTextSource reader("long");
    ASSERT_EQ(0u, writer.AddEntry(name.c_str(), Facts("long", 0x20, 1796551401), reader));
    ASSERT_EQ(0u, writer.Finish());
    WriteOutputFile("long_name_source", "long");
    ExpectArchiveEntry(archive, stored, "long_name_source", 8, 0x81800020, 1796551401);
}

TEST(ZipWriterTest, StoredKindsOfFile) {
    struct {
        const char* name;
        bool stored;
    } cases[] = {{"a.Z", true},     {"a.zip", true},     {"a.ZOO", true}, {"b.arc", true},
                 {"b.lzh", true},   {"b.Arj", true},     {"c.gz", true},  {"c.TGZ", true},
                 {"x.ZIP", true},   {"z.log", false},    {"zip", false},  {"a.zip.txt", false},
                 {"a.gzip", false}, {"dir.gz/f", false}, {"noext", false}};
    for (const auto& c : cases)
        EXPECT_EQ(c.stored, CZipWriter::IsStoredName(c.name)) << c.name;
}

TEST(ZipWriterTest, DosTimesAndAttributes) {
    struct {
        int64_t seconds;
        uint16_t date, time;
    } times[] = {
        {315532800, (0 << 9) | (1 << 5) | 1, 0},                                   // 1980-01-01
        {0, (0 << 9) | (1 << 5) | 1, 0},                                           // clamped
        {1796551401, (46 << 9) | (12 << 5) | 6, (10 << 11) | (3 << 5) | (21 / 2)}, // 2026-12-06
        {951825599, (20 << 9) | (2 << 5) | 29, (11 << 11) | (59 << 5) | 29},       // leap day
    };
    for (const auto& t : times) {
        uint16_t date, time;
        CZipWriter::DosDateTime(t.seconds, &date, &time);
        EXPECT_EQ(t.date, date) << t.seconds;
        EXPECT_EQ(t.time, time) << t.seconds;
    }
    EXPECT_EQ(0x81800020u, CZipWriter::ExternalAttributes(0x20));
    EXPECT_EQ(0x81000001u, CZipWriter::ExternalAttributes(0x01));
    EXPECT_EQ(0x41800010u, CZipWriter::ExternalAttributes(0x10));
    EXPECT_EQ(0x41000037u, CZipWriter::ExternalAttributes(0xFFF));
}

TEST(ZipWriterTest, LocalHeaderCarriesTheRealSizes) {
    CMemoryOutput output;
    CZipWriter writer(&output);
    std::string data(1000, 'q');
    CTextSource reader(data);
    ASSERT_EQ(0u, writer.AddEntry("q.txt", Facts(data, 0x20, 1796551401), reader));
    ASSERT_EQ(0u, writer.Finish());
    const std::vector<uint8_t>& w = output.written;
    auto u16 = [&](size_t at) { return static_cast<unsigned>(w[at] | (w[at + 1] << 8)); };
    auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
    EXPECT_EQ(0x04034b50u, u32(0));
    EXPECT_EQ(0u, u16(6)) << "no data descriptor follows";
    EXPECT_EQ(8u, u16(8));
    EXPECT_EQ(1000u, u32(22));
    EXPECT_EQ(u32(18) + 30 + 5 + 17, w.size() - (46 + 5 + 9) - 22);
    EXPECT_EQ(0x06054b50u, u32(w.size() - 22));
}

TEST(ZipWriterTest, FirstErrorSticksAndNothingLooksComplete) {
    std::string data = Text(MakeLogText(100000));
    struct Case {
        const char* what;
        long failWriteAfter;
        bool failSeek;
        bool failRead;
        uint64_t claimedSize;
        const char* name;
        uint32_t error;
    } cases[] = {
        {"header write", 10, false, false, data.size(), "a.log", kZipErrorWrite},
        {"data write", 1000, false, false, data.size(), "a.log", kZipErrorWrite},
        {"seek", -1, true, false, data.size(), "a.log", kZipErrorSeek},
        {"read", -1, false, true, data.size(), "a.log", kZipErrorOpen},
        {"grown file", -1, false, false, data.size() - 1, "a.log", kZipErrorChanged},
        {"empty name", -1, false, false, data.size(), "", kZipErrorArguments},
        {"no name", -1, false, false, data.size(), nullptr, kZipErrorArguments},
    };
    for (const Case& c : cases) {
        CMemoryOutput output;
        output.failWriteAfter = c.failWriteAfter;
        output.failSeek = c.failSeek;
        CZipWriter writer(&output);
        CTextSource reader(data, c.failRead);
        ZipFileFacts facts = Facts(data, 0x20, 1796551401);
        facts.size = c.claimedSize;
        EXPECT_EQ(c.error, writer.AddEntry(c.name, facts, reader)) << c.what;
        CTextSource again("x");
        EXPECT_EQ(kZipErrorEarlier, writer.AddEntry("b.txt", Facts("x", 0, 0), again)) << c.what;
        size_t before = output.written.size();
        EXPECT_EQ(c.error, writer.Finish()) << c.what;
        EXPECT_EQ(before, output.written.size()) << c.what << ": no directory after a failure";
        CTextSource late("x");
        EXPECT_EQ(kZipErrorClosed, writer.AddEntry("c.txt", Facts("x", 0, 0), late)) << c.what;
    }
    CZipWriter unset(nullptr);
    CTextSource reader("x");
    EXPECT_EQ(kZipErrorNotSetUp, unset.AddEntry("x", Facts("x", 0, 0), reader));
}

} // namespace
