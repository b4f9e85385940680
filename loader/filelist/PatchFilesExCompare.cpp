// The comparison in time linear in both lists: every local entry is reduced once to its
// key name and key time, kept in a hash table with the latest key time per name. Entries
// go through the table in small batches whose table slots are fetched ahead, so that the
// memory waits of one batch overlap.
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "OrlaLog.h"
#include "PatchFilesEx.h"

namespace {

constexpr size_t kBatch = 16;

// Lower-case name without a final ".gz" (exactly that spelling).
void KeyName(const std::string& fileName, std::string& key) {
    size_t length = fileName.size();
    if (length >= 3 && fileName.compare(length - 3, 3, ".gz") == 0)
        length -= 3;
    key.resize(length);
    for (size_t i = 0; i < length; ++i) {
        char c = fileName[i];
        key[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    }
}

// The last-write time cut to whole minutes. Cutting the seconds since 1970 is exact at
// every time, also in the hour repeated when daylight saving ends.
int64_t KeyTime(int64_t seconds) {
    int64_t rest = seconds % 60;
    if (rest < 0)
        rest += 60;
    return seconds - rest;
}

// Never 0, which marks a free slot.
uint64_t Hash(std::string_view key) {
    uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : key) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return (hash ^ (hash >> 29)) | 1;
}

// Key names and hashes of a batch of entries, with their slots fetched ahead.
struct Batch {
    std::string keys[kBatch];
    uint64_t hashes[kBatch];
    size_t count = 0;
};

class LocalIndex {
public:
    explicit LocalIndex(const std::vector<PatchFileEntry>& entries) {
        size_t slots = 16;
        while (slots < entries.size() * 2)
            slots *= 2;
        m_mask = slots - 1;
        m_slots.assign(slots, Slot{0, 0, 0, 0});
        size_t total = 0;
        for (const PatchFileEntry& entry : entries)
            total += entry.fileName.size();
        if (total > std::numeric_limits<uint32_t>::max())
            throw std::length_error("file names too long");
        m_names.reserve(total);

        Batch batch;
        for (size_t first = 0; first < entries.size(); first += kBatch) {
            Prepare(entries, first, batch);
            for (size_t j = 0; j < batch.count; ++j)
                Insert(batch.keys[j], batch.hashes[j], KeyTime(entries[first + j].lastWriteTime));
        }
    }

    // Fills the batch from the entries at first and fetches their slots ahead.
    void Prepare(const std::vector<PatchFileEntry>& entries, size_t first, Batch& batch) const {
        batch.count = entries.size() - first < kBatch ? entries.size() - first : kBatch;
        for (size_t j = 0; j < batch.count; ++j) {
            KeyName(entries[first + j].fileName, batch.keys[j]);
            batch.hashes[j] = Hash(batch.keys[j]);
            __builtin_prefetch(&m_slots[batch.hashes[j] & m_mask]);
        }
    }

    // The latest local key time for the name, or false when no local file has it.
    bool Lookup(const std::string& key, uint64_t hash, int64_t& time) const {
        const Slot& slot = m_slots[Find(key, hash)];
        if (slot.hash == 0)
            return false;
        time = slot.time;
        return true;
    }

private:
    struct Slot {
        uint64_t hash; // 0: free
        int64_t time;
        uint32_t offset;
        uint32_t length;
    };

    // The slot holding the key, or the free slot where it belongs.
    size_t Find(std::string_view key, uint64_t hash) const {
        for (size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const Slot& slot = m_slots[i];
            if (slot.hash == 0)
                return i;
            if (slot.hash == hash && slot.length == key.size() &&
                memcmp(m_names.data() + slot.offset, key.data(), key.size()) == 0)
                return i;
        }
    }

    void Insert(const std::string& key, uint64_t hash, int64_t time) {
        Slot& slot = m_slots[Find(key, hash)];
        if (slot.hash != 0) {
            if (time > slot.time)
                slot.time = time;
            return;
        }
        slot = Slot{hash, time, static_cast<uint32_t>(m_names.size()),
                    static_cast<uint32_t>(key.size())};
        m_names.append(key);
    }

    size_t m_mask = 0;
    std::vector<Slot> m_slots;
    std::string m_names;
};

} // namespace

bool PatchFilesEx::Compare(const PatchFilesEx* local, PatchFilesEx* out) const {
    if (out == nullptr)
        return false;
    try {
        static const PatchFilesEx kNoFiles;
        const LocalIndex index(local ? local->entries : kNoFiles.entries);
        Batch batch;
        for (size_t first = 0; first < entries.size(); first += kBatch) {
            index.Prepare(entries, first, batch);
            for (size_t j = 0; j < batch.count; ++j) {
                const std::string& key = batch.keys[j];
                const PatchFileEntry& entry = entries[first + j];
                int64_t localTime = 0;
                if (index.Lookup(key, batch.hashes[j], localTime) &&
                    (key.find(kWorkstationConfigName) != std::string::npos ||
                     key.find(kLocalDatabaseName) != std::string::npos ||
                     localTime >= KeyTime(entry.lastWriteTime)))
                    continue;
                out->AddEntry(entry);
            }
        }
        return true;
    } catch (...) {
        g_pLog->Log(1, "PatchFilesEx::Compare EXCEPTION !!!");
        return false;
    }
}
