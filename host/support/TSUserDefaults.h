// The host's user defaults: values the user or the host stored (QSettings), falling back to
// defaults registered at start-up, which keep their registration order.
#pragma once

#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

class TSUserDefaults {
public:
    static TSUserDefaults& standardUserDefaults();

    // Adds or replaces registered defaults; new keys keep the given order.
    void registerDefaults(const QList<QPair<QString, QVariant>>& defaults);
    QStringList registeredKeys() const;
    QVariant registeredValue(const QString& key) const;

    // The stored value, else the registered one, else an invalid QVariant.
    QVariant objectForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qlonglong integerForKey(const QString& key) const;
    QVariantList arrayForKey(const QString& key) const;

    void setObject(const QVariant& value, const QString& key);
    void removeObjectForKey(const QString& key);

private:
    TSUserDefaults() = default;

    mutable QMutex mutex_;
    QList<QPair<QString, QVariant>> registered_;
};
