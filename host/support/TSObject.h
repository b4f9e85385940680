// The host's plain base object, and key-value access that goes through declared properties
// only: a key without an accessor is refused instead of reaching the object's fields or
// creating a new dynamic property.
#pragma once

#include <QObject>
#include <QVariant>

// The value of a declared, readable property; an invalid QVariant for any other key.
QVariant tsValueForKey(const QObject& object, const char* key);
// Sets a declared, writable property; false (nothing changed) for any other key.
bool tsSetValueForKey(QObject& object, const QVariant& value, const char* key);

class TSObject : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    static bool accessInstanceVariablesDirectly() { return false; }
    QVariant valueForKey(const char* key) const { return tsValueForKey(*this, key); }
    bool setValueForKey(const QVariant& value, const char* key) {
        return tsSetValueForKey(*this, value, key);
    }
};
