#include "TSWindowController.h"

#include "WindowAdditions.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QtDebug>

namespace {
void centre(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    window->winId(); // the frame's margins are known once the platform window exists
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}
} // namespace

QString TSWindowController::savedFrameKey(const QString& autosaveName) {
    return QStringLiteral("NSWindow Frame %1").arg(autosaveName);
}

TSWindowController::TSWindowController(QWidget* window, QObject* parent)
    : QObject(parent), window_(window) {}

TSWindowController::~TSWindowController() {
    if (!window_)
        return;
    if (windowLoaded_) {
        window_->removeEventFilter(this);
        if (ts_windowDelegate(window_) == this)
            ts_setWindowDelegate(window_, nullptr);
    }
    // The controller owns a window that nothing else parents; the window may be the one
    // whose event is being handled right now.
    if (!window_->parent())
        window_->deleteLater();
}

QWidget* TSWindowController::window() {
    if (!windowLoaded_) {
        windowLoaded_ = true;
        window_ = loadWindow();
        if (window_)
            windowDidLoad();
    }
    return window_;
}

QWidget* TSWindowController::loadWindow() {
    return window_;
}

void TSWindowController::windowDidLoad() {
    QObject* delegate = ts_windowDelegate(window_);
    if (delegate && delegate != this)
        qCritical("Window %p should not have a delegate; TSWindowController %p needs to be the "
                  "delgate.\n",
                  static_cast<void*>(window_.data()), static_cast<void*>(this));
    ts_setWindowDelegate(window_, this);
    window_->installEventFilter(this);
}

void TSWindowController::windowWillClose(QWidget* window) {
    if (!frameAutosaveName_.isEmpty())
        QSettings().setValue(savedFrameKey(frameAutosaveName_), window->saveGeometry());
    if (ownsSelf_ && windowLoaded_ && window == window_) {
        ownsSelf_ = false;
        deleteLater(); // once the current event is done
    }
}

void TSWindowController::showWindow() {
    QWidget* shown = window();
    if (!shown)
        return;
    if (!frameAutosaveName_.isEmpty()) {
        const QVariant saved = QSettings().value(savedFrameKey(frameAutosaveName_));
        if (!saved.isValid() || !shown->restoreGeometry(saved.toByteArray()))
            centre(shown);
    }
    shown->show();
    shown->raise();
    shown->activateWindow();
}

bool TSWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == window_ && ts_windowDelegate(window_) == this)
        windowWillClose(window_);
    return QObject::eventFilter(watched, event);
}
