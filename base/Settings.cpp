// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Settings.h"

#include "base/Failure.h"
#include "base/SettingsLocation.h"

#include <QSettings>

#include <memory>

namespace
{

const QString kSection = QStringLiteral("Tepora");

std::unique_ptr<QSettings> openStore()
{
    return SettingsLocation::open();
}

QString keyPath(const QString& key)
{
    return kSection + QLatin1Char('/') + key;
}

} // namespace

QString GetSetting(const QString& key, const QString& defaultValue)
{
    auto store = openStore();
    if (!store) {
        return defaultValue;
    }
    const QVariant value = store->value(keyPath(key));
    if (!value.isValid() || store->status() == QSettings::AccessError) {
        return defaultValue;
    }
    // A hand-edited file can hold a list ("a, b"); read it back as the text it was.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QStringLiteral(", "));
    }
    return value.toString();
}

QString GetSetting(const QString& key, int defaultValue)
{
    return GetSetting(key, QString::number(defaultValue));
}

void SaveSetting(const QString& key, const QString& text)
{
    SettingsLocation::prepareWrite();
    auto store = openStore();
    if (!store) {
        throw Failure::pathFileAccess();
    }
    // The same text again (every load writes back what it read) is no change:
    // the file is not rewritten.
    const QVariant stored = store->value(keyPath(key));
    if (stored.typeId() == QMetaType::QString && stored.toString() == text &&
        store->status() == QSettings::NoError) {
        return;
    }
    store->setValue(keyPath(key), text);
    store->sync();
    if (store->status() == QSettings::AccessError) {
        throw Failure::pathFileAccess();
    }
    SettingsLocation::finishWrite();
}

QString settingsLocation()
{
    return SettingsLocation::describe();
}
