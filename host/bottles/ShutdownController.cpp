#include "ShutdownController.h"

#include "BottleCollection.h"

#include "ui_ShutdownProgress.h"

#include <QPushButton>
#include <QWidget>

ShutdownController::ShutdownController(QObject* parent) : TSWindowController(nullptr, parent) {}

BottleCollection* ShutdownController::bottleCollection() const {
    return BottleCollection::sharedCollection();
}

QWidget* ShutdownController::loadWindow() {
    auto* window = new QWidget(nullptr, Qt::Window);
    Ui::ShutdownProgress form;
    form.setupUi(window);
    form.bottles->setModel(bottleCollection());
    force_ = form.force;
    cancel_ = form.cancel;
    connect(force_, &QPushButton::clicked, this, &ShutdownController::forceShutdown);
    connect(cancel_, &QPushButton::clicked, this, &ShutdownController::cancelShutdown);
    return window;
}

void ShutdownController::windowDidLoad() {
    TSWindowController::windowDidLoad();
    QWidget::setTabOrder(force_, cancel_);
}

void ShutdownController::cancelShutdown() {
    if (BottleCollection* collection = bottleCollection()) {
        collection->setForceShutdown(false);
        collection->setCancelShutdown(true);
    }
}

void ShutdownController::forceShutdown() {
    if (BottleCollection* collection = bottleCollection()) {
        collection->setCancelShutdown(false);
        collection->setForceShutdown(true);
    }
}
