#include "ZipWriter.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include <zlib.h>

#include "Deflater.h"

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint16_t kVersionMadeBy = 0x0B17;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kFlagSizesFollow = 8;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kExtendedTimeTag = 0x5455; // "UT"
constexpr uint8_t kTimesWriteAccessCreation = 7;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kReadPiece = 256 * 1024;

class Bytes {
public:
    void U8(uint8_t v) { data.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void Text(const std::string& s) { data.insert(data.end(), s.begin(), s.end()); }
    void Patch16(size_t at, uint16_t v) {
        data[at] = static_cast<uint8_t>(v);
        data[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void Patch32(size_t at, uint32_t v) {
        Patch16(at, static_cast<uint16_t>(v));
        Patch16(at + 2, static_cast<uint16_t>(v >> 16));
    }
    std::vector<uint8_t> data;
};

// The 32-bit time field of the extended-time extra field.
uint32_t UnixTime32(int64_t seconds) {
    return static_cast<uint32_t>(seconds);
}

// Days since 1970-01-01 to the civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2));
}

} // namespace

CZipWriter::CZipWriter(IZipOutput* output, int level) : m_output(output), m_level(level) {}

std::string CZipWriter::EntryName(const char* name) {
    if (name == nullptr)
        return {};
    std::string result(name, strnlen(name, kZipMaxEntryName));
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

bool CZipWriter::IsStoredName(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const char* const kStored[] = {".z",   ".zip", ".zoo", ".arc",
                                          ".lzh", ".arj", ".gz",  ".tgz"};
    return std::any_of(std::begin(kStored), std::end(kStored),
                       [&](const char* e) { return extension == e; });
}

void CZipWriter::DosDateTime(int64_t seconds, uint16_t* date, uint16_t* time) {
    constexpr int64_t kFirst = 315532800; // 1980-01-01 00:00:00
    constexpr int64_t kLast = 4354819198; // 2107-12-31 23:59:58
    seconds = std::clamp(seconds, kFirst, kLast);
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    int year, month, day;
    CivilFromDays(days, &year, &month, &day);
    *date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    *time = static_cast<uint16_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) |
                                  ((rest % 60) / 2));
}

uint32_t CZipWriter::ExternalAttributes(uint32_t attributes) {
    constexpr uint32_t kReadOnly = 0x01, kFolder = 0x10;
    uint32_t mode = (attributes & kFolder) ? 0x4000 : 0x8000;
    mode |= (attributes & kReadOnly) ? 0x0100 : 0x0180;
    return (mode << 16) | (attributes & 0x37);
}

uint32_t CZipWriter::Fail(uint32_t error) {
    if (m_error == 0)
        m_error = error;
    return error;
}

bool CZipWriter::Put(const void* data, size_t length) {
    if (length != 0 && !m_output->Write(data, length))
        return false;
    m_offset += length;
    return true;
}

uint32_t CZipWriter::WriteData(uint16_t method, IZipSource& source, uint32_t* crc,
                               uint64_t* compressedSize, uint64_t* size) {
    std::unique_ptr<uint8_t[]> piece(new uint8_t[kReadPiece]);
    std::unique_ptr<CDeflater> deflater;
    if (method == kMethodDeflated)
        deflater = std::make_unique<CDeflater>(m_level);
    std::vector<uint8_t> packed;
    uLong sum = crc32(0L, Z_NULL, 0);
    uint64_t start = m_offset;
    *size = 0;
    for (;;) {
        size_t got = 0;
        if (!source.Read(piece.get(), kReadPiece, &got))
            return kZipErrorOpen;
        bool end = got == 0;
        sum = crc32(sum, piece.get(), static_cast<uInt>(got));
        *size += got;
        if (deflater) {
            packed.clear();
            if (!deflater->Deflate(piece.get(), got, end, packed))
                return kZipErrorDeflate;
            if (!Put(packed.data(), packed.size()))
                return kZipErrorWrite;
        } else if (!Put(piece.get(), got)) {
            return kZipErrorWrite;
        }
        if (end)
            break;
    }
    *crc = static_cast<uint32_t>(sum);
    *compressedSize = m_offset - start;
    return 0;
}

