// Styled text from HTML, optionally in a given font.
#pragma once

#include <QString>

class QFont;
class QTextDocument;

// The family HTML import uses for a font: the font's own when installed, otherwise
// "Lucida Grande" for the ".Lucida Grande" system families, else "Helvetica Neue".
QString htmlImportFontFamily(const QFont& font);

// Fills the document from the HTML. With a font, the document's standard family follows
// htmlImportFontFamily and its default and fixed-pitch sizes are the font's point size
// truncated to a whole number.
void initWithHTMLString(QTextDocument& document, const QString& html, const QFont* font);
inline void initWithHTMLString(QTextDocument& document, const QString& html) {
    initWithHTMLString(document, html, nullptr);
}
