#include "BooleanToLabelColorTransformer.h"
#include "StyledText.h"
#include "TSRatioTextField.h"
#include "TSTextField.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QTextCursor>
#include <QTextDocument>

#include <cmath>

#include <gtest/gtest.h>

namespace {

QFont fixedFont() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(12);
    return font;
}

const QString kLongText = QStringLiteral(
    "The bottle could not be started because another program is still using it; quit that "
    "program or wait until it has finished, then try again.");

TEST(BooleanToLabelColorTransformer, GreysOutFalse) {
    const QPalette saved = QApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::Active, QPalette::WindowText, QColor(10, 20, 30));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(200, 201, 202));
    QApplication::setPalette(palette);

    BooleanToLabelColorTransformer transformer;
    EXPECT_EQ(transformer.transformedValue(true).value<QColor>(), QColor(10, 20, 30));
    EXPECT_EQ(transformer.transformedValue(false).value<QColor>(), QColor(200, 201, 202));
    EXPECT_EQ(transformer.transformedValue(QVariant()).value<QColor>(), QColor(200, 201, 202));
    EXPECT_EQ(BooleanToLabelColorTransformer::transformedValueClass(),
              QMetaType::fromType<QColor>());
    EXPECT_FALSE(BooleanToLabelColorTransformer::allowsReverseTransformation());
    QApplication::setPalette(saved);
}

// A monospaced model: every character 10 wide, lines 20 high, breaking anywhere.
QSizeF monospaced(int characters, double width) {
    const int perLine = std::max(1, int(std::min(width, 1e9) / 10));
    const int lines = (characters + perLine - 1) / perLine;
    return {10.0 * std::min(characters, perLine), 20.0 * lines};
}

TEST(TSRatioTextField, SearchesTheBalancedSize) {
    const double ratio = TSRatioTextField::kDefaultMaxAspectRatio;
    // Fits on one line within the ratio.
    EXPECT_EQ(TSRatioTextField::preferredSize([](double w) { return monospaced(5, w); }, ratio),
              QSizeF(50, 20));
    // 50 characters: the widest width within the ratio holds 25 per line on two lines, and no
    // narrower width keeps two lines.
    EXPECT_EQ(TSRatioTextField::preferredSize([](double w) { return monospaced(50, w); }, ratio),
              QSizeF(250, 40));
    // 28 characters at ratio 2: 12 per line (three lines, 120 by 60) is the widest within the
    // ratio; 10 per line is the narrowest that keeps three lines, and a quarter of the way back
    // (105) still holds 10 per line.
    EXPECT_EQ(TSRatioTextField::preferredSize([](double w) { return monospaced(28, w); }, 2.0),
              QSizeF(100, 60));
    // One line only just too wide: no room to search, so the two-line candidate stands.
    std::vector<double> widths;
    const QSizeF size = TSRatioTextField::preferredSize(
        [&widths](double w) {
            widths.push_back(w);
            return w > 1000 ? QSizeF(127, 20) : QSizeF(120, 40);
        },
        ratio);
    EXPECT_EQ(size, QSizeF(120, 40));
    ASSERT_EQ(widths.size(), 2u);
    EXPECT_DOUBLE_EQ(widths[1], ratio * 20);
}

