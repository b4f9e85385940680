#include "TSRatioTextField.h"

#include "TSTextField.h"

#include <QEvent>

#include <cmath>
#include <limits>

namespace {
constexpr double kLargestDouble = std::numeric_limits<double>::max();
}

TSRatioTextField::TSRatioTextField(QWidget* parent) : TSRatioTextField(QString(), parent) {}

TSRatioTextField::TSRatioTextField(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setWordWrap(true);
}

QSizeF TSRatioTextField::measure(double width) const {
    const QSizeF insets = labelTextInsets(*this);
    return wrappedTextSize(font(), text(), width - insets.width()) + insets;
}

QSizeF TSRatioTextField::preferredSize(const Measure& measure, double ratio) {
    const QSizeF one = measure(kLargestDouble);
    const double h0 = one.height();
    if (one.width() <= ratio * h0)
        return one;

    // Widest width that keeps within the ratio.
    QSizeF candidate(ratio * h0, 2 * h0);
    double lo = ratio * h0;
    double hi = one.width();
    while (hi - lo > 1.0) {
        const double mid = (lo + hi) * 0.5;
        const QSizeF size = measure(mid);
        if (size.width() > ratio * size.height()) {
            hi = mid;
        } else {
            lo = mid;
            candidate = size;
        }
    }
    if (candidate.height() <= h0)
        return candidate;

    // The text wraps: the narrowest width with the same number of lines.
    const double w1 = candidate.width();
    double best = w1;
    lo = ratio * h0;
    hi = w1;
    while (hi - lo > 1.0) {
        const double mid = (lo + hi) * 0.5;
        const QSizeF size = measure(mid);
        if (size.height() > candidate.height()) {
            lo = mid;
        } else {
            hi = mid;
            best = size.width();
        }
    }
    return measure(best + (w1 - best) * 0.25);
}

QSizeF TSRatioTextField::intrinsicContentSize() const {
    if (!cachedIntrinsicContentSize_.isNull())
        return cachedIntrinsicContentSize_;
    const QSizeF size =
        preferredSize([this](double width) { return measure(width); }, maxAspectRatio_);
    cachedIntrinsicContentSize_ = QSizeF(std::ceil(size.width()), std::ceil(size.height()));
    return cachedIntrinsicContentSize_;
}

QSize TSRatioTextField::sizeHint() const {
    return intrinsicContentSize().toSize();
}

void TSRatioTextField::invalidateIntrinsicContentSize() {
    cachedIntrinsicContentSize_ = QSizeF(0, 0);
    updateGeometry();
}

void TSRatioTextField::invalidateIntrinsicContentSizeForCell(const QWidget*) {
    invalidateIntrinsicContentSize();
}

void TSRatioTextField::setText(const QString& text) {
    QLabel::setText(text);
    invalidateIntrinsicContentSize();
}

void TSRatioTextField::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::ContentsRectChange)
        invalidateIntrinsicContentSize();
    QLabel::changeEvent(event);
}
