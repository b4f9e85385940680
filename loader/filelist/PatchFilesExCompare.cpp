// The comparison in time linear in both lists: every local entry is reduced once to its
// key name and key time, kept in a hash table with the latest key time per name.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "OrlaLog.h"
#include "PatchFilesEx.h"

namespace {

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

uint64_t Hash(std::string_view key) {
    uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : key) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash ^ (hash >> 29);
}

class LocalIndex {
public:
    explicit LocalIndex(const std::vector<PatchFileEntry>& entries) {
        size_t slots = 16;
        while (slots < entries.size() * 2)
            slots *= 2;
        m_mask = slots - 1;
        m_slots.assign(slots, -1);
        m_keys.reserve(entries.size());
        size_t total = 0;
        for (const PatchFileEntry& entry : entries)
            total += entry.fileName.size();
        m_names.reserve(total);

        std::string key;
        for (const PatchFileEntry& entry : entries) {
            KeyName(entry.fileName, key);
            const int64_t time = KeyTime(entry.lastWriteTime);
            const uint64_t hash = Hash(key);
            int32_t& slot = m_slots[Find(key, hash)];
            if (slot >= 0) {
                Key& found = m_keys[static_cast<size_t>(slot)];
                if (time > found.time)
                    found.time = time;
                continue;
            }
            slot = static_cast<int32_t>(m_keys.size());
            m_keys.push_back(Key{hash, m_names.size(), key.size(), time});
            m_names.append(key);
        }
    }

    // The latest local key time for the name, or false when no local file has it.
    bool Lookup(const std::string& key, int64_t& time) const {
        const int32_t slot = m_slots[Find(key, Hash(key))];
        if (slot < 0)
            return false;
        time = m_keys[static_cast<size_t>(slot)].time;
        return true;
    }

private:
    struct Key {
        uint64_t hash;
        size_t offset;
        size_t length;
        int64_t time;
    };

    // The slot holding the key, or the free slot where it belongs.
    size_t Find(std::string_view key, uint64_t hash) const {
        for (size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const int32_t slot = m_slots[i];
            if (slot < 0)
                return i;
            const Key& candidate = m_keys[static_cast<size_t>(slot)];
            if (candidate.hash == hash && candidate.length == key.size() &&
                memcmp(m_names.data() + candidate.offset, key.data(), key.size()) == 0)
                return i;
        }
    }

    size_t m_mask = 0;
    std::vector<int32_t> m_slots;
    std::vector<Key> m_keys;
    std::string m_names;
};

} // namespace

bool PatchFilesEx::Compare(const PatchFilesEx* local, PatchFilesEx* out) const {
    if (out == nullptr)
        return false;
    try {
        static const PatchFilesEx kNoFiles;
        const LocalIndex index(local ? local->entries : kNoFiles.entries);
        std::string key;
        for (const PatchFileEntry& entry : entries) {
            KeyName(entry.fileName, key);
            int64_t localTime = 0;
            if (index.Lookup(key, localTime) &&
                (key.find(kWorkstationConfigName) != std::string::npos ||
                 key.find(kLocalDatabaseName) != std::string::npos ||
                 localTime >= KeyTime(entry.lastWriteTime)))
                continue;
            out->AddEntry(entry);
        }
        return true;
    } catch (...) {
        g_pLog->Log(1, "PatchFilesEx::Compare EXCEPTION !!!");
        return false;
    }
}
