// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/Settings.h"

#include <QString>

// The stored texts as they are, unchecked: for the store itself and for tests
// that plant or read exact texts. The program reads and writes its settings
// through the typed model in Settings.h.

// The stored text of `key`, or `defaultValue` when the key is absent or the
// store cannot be read.
QString GetSetting(const QString& key, const QString& defaultValue);
QString GetSetting(const QString& key, int defaultValue);

// Creates or replaces the value. A store that cannot be written raises
// Failure::pathFileAccess(); what was stored before stays intact.
void SaveSetting(const QString& key, const QString& text);

inline QString GetSetting(const SettingKey& key)
{
    return GetSetting(QString::fromLatin1(key.name), QString::fromLatin1(key.defaultValue));
}

inline void SaveSetting(const SettingKey& key, const QString& text)
{
    SaveSetting(QString::fromLatin1(key.name), text);
}
