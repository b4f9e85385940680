// Base class of the host's window controllers. The controller is its window's delegate, can
// keep itself alive until its window closes (ownsSelf), and centres a window that has a frame
// autosave name but no saved frame yet.
#pragma once

#include "TSObject.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

class TSWindowController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool ownsSelf READ ownsSelf WRITE setOwnsSelf)
public:
    // The settings key of a window's saved frame.
    static QString savedFrameKey(const QString& autosaveName);

    // The window is loaded on first use (see loadWindow).
    explicit TSWindowController(QWidget* window = nullptr, QObject* parent = nullptr);
    ~TSWindowController() override;

    static bool accessInstanceVariablesDirectly() { return false; }
    QVariant valueForKey(const char* key) const { return tsValueForKey(*this, key); }
    bool setValueForKey(const QVariant& value, const char* key) {
        return tsSetValueForKey(*this, value, key);
    }

    QWidget* window();
    bool isWindowLoaded() const { return windowLoaded_; }

    QString windowFrameAutosaveName() const { return frameAutosaveName_; }
    void setWindowFrameAutosaveName(const QString& name) { frameAutosaveName_ = name; }

    bool ownsSelf() const { return ownsSelf_; }
    // true: the controller lives until its window closes, then deletes itself.
    void setOwnsSelf(bool ownsSelf) { ownsSelf_ = ownsSelf; }

    virtual void showWindow();

protected:
    // Builds the window; the default gives the window handed to the constructor.
    virtual QWidget* loadWindow();
    virtual void windowDidLoad();
    virtual void windowWillClose(QWidget* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    bool windowLoaded_ = false;
    bool ownsSelf_ = false;
    QString frameAutosaveName_;
};
