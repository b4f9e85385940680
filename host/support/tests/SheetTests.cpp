#include "WindowAdditions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Calls = std::vector<std::pair<QString, int>>;

TSSheetHandler recordInto(Calls& calls, const QString& name) {
    return [&calls, name](int returnCode) { calls.emplace_back(name, returnCode); };
}

void flushDeferredDeletes() {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class Sheets : public testing::Test {
protected:
    void SetUp() override { window.show(); }

    QDialog* makeSheet(const QString& name) {
        auto* sheet = new QDialog(&window);
        sheet->setObjectName(name);
        return sheet;
    }

    QWidget window;
    Calls calls;
};

TEST_F(Sheets, RequestedTogetherAppearOneAfterAnother) {
    QDialog* first = makeSheet(QStringLiteral("first"));
    QDialog* second = makeSheet(QStringLiteral("second"));
    ts_beginSheet(&window, first, recordInto(calls, QStringLiteral("first")));
    ts_beginSheet(&window, second, recordInto(calls, QStringLiteral("second")));

    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(ts_attachedSheet(&window), first);
    EXPECT_EQ(first->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(calls.empty());

    first->done(7);
    EXPECT_EQ(calls, (Calls{{QStringLiteral("first"), 7}}));
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(ts_attachedSheet(&window), second);

    ts_endSheet(&window, second);
    EXPECT_EQ(calls, (Calls{{QStringLiteral("first"), 7},
                            {QStringLiteral("second"), TSModalResponseStop}}));
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(ts_attachedSheet(&window), nullptr);

    // A sheet ending again later does not call its old handler a second time.
    first->open();
    first->done(1);
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(Sheets, RequestedFromAHandlerWaitBehindTheQueue) {
    QDialog* first = makeSheet(QStringLiteral("first"));
    QDialog* second = makeSheet(QStringLiteral("second"));
    QDialog* third = makeSheet(QStringLiteral("third"));
    ts_beginSheet(&window, first, [&](int code) {
        calls.emplace_back(QStringLiteral("first"), code);
        ts_beginSheet(&window, third, recordInto(calls, QStringLiteral("third")));
    });
    ts_beginSheet(&window, second, recordInto(calls, QStringLiteral("second")));

    first->done(1);
    EXPECT_EQ(ts_attachedSheet(&window), second);
    EXPECT_FALSE(third->isVisible());
    second->done(2);
    EXPECT_EQ(ts_attachedSheet(&window), third);
    third->done(3);
    EXPECT_EQ(calls, (Calls{{QStringLiteral("first"), 1},
                            {QStringLiteral("second"), 2},
                            {QStringLiteral("third"), 3}}));
}

TEST_F(Sheets, DestroyedSheetsStillEndOnceAndTheQueueMovesOn) {
    QDialog* showing = makeSheet(QStringLiteral("showing"));
    QDialog* waiting = makeSheet(QStringLiteral("waiting"));
    QDialog* last = makeSheet(QStringLiteral("last"));
    ts_beginSheet(&window, showing, recordInto(calls, QStringLiteral("showing")));
    ts_beginSheet(&window, waiting, recordInto(calls, QStringLiteral("waiting")));
    ts_beginSheet(&window, last, recordInto(calls, QStringLiteral("last")));

    delete waiting;
    delete showing;
    EXPECT_EQ(ts_attachedSheet(&window), last);
    EXPECT_TRUE(last->isVisible());
    EXPECT_EQ(calls, (Calls{{QStringLiteral("showing"), TSModalResponseAbort},
                            {QStringLiteral("waiting"), TSModalResponseAbort}}));
    last->done(0);
    EXPECT_EQ(calls.size(), 3u);
}

TEST_F(Sheets, NoSheetStillEndsOnce) {
    ts_beginSheet(&window, nullptr, recordInto(calls, QStringLiteral("none")));
    EXPECT_EQ(calls, (Calls{{QStringLiteral("none"), TSModalResponseAbort}}));
    EXPECT_EQ(ts_attachedSheet(&window), nullptr);
}

TEST_F(Sheets, WithoutAHandlerAndWithoutAParent) {
    QDialog orphan;
    ts_beginSheet(&window, &orphan, nullptr);
    EXPECT_EQ(orphan.parentWidget(), &window);
    EXPECT_TRUE(orphan.isVisible());
    orphan.done(0);
    EXPECT_EQ(ts_attachedSheet(&window), nullptr);
    orphan.setParent(nullptr);
}

TEST_F(Sheets, AlertGetsItsReturnCodeAndGoes) {
    QPointer<QMessageBox> alert = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("Command results"),
        QStringLiteral("The command returned 1."), QMessageBox::Ok | QMessageBox::Cancel);
    QPointer<QMessageBox> queued = new QMessageBox(QMessageBox::Information, QString(),
                                                   QStringLiteral("Second"), QMessageBox::Ok);
    ts_beginSheetModalForWindow(alert, &window, recordInto(calls, QStringLiteral("alert")));
    ts_beginSheetModalForWindow(queued, &window, nullptr);
    EXPECT_TRUE(alert->isVisible());

    alert->button(QMessageBox::Cancel)->click();
    EXPECT_EQ(calls, (Calls{{QStringLiteral("alert"), QMessageBox::Cancel}}));
    ASSERT_TRUE(queued);
    EXPECT_TRUE(queued->isVisible());
    flushDeferredDeletes();
    EXPECT_TRUE(alert.isNull());

    queued->button(QMessageBox::Ok)->click();
    flushDeferredDeletes();
    EXPECT_TRUE(queued.isNull());
    EXPECT_EQ(calls.size(), 1u);
}

} // namespace