TEST(TSRatioTextField, SizesShortAndLongTexts) {
    TSRatioTextField field;
    EXPECT_EQ(field.maxAspectRatio(), 6.333333333333333);
    field.setFont(fixedFont());

    field.setText(QStringLiteral("OK"));
    const QSizeF oneLine = field.measure(1e300);
    EXPECT_GT(oneLine.width(), 0);
    EXPECT_EQ(field.intrinsicContentSize(),
              QSizeF(std::ceil(oneLine.width()), std::ceil(oneLine.height())));
    EXPECT_EQ(field.sizeHint(), field.intrinsicContentSize().toSize());

    field.setText(kLongText);
    const QSizeF lineOfLongText = field.measure(1e300);
    const QSizeF size = field.intrinsicContentSize();
    EXPECT_LE(size.width(), field.maxAspectRatio() * size.height());
    EXPECT_GT(size.height(), lineOfLongText.height());
    EXPECT_LT(size.width(), lineOfLongText.width());
    // The text fits the size it asks for.
    EXPECT_LE(field.measure(size.width()).height(), size.height());

    // A new ratio alone keeps the cached size; invalidation for any cell drops it.
    field.setMaxAspectRatio(2.0);
    EXPECT_EQ(field.intrinsicContentSize(), size);
    field.invalidateIntrinsicContentSizeForCell(nullptr);
    const QSizeF narrow = field.intrinsicContentSize();
    EXPECT_LT(narrow.width(), size.width());
    EXPECT_LE(narrow.width(), 2.0 * narrow.height());
}

TEST(TSTextField, WrapsAtItsWidth) {
    TSTextField field(kLongText);
    field.setFont(fixedFont());

    // Exactly 10 wide: the base class's size.
    field.resize(10, 50);
    EXPECT_EQ(field.sizeHint(), field.QLabel::sizeHint());

    field.resize(150, 50);
    const QSize narrow = field.sizeHint();
    const QFontMetrics metrics(fixedFont());
    EXPECT_GE(narrow.width(), metrics.horizontalAdvance(kLongText));
    EXPECT_GT(narrow.height(), 3 * metrics.lineSpacing());

    // A wider frame drops the cached size; the text needs fewer lines.
    field.resize(400, 50);
    const QSize wide = field.sizeHint();
    EXPECT_EQ(wide.width(), narrow.width());
    EXPECT_LT(wide.height(), narrow.height());

    // Only this field's own cell invalidates.
    field.QLabel::setText(QStringLiteral("short"));
    QLabel other;
    field.invalidateIntrinsicContentSizeForCell(&other);
    EXPECT_EQ(field.sizeHint(), wide);
    field.invalidateIntrinsicContentSizeForCell(&field);
    EXPECT_LT(field.sizeHint().height(), wide.height());
}

TEST(StyledText, PicksTheFontFamily) {
    struct Case {
        const char* family;
        const char* chosen;
    } cases[] = {
        {"DejaVu Sans", "DejaVu Sans"},
        {".Lucida Grande UI", "Lucida Grande"},
        {"No Such Family", "Helvetica Neue"},
        {".Other System Font", "Helvetica Neue"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(htmlImportFontFamily(QFont(QString::fromUtf8(c.family))), c.chosen) << c.family;
}

TEST(StyledText, ReadsHtmlInTheFont) {
    QFont font(QStringLiteral("No Such Family"));
    font.setPointSizeF(13.7);
    QTextDocument document;
    initWithHTMLString(document, QString::fromUtf8("<p>Caf\xc3\xa9 <b>bold</b> <code>x</code></p>"),
                       &font);
    EXPECT_EQ(document.toPlainText(), QString::fromUtf8("Caf\xc3\xa9 bold x"));
    EXPECT_EQ(document.defaultFont().family(), QStringLiteral("Helvetica Neue"));
    EXPECT_EQ(document.defaultFont().pointSize(), 13);

    QTextCursor cursor = document.find(QStringLiteral("bold"));
    ASSERT_FALSE(cursor.isNull());
    EXPECT_EQ(cursor.charFormat().fontWeight(), QFont::Bold);
    cursor = document.find(QStringLiteral("x"));
    ASSERT_FALSE(cursor.isNull());
    EXPECT_EQ(cursor.charFormat().font().pointSize(), 13);

    QTextDocument plain;
    const QFont before = plain.defaultFont();
    initWithHTMLString(plain, QStringLiteral("<i>no font</i>"));
    EXPECT_EQ(plain.toPlainText(), QStringLiteral("no font"));
    EXPECT_EQ(plain.defaultFont(), before);
}

} // namespace
