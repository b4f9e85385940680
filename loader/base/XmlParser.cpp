// The parser: one pass over the caller's text, iterative (no recursion however deep the
// nesting), with every string copied once into the document's arena.
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "XmlNode.h"
#include "XmlNodeData.h"

namespace {

struct ClearMarkers {
    const char* open;
    size_t openLength;
    const char* close;
    size_t closeLength;
};

// Verbatim sections, tried in this order.
constexpr ClearMarkers kClears[] = {
    {"<![CDATA[", 9, "]]>", 3},
    {"<!DOCTYPE", 9, ">", 1},
    {"<!--", 4, "-->", 3},
    {"<PRE>", 5, "</PRE>", 6},
};
constexpr size_t kDoctype = 1;
constexpr const char* kSubsetClose = "]>";

struct Entity {
    const char* name; // without "&", with ";"
    size_t length;
    char value;
};
constexpr Entity kEntities[] = {
    {"amp;", 4, '&'}, {"lt;", 3, '<'}, {"gt;", 3, '>'}, {"quot;", 5, '"'}, {"apos;", 5, '\''},
};

// Bytes a UTF-8 lead byte stands for; 0 for the end of the text.
int CharLength(unsigned char lead) {
    if (lead == 0)
        return 0;
    if (lead < 0xC2 || lead > 0xF4)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return 4;
}

// Bytes that may end a plain word.
struct WordStops {
    bool table[256] = {};
    constexpr WordStops() {
        for (char c : {' ', '\t', '\n', '\r', '<', '=', '>', '/', '?'})
            table[static_cast<unsigned char>(c)] = true;
    }
    constexpr bool operator[](unsigned char c) const { return table[c]; }
};
constexpr WordStops kWordStops;

struct ParseStop {};

enum class Token {
    End,
    Clear,
    Quoted,
    ShortClose,
    EndTag,
    Declaration,
    TagStart,
    Equals,
    Close,
    Word
};

class Parser {
public:
    Parser(const char* text, const char* end, XmlArena& arena)
        : m_p(text), m_end(end), m_arena(arena), m_whiteSpace(GetXmlWhiteSpaceHandling()),
          m_joinComments(GetXmlCommentJoining()) {}

    // The unnamed root with everything parsed; errors in Error().
    XmlNodeData* Run();
    int32_t Error() const { return m_error; }
    const char* ErrorAt() const { return m_errorAt; }

private:
    struct Item {
        XmlEntryKind kind;
        void* entry;
        size_t length;   // of a text
        size_t capacity; // of a text's block, which joined comments may fill further
    };
    struct Frame {
        XmlNodeData* node;
        size_t firstItem;
    };

    [[noreturn]] void Stop(int32_t error, const char* at) {
        m_error = error;
        m_errorAt = at;
        throw ParseStop();
    }
    void Note(int32_t error, const char* at) {
        if (m_error == kXmlNoError) {
            m_error = error;
            m_errorAt = at;
        }
    }

    int MatchClear(const char* p) const;
    Token Next(bool inDeclaration);
    void ParseClear(int clear);
    void ParseTag(bool declaration);
    void ParseEndTag();
    void AddText(const char* begin, const char* end);
    char* Decode(const char* begin, const char* end, size_t* length = nullptr);
    const char* Name(const char* begin, const char* end);
    void Close();
    XmlNodeData* Current() const { return m_stack.back().node; }

    const char* m_p;
    const char* const m_end;
    XmlArena& m_arena;
    const bool m_whiteSpace;
    const bool m_joinComments;
    int32_t m_error = kXmlNoError;
    const char* m_errorAt = nullptr;

    const char* m_tokenBegin = nullptr;
    const char* m_tokenEnd = nullptr;

    std::vector<Item> m_items;
    std::vector<Frame> m_stack;
    std::vector<XmlAttribute> m_attributes;

