// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Settings.h"
#include "base/SettingsText.h"

#include "base/Failure.h"
#include "base/Modal.h"
#include "base/SettingsLocation.h"

#include <QSet>
#include <QSettings>

#include <algorithm>
#include <memory>

namespace
{

const QString kSection = QStringLiteral("Tepora");

std::unique_ptr<QSettings> openStore()
{
    return SettingsLocation::open();
}

// A store refused for this run is said once; then every value reads as its
// default and nothing is written.
bool storeRefused()
{
    const QString reason = SettingsLocation::refusal();
    if (reason.isEmpty()) {
        return false;
    }
    static QSet<QString> told;
    if (!told.contains(reason)) {
        told.insert(reason);
        Modal::instance().reportBox(applicationTitle(), reason, [] {});
    }
    return true;
}

QString keyPath(const QString& key)
{
    return kSection + QLatin1Char('/') + key;
}

// False when the same text was there already: the file is not rewritten.
bool storeText(const QString& key, const QString& text)
{
    if (storeRefused()) {
        return false;
    }
    SettingsLocation::prepareWrite();
    auto store = openStore();
    if (!store) {
        throw Failure::pathFileAccess();
    }
    // Every load writes back what it read, so unchanged text is common.
    const QVariant stored = store->value(keyPath(key));
    if (stored.typeId() == QMetaType::QString && stored.toString() == text &&
        store->status() == QSettings::NoError) {
        return false;
    }
    store->setValue(keyPath(key), text);
    store->sync();
    if (store->status() == QSettings::AccessError) {
        throw Failure::pathFileAccess();
    }
    SettingsLocation::finishWrite();
    return true;
}

const SettingKey* findKey(const QString& name)
{
    const auto found = std::find_if(Setting::all.begin(), Setting::all.end(),
                                    [&](const SettingKey* key) { return name == QLatin1String(key->name); });
    return found == Setting::all.end() ? nullptr : *found;
}

QString onText(SettingKind kind)
{
    return kind == SettingKind::OnOff ? QStringLiteral("On") : QStringLiteral("1");
}

QString offText(SettingKind kind)
{
    return kind == SettingKind::OnOff ? QStringLiteral("Off") : QStringLiteral("0");
}

constexpr quint32 kMaxColour = 0xFFFFFF;

// Only plain digits: no sign, blanks, decimals or exponent, which no write makes.
bool isStoredColour(const QString& text, quint32* value)
{
    if (text.isEmpty() || text.size() > 8 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        return false;
    }
    *value = text.toUInt();
    return *value <= kMaxColour;
}

// `text` as the value it stands for, in the form a write gives it; the default
// when it is no value of the key's kind.
QString validText(const SettingKey& key, const QString& text)
{
    const QString fallback = QString::fromLatin1(key.defaultValue);
    switch (key.kind) {
    case SettingKind::OnOff:
    case SettingKind::OneZero:
        return text == onText(key.kind) || text == offText(key.kind) ? text : fallback;
    case SettingKind::Text:
        return text.size() <= key.maxLength ? text : fallback;
    case SettingKind::Colour: {
        quint32 value = 0;
        // Leading zeros do not make another colour.
        return isStoredColour(text, &value) ? QString::number(value) : fallback;
    }
    }
    return fallback;
}

QString readValid(const SettingKey& key)
{
    return validText(key, GetSetting(key));
}

} // namespace

Settings& Settings::instance()
{
    static Settings settings;
    return settings;
}

bool Settings::get(const FlagKey& key) const
{
    return readValid(key) == onText(key.kind);
}

QString Settings::get(const TextKey& key) const
{
    return readValid(key);
}

QColor Settings::get(const ColourKey& key) const
{
    const quint32 v = readValid(key).toUInt();
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

void Settings::set(const FlagKey& key, bool on)
{
    write(QString::fromLatin1(key.name), on ? onText(key.kind) : offText(key.kind));
}

void Settings::set(const TextKey& key, const QString& text)
{
    if (text.size() > key.maxLength) {
        throw Failure::overflow();
    }
    write(QString::fromLatin1(key.name), text);
}

void Settings::set(const ColourKey& key, const QColor& colour)
{
    if (!colour.isValid()) {
        throw Failure::typeMismatch();
    }
    const QColor rgb = colour.toRgb();
    write(QString::fromLatin1(key.name),
          QString::number(rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16)));
}

void Settings::write(const QString& key, const QString& text)
{
    // Compared as read back, so a rewrite that keeps the value (stray text
    // replaced by the default's own text) is no change.
    const SettingKey* known = findKey(key);
    const QString before = known ? readValid(*known) : QString();
    if (storeText(key, text) && (!known || validText(*known, text) != before)) {
        emit changed(key);
    }
}

QString GetSetting(const QString& key, const QString& defaultValue)
{
    if (storeRefused()) {
        return defaultValue;
    }
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
    // Through the model, so that listeners hear of writes not yet typed.
    Settings::instance().write(key, text);
}

QString settingsLocation()
{
    return SettingsLocation::describe();
}
