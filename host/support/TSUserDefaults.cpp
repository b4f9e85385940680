#include "TSUserDefaults.h"

#include <QMutexLocker>
#include <QSettings>

TSUserDefaults& TSUserDefaults::standardUserDefaults() {
    static TSUserDefaults defaults;
    return defaults;
}

void TSUserDefaults::registerDefaults(const QList<QPair<QString, QVariant>>& defaults) {
    QMutexLocker lock(&mutex_);
    for (const auto& [key, value] : defaults) {
        auto existing = std::find_if(registered_.begin(), registered_.end(),
                                     [&key](const auto& entry) { return entry.first == key; });
        if (existing != registered_.end())
            existing->second = value;
        else
            registered_.append({key, value});
    }
}

QStringList TSUserDefaults::registeredKeys() const {
    QMutexLocker lock(&mutex_);
    QStringList keys;
    for (const auto& entry : registered_)
        keys.append(entry.first);
    return keys;
}

QVariant TSUserDefaults::registeredValue(const QString& key) const {
    QMutexLocker lock(&mutex_);
    for (const auto& entry : registered_) {
        if (entry.first == key)
            return entry.second;
    }
    return QVariant();
}

QVariant TSUserDefaults::objectForKey(const QString& key) const {
    {
        QMutexLocker lock(&mutex_);
        QSettings settings;
        if (settings.contains(key))
            return settings.value(key);
    }
    return registeredValue(key);
}

QString TSUserDefaults::stringForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    return value.canConvert<QString>() ? value.toString() : QString();
}

bool TSUserDefaults::boolForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    if (value.metaType().id() == QMetaType::QString) {
        const QString text = value.toString().toLower();
        return text == QLatin1String("yes") || text == QLatin1String("true") ||
               text.toLongLong() != 0;
    }
    return value.toBool();
}

qlonglong TSUserDefaults::integerForKey(const QString& key) const {
    return objectForKey(key).toLongLong();
}

QVariantList TSUserDefaults::arrayForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    if (value.metaType().id() == QMetaType::QVariantList)
        return value.toList();
    if (value.metaType().id() == QMetaType::QStringList) {
        QVariantList list;
        for (const QString& string : value.toStringList())
            list.append(string);
        return list;
    }
    return QVariantList();
}

void TSUserDefaults::setObject(const QVariant& value, const QString& key) {
    QMutexLocker lock(&mutex_);
    QSettings settings;
    settings.setValue(key, value);
}

void TSUserDefaults::removeObjectForKey(const QString& key) {
    QMutexLocker lock(&mutex_);
    QSettings settings;
    settings.remove(key);
}
