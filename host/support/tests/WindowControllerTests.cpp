#include "TSObject.h"
#include "TSViewController.h"
#include "TSWindowController.h"
#include "WindowAdditions.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

void flushDeferredDeletes() {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Collects the critical messages reported while it exists.
class CriticalMessages {
public:
    CriticalMessages() { previous_ = qInstallMessageHandler(&CriticalMessages::handle); }
    ~CriticalMessages() { qInstallMessageHandler(previous_); }
    static QStringList& messages() {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg)
            messages().append(message);
    }
    QtMessageHandler previous_;
};

TEST(TSWindowController, BecomesTheDelegateOfItsWindow) {
    QWidget owner;
    auto* window = new QWidget(&owner, Qt::Window);
    auto* controller = new TSWindowController(window);
    EXPECT_FALSE(controller->isWindowLoaded());
    EXPECT_EQ(controller->window(), window);
    EXPECT_TRUE(controller->isWindowLoaded());
    EXPECT_EQ(ts_windowDelegate(window), controller);

    // On release it stops being the delegate; a parented window stays with its parent.
    delete controller;
    EXPECT_EQ(ts_windowDelegate(window), nullptr);
    EXPECT_EQ(owner.findChild<QWidget*>(), window);
}

TEST(TSWindowController, ReportsAForeignDelegate) {
    QWidget owner;
    auto* window = new QWidget(&owner, Qt::Window);
    QObject stranger;
    ts_setWindowDelegate(window, &stranger);
    TSWindowController controller(window);
    CriticalMessages::messages().clear();
    {
        CriticalMessages capture;
        controller.window();
    }
    ASSERT_EQ(CriticalMessages::messages().size(), 1);
    EXPECT_EQ(CriticalMessages::messages().first(),
              QString::asprintf("Window %p should not have a delegate; TSWindowController %p "
                                "needs to be the delgate.\n",
                                static_cast<void*>(window), static_cast<void*>(&controller)));
    EXPECT_EQ(ts_windowDelegate(window), &controller);
}

TEST(TSWindowController, OwningItselfLastsUntilTheWindowCloses) {
    QPointer<TSWindowController> owned = new TSWindowController(new QWidget);
    owned->showWindow();
    owned->setOwnsSelf(true);
    QPointer<QWidget> ownedWindow = owned->window();

    QPointer<TSWindowController> kept = new TSWindowController(new QWidget);
    kept->showWindow();

    ownedWindow->close();
    kept->window()->close();
    EXPECT_TRUE(owned); // deferred until the current event is done
    flushDeferredDeletes();
    flushDeferredDeletes();
    EXPECT_TRUE(owned.isNull());
    EXPECT_TRUE(ownedWindow.isNull());
    ASSERT_FALSE(kept.isNull());
    EXPECT_FALSE(kept->ownsSelf());
    delete kept;
    flushDeferredDeletes();
}

TEST(TSWindowController, CentresOnlyWithoutASavedFrame) {
    const QString name = QStringLiteral("CentreTest");
    QSettings().remove(TSWindowController::savedFrameKey(name));
    EXPECT_EQ(TSWindowController::savedFrameKey(name), QStringLiteral("NSWindow Frame CentreTest"));

    auto* window = new QWidget;
    window->setGeometry(3, 4, 200, 100);
    TSWindowController controller(window);
    controller.setWindowFrameAutosaveName(name);
    controller.showWindow();
    const QPoint screenCentre = window->screen()->availableGeometry().center();
    EXPECT_LE((window->frameGeometry().center() - screenCentre).manhattanLength(), 2);

    // Closing keeps the frame under the key; the next window of that name opens there.
    window->move(20, 30);
    window->close();
    EXPECT_TRUE(QSettings().contains(TSWindowController::savedFrameKey(name)));

    auto* reopened = new QWidget;
    reopened->setGeometry(3, 4, 200, 100);
    TSWindowController second(reopened);
    second.setWindowFrameAutosaveName(name);
    second.showWindow();
    EXPECT_EQ(reopened->pos(), window->pos());
    EXPECT_GT((reopened->frameGeometry().center() - screenCentre).manhattanLength(), 2);

    // Without an autosave name nothing is centred.
    auto* unnamed = new QWidget;
    unnamed->setGeometry(3, 4, 200, 100);
    TSWindowController third(unnamed);
    third.showWindow();
    EXPECT_EQ(unnamed->geometry().topLeft(), QPoint(3, 4));
}

TEST(KeyValueCoding, GoesThroughAccessorsOnly) {
    TSObject object;
    EXPECT_FALSE(TSObject::accessInstanceVariablesDirectly());
    EXPECT_TRUE(object.setValueForKey(QStringLiteral("named"), "objectName"));
    EXPECT_EQ(object.valueForKey("objectName").toString(), QStringLiteral("named"));
    EXPECT_FALSE(object.setValueForKey(1, "undeclared"));
    EXPECT_FALSE(object.valueForKey("undeclared").isValid());
    EXPECT_FALSE(object.property("undeclared").isValid());

    TSWindowController controller;
    EXPECT_TRUE(controller.setValueForKey(true, "ownsSelf"));
    EXPECT_TRUE(controller.ownsSelf());
    EXPECT_TRUE(controller.valueForKey("ownsSelf").toBool());
    controller.setOwnsSelf(false);
    EXPECT_FALSE(controller.setValueForKey(true, "windowLoaded_"));
    EXPECT_FALSE(TSWindowController::accessInstanceVariablesDirectly());

    TSViewController viewController;
    EXPECT_FALSE(viewController.valueForKey("view_").isValid());
    EXPECT_FALSE(TSViewController::accessInstanceVariablesDirectly());
}

TEST(TSViewController, LoadsItsViewOnFirstUse) {
    auto* view = new QWidget;
    TSViewController controller(view);
    EXPECT_FALSE(controller.isViewLoaded());
    EXPECT_EQ(controller.view(), view);
    EXPECT_TRUE(controller.isViewLoaded());

    int changes = 0;
    QObject::connect(&controller, &TSViewController::representedObjectChanged,
                     [&changes] { ++changes; });
    EXPECT_TRUE(controller.setValueForKey(QStringLiteral("bottles"), "representedObject"));
    controller.setRepresentedObject(QStringLiteral("bottles"));
    EXPECT_EQ(controller.representedObject().toString(), QStringLiteral("bottles"));
    EXPECT_EQ(changes, 1);
}

} // namespace
