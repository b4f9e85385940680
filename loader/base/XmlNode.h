// A small tolerant XML document model: parse a text held in memory into a tree of nodes,
// read and build elements, attributes, texts and verbatim sections, and write a tree back
// out, indented or on one line.
#pragma once

#include <cstddef>
#include <cstdint>

struct XmlNodeData;

// A handle to a node, or the empty node. Handles share the storage of the document their
// node belongs to; the whole document stays valid while any handle into it exists. Handles
// of one document must not be used from two threads at once.
class XmlNode {
public:
    XmlNode() = default;
    explicit XmlNode(XmlNodeData* data);
    XmlNode(const XmlNode& other);
    XmlNode(XmlNode&& other) noexcept;
    XmlNode& operator=(const XmlNode& other);
    XmlNode& operator=(XmlNode&& other) noexcept;
    ~XmlNode();

    bool IsEmpty() const { return m_data == nullptr; }
    XmlNodeData* Data() const { return m_data; }

private:
    XmlNodeData* m_data = nullptr;
};

enum XmlError : int32_t {
    kXmlNoError = 0,
    kXmlElementLeftOpen = 1,
    kXmlNoElement = 2,
    kXmlOutOfMemory = 3, // our own: the tree did not fit in memory
    kXmlNoTagName = 4,
    kXmlBadEndTag = 5,
    kXmlUnmatchedEndTag = 6,
    kXmlUnclosedSection = 7,
    kXmlUnexpectedToken = 8,
    kXmlNoText = 9,
    kXmlTopTagNotFound = 11,
    kXmlBadEntity = 12,
    kXmlCharacterTooLarge = 13,
};

struct XmlResults {
    int32_t error = kXmlNoError;
    int32_t line = 0;   // from 1
    int32_t column = 0; // from 1, in UTF-8 characters
};

// A verbatim section: its content byte for byte and the markers around it.
struct XmlClear {
    const char* value;
    const char* openMarker;
    const char* closeMarker;
};

// Process-wide switches, both on by default. White-space handling trims texts when
// parsing and indents formatted output; comment joining merges a text split by a comment.
void SetXmlWhiteSpaceHandling(bool on);
bool GetXmlWhiteSpaceHandling();
void SetXmlCommentJoining(bool on);
bool GetXmlCommentJoining();

// Parses a zero-terminated text, or the first length bytes of a text (a zero byte ends it
// early). The text is read where it lies, never changed. With a top tag the result is the
// element of that name (the parsed top element or its first child of that name).
XmlNode ParseXml(const char* text, const char* topTag = nullptr, XmlResults* results = nullptr);
XmlNode ParseXml(const char* text, size_t length, const char* topTag, XmlResults* results);

// A newly allocated (malloc) zero-terminated text the caller frees; nullptr and length 0 for
// the empty node or when the text would exceed 2 GiB or does not fit in memory.
char* ToXmlText(const XmlNode& node, bool formatted, size_t* length = nullptr);

XmlNode CreateTopNode(const char* name, bool declaration);

// Reading; every name comparison ignores case.
const char* GetName(const XmlNode& node);
bool IsDeclaration(const XmlNode& node);
XmlNode GetParent(const XmlNode& node);
int ChildCount(const XmlNode& node);
int ChildCountByName(const XmlNode& node, const char* name);
// The first child of that name at or after *position, which then moves past it.
XmlNode GetChild(const XmlNode& node, const char* name, int* position = nullptr);
XmlNode GetChildAt(const XmlNode& node, int index);
// The value (nullptr for an attribute without one, or when missing) of the first attribute
// of that name at or after *position, which then moves past it.
const char* GetAttribute(const XmlNode& node, const char* name, int* position = nullptr);
int AttributeCount(const XmlNode& node);
int TextCount(const XmlNode& node);
const char* GetText(const XmlNode& node, int index);
int ClearCount(const XmlNode& node);
XmlClear GetClear(const XmlNode& node, int index);
// Children, attributes, texts and verbatim sections together.
int ElementCount(const XmlNode& node);
bool IsEmpty(const XmlNode& node);

// Building. Position -1 appends; otherwise the new entry goes before the existing entry of
// the same kind at that index. Adding to the empty node does nothing.
XmlNode AddChild(const XmlNode& node, const char* name, bool declaration = false,
                 int position = -1);
void AddAttribute(const XmlNode& node, const char* name, const char* value);
void AddText(const XmlNode& node, const char* text, int position = -1);
// Missing markers mean a CDATA section.
void AddClear(const XmlNode& node, const char* value, const char* openMarker = nullptr,
              const char* closeMarker = nullptr, int position = -1);
void DeleteClear(const XmlNode& node, int index);
void SetName(const XmlNode& node, const char* name);
