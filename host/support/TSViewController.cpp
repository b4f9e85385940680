#include "TSViewController.h"

#include <QWidget>

TSViewController::TSViewController(QWidget* view, QObject* parent) : QObject(parent), view_(view) {}

TSViewController::~TSViewController() {
    // A view placed into a window belongs to that window.
    if (view_ && !view_->parent())
        view_->deleteLater();
}

QWidget* TSViewController::view() {
    if (!viewLoaded_) {
        viewLoaded_ = true;
        view_ = loadView();
        if (view_)
            viewDidLoad();
    }
    return view_;
}

QWidget* TSViewController::loadView() {
    return view_;
}

void TSViewController::setRepresentedObject(const QVariant& object) {
    if (representedObject_ == object)
        return;
    representedObject_ = object;
    Q_EMIT representedObjectChanged();
}
