// A wrapping label whose preferred size is its one-line width and the height its text needs
// at the label's current width.
#pragma once

#include <QLabel>
#include <QSizeF>

// Size of plain text laid out at the given width (words wrap; a word longer than a line breaks
// anywhere). Widths beyond what a layout can hold are clamped.
QSizeF wrappedTextSize(const QFont& font, const QString& text, qreal width);

// The insets a label puts around its text: contents margins plus the label's margin.
QSizeF labelTextInsets(const QLabel& label);

class TSTextField : public QLabel {
    Q_OBJECT
public:
    explicit TSTextField(QWidget* parent = nullptr);
    explicit TSTextField(const QString& text, QWidget* parent = nullptr);

    QSizeF intrinsicContentSize() const;
    QSize sizeHint() const override;

    void invalidateIntrinsicContentSize();
    // Invalidates only when the cell is this field.
    void invalidateIntrinsicContentSizeForCell(const QWidget* cell);

    // Hides QLabel::setText so that a new text drops the cached size.
    void setText(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    mutable QSizeF cachedIntrinsicSize_{0, 0}; // a zero width: not computed yet
    // The width the size was computed at: a hidden widget gets no resize event.
    mutable int cachedAtWidth_ = -1;
};
