#pragma once

#include <QString>

// The user's settings: text values under application "Ravensel", section
// "Tepora". No cache: every read sees the last write.

// The stored text of `key`, or `defaultValue` when the key is absent or the
// store cannot be read.
QString GetSetting(const QString& key, const QString& defaultValue);
QString GetSetting(const QString& key, int defaultValue);

// Creates or replaces the value. A store that cannot be written raises
// Failure::pathFileAccess(); what was stored before stays intact.
void SaveSetting(const QString& key, const QString& text);

// Where the values live: the ini file on Linux and macOS, a registry path on Windows.
QString settingsLocation();
