// A set of Unicode code points, given by a membership test. The shared sets that the string
// additions scan with are built once per process.
#pragma once

#include <QString>

#include <functional>

class TSCharacterSet {
public:
    using Predicate = std::function<bool(char32_t)>;

    explicit TSCharacterSet(Predicate contains) : contains_(std::move(contains)) {}
    // The set of the code points of the given text.
    static TSCharacterSet fromCharacters(const QString& characters);

    bool contains(char32_t c) const { return contains_(c); }
    TSCharacterSet inverted() const;

    // Shared sets (see initCharacterSets).
    static const TSCharacterSet& emptySet();
    // Unicode space separators, tab, line and paragraph separators, U+000A-U+000D, U+0085.
    static const TSCharacterSet& whitespaceAndNewlineSet();
    // The separators between words plus the double quote.
    static const TSCharacterSet& commandLineDelimiterSet();
    static const TSCharacterSet& asciiSet();
    // "/" and the backslash.
    static const TSCharacterSet& pathSeparatorSet();
    static const TSCharacterSet& nonPathSeparatorSet();

private:
    Predicate contains_;
};

// Creates the shared sets together; runs once per process, safe against concurrent first calls.
void initCharacterSets();
