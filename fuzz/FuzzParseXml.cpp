// Arbitrary bytes into the XML parser; every tree it returns is written both ways, and a
// clean one-line text of a tree with plain names soon reads back to itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "XmlNode.h"
#include "XmlNodeData.h"

namespace {

std::string Written(const XmlNode& node, bool formatted) {
    size_t length = 0;
    char* text = ToXmlText(node, formatted, &length);
    if (!text)
        return std::string();
    if (strlen(text) != length)
        __builtin_trap();
    std::string result(text, length);
    free(text);
    return result;
}

bool IsPlainName(const char* name) {
    if (!name || !*name)
        return false;
    for (; *name; ++name) {
        const char c = *name;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.' || c == ':'))
            return false;
    }
    return true;
}

// Names that the writer cannot quote may read back otherwise (say, one beginning with "?").
bool HasPlainNames(const XmlNode& top) {
    std::vector<const XmlNodeData*> pending{top.Data()};
    while (!pending.empty()) {
        const XmlNodeData* node = pending.back();
        pending.pop_back();
        if (node->name && !IsPlainName(node->name))
            return false;
        for (int32_t i = 0; i < node->attributeCount; ++i)
            if (!IsPlainName(node->attributes[i].name))
                return false;
        for (int32_t i = 0; i < node->childCount; ++i)
            pending.push_back(node->children[i]);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    XmlResults results;
    XmlNode node = ParseXml(text, size, size % 3 == 0 ? "a" : nullptr, &results);
    if (node.IsEmpty())
        return 0;
    Written(node, true);
    const std::string line = Written(node, false);
    if (results.error == kXmlNoError && !line.empty() && HasPlainNames(node)) {
        // One round may still trim what references put at the edges of a text; after that
        // the written text is a fixed point.
        XmlResults again;
        const std::string second = Written(ParseXml(line.c_str(), nullptr, &again), false);
        if (again.error == kXmlNoError && !second.empty()) {
            XmlResults third;
            if (Written(ParseXml(second.c_str(), nullptr, &third), false) != second ||
                third.error != kXmlNoError)
                __builtin_trap();
        }
    }
    return 0;
}
