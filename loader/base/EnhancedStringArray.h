// An ordered list of texts that can be filled by splitting a text at a separator.
#pragma once

#include <string>
#include <vector>

class CEnhancedStringArray : public std::vector<std::string> {
public:
    CEnhancedStringArray() = default;
    CEnhancedStringArray(const char* separator, const char* text) { Split(separator, text); }

    // Replaces the contents with the pieces of text between separators; returns their number.
    int Split(const char* separator, const char* text);
};
