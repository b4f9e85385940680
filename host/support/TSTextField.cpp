#include "TSTextField.h"

#include <QEvent>
#include <QResizeEvent>
#include <QTextLayout>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// A text layout keeps coordinates in 26.6 fixed point; wider lines are not representable.
constexpr qreal kWidestLayout = QWIDGETSIZE_MAX;
constexpr qreal kLargestFloat = std::numeric_limits<float>::max();

// Threshold below which a field keeps the base class's size.
constexpr qreal kMinimumWrappingWidth = 10.0;

QSizeF ceilSize(QSizeF size) {
    return {std::ceil(size.width()), std::ceil(size.height())};
}
} // namespace

QSizeF wrappedTextSize(const QFont& font, const QString& text, qreal width) {
    QString laidOut = text;
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(laidOut, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const qreal lineWidth = std::clamp(width, qreal(0), kWidestLayout);
    qreal height = 0;
    qreal widest = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(0, height));
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return {widest, height};
}

QSizeF labelTextInsets(const QLabel& label) {
    const QMargins margins = label.contentsMargins();
    const int margin = 2 * label.margin();
    return {qreal(margins.left() + margins.right() + margin),
            qreal(margins.top() + margins.bottom() + margin)};
}

TSTextField::TSTextField(QWidget* parent) : TSTextField(QString(), parent) {}

TSTextField::TSTextField(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setWordWrap(true);
}

QSizeF TSTextField::intrinsicContentSize() const {
    if (cachedIntrinsicSize_.width() != 0 && cachedAtWidth_ == width())
        return cachedIntrinsicSize_;
    cachedAtWidth_ = width();
    if (width() > kMinimumWrappingWidth && wordWrap()) {
        const QSizeF insets = labelTextInsets(*this);
        // A field that sizes itself to fit on one line (B) and its cell's content (C).
        const QSizeF frame = ceilSize(wrappedTextSize(font(), text(), kLargestFloat)) + insets;
        const QSizeF content =
            ceilSize(wrappedTextSize(font(), text(), frame.width() - insets.width()));
        // The wrapped text height at the current width plus the frame's own margin.
        const qreal height = wrappedTextSize(font(), text(), width() - insets.width()).height();
        cachedIntrinsicSize_ =
            ceilSize(QSizeF(frame.width(), height + (frame.height() - content.height())));
    } else {
        cachedIntrinsicSize_ = QLabel::sizeHint();
    }
    return cachedIntrinsicSize_;
}

QSize TSTextField::sizeHint() const {
    return intrinsicContentSize().toSize();
}

void TSTextField::invalidateIntrinsicContentSize() {
    cachedIntrinsicSize_ = QSizeF(0, 0);
    updateGeometry();
}

void TSTextField::invalidateIntrinsicContentSizeForCell(const QWidget* cell) {
    if (cell == this)
        invalidateIntrinsicContentSize();
}

void TSTextField::setText(const QString& text) {
    QLabel::setText(text);
    invalidateIntrinsicContentSize();
}

void TSTextField::resizeEvent(QResizeEvent* event) {
    if (event->size().width() != event->oldSize().width())
        invalidateIntrinsicContentSize();
    QLabel::resizeEvent(event);
}

void TSTextField::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::ContentsRectChange)
        invalidateIntrinsicContentSize();
    QLabel::changeEvent(event);
}
