#include "EnhancedStringArray.h"

#include <cstring>

#include "Text.h"

int CEnhancedStringArray::Split(const char* separator, const char* text) {
    clear();
    REQUIRE_TEXT(separator, 0);
    REQUIRE_TEXT(text, 0);
    const size_t separatorLength = strlen(separator);
    if (separatorLength == 0)
        return 0;

    const std::string whole(text);
    size_t position = whole.compare(0, separatorLength, separator) == 0 ? separatorLength : 0;
    for (;;) {
        size_t found = whole.find(separator, position, separatorLength);
        if (found == std::string::npos)
            break;
        emplace_back(whole, position, found - position);
        position = found + separatorLength;
    }
    emplace_back(whole, position);
    return static_cast<int>(size());
}
