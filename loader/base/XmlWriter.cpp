// The writer: the same walk runs twice, first counting the bytes and then filling a buffer
// of exactly that size. The walk keeps its own stack, so deep nesting is no danger.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "XmlNode.h"
#include "XmlNodeData.h"

namespace {

constexpr size_t kMaxOutput = 0x7FFFFFFE;

const char* EntityOf(char c) {
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&apos;";
    default:
        return nullptr;
    }
}

class Counter {
public:
    void Put(const char*, size_t length) { m_size += length; }
    void Put(const char* text) { m_size += strlen(text); }
    void Char(char) { ++m_size; }
    void Tabs(size_t count) { m_size += count; }
    void Encoded(const char* text) {
        for (; *text; ++text) {
            const char* entity = EntityOf(*text);
            m_size += entity ? strlen(entity) : 1;
        }
    }
    size_t Size() const { return m_size; }

private:
    size_t m_size = 0;
};

class Filler {
public:
    explicit Filler(char* out) : m_out(out) {}
    void Put(const char* text, size_t length) {
        memcpy(m_out, text, length);
        m_out += length;
    }
    void Put(const char* text) { Put(text, strlen(text)); }
    void Char(char c) { *m_out++ = c; }
    void Tabs(size_t count) {
        memset(m_out, '\t', count);
        m_out += count;
    }
    void Encoded(const char* text) {
        for (; *text; ++text) {
            const char* entity = EntityOf(*text);
            if (entity)
                Put(entity);
            else
                *m_out++ = *text;
        }
    }
    char* End() const { return m_out; }

private:
    char* m_out;
};

template <class Out> class Walk {
public:
    Walk(Out& out, bool formatted) : m_out(out), m_formatted(formatted) {}

    void Run(const XmlNodeData* top) {
        Open(top, 0);
        while (!m_stack.empty()) {
            Frame& frame = m_stack.back();
            const XmlNodeData* node = frame.node;
            if (frame.next < node->OrderCount()) {
                const int32_t entry = node->order[frame.next++];
                const int32_t index = entry / 4;
                const size_t depth = frame.depth;
                switch (entry & 3) {
                case kXmlChildEntry:
                    Open(node->children[index], depth);
                    break;
                case kXmlTextEntry:
                    Indent(depth);
                    m_out.Encoded(node->texts[index]);
                    LineFeed();
                    break;
                case kXmlClearEntry: {
                    const XmlClear& clear = node->clears[index];
                    Indent(depth);
                    m_out.Put(clear.openMarker);
                    m_out.Put(clear.value);
                    m_out.Put(clear.closeMarker);
                    LineFeed();
                    break;
                }
                }
                continue;
            }
            const bool endTag = frame.endTag;
            const size_t depth = frame.depth;
            m_stack.pop_back();
            if (endTag) {
                Indent(depth - 1);
                m_out.Put("</", 2);
                m_out.Put(node->name);
                m_out.Char('>');
                LineFeed();
            }
        }
    }

private:
    struct Frame {
        const XmlNodeData* node;
        int32_t next;
        size_t depth; // of the entries
        bool endTag;
    };

    void Indent(size_t depth) {
        if (m_formatted)
            m_out.Tabs(depth);
    }
    void LineFeed() {
        if (m_formatted)
            m_out.Char('\n');
    }

    void Open(const XmlNodeData* node, size_t depth) {
        if (!node->name) {
            // The parser's unnamed root holds several top entries: write them as they are.
            m_stack.push_back(Frame{node, 0, depth, false});
            return;
        }
        Indent(depth);
        m_out.Char('<');
        if (node->declaration)
            m_out.Char('?');
        m_out.Put(node->name);
        for (int32_t i = 0; i < node->attributeCount; ++i) {
            const XmlAttribute& attribute = node->attributes[i];
            if (!attribute.name || !*attribute.name)
                continue;
            m_out.Char(' ');
            m_out.Put(attribute.name);
            if (attribute.value) {
                m_out.Put("=\"", 2);
                m_out.Encoded(attribute.value);
                m_out.Char('"');
            }
        }
        if (node->declaration) {
            m_out.Put("?>", 2);
            LineFeed();
            m_stack.push_back(Frame{node, 0, depth, false});
        } else if (node->OrderCount() == 0) {
            m_out.Put("/>", 2);
            LineFeed();
        } else {
            m_out.Char('>');
            LineFeed();
            m_stack.push_back(Frame{node, 0, depth + 1, true});
        }
    }

    Out& m_out;
    const bool m_formatted;
    std::vector<Frame> m_stack;
};

} // namespace

char* ToXmlText(const XmlNode& node, bool formatted, size_t* length) {
    if (length)
        *length = 0;
    if (node.IsEmpty())
        return nullptr;
    formatted = formatted && GetXmlWhiteSpaceHandling();
    try {
        Counter counter;
        Walk<Counter>(counter, formatted).Run(node.Data());
        if (counter.Size() > kMaxOutput)
            return nullptr;
        char* text = static_cast<char*>(malloc(counter.Size() + 1));
        if (!text)
            return nullptr;
        Filler filler(text);
        try {
            Walk<Filler>(filler, formatted).Run(node.Data());
        } catch (...) {
            free(text);
            return nullptr;
        }
        *filler.End() = '\0';
        if (length)
            *length = counter.Size();
        return text;
    } catch (...) {
        return nullptr;
    }
}