uint32_t CZipWriter::AddEntry(const char* name, const ZipFileFacts& facts, IZipSource& source) {
    if (m_finished)
        return kZipErrorClosed;
    if (m_error != 0)
        return kZipErrorEarlier;
    if (m_output == nullptr)
        return Fail(kZipErrorNotSetUp);
    std::string entryName = EntryName(name);
    if (entryName.empty())
        return Fail(kZipErrorArguments);

    uint16_t method = IsStoredName(entryName) ? kMethodStored : kMethodDeflated;
    uint16_t dosDate, dosTime;
    DosDateTime(facts.lastWrite, &dosDate, &dosTime);
    uint64_t headerOffset = m_offset;

    Bytes local;
    local.U32(kLocalSignature);
    local.U16(kVersionNeeded);
    local.U16(kFlagSizesFollow);
    local.U16(method);
    local.U16(dosTime);
    local.U16(dosDate);
    local.U32(0); // CRC-32, compressed and original size: rewritten below
    local.U32(0);
    local.U32(0);
    local.U16(static_cast<uint16_t>(entryName.size()));
    local.U16(17);
    local.Text(entryName);
    local.U16(kExtendedTimeTag);
    local.U16(13);
    local.U8(kTimesWriteAccessCreation);
    local.U32(UnixTime32(facts.lastWrite));
    local.U32(UnixTime32(facts.lastAccess));
    local.U32(UnixTime32(facts.creation));
    if (!Put(local.data.data(), local.data.size()))
        return Fail(kZipErrorWrite);

    uint32_t crc = 0;
    uint64_t compressedSize = 0, size = 0;
    if (uint32_t error = WriteData(method, source, &crc, &compressedSize, &size))
        return Fail(error);
    if (size != facts.size)
        return Fail(kZipErrorChanged);
    // The classic format holds sizes and offsets below 4 GiB only.
    if (size >= 0xFFFFFFFFu || compressedSize >= 0xFFFFFFFFu || m_offset >= 0xFFFFFFFFu ||
        m_entries.size() >= 0xFFFF)
        return Fail(kZipErrorWrite);

    // The output can be positioned: put the real CRC and sizes into the local header and
    // clear the "sizes follow" flag, so no data descriptor is needed.
    local.Patch16(6, 0);
    local.Patch32(14, crc);
    local.Patch32(18, static_cast<uint32_t>(compressedSize));
    local.Patch32(22, static_cast<uint32_t>(size));
    if (!m_output->Seek(headerOffset))
        return Fail(kZipErrorSeek);
    if (!m_output->Write(local.data.data(), kLocalHeaderSize))
        return Fail(kZipErrorWrite);
    if (!m_output->Seek(m_offset))
        return Fail(kZipErrorSeek);

    Bytes central;
    central.U32(kCentralSignature);
    central.U16(kVersionMadeBy);
    central.U16(kVersionNeeded);
    central.U16(0);
    central.U16(method);
    central.U16(dosTime);
    central.U16(dosDate);
    central.U32(crc);
    central.U32(static_cast<uint32_t>(compressedSize));
    central.U32(static_cast<uint32_t>(size));
    central.U16(static_cast<uint16_t>(entryName.size()));
    central.U16(9);
    central.U16(0); // comment length
    central.U16(0); // disk
    central.U16(0); // internal attributes
    central.U32(ExternalAttributes(facts.attributes));
    central.U32(static_cast<uint32_t>(headerOffset));
    central.Text(entryName);
    central.U16(kExtendedTimeTag);
    central.U16(5);
    central.U8(kTimesWriteAccessCreation);
    central.U32(UnixTime32(facts.lastWrite));
    m_entries.push_back({std::move(central.data)});
    return 0;
}

uint32_t CZipWriter::Finish() {
    if (m_finished)
        return kZipErrorClosed;
    m_finished = true;
    if (m_error != 0)
        return m_error;
    if (m_output == nullptr)
        return Fail(kZipErrorNotSetUp);
    uint64_t directoryOffset = m_offset;
    for (const Entry& entry : m_entries)
        if (!Put(entry.centralHeader.data(), entry.centralHeader.size()))
            return Fail(kZipErrorWrite);
    uint64_t directorySize = m_offset - directoryOffset;
    if (m_offset >= 0xFFFFFFFFu)
        return Fail(kZipErrorWrite);
    Bytes end;
    end.U32(kEndSignature);
    end.U16(0);
    end.U16(0);
    end.U16(static_cast<uint16_t>(m_entries.size()));
    end.U16(static_cast<uint16_t>(m_entries.size()));
    end.U32(static_cast<uint32_t>(directorySize));
    end.U32(static_cast<uint32_t>(directoryOffset));
    end.U16(0);
    if (!Put(end.data.data(), end.data.size()))
        return Fail(kZipErrorWrite);
    return 0;
}
