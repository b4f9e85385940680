// Arbitrary bytes into the XML parser; every tree it returns is written both ways, and a
// clean one-line text must parse again to the same text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "XmlNode.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    XmlResults results;
    XmlNode node = ParseXml(text, size, size % 3 == 0 ? "a" : nullptr, &results);
    if (node.IsEmpty())
        return 0;
    Written(node, true);
    const std::string line = Written(node, false);
    if (results.error == kXmlNoError && !line.empty()) {
        XmlResults again;
        XmlNode back = ParseXml(line.c_str(), nullptr, &again);
        if (again.error == kXmlNoError && Written(back, false) != line)
            __builtin_trap();
    }
    return 0;
}
