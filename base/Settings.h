// SPDX-License-Identifier: GPL-3.0-or-later

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

// Every stored value: its name in the store and the text read when it is absent.
struct SettingKey {
    const char* name;
    const char* defaultValue;
};

namespace Setting
{
inline constexpr SettingKey WindowsStartup{"Windows Startup", "Off"};
inline constexpr SettingKey Minimized{"Minimized", "Off"};
inline constexpr SettingKey Location{"Text1", "San Diego CA"};
inline constexpr SettingKey Target{"Text2", "70"};
inline constexpr SettingKey Rises{"Option1", "1"};
inline constexpr SettingKey Falls{"Option2", "0"};
inline constexpr SettingKey Both{"Option3", "0"};
inline constexpr SettingKey Fahrenheit{"Option4", "1"};
inline constexpr SettingKey Celsius{"Option5", "0"};
inline constexpr SettingKey FontColor{"Font Color", "65535"};
inline constexpr SettingKey BackgroundColor{"Background Color", "0"};
inline constexpr SettingKey APIKey{"APIKey", ""};
} // namespace Setting

inline QString GetSetting(const SettingKey& key)
{
    return GetSetting(QString::fromLatin1(key.name), QString::fromLatin1(key.defaultValue));
}

inline void SaveSetting(const SettingKey& key, const QString& text)
{
    SaveSetting(QString::fromLatin1(key.name), text);
}

// Where the values live: the ini file on Linux and macOS, a registry path on Windows.
QString settingsLocation();
