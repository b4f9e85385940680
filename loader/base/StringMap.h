// A hashed map from text to text that renders itself as one line and reads key/value files.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

class Buf;

class CStringMap {
public:
    static constexpr const char* kMissingMarker = "^*%$BADSTRING!)&#";

    // With markMissing, Get answers a missing key with kMissingMarker instead of "".
    explicit CStringMap(bool markMissing = false) : m_markMissing(markMissing) {}

    std::string Get(const char* key) const;
    void Set(const char* key, const char* value);
    bool Contains(const char* key) const;
    size_t GetCount() const { return m_count; }
    void RemoveAll();

    // Pairs with a non-empty key as key + pairSeparator + value, sorted ascending for
    // order > 0, descending for order < 0, in map order for 0, joined by itemSeparator.
    std::string ToText(const char* itemSeparator, const char* pairSeparator, int order) const;

    // Visits every pair in the map's own order (bucket by bucket).
    template <class Visit> void ForEach(Visit visit) const {
        for (const Bucket& bucket : m_buckets)
            for (auto pair = bucket.rbegin(); pair != bucket.rend(); ++pair)
                visit(pair->first, pair->second);
    }

    // Fills the map from lines of key and value; see the implementation for the rules.
    bool readFromBuf(const Buf& buffer, char lineSeparator, char keySeparator, bool trim);
    // Windows only: loads the file, then readFromBuf.
    bool readFromFile(const char* path, char lineSeparator, char keySeparator, bool trim);

private:
    static constexpr size_t kHashBuckets = 17;
    using Bucket = std::vector<std::pair<std::string, std::string>>;

    static size_t BucketOf(const char* key);
    const std::string* Find(const char* key) const;

    std::array<Bucket, kHashBuckets> m_buckets;
    size_t m_count = 0;
    bool m_markMissing;
};
