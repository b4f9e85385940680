#include "TSObject.h"

#include <QMetaProperty>
#include <QtDebug>

namespace {
QMetaProperty declaredProperty(const QObject& object, const char* key) {
    const QMetaObject* meta = object.metaObject();
    const int index = meta->indexOfProperty(key);
    return index < 0 ? QMetaProperty() : meta->property(index);
}
} // namespace

QVariant tsValueForKey(const QObject& object, const char* key) {
    const QMetaProperty property = declaredProperty(object, key);
    if (!property.isReadable()) {
        qWarning("%s: no accessor for key \"%s\"", object.metaObject()->className(), key);
        return QVariant();
    }
    return property.read(&object);
}

bool tsSetValueForKey(QObject& object, const QVariant& value, const char* key) {
    const QMetaProperty property = declaredProperty(object, key);
    if (!property.isWritable()) {
        qWarning("%s: no setter for key \"%s\"", object.metaObject()->className(), key);
        return false;
    }
    return property.write(&object, value);
}
