#include "WindowAdditions.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <utility>

namespace {

const char kDelegateProperty[] = "TSWindowDelegate";
const char kSheetQueueName[] = "TSSheetQueue";

// The sheets of one window: the one showing and those waiting. Lives as a child of the window.
class SheetQueue : public QObject {
public:
    explicit SheetQueue(QWidget* window) : QObject(window), window_(window) {
        setObjectName(QLatin1String(kSheetQueueName));
    }

    static SheetQueue* of(const QWidget* window) {
        return window->findChild<SheetQueue*>(QLatin1String(kSheetQueueName),
                                              Qt::FindDirectChildrenOnly);
    }

    QDialog* current() const { return current_; }
    bool showing() const { return showing_; }

    void enqueue(QDialog* sheet, TSSheetHandler handler) {
        entries_.append({QPointer<QDialog>(sheet), std::move(handler)});
    }

    void begin(QDialog* sheet, TSSheetHandler handler) {
        showing_ = true;
        current_ = sheet;
        handler_ = std::move(handler);
        if (!sheet->parentWidget())
            sheet->setParent(window_, sheet->windowFlags() | Qt::Sheet);
        finished_ = connect(sheet, &QDialog::finished, this, [this](int code) { didEnd(code); });
        destroyed_ = connect(sheet, &QObject::destroyed, this, [this] {
            current_.clear(); // only its QObject part is left
            didEnd(TSModalResponseAbort);
        });
        sheet->open();
    }

private:
    struct Entry {
        QPointer<QDialog> sheet;
        TSSheetHandler handler;
    };

    void didEnd(int returnCode) {
        disconnect(finished_);
        disconnect(destroyed_);
        // Sheets requested from inside the handler queue up behind the waiting ones.
        TSSheetHandler handler = std::exchange(handler_, nullptr);
        const QPointer<SheetQueue> alive(this);
        if (handler)
            handler(returnCode);
        if (!alive) // the handler closed the window for good
            return;
        if (current_)
            current_->hide();
        current_ = nullptr;
        showing_ = false;
        while (!entries_.isEmpty()) {
            Entry next = entries_.takeFirst();
            if (next.sheet) {
                begin(next.sheet, std::move(next.handler));
                return;
            }
            if (next.handler)
                next.handler(TSModalResponseAbort);
        }
    }

    QWidget* window_;
    bool showing_ = false;
    QPointer<QDialog> current_;
    TSSheetHandler handler_;
    QList<Entry> entries_;
    QMetaObject::Connection finished_;
    QMetaObject::Connection destroyed_;
};

} // namespace

QObject* ts_windowDelegate(const QWidget* window) {
    return window->property(kDelegateProperty).value<QPointer<QObject>>().data();
}

void ts_setWindowDelegate(QWidget* window, QObject* delegate) {
    window->setProperty(kDelegateProperty, QVariant::fromValue(QPointer<QObject>(delegate)));
}

void ts_beginSheet(QWidget* window, QDialog* sheet, TSSheetHandler handler) {
    if (!sheet) { // nothing to show still ends, once
        if (handler)
            handler(TSModalResponseAbort);
        return;
    }
    SheetQueue* queue = SheetQueue::of(window);
    if (!queue)
        queue = new SheetQueue(window);
    if (queue->showing())
        queue->enqueue(sheet, std::move(handler));
    else
        queue->begin(sheet, std::move(handler));
}

void ts_endSheet(QWidget* window, QDialog* sheet, int returnCode) {
    if (sheet && ts_attachedSheet(window) == sheet)
        sheet->done(returnCode);
}

QDialog* ts_attachedSheet(const QWidget* window) {
    const SheetQueue* queue = SheetQueue::of(window);
    return queue ? queue->current() : nullptr;
}

void ts_beginSheetModalForWindow(QMessageBox* alert, QWidget* window, TSSheetHandler handler) {
    alert->adjustSize();
    QPointer<QObject> kept(alert);
    ts_beginSheet(window, alert, [kept, handler = std::move(handler)](int returnCode) {
        if (handler)
            handler(returnCode);
        if (kept)
            kept->deleteLater();
    });
}
