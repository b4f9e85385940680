// The host's application object: fixes the product root inside the application bundle, runs
// the launch sequence with its delegate, forwards events and notifications to the Wine
// controller of a Windows program running inside this process, and describes the system.
#pragma once

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "TSServer.h"

// A document or URL handed to the application (by its command line, or by a second start),
// with the name of the bottle to use; an empty name means the default bottle.
struct TSLaunchEvent {
    enum Kind { OpenDocument, GetURL };
    Kind kind = OpenDocument;
    QString argument;
    QString bottleName;
    bool operator==(const TSLaunchEvent&) const = default;
};

class TSApplication : public QApplication {
    Q_OBJECT
public:
    // bundlePath: the application bundle ("… .app"); empty means the bundle that holds the
    // executable (…/Contents/MacOS/MacHost).
    TSApplication(int& argc, char** argv, const QString& bundlePath = QString());
    ~TSApplication() override;

    static TSApplication* sharedApplication();
    static bool accessInstanceVariablesDirectly() { return false; }

    QString mainBundlePath() const { return bundlePath_; }
    QString resourcePath() const;
    // The product root: the bundle's shared-support folder plus "halcyonimaging".
    QString tesseraRoot() const { return tesseraRoot_; }

    // The delegate (not owned).
    TSServer* delegate() const { return delegate_; }
    void setDelegate(TSServer* delegate) { delegate_ = delegate; }

    // The hook object of the Wine driver (not owned), or none.
    QObject* wineController() const { return wineController_; }
    void setWineController(QObject* controller);
    bool isInFullScreenMode() const;

    QString systemInformationString() const;

    // The launch events of a command line (without the program's name): files (made
    // absolute) and URLs, all for the bottle of "--bottle NAME" when given; "--" ends the
    // options. False, with the reason, for a command line that cannot be understood.
    static bool parseLaunchArguments(const QStringList& arguments, QList<TSLaunchEvent>* events,
                                     QString* error);
    void setLaunchEvents(const QList<TSLaunchEvent>& events) { launchEvents_ = events; }

    // The launch sequence: will-finish, the launch events, did-finish. Run once the event loop
    // is up.
    void finishLaunching();
    // Hands the event to the delegate, which reads its bottle from currentLaunchEvent while it
    // answers; the delegate's answer.
    bool deliverLaunchEvent(const TSLaunchEvent& event);
    // The event being delivered, or none.
    const TSLaunchEvent* currentLaunchEvent() const { return currentLaunchEvent_; }

    // The one quit path (the Quit item, the last task ending, SIGTERM, SIGINT, the end of the
    // desktop session): at the next turn of the main loop (also before it runs) the delegate
    // is asked, and the application quits now, stays, or waits for
    // replyToApplicationShouldTerminate.
    void terminate();
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    // Whether the application has decided to quit.
    bool isTerminating() const { return terminating_; }

    // The application's notifications.
    static const char* const kNotificationNames[14];

    bool notify(QObject* receiver, QEvent* event) override;

Q_SIGNALS:
    void applicationDidBecomeActive();
    void applicationDidChangeScreenParameters();
    void applicationDidFinishLaunching();
    void applicationDidHide();
    void applicationDidResignActive();
    void applicationDidUnhide();
    void applicationDidUpdate();
    void applicationWillBecomeActive();
    void applicationWillFinishLaunching();
    void applicationWillHide();
    void applicationWillResignActive();
    void applicationWillTerminate();
    void applicationWillUnhide();
    void applicationWillUpdate();

private:
    void connectWineController(QObject* controller, bool connect);
    void emitStateChange(Qt::ApplicationState state);
    void watchTerminationSignals();
    void askDelegateToTerminate();
    void quitNow();

    QString bundlePath_;
    QString tesseraRoot_;
    QList<TSLaunchEvent> launchEvents_;
    const TSLaunchEvent* currentLaunchEvent_ = nullptr;
    QPointer<TSServer> delegate_;
    QPointer<QObject> wineController_;
    bool handlesEvents_ = false;
    bool observesSentEvents_ = false;
    bool answersDisplayCapture_ = false;
    Qt::ApplicationState lastState_ = Qt::ApplicationInactive;
    bool terminationAsked_ = false;
    bool terminating_ = false;
};

// The hook object of the Wine driver answers these (Q_INVOKABLE) methods:
//   bool handleEvent(QEvent* event)  — true when it consumed the event
//   void didSendEvent(QEvent* event)
//   bool areDisplaysCaptured()
// and any of the notification names above, taking no argument.
