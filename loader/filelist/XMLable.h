// Base of the objects the loader keeps as XML documents: reading from a text or buffer,
// writing to a buffer, and the element each object reads from and writes into.
#pragma once

#include <string>

#include "XmlNode.h"

class Buf;

class XMLable {
public:
    virtual ~XMLable() = default;

    // False for an empty text, one that does not begin with "<", or any parse error.
    virtual bool FromXMLString(const char* text);
    // Hands a newly allocated (malloc) text and its length to the buffer.
    virtual bool ToXMLString(Buf* out, bool formatted);
    // Like FromXMLString for a buffer of the given size (no terminating zero needed).
    virtual bool FromXMLBuffer(const Buf& buffer);
    virtual bool FromXML(const XmlNode& element) = 0;
    virtual bool ToXML(const XmlNode& element) = 0;
    // Names the element after GetElementName, then ToXML.
    virtual bool ToNamedXML(const XmlNode& element);
    virtual std::string GetElementName() const = 0;

private:
    bool FromParsed(const XmlNode& parsed, const XmlResults& results);
};
