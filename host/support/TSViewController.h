// Base class of the host's view controllers: a view loaded on first use and the object the
// view presents.
#pragma once

#include "TSObject.h"

#include <QObject>
#include <QPointer>
#include <QVariant>

class QWidget;

class TSViewController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariant representedObject READ representedObject WRITE setRepresentedObject NOTIFY
                   representedObjectChanged)
public:
    explicit TSViewController(QWidget* view = nullptr, QObject* parent = nullptr);
    ~TSViewController() override;

    static bool accessInstanceVariablesDirectly() { return false; }
    QVariant valueForKey(const char* key) const { return tsValueForKey(*this, key); }
    bool setValueForKey(const QVariant& value, const char* key) {
        return tsSetValueForKey(*this, value, key);
    }

    QWidget* view();
    bool isViewLoaded() const { return viewLoaded_; }

    QVariant representedObject() const { return representedObject_; }
    void setRepresentedObject(const QVariant& object);

Q_SIGNALS:
    void representedObjectChanged();

protected:
    // Builds the view; the default gives the view handed to the constructor.
    virtual QWidget* loadView();
    virtual void viewDidLoad() {}

private:
    QPointer<QWidget> view_;
    bool viewLoaded_ = false;
    QVariant representedObject_;
};
