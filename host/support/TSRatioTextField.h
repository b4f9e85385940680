// A wrapping label that is never wider than maxAspectRatio times its height, with lines as
// balanced as that allows.
#pragma once

#include <QLabel>
#include <QSizeF>

#include <functional>

class TSRatioTextField : public QLabel {
    Q_OBJECT
    Q_PROPERTY(double maxAspectRatio READ maxAspectRatio WRITE setMaxAspectRatio)
public:
    static constexpr double kDefaultMaxAspectRatio = 19.0 / 3.0;

    explicit TSRatioTextField(QWidget* parent = nullptr);
    explicit TSRatioTextField(const QString& text, QWidget* parent = nullptr);

    double maxAspectRatio() const { return maxAspectRatio_; }
    // Does not by itself drop the cached size.
    void setMaxAspectRatio(double ratio) { maxAspectRatio_ = ratio; }

    QSizeF intrinsicContentSize() const;
    QSize sizeHint() const override;

    void invalidateIntrinsicContentSize();
    // Invalidates whatever the cell.
    void invalidateIntrinsicContentSizeForCell(const QWidget* cell);

    // Hides QLabel::setText so that a new text drops the cached size.
    void setText(const QString& text);

    // The size of the field's text and insets for the given width and unlimited height.
    QSizeF measure(double width) const;

    // The preferred-size search on any measure function; the result is not yet rounded.
    using Measure = std::function<QSizeF(double width)>;
    static QSizeF preferredSize(const Measure& measure, double ratio);

protected:
    void changeEvent(QEvent* event) override;

private:
    mutable QSizeF cachedIntrinsicContentSize_{0, 0}; // the zero size: not computed yet
    double maxAspectRatio_ = kDefaultMaxAspectRatio;
};
