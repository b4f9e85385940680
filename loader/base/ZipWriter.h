// Writing zip archives (PKWARE format): entries deflated by our own coder or stored, local
// headers rewritten with the real sizes once the data is out, then the central directory.
// The platform supplies the output and the entry's bytes and file facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The writer's error codes; 0 is success.
constexpr uint32_t kZipErrorOpen = 0x00000200;      // a file could not be created or opened
constexpr uint32_t kZipErrorWrite = 0x00000400;     // writing failed
constexpr uint32_t kZipErrorArguments = 0x00010000; // no handle, empty entry name, no source
constexpr uint32_t kZipErrorEarlier = 0x00040000;   // an earlier call already failed
constexpr uint32_t kZipErrorClosed = 0x00050000;    // the archive is already closed
constexpr uint32_t kZipErrorNotZip = 0x00080000;    // the handle is not a zip writer
constexpr uint32_t kZipErrorNotSetUp = 0x01000000;  // the writer was not set up
constexpr uint32_t kZipErrorSeek = 0x02000000;      // the output could not be positioned
constexpr uint32_t kZipErrorChanged = 0x04000000;   // the entry changed while it was written
constexpr uint32_t kZipErrorDeflate = 0x05000000;   // the deflate coder failed a check

constexpr size_t kZipMaxEntryName = 260;

// Where the archive goes: a file that can be positioned.
class IZipOutput {
public:
    virtual ~IZipOutput() = default;
    virtual bool Write(const void* data, size_t length) = 0;
    virtual bool Seek(uint64_t position) = 0;
};

// The bytes of one entry.
class IZipSource {
public:
    virtual ~IZipSource() = default;
    // False on a read error; 0 bytes read means the end.
    virtual bool Read(void* buffer, size_t capacity, size_t* bytesRead) = 0;
};

// What the platform tells about an entry's file. Times are seconds since 1970, UTC.
struct ZipFileFacts {
    uint32_t attributes = 0; // read-only 0x01, hidden 0x02, system 0x04, folder 0x10, archive 0x20
    uint64_t size = 0;
    int64_t lastWrite = 0;
    int64_t lastAccess = 0;
    int64_t creation = 0;
};

class CZipWriter {
public:
    explicit CZipWriter(IZipOutput* output, int level = 8);

    // Adds one entry from the source; returns 0 or an error code. After the first failure
    // every call fails: with kZipErrorEarlier here, with the first error from Finish.
    uint32_t AddEntry(const char* name, const ZipFileFacts& facts, IZipSource& source);
    // Records an error found outside the writer (for instance a source that cannot be opened).
    uint32_t Fail(uint32_t error);
    // Writes the central directory and the end record; 0 or the first error. With an earlier
    // error nothing more is written, so the archive never looks complete.
    uint32_t Finish();
    uint32_t Error() const { return m_error; }
    bool Finished() const { return m_finished; }

    // The stored name: at most 260 characters, "/" as separator.
    static std::string EntryName(const char* name);
    // Already-compressed kinds of file are stored rather than deflated.
    static bool IsStoredName(const std::string& name);
    // The DOS date and time of a UTC time; times outside 1980 to 2107 are clamped.
    static void DosDateTime(int64_t seconds, uint16_t* date, uint16_t* time);
    static uint32_t ExternalAttributes(uint32_t attributes);

private:
    struct Entry {
        std::vector<uint8_t> centralHeader; // fixed part, name and extra field
    };

    bool Put(const void* data, size_t length);
    uint32_t WriteData(uint16_t method, IZipSource& source, uint32_t* crc, uint64_t* compressedSize,
                       uint64_t* size);

    IZipOutput* m_output;
    uint64_t m_offset = 0;
    int m_level;
    std::vector<Entry> m_entries;
    uint32_t m_error = 0;
    bool m_finished = false;
};
