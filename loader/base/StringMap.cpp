#include "StringMap.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "Buf.h"
#include "OrlaLog.h"
#include "Text.h"

size_t CStringMap::BucketOf(const char* key) {
    unsigned hash = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(key); *p; ++p)
        hash = (hash << 5) + hash + *p;
    return hash % kHashBuckets;
}

const std::string* CStringMap::Find(const char* key) const {
    for (const auto& pair : m_buckets[BucketOf(key)])
        if (pair.first == key)
            return &pair.second;
    return nullptr;
}

std::string CStringMap::Get(const char* key) const {
    const std::string missing = m_markMissing ? kMissingMarker : "";
    REQUIRE_TEXT(key, missing);
    const std::string* value = Find(key);
    return value ? *value : missing;
}

bool CStringMap::Contains(const char* key) const {
    REQUIRE_TEXT(key, false);
    return Find(key) != nullptr;
}

void CStringMap::Set(const char* key, const char* value) {
    REQUIRE_TEXT(key, );
    REQUIRE_TEXT(value, );
    Bucket& bucket = m_buckets[BucketOf(key)];
    for (auto& pair : bucket) {
        if (pair.first == key) {
            pair.second = value;
            return;
        }
    }
    bucket.emplace_back(key, value);
    ++m_count;
}

void CStringMap::RemoveAll() {
    for (Bucket& bucket : m_buckets)
        bucket.clear();
    m_count = 0;
}

std::string CStringMap::ToText(const char* itemSeparator, const char* pairSeparator,
                               int order) const {
    REQUIRE_TEXT(itemSeparator, std::string());
    REQUIRE_TEXT(pairSeparator, std::string());
    std::vector<std::string> items;
    ForEach([&](const std::string& key, const std::string& value) {
        if (!key.empty())
            items.push_back(key + pairSeparator + value);
    });
    if (order > 0)
        std::sort(items.begin(), items.end());
    else if (order < 0)
        std::sort(items.begin(), items.end(), std::greater<>());

    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += itemSeparator;
        text += items[i];
    }
    return text;
}

// Lines end at the line separator, a zero byte or the end of the buffer; a byte 0x07
// inside a line stands for the line separator, so a value can carry it. A line with the
// key separator gives key (before its first occurrence) and value; others are ignored.
// Reading stops after the line ended by a zero byte.
bool CStringMap::readFromBuf(const Buf& buffer, char lineSeparator, char keySeparator, bool trim) {
    if (buffer.data == nullptr && buffer.size != 0)
        return g_pLog->LogErrorFlag(false, "readFromBuf exception !");

    const char* bytes = reinterpret_cast<const char*>(buffer.data);
    std::string line;
    auto storeLine = [&] {
        size_t split = line.find(keySeparator);
        if (!line.empty() && split != std::string::npos) {
            std::string key = line.substr(0, split);
            std::string value = line.substr(split + 1);
            if (trim) {
                key = Trim(key);
                value = Trim(value);
            }
            Set(key.c_str(), value.c_str());
        }
        line.clear();
    };

    for (uint64_t i = 0; i < buffer.size; ++i) {
        char c = bytes[i];
        if (c == '\0')
            break;
        if (c == lineSeparator)
            storeLine();
        else
            line += c == '\x07' ? lineSeparator : c;
    }
    storeLine();
    return true;
}
