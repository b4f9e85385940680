// Storage behind XmlNode handles: one arena per document holds every node, name, text and
// array of that document and is freed in one piece when the last handle goes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "XmlNode.h"

class XmlArena {
public:
    XmlArena() = default;
    XmlArena(const XmlArena&) = delete;
    XmlArena& operator=(const XmlArena&) = delete;
    ~XmlArena();

    // Throw std::bad_alloc when memory runs out.
    void* Allocate(size_t bytes);
    char* CopyText(const char* text, size_t length);
    char* CopyText(const char* text);

    std::atomic<int32_t> references{0};

private:
    struct Chunk {
        Chunk* next;
    };
    void* AllocateSlow(size_t bytes);

    Chunk* m_chunks = nullptr;
    char* m_next = nullptr;
    char* m_end = nullptr;
    size_t m_chunkSize = 16 * 1024;
};

struct XmlAttribute {
    const char* name;
    const char* value; // nullptr for an attribute without value
};

// Kinds of the entries in document order, stored as index * 4 + kind.
enum XmlEntryKind : int32_t { kXmlChildEntry = 0, kXmlTextEntry = 2, kXmlClearEntry = 3 };

struct XmlNodeData {
    const char* name = nullptr;
    int32_t childCount = 0;
    int32_t textCount = 0;
    int32_t clearCount = 0;
    int32_t attributeCount = 0;
    bool declaration = false;
    XmlNodeData* parent = nullptr; // not counted
    XmlNodeData** children = nullptr;
    const char** texts = nullptr;
    XmlClear* clears = nullptr;
    XmlAttribute* attributes = nullptr;
    int32_t* order = nullptr;
    XmlArena* arena = nullptr;
    // Room in the arrays, for building; a parsed node's arrays are exactly full.
    int32_t childCapacity = 0;
    int32_t textCapacity = 0;
    int32_t clearCapacity = 0;
    int32_t attributeCapacity = 0;
    int32_t orderCapacity = 0;

    int32_t OrderCount() const { return childCount + textCount + clearCount; }
};

XmlNodeData* NewXmlNodeData(XmlArena& arena, const char* name, bool declaration,
                            XmlNodeData* parent);

inline bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline char XmlLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Names compare without regard to ASCII case; a missing name equals nothing.
bool XmlNameEquals(const char* name, const char* text, size_t length);
bool XmlNamesEqual(const char* a, const char* b);