    // Element and attribute names repeat from element to element: one copy serves all.
    static constexpr size_t kNameCacheSize = 64;
    const char* m_names[kNameCacheSize] = {};
    size_t m_nameLengths[kNameCacheSize] = {};
};

int Parser::MatchClear(const char* p) const {
    size_t left = static_cast<size_t>(m_end - p);
    // Every opener is "<!" or "<P" so far.
    if (left < 2 || (p[1] != '!' && p[1] != 'P'))
        return -1;
    for (size_t i = 0; i < sizeof kClears / sizeof kClears[0]; ++i)
        if (left >= kClears[i].openLength && memcmp(p, kClears[i].open, kClears[i].openLength) == 0)
            return static_cast<int>(i);
    return -1;
}

Token Parser::Next(bool inDeclaration) {
    while (m_p < m_end && IsXmlSpace(*m_p))
        ++m_p;
    m_tokenBegin = m_p;
    if (m_p == m_end)
        return Token::End;
    const char c = *m_p;
    if (c == '<' && MatchClear(m_p) >= 0)
        return Token::Clear;
    if (c == '"' || c == '\'') {
        const char* from = m_p + 1;
        const size_t left = static_cast<size_t>(m_end - from);
        const char* q = static_cast<const char*>(memchr(from, c, left));
        if (q && !memchr(from, '<', static_cast<size_t>(q - from))) {
            m_tokenBegin = m_p + 1;
            m_tokenEnd = q;
            m_p = q + 1;
            return Token::Quoted;
        }
        // An unterminated quote starts a plain word.
    } else if (c == '/' && m_p + 1 < m_end && m_p[1] == '>') {
        m_p += 2;
        return Token::ShortClose;
    } else if (c == '<') {
        if (m_p + 1 < m_end && m_p[1] == '/') {
            m_p += 2;
            return Token::EndTag;
        }
        if (m_p + 1 < m_end && m_p[1] == '?') {
            m_p += 2;
            return Token::Declaration;
        }
        ++m_p;
        return Token::TagStart;
    } else if (c == '=') {
        ++m_p;
        return Token::Equals;
    } else if (c == '>') {
        ++m_p;
        return Token::Close;
    } else if (inDeclaration && c == '?' && m_p + 1 < m_end && m_p[1] == '>') {
        // The "?" of "?>" closing a declaration is dropped.
        m_p += 2;
        return Token::Close;
    }
    const char* q = m_p + 1;
    while (q < m_end) {
        const char d = *q;
        if (kWordStops[static_cast<unsigned char>(d)]) {
            if (IsXmlSpace(d) || d == '<' || d == '=' || d == '>')
                break;
            if ((d == '/' || (inDeclaration && d == '?')) && q + 1 < m_end && q[1] == '>')
                break;
        }
        ++q;
    }
    m_tokenEnd = q;
    m_p = q;
    return Token::Word;
}

XmlNodeData* Parser::Run() {
    XmlNodeData* root = NewXmlNodeData(m_arena, nullptr, false, nullptr);
    m_stack.push_back(Frame{root, 0});
    try {
        while (m_p < m_end) {
            const char* lt = static_cast<const char*>(memchr(m_p, '<', m_end - m_p));
            if (!lt)
                lt = m_end;
            if (lt > m_p)
                AddText(m_p, lt);
            m_p = lt;
            if (m_p == m_end)
                break;
            int clear = MatchClear(m_p);
            if (clear >= 0)
                ParseClear(clear);
            else if (m_p + 1 < m_end && m_p[1] == '/')
                ParseEndTag();
            else if (m_p + 1 < m_end && m_p[1] == '?')
                ParseTag(true);
            else
                ParseTag(false);
        }
        while (m_stack.size() > 1) {
            if (!Current()->declaration)
                Note(kXmlElementLeftOpen, m_end);
            Close();
        }
        Close();
    } catch (const ParseStop&) {
    }
    return root;
}

void Parser::ParseClear(int clear) {
    const ClearMarkers& markers = kClears[clear];
    const char* content = m_p + markers.openLength;
    std::string_view rest(content, static_cast<size_t>(m_end - content));
    const char* close = markers.close;
    size_t closeLength = markers.closeLength;
    if (clear == static_cast<int>(kDoctype)) {
        size_t gt = rest.find('>');
        if (rest.substr(0, gt).find('<') != std::string_view::npos) {
            close = kSubsetClose;
            closeLength = 2;
        }
    }
    size_t at = rest.find(std::string_view(close, closeLength));
    if (at == std::string_view::npos)
        Stop(kXmlUnclosedSection, m_p);
    XmlClear* entry = static_cast<XmlClear*>(m_arena.Allocate(sizeof(XmlClear)));
    *entry = XmlClear{m_arena.CopyText(content, at), markers.open, close};
    m_items.push_back(Item{kXmlClearEntry, entry, 0, 0});
    m_p = content + at + closeLength;
}

void Parser::ParseTag(bool declaration) {
    m_p += declaration ? 2 : 1;
    const char* at = m_p - (declaration ? 2 : 1);
    if (Next(declaration) != Token::Word)
        Stop(kXmlNoTagName, at);
    XmlNodeData* parent = Current();
    const char* name = Name(m_tokenBegin, m_tokenEnd);
    XmlNodeData* node = NewXmlNodeData(m_arena, name, declaration, parent);

    m_attributes.clear();
    Token token = Next(declaration);
    for (;;) {
        if (token == Token::Word) {
            XmlAttribute attribute{Name(m_tokenBegin, m_tokenEnd), nullptr};
            token = Next(declaration);
            if (token == Token::Equals) {
                token = Next(declaration);
                if (token != Token::Quoted && token != Token::Word)
                    Stop(kXmlUnexpectedToken, m_tokenBegin);
                attribute.value = Decode(m_tokenBegin, m_tokenEnd);
                token = Next(declaration);
            }
            m_attributes.push_back(attribute);
            continue;
        }
        if (token == Token::Close || token == Token::ShortClose)
            break;
        Stop(kXmlUnexpectedToken, m_tokenBegin);
    }
    if (!m_attributes.empty()) {
        size_t count = m_attributes.size();
        node->attributes =
            static_cast<XmlAttribute*>(m_arena.Allocate(sizeof(XmlAttribute) * count));
        memcpy(static_cast<void*>(node->attributes), m_attributes.data(),
               sizeof(XmlAttribute) * count);
        node->attributeCount = node->attributeCapacity = static_cast<int32_t>(count);
    }
    m_items.push_back(Item{kXmlChildEntry, node, 0, 0});
    // A declaration at the top takes everything after it; elsewhere it has no content.
    bool opens = token == Token::Close && (!declaration || m_stack.size() == 1);
    if (opens)
        m_stack.push_back(Frame{node, m_items.size()});
}

void Parser::ParseEndTag() {
    const char* at = m_p;
    m_p += 2;
    if (Next(false) != Token::Word)
        Stop(kXmlBadEndTag, at);
    const char* name = m_tokenBegin;
    size_t length = static_cast<size_t>(m_tokenEnd - m_tokenBegin);
    if (Next(false) != Token::Close)
        Stop(kXmlBadEndTag, at);
    if (m_stack.size() == 1)
        return; // nothing open: a stray end tag at the top is passed over
    auto matches = [&](const XmlNodeData* node) { return XmlNameEquals(node->name, name, length); };
    if (matches(Current())) {
        Close();
        return;
    }
    Note(kXmlElementLeftOpen, at);
    for (;;) {
        Close();
        if (m_stack.size() == 1)
            Stop(kXmlUnmatchedEndTag, at);
        if (matches(Current())) {
            Close();
            return;
        }
    }
}

const char* Parser::Name(const char* begin, const char* end) {
    const size_t length = static_cast<size_t>(end - begin);
    const size_t slot = (length * 31 + static_cast<unsigned char>(begin[0]) * 7 +
                         static_cast<unsigned char>(end[-1])) %
                        kNameCacheSize;
    const char* cached = m_names[slot];
    if (cached && m_nameLengths[slot] == length && memcmp(cached, begin, length) == 0)
        return cached;
    const char* copy = m_arena.CopyText(begin, length);
    m_names[slot] = copy;
    m_nameLengths[slot] = length;
    return copy;
}

void Parser::AddText(const char* begin, const char* end) {
    if (m_whiteSpace) {
        while (begin < end && IsXmlSpace(*begin))
            ++begin;
        while (end > begin && IsXmlSpace(end[-1]))
            --end;
        if (begin == end)
            return;
    }
    size_t length = 0;
    char* text = Decode(begin, end, &length);
    const size_t count = m_items.size() - m_stack.back().firstItem;
    if (m_joinComments && count >= 2 && m_items[m_items.size() - 1].kind == kXmlClearEntry &&
        static_cast<XmlClear*>(m_items.back().entry)->openMarker == kClears[2].open &&
        m_items[m_items.size() - 2].kind == kXmlTextEntry) {
        m_items.pop_back();
        Item& earlier = m_items.back();
        const size_t joined = earlier.length + length;
        if (joined + 1 > earlier.capacity) {
            // Room to spare, so that a long run of joins costs linear time and memory.
            const size_t capacity = 2 * (joined + 1);
            char* block = static_cast<char*>(m_arena.Allocate(capacity));
            memcpy(block, earlier.entry, earlier.length);
            earlier.entry = block;
            earlier.capacity = capacity;
        }
        memcpy(static_cast<char*>(earlier.entry) + earlier.length, text, length + 1);
        earlier.length = joined;
        return;
    }
    m_items.push_back(Item{kXmlTextEntry, text, length, length + 1});
}

char* Parser::Decode(const char* begin, const char* end, size_t* length) {
    const char* amp =
        static_cast<const char*>(memchr(begin, '&', static_cast<size_t>(end - begin)));
    if (!amp) {
        if (length)
            *length = static_cast<size_t>(end - begin);
        return m_arena.CopyText(begin, static_cast<size_t>(end - begin));
    }
    char* out = static_cast<char*>(m_arena.Allocate(static_cast<size_t>(end - begin) + 1));
    char* o = out;
    const char* p = begin;
    while (p < end) {
        if (*p != '&') {
            *o++ = *p++;
            continue;
        }
        const char* at = p++;
        if (p < end && *p == '#') {
            ++p;
            int base = 10;
            if (p < end && (*p == 'x' || *p == 'X')) {
                base = 16;
                ++p;
            }
            unsigned value = 0;
            for (;; ++p) {
                if (p == end)
                    Stop(kXmlBadEntity, at);
                const char c = *p;
                if (c == ';')
                    break;
                unsigned digit;
                if (c >= '0' && c <= '9')
                    digit = static_cast<unsigned>(c - '0');
                else if (base == 16 && c >= 'a' && c <= 'f')
                    digit = static_cast<unsigned>(c - 'a' + 10);
                else if (base == 16 && c >= 'A' && c <= 'F')
                    digit = static_cast<unsigned>(c - 'A' + 10);
                else
                    Stop(kXmlBadEntity, at);
                value = value * base + digit;
                if (value > 255)
                    value = 256; // stays too large, never overflows
            }
            if (value > 255)
                Stop(kXmlCharacterTooLarge, at);
            *o++ = static_cast<char>(value);
            ++p;
            continue;
        }
        const Entity* found = nullptr;
        for (const Entity& entity : kEntities) {
            if (static_cast<size_t>(end - p) < entity.length)
                continue;
            size_t i = 0;
            while (i < entity.length && XmlLower(p[i]) == entity.name[i])
                ++i;
            if (i == entity.length) {
                found = &entity;
                break;
            }
        }
        if (!found)
            Stop(kXmlBadEntity, at);
        *o++ = found->value;
        p += found->length;
    }
    *o = '\0';
    if (length)
        *length = static_cast<size_t>(o - out);
    return out;
}

// Completes the current element: its entries go into arrays of exactly their size.
void Parser::Close() {
    Frame frame = m_stack.back();
    m_stack.pop_back();
    XmlNodeData* node = frame.node;
    const Item* items = m_items.data() + frame.firstItem;
    const size_t count = m_items.size() - frame.firstItem;
    if (count) {
        int32_t children = 0, texts = 0, clears = 0;
        for (size_t i = 0; i < count; ++i) {
            children += items[i].kind == kXmlChildEntry;
            texts += items[i].kind == kXmlTextEntry;
            clears += items[i].kind == kXmlClearEntry;
        }
        node->order = static_cast<int32_t*>(m_arena.Allocate(sizeof(int32_t) * count));
        if (children)
            node->children = static_cast<XmlNodeData**>(
                m_arena.Allocate(sizeof(XmlNodeData*) * static_cast<size_t>(children)));
        if (texts)
            node->texts = static_cast<const char**>(
                m_arena.Allocate(sizeof(const char*) * static_cast<size_t>(texts)));
        if (clears)
            node->clears = static_cast<XmlClear*>(
                m_arena.Allocate(sizeof(XmlClear) * static_cast<size_t>(clears)));
        int32_t c = 0, t = 0, v = 0;
        for (size_t i = 0; i < count; ++i) {
            switch (items[i].kind) {
            case kXmlChildEntry:
                node->order[i] = c * 4 + kXmlChildEntry;
                node->children[c++] = static_cast<XmlNodeData*>(items[i].entry);
                break;
            case kXmlTextEntry:
                node->order[i] = t * 4 + kXmlTextEntry;
                node->texts[t++] = static_cast<const char*>(items[i].entry);
                break;
            case kXmlClearEntry:
                node->order[i] = v * 4 + kXmlClearEntry;
                node->clears[v++] = *static_cast<XmlClear*>(items[i].entry);
                break;
            }
        }
        node->childCount = node->childCapacity = children;
        node->textCount = node->textCapacity = texts;
        node->clearCount = node->clearCapacity = clears;
        node->orderCapacity = static_cast<int32_t>(count);
    }
    m_items.resize(frame.firstItem);
}

void Position(const char* begin, const char* at, const char* end, XmlResults& results) {
    int32_t line = 1, column = 1;
    const char* p = begin;
    while (p < at) {
        if (*p == '\n') {
            ++line;
            column = 1;
            ++p;
            continue;
        }
        int length = CharLength(static_cast<unsigned char>(*p));
        if (length == 0)
            length = 1;
        p += length < end - p ? length : end - p;
        ++column;
    }
    results.line = line;
    results.column = column;
}

} // namespace

