#include "TSCharacterSet.h"

#include <QChar>
#include <QList>

#include <mutex>
#include <optional>

namespace {

bool isWhitespaceOrNewline(char32_t c) {
    if (c == U'\t' || (c >= 0x0A && c <= 0x0D) || c == 0x85)
        return true;
    switch (QChar::category(c)) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

bool isPathSeparator(char32_t c) {
    return c == U'/' || c == U'\\';
}

struct SharedSets {
    TSCharacterSet empty{[](char32_t) { return false; }};
    TSCharacterSet whitespace{isWhitespaceOrNewline};
    TSCharacterSet delimiters{[](char32_t c) { return c == U'"' || isWhitespaceOrNewline(c); }};
    TSCharacterSet ascii{[](char32_t c) { return c < 0x80; }};
    TSCharacterSet pathSeparators{isPathSeparator};
    TSCharacterSet nonPathSeparators{[](char32_t c) { return !isPathSeparator(c); }};
};

std::once_flag g_setsOnce;
std::optional<SharedSets> g_sets;

const SharedSets& sets() {
    initCharacterSets();
    return *g_sets;
}

} // namespace

void initCharacterSets() {
    std::call_once(g_setsOnce, [] { g_sets.emplace(); });
}

TSCharacterSet TSCharacterSet::fromCharacters(const QString& characters) {
    const QList<uint> codePoints = characters.toUcs4();
    return TSCharacterSet([codePoints](char32_t c) { return codePoints.contains(uint(c)); });
}

TSCharacterSet TSCharacterSet::inverted() const {
    return TSCharacterSet([inner = contains_](char32_t c) { return !inner(c); });
}

const TSCharacterSet& TSCharacterSet::emptySet() {
    return sets().empty;
}
const TSCharacterSet& TSCharacterSet::whitespaceAndNewlineSet() {
    return sets().whitespace;
}
const TSCharacterSet& TSCharacterSet::commandLineDelimiterSet() {
    return sets().delimiters;
}
const TSCharacterSet& TSCharacterSet::asciiSet() {
    return sets().ascii;
}
const TSCharacterSet& TSCharacterSet::pathSeparatorSet() {
    return sets().pathSeparators;
}
const TSCharacterSet& TSCharacterSet::nonPathSeparatorSet() {
    return sets().nonPathSeparators;
}
