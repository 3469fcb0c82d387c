// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QColor>
#include <QObject>
#include <QString>

#include <array>
#include <concepts>

// The user's settings: text values under application "Ravensel", section
// "Tepora". No cache: every read sees the last write.

// How a value is kept as text.
enum class SettingKind {
    OnOff,   // bool: "On" / "Off"
    OneZero, // bool: "1" / "0"
    Text,    // QString as typed, at most maxLength characters
    Colour,  // QColor: decimal 0..16777215, red in the lowest byte, then green, then blue
};

// The longest text a line edit holds: anything longer was not typed there.
inline constexpr qsizetype kMaxTypedText = 32767;

// One stored value: its name in the store, its kind, and the stored text that
// stands for its default. A stored text that is no value of its kind reads as
// the default, so every read gives a usable value.
struct SettingKey {
    const char* name;
    const char* defaultValue;
    SettingKind kind = SettingKind::Text;
    qsizetype maxLength = kMaxTypedText; // Text only
};

// Distinct types so that each key takes and gives only its own kind of value.
struct FlagKey : SettingKey {
};
struct TextKey : SettingKey {
};
struct ColourKey : SettingKey {
};

namespace Setting
{
inline constexpr FlagKey WindowsStartup{{"Windows Startup", "Off", SettingKind::OnOff}};
inline constexpr FlagKey Minimized{{"Minimized", "Off", SettingKind::OnOff}};
inline constexpr TextKey Location{{"Text1", "San Diego CA", SettingKind::Text, kMaxTypedText}};
inline constexpr TextKey Target{{"Text2", "70", SettingKind::Text, kMaxTypedText}};
inline constexpr FlagKey Rises{{"Option1", "1", SettingKind::OneZero}};
inline constexpr FlagKey Falls{{"Option2", "0", SettingKind::OneZero}};
inline constexpr FlagKey Both{{"Option3", "0", SettingKind::OneZero}};
inline constexpr FlagKey Fahrenheit{{"Option4", "1", SettingKind::OneZero}};
inline constexpr FlagKey Celsius{{"Option5", "0", SettingKind::OneZero}};
inline constexpr ColourKey FontColor{{"Font Color", "65535", SettingKind::Colour}};         // yellow
inline constexpr ColourKey BackgroundColor{{"Background Color", "0", SettingKind::Colour}}; // black
inline constexpr TextKey APIKey{{"APIKey", "", SettingKind::Text, kMaxTypedText}};

// Every key above; a write by name finds its kind here.
inline constexpr std::array<const SettingKey*, 12> all{
    &WindowsStartup, &Minimized,  &Location, &Target,    &Rises,           &Falls,
    &Both,           &Fahrenheit, &Celsius,  &FontColor, &BackgroundColor, &APIKey,
};
} // namespace Setting

// The settings as typed values. Reads go to the store each time; writes are
// made at once.
class Settings : public QObject
{
    Q_OBJECT

public:
    static Settings& instance();

    bool get(const FlagKey& key) const;
    QString get(const TextKey& key) const;
    QColor get(const ColourKey& key) const;

    // Each raises Failure::pathFileAccess() when the store cannot be written,
    // keeping what was stored. A text over its key's maxLength raises
    // Failure::overflow() and an invalid colour Failure::typeMismatch(), since
    // neither could be read back. A store refused for the run (too large) is
    // never written: the value is dropped, and the user was told once.
    void set(const FlagKey& key, bool on);
    void set(const TextKey& key, const QString& text);
    void set(const ColourKey& key, const QColor& colour);
    // Text would turn into true ("Off" included), and a number is a colour in
    // two byte orders: both are mistakes, refused when compiling.
    void set(const FlagKey& key, const char* text) = delete;
    void set(const ColourKey& key, std::integral auto number) = delete;

signals:
    // After a write that changed the value read back; `key` is its name in the store.
    void changed(const QString& key);

private:
    Settings() = default;
    void write(const QString& key, const QString& text);

    friend void SaveSetting(const QString& key, const QString& text);
};

// Where the values live: the ini file on Linux and macOS, a registry path on Windows.
QString settingsLocation();