XmlNode ParseXml(const char* text, const char* topTag, XmlResults* results) {
    return ParseXml(text, text ? strlen(text) : 0, topTag, results);
}

XmlNode ParseXml(const char* text, size_t length, const char* topTag, XmlResults* results) {
    XmlResults local;
    XmlResults& out = results ? *results : local;
    out = XmlResults{};
    if (!text) {
        out.error = kXmlNoText;
        return XmlNode();
    }
    const char* nul = static_cast<const char*>(memchr(text, '\0', length));
    const char* end = nul ? nul : text + length;

    XmlArena* arena = nullptr;
    XmlNode result;
    int32_t error = kXmlNoError;
    const char* errorAt = end;
    try {
        arena = new XmlArena();
        XmlNode root;
        {
            Parser parser(text, end, *arena);
            XmlNodeData* rootData = parser.Run();
            root = XmlNode(rootData);
            arena = nullptr; // the handles own it now
            error = parser.Error();
            if (parser.ErrorAt())
                errorAt = parser.ErrorAt();
        }
        if (error <= kXmlNoElement) {
            const XmlNodeData* data = root.Data();
            if (data->childCount == 0) {
                error = kXmlNoElement;
                errorAt = end;
                result = root;
            } else if (data->childCount == 1 && data->OrderCount() == 1) {
                result = XmlNode(data->children[0]);
            } else {
                result = root;
            }
            if (topTag && !XmlNamesEqual(GetName(result), topTag)) {
                result = GetChild(result, topTag);
                if (result.IsEmpty()) {
                    error = kXmlTopTagNotFound;
                    errorAt = end;
                }
            }
        }
    } catch (...) {
        delete arena;
        result = XmlNode();
        error = kXmlOutOfMemory;
        errorAt = end;
    }
    if (error != kXmlNoError && error != kXmlElementLeftOpen && error != kXmlNoElement)
        result = XmlNode();
    out.error = error;
    if (error != kXmlNoError)
        Position(text, errorAt, end, out);
    return result;
}
