#include "XMLable.h"

#include <cstdlib>

#include "Buf.h"
#include "OrlaLog.h"

namespace {

// The document's element: past a leading declaration, and out of the parser's unnamed
// root when comments or text stand beside the element.
XmlNode DocumentElement(XmlNode node) {
    while (!node.IsEmpty() && (IsDeclaration(node) || GetName(node) == nullptr)) {
        XmlNode element;
        for (int i = 0; i < ChildCount(node) && element.IsEmpty(); ++i) {
            XmlNode child = GetChildAt(node, i);
            if (GetName(child) != nullptr)
                element = child;
        }
        if (element.IsEmpty())
            break;
        node = element;
    }
    return node;
}

} // namespace

bool XMLable::FromParsed(const XmlNode& parsed, const XmlResults& results) {
    if (results.error != kXmlNoError || parsed.IsEmpty()) {
        g_pLog->Log(3, "XML error %d at line %d, column %d", results.error, results.line,
                    results.column);
        return false;
    }
    return FromXML(DocumentElement(parsed));
}

bool XMLable::FromXMLString(const char* text) {
    try {
        if (text == nullptr || text[0] != '<')
            return false;
        XmlResults results;
        XmlNode parsed = ParseXml(text, nullptr, &results);
        return FromParsed(parsed, results);
    } catch (...) {
        g_pLog->Log(1, "XMLable::FromXMLString EXCEPTION !!!");
        return false;
    }
}

bool XMLable::FromXMLBuffer(const Buf& buffer) {
    try {
        if (buffer.data == nullptr || buffer.size == 0 || buffer.data[0] != '<')
            return false;
        XmlResults results;
        XmlNode parsed = ParseXml(reinterpret_cast<const char*>(buffer.data),
                                  static_cast<size_t>(buffer.size), nullptr, &results);
        return FromParsed(parsed, results);
    } catch (...) {
        g_pLog->Log(1, "XMLable::FromXMLBuffer EXCEPTION !!!");
        return false;
    }
}

bool XMLable::ToXMLString(Buf* out, bool formatted) {
    try {
        if (out == nullptr)
            return false;
        XmlNode element = CreateTopNode("parent", false);
        if (element.IsEmpty() || !ToNamedXML(element))
            return false;
        size_t length = 0;
        char* text = ToXmlText(element, formatted, &length);
        if (text == nullptr)
            return false;
        out->data = reinterpret_cast<unsigned char*>(text);
        out->size = length;
        return true;
    } catch (...) {
        g_pLog->Log(1, "XMLable::ToXMLString EXCEPTION !!!");
        return false;
    }
}

bool XMLable::ToNamedXML(const XmlNode& element) {
    try {
        SetName(element, GetElementName().c_str());
        return ToXML(element);
    } catch (...) {
        g_pLog->Log(1, "XMLable::ToNamedXML EXCEPTION !!!");
        return false;
    }
}
