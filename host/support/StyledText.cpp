#include "StyledText.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTextDocument>

QString htmlImportFontFamily(const QFont& font) {
    const QString family = font.family();
    if (QFontDatabase::families().contains(family))
        return family;
    if (family.startsWith(QLatin1String(".Lucida Grande")))
        return QStringLiteral("Lucida Grande");
    return QStringLiteral("Helvetica Neue");
}

void initWithHTMLString(QTextDocument& document, const QString& html, const QFont* font) {
    if (font) {
        const int size = int(QFontInfo(*font).pointSizeF());
        QFont standard(htmlImportFontFamily(*font));
        if (size > 0) {
            standard.setPointSize(size);
            document.setDefaultStyleSheet(
                QStringLiteral("code, kbd, pre, samp, tt { font-size: %1pt; }").arg(size));
        }
        document.setDefaultFont(standard);
    }
    // The HTML arrives as Unicode text already; no encoding needs guessing.
    document.setHtml(html);
}
