#include "XmlNode.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "XmlNodeData.h"

namespace {

constexpr const char* kCdataOpen = "<![CDATA[";
constexpr const char* kCdataClose = "]]>";

void Retain(XmlNodeData* data) {
    if (data)
        data->arena->references.fetch_add(1, std::memory_order_relaxed);
}

void Release(XmlNodeData* data) {
    if (data && data->arena->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete data->arena;
}

// Makes room for one more element in an arena array, doubling it when full.
template <class T> void Reserve(XmlArena& arena, T*& items, int32_t count, int32_t& capacity) {
    if (count < capacity)
        return;
    int32_t grown = capacity < 4 ? 4 : capacity * 2;
    T* bigger = static_cast<T*>(arena.Allocate(sizeof(T) * static_cast<size_t>(grown)));
    if (count)
        memcpy(static_cast<void*>(bigger), items, sizeof(T) * static_cast<size_t>(count));
    items = bigger;
    capacity = grown;
}

// Inserts an entry of a kind at index (or appends for -1 and out-of-range indexes) and
// keeps the document order; returns the index used.
template <class T>
int32_t InsertEntry(XmlNodeData* node, T*& items, int32_t& count, int32_t& capacity,
                    XmlEntryKind kind, int position, const T& item) {
    XmlArena& arena = *node->arena;
    Reserve(arena, items, count, capacity);
    const int32_t orderCount = node->OrderCount();
    Reserve(arena, node->order, orderCount, node->orderCapacity);
    int32_t index = position < 0 || position >= count ? count : position;
    memmove(static_cast<void*>(items + index + 1), items + index,
            sizeof(T) * static_cast<size_t>(count - index));
    items[index] = item;
    ++count;

    int32_t orderAt = orderCount;
    // Appending, the usual case, leaves every other entry in place.
    for (int32_t i = index == count - 1 ? orderCount : 0; i < orderCount; ++i) {
        int32_t entry = node->order[i];
        if ((entry & 3) == kind && entry / 4 >= index) {
            if (orderAt == orderCount)
                orderAt = i;
            node->order[i] = entry + 4;
        }
    }
    memmove(node->order + orderAt + 1, node->order + orderAt,
            sizeof(int32_t) * static_cast<size_t>(orderCount - orderAt));
    node->order[orderAt] = index * 4 + kind;
    return index;
}

std::atomic<bool> g_whiteSpaceHandling{true};
std::atomic<bool> g_commentJoining{true};

} // namespace

XmlArena::~XmlArena() {
    while (m_chunks) {
        Chunk* next = m_chunks->next;
        free(m_chunks);
        m_chunks = next;
    }
}

void* XmlArena::Allocate(size_t bytes) {
    bytes = (bytes + 7) & ~size_t(7);
    if (static_cast<size_t>(m_end - m_next) >= bytes) {
        void* block = m_next;
        m_next += bytes;
        return block;
    }
    return AllocateSlow(bytes);
}

void* XmlArena::AllocateSlow(size_t bytes) {
    // Chunks grow with the document, up to a size the heap still reuses.
    size_t size = m_chunkSize;
    if (m_chunkSize < 1024 * 1024)
        m_chunkSize *= 2;
    if (size < bytes + sizeof(Chunk))
        size = bytes + sizeof(Chunk);
    Chunk* chunk = static_cast<Chunk*>(malloc(size));
    if (!chunk)
        throw std::bad_alloc();
    chunk->next = m_chunks;
    m_chunks = chunk;
    char* block = reinterpret_cast<char*>(chunk) + sizeof(Chunk);
    m_next = block + bytes;
    m_end = reinterpret_cast<char*>(chunk) + size;
    return block;
}

char* XmlArena::CopyText(const char* text, size_t length) {
    char* copy = static_cast<char*>(Allocate(length + 1));
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

char* XmlArena::CopyText(const char* text) {
    return CopyText(text, strlen(text));
}

XmlNodeData* NewXmlNodeData(XmlArena& arena, const char* name, bool declaration,
                            XmlNodeData* parent) {
    XmlNodeData* node = new (arena.Allocate(sizeof(XmlNodeData))) XmlNodeData();
    node->name = name;
    node->declaration = declaration;
    node->parent = parent;
    node->arena = &arena;
    return node;
}

bool XmlNameEquals(const char* name, const char* text, size_t length) {
    if (!name)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (name[i] == '\0' || XmlLower(name[i]) != XmlLower(text[i]))
            return false;
    return name[length] == '\0';
}

bool XmlNamesEqual(const char* a, const char* b) {
    return b && XmlNameEquals(a, b, strlen(b));
}

XmlNode::XmlNode(XmlNodeData* data) : m_data(data) {
    Retain(m_data);
}

XmlNode::XmlNode(const XmlNode& other) : m_data(other.m_data) {
    Retain(m_data);
}

XmlNode::XmlNode(XmlNode&& other) noexcept : m_data(other.m_data) {
    other.m_data = nullptr;
}

XmlNode& XmlNode::operator=(const XmlNode& other) {
    Retain(other.m_data);
    Release(m_data);
    m_data = other.m_data;
    return *this;
}

XmlNode& XmlNode::operator=(XmlNode&& other) noexcept {
    if (this != &other) {
        Release(m_data);
        m_data = other.m_data;
        other.m_data = nullptr;
    }
    return *this;
}

XmlNode::~XmlNode() {
    Release(m_data);
}

void SetXmlWhiteSpaceHandling(bool on) {
    g_whiteSpaceHandling = on;
}
bool GetXmlWhiteSpaceHandling() {
    return g_whiteSpaceHandling;
}
void SetXmlCommentJoining(bool on) {
    g_commentJoining = on;
}
bool GetXmlCommentJoining() {
    return g_commentJoining;
}

XmlNode CreateTopNode(const char* name, bool declaration) {
    try {
        XmlArena* arena = new XmlArena();
        try {
            const char* copy = name ? arena->CopyText(name) : nullptr;
            return XmlNode(NewXmlNodeData(*arena, copy, declaration, nullptr));
        } catch (...) {
            delete arena;
        }
    } catch (...) {
    }
    return XmlNode();
}

const char* GetName(const XmlNode& node) {
    return node.IsEmpty() ? nullptr : node.Data()->name;
}

bool IsDeclaration(const XmlNode& node) {
    return !node.IsEmpty() && node.Data()->declaration;
}

XmlNode GetParent(const XmlNode& node) {
    return node.IsEmpty() ? XmlNode() : XmlNode(node.Data()->parent);
}

int ChildCount(const XmlNode& node) {
    return node.IsEmpty() ? 0 : node.Data()->childCount;
}

int ChildCountByName(const XmlNode& node, const char* name) {
    if (node.IsEmpty() || !name)
        return 0;
    int count = 0;
    const XmlNodeData* data = node.Data();
    for (int32_t i = 0; i < data->childCount; ++i)
        count += XmlNamesEqual(data->children[i]->name, name);
    return count;
}

XmlNode GetChild(const XmlNode& node, const char* name, int* position) {
    if (node.IsEmpty() || !name)
        return XmlNode();
    const XmlNodeData* data = node.Data();
    for (int32_t i = position && *position > 0 ? *position : 0; i < data->childCount; ++i) {
        if (XmlNamesEqual(data->children[i]->name, name)) {
            if (position)
                *position = i + 1;
            return XmlNode(data->children[i]);
        }
    }
    return XmlNode();
}

XmlNode GetChildAt(const XmlNode& node, int index) {
    if (node.IsEmpty() || index < 0 || index >= node.Data()->childCount)
        return XmlNode();
    return XmlNode(node.Data()->children[index]);
}

const char* GetAttribute(const XmlNode& node, const char* name, int* position) {
    if (node.IsEmpty() || !name)
        return nullptr;
    const XmlNodeData* data = node.Data();
    for (int32_t i = position && *position > 0 ? *position : 0; i < data->attributeCount; ++i) {
        if (XmlNamesEqual(data->attributes[i].name, name)) {
            if (position)
                *position = i + 1;
            return data->attributes[i].value;
        }
    }
    return nullptr;
}

int AttributeCount(const XmlNode& node) {
    return node.IsEmpty() ? 0 : node.Data()->attributeCount;
}

int TextCount(const XmlNode& node) {
    return node.IsEmpty() ? 0 : node.Data()->textCount;
}

const char* GetText(const XmlNode& node, int index) {
    if (node.IsEmpty() || index < 0 || index >= node.Data()->textCount)
        return nullptr;
    return node.Data()->texts[index];
}

int ClearCount(const XmlNode& node) {
    return node.IsEmpty() ? 0 : node.Data()->clearCount;
}

XmlClear GetClear(const XmlNode& node, int index) {
    if (node.IsEmpty() || index < 0 || index >= node.Data()->clearCount)
        return XmlClear{nullptr, nullptr, nullptr};
    return node.Data()->clears[index];
}

int ElementCount(const XmlNode& node) {
    if (node.IsEmpty())
        return 0;
    const XmlNodeData* data = node.Data();
    return data->childCount + data->attributeCount + data->textCount + data->clearCount;
}

bool IsEmpty(const XmlNode& node) {
    return node.IsEmpty();
}

XmlNode AddChild(const XmlNode& node, const char* name, bool declaration, int position) {
    if (node.IsEmpty())
        return XmlNode();
    try {
        XmlNodeData* data = node.Data();
        const char* copy = name ? data->arena->CopyText(name) : nullptr;
        XmlNodeData* child = NewXmlNodeData(*data->arena, copy, declaration, data);
        InsertEntry(data, data->children, data->childCount, data->childCapacity, kXmlChildEntry,
                    position, child);
        return XmlNode(child);
    } catch (...) {
        return XmlNode();
    }
}

void AddAttribute(const XmlNode& node, const char* name, const char* value) {
    if (node.IsEmpty())
        return;
    try {
        XmlNodeData* data = node.Data();
        XmlArena& arena = *data->arena;
        XmlAttribute attribute{name ? arena.CopyText(name) : nullptr,
                               value ? arena.CopyText(value) : nullptr};
        Reserve(arena, data->attributes, data->attributeCount, data->attributeCapacity);
        data->attributes[data->attributeCount++] = attribute;
    } catch (...) {
    }
}

void AddText(const XmlNode& node, const char* text, int position) {
    if (node.IsEmpty() || !text)
        return;
    try {
        XmlNodeData* data = node.Data();
        const char* copy = data->arena->CopyText(text);
        InsertEntry(data, data->texts, data->textCount, data->textCapacity, kXmlTextEntry, position,
                    copy);
    } catch (...) {
    }
}

void AddClear(const XmlNode& node, const char* value, const char* openMarker,
              const char* closeMarker, int position) {
    if (node.IsEmpty() || !value)
        return;
    try {
        XmlNodeData* data = node.Data();
        XmlArena& arena = *data->arena;
        XmlClear clear{arena.CopyText(value), arena.CopyText(openMarker ? openMarker : kCdataOpen),
                       arena.CopyText(closeMarker ? closeMarker : kCdataClose)};
        InsertEntry(data, data->clears, data->clearCount, data->clearCapacity, kXmlClearEntry,
                    position, clear);
    } catch (...) {
    }
}

void DeleteClear(const XmlNode& node, int index) {
    if (node.IsEmpty() || index < 0 || index >= node.Data()->clearCount)
        return;
    XmlNodeData* data = node.Data();
    memmove(static_cast<void*>(data->clears + index), data->clears + index + 1,
            sizeof(XmlClear) * static_cast<size_t>(data->clearCount - index - 1));
    const int32_t orderCount = data->OrderCount();
    int32_t kept = 0;
    for (int32_t i = 0; i < orderCount; ++i) {
        int32_t entry = data->order[i];
        if ((entry & 3) == kXmlClearEntry) {
            if (entry / 4 == index)
                continue;
            if (entry / 4 > index)
                entry -= 4;
        }
        data->order[kept++] = entry;
    }
    --data->clearCount;
}

void SetName(const XmlNode& node, const char* name) {
    if (node.IsEmpty())
        return;
    try {
        node.Data()->name = name ? node.Data()->arena->CopyText(name) : nullptr;
    } catch (...) {
    }
}
