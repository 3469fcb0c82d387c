// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScriptedModal.h"
#include "TestEnv.h"

#include "base/Failure.h"
#include "base/Settings.h"
#include "base/SettingsLocation.h"
#include "base/SettingsText.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

namespace
{

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QFile::Permissions modeOf(const QString& path)
{
    return QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}

QVariant rgb(int r, int g, int b)
{
    return QVariant::fromValue(QColor(r, g, b));
}

// The typed model through one door, so that one table covers every kind.
QVariant typedGet(const SettingKey* key)
{
    auto& settings = Settings::instance();
    switch (key->kind) {
    case SettingKind::OnOff:
    case SettingKind::OneZero:
        return settings.get(*static_cast<const FlagKey*>(key));
    case SettingKind::Text:
        return settings.get(*static_cast<const TextKey*>(key));
    case SettingKind::Colour:
        return QVariant::fromValue(settings.get(*static_cast<const ColourKey*>(key)));
    }
    return {};
}

void typedSet(const SettingKey* key, const QVariant& value)
{
    auto& settings = Settings::instance();
    switch (key->kind) {
    case SettingKind::OnOff:
    case SettingKind::OneZero:
        return settings.set(*static_cast<const FlagKey*>(key), value.toBool());
    case SettingKind::Text:
        return settings.set(*static_cast<const TextKey*>(key), value.toString());
    case SettingKind::Colour:
        return settings.set(*static_cast<const ColourKey*>(key), value.value<QColor>());
    }
}

// Null for a key that is absent.
void storeRaw(const SettingKey* key, const QString& text)
{
    if (!text.isNull()) {
        SaveSetting(*key, text);
    }
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_env = std::make_unique<TestEnv>(); }
    void cleanup() { m_env.reset(); }

    void defaultsWhenNothingStored_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultText");
        QTest::newRow("Windows Startup") << "Windows Startup"
                                         << "Off";
        QTest::newRow("Minimized") << "Minimized"
                                   << "Off";
        QTest::newRow("Text1") << "Text1"
                               << "San Diego CA";
        QTest::newRow("APIKey") << "APIKey"
                                << "";
    }
    void defaultsWhenNothingStored()
    {
        QFETCH(QString, key);
        QFETCH(QString, defaultText);
        QCOMPARE(GetSetting(key, defaultText), defaultText);
        QVERIFY(!QFile::exists(m_env->settingsFile())); // reading creates nothing
    }

    void numericDefaultIsDecimalText()
    {
        QCOMPARE(GetSetting("Text2", 70), QStringLiteral("70"));
        QCOMPARE(GetSetting("Font Color", 65535), QStringLiteral("65535"));
        QCOMPARE(GetSetting("Background Color", 0), QStringLiteral("0"));
    }

    void roundTripKeepsTextExactly_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("location with comma") << "Text1"
                                             << "Paris, France";
        QTest::newRow("spaces only") << "Text1"
                                     << "   ";
        QTest::newRow("not a number") << "Text2"
                                      << "abc";
        QTest::newRow("empty key") << "APIKey"
                                   << "";
        QTest::newRow("quotes and equals") << "APIKey"
                                           << "a=\"b\";c#d";
        QTest::newRow("unicode") << "Text1" << QString::fromUtf8("Zürich, Ελλάδα");
        QTest::newRow("colour") << "Background Color"
                                << "16711680";
    }
    void roundTripKeepsTextExactly()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        SaveSetting(key, text);
        QCOMPARE(GetSetting(key, "default"), text);
    }

    void storedInRavenselIniUnderTepora()
    {
        SaveSetting("Minimized", "On");
        QCOMPARE(settingsLocation(), m_env->settingsFile());
        QFile file(m_env->settingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString content = QString::fromUtf8(file.readAll());
        QVERIFY2(content.contains("[Tepora]"), qPrintable(content));
        QVERIFY2(content.contains("Minimized=On"), qPrintable(content));
    }

    static bool isPrivate(const QString& path)
    {
        const auto p = QFile(path).permissions();
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::WriteOther | QFile::ExeOther;
        return (p & QFile::ReadOwner) && (p & QFile::WriteOwner) && !(p & others);
    }

    void fileIsPrivateEvenWhenRecreated()
    {
        SaveSetting("APIKey", "secret");
        QVERIFY(isPrivate(m_env->settingsFile()));
        QVERIFY(QFile::remove(m_env->settingsFile()));
        SaveSetting("APIKey", "secret2");
        QVERIFY(isPrivate(m_env->settingsFile()));
        // A file someone made readable to others is tightened at the next write.
        QFile(m_env->settingsFile())
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
        SaveSetting("APIKey", "secret3");
        QVERIFY(isPrivate(m_env->settingsFile()));
        QCOMPARE(GetSetting("APIKey", ""), QStringLiteral("secret3"));
    }

    void writesAreAtomicAndLeaveNoTemporaries()
    {
        SaveSetting("Text1", "Oslo");
        SaveSetting("Text2", "12");
        const QStringList files = QDir(m_env->configHome()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(files, QStringList{"Ravensel.ini"});
        // A write that cannot complete (folder read-only, so no temporary file
        // can be made beside it) fails loudly and leaves the old file whole.
        QFile::setPermissions(m_env->configHome(), QFile::ReadOwner | QFile::ExeOwner);
        if (QFileInfo(m_env->configHome()).isWritable()) {
            QFile::setPermissions(m_env->configHome(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("running with privileges that ignore folder permissions");
        }
        QVERIFY_THROWS_EXCEPTION(Failure, SaveSetting("Text1", "Bergen"));
        QFile::setPermissions(m_env->configHome(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(GetSetting("Text1", "x"), QStringLiteral("Oslo"));
        QCOMPARE(GetSetting("Text2", "x"), QStringLiteral("12"));
    }

    void garbageFileNeverCrashes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe[[[\x01=\x02\n\x00", 11);
        QTest::newRow("truncated section") << QByteArray("[Tepora\nText1=Oslo");
        QTest::newRow("truncated value") << QByteArray("[Tepora]\nText1=\"Os");
        QTest::newRow("empty") << QByteArray();
    }
    void garbageFileNeverCrashes()
    {
        QFETCH(QByteArray, content);
        QFile file(m_env->settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        GetSetting("Text1", "San Diego CA"); // any text, no crash
        QCOMPARE(GetSetting("Option4", 1), QStringLiteral("1"));
        SaveSetting("Option4", "0");
        QCOMPARE(GetSetting("Option4", 1), QStringLiteral("0"));
    }

    void unreadableFileGivesDefaultsAndIsNotOverwritten()
    {
        SaveSetting("Text1", "Oslo");
        QFile::setPermissions(m_env->settingsFile(), QFile::WriteOwner);
        if (QFileInfo(m_env->settingsFile()).isReadable()) {
            QSKIP("running with privileges that ignore file permissions");
        }
        QCOMPARE(GetSetting("Text1", "San Diego CA"), QStringLiteral("San Diego CA"));
        QVERIFY_THROWS_EXCEPTION(Failure, SaveSetting("Text2", "80"));
        QFile::setPermissions(m_env->settingsFile(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(GetSetting("Text1", "x"), QStringLiteral("Oslo"));
    }

    void storeThatCannotBeCreatedFailsLoudly()
    {
        // A configuration "folder" that is a file: nothing can be created
        // there, whatever the privileges.
        QFile blocker(m_env->path() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_CONFIG_HOME", (m_env->path() + "/blocker/config").toLocal8Bit());
        QVERIFY_THROWS_EXCEPTION(Failure, SaveSetting("Text1", "Oslo"));
        QCOMPARE(GetSetting("Text1", "San Diego CA"), QStringLiteral("San Diego CA"));
    }

    // Bytes an editor saved in Latin-1 are read as Latin-1 and written back in
    // UTF-8 with the original kept aside; never turned into U+FFFD.
    void nonUtf8BytesAreKept_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("damaged key") << QByteArray("[Tepora]\nAPIKey=KEY\xff\xfe-123\n") << "APIKey"
                                     << QString::fromLatin1("KEY\xff\xfe-123");
        QTest::newRow("Latin-1 place") << QByteArray("[Tepora]\nText1=Z\xfcrich\nAPIKey=abc\n") << "Text1"
                                       << QString::fromUtf8("Zürich");
        QTest::newRow("UTF-8 beside Latin-1")
            << QByteArray("[Tepora]\nText1=Z\xc3\xbcrich\nAPIKey=\xe9t\xe9\n") << "Text1"
            << QString::fromUtf8("Zürich");
    }
    void nonUtf8BytesAreKept()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QFile file(m_env->settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not UTF-8.*Ravensel.ini.bak"));
        QCOMPARE(GetSetting(key, "x"), expected);
        SaveSetting("Text2", "80");
        QCOMPARE(GetSetting(key, "x"), expected);
        QCOMPARE(GetSetting("Text2", "x"), QStringLiteral("80"));
        const QString backup = m_env->settingsFile() + ".bak";
        QCOMPARE(readBytes(backup), content);
        QCOMPARE(modeOf(backup), QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(QString::fromUtf8(readBytes(m_env->settingsFile())).contains(expected));
    }

    void folderInPlaceOfTheFileIsLeftAlone()
    {
        QVERIFY(QDir().mkpath(m_env->settingsFile()));
        const auto before = QFileInfo(m_env->settingsFile()).permissions();
        QCOMPARE(GetSetting("Text1", "San Diego CA"), QStringLiteral("San Diego CA"));
        QVERIFY_THROWS_EXCEPTION(Failure, SaveSetting("Text1", "Oslo"));
        QVERIFY(QFileInfo(m_env->settingsFile()).isDir());
        QCOMPARE(QFileInfo(m_env->settingsFile()).permissions(), before);
    }

    void privateWhateverTheUmask()
    {
        const mode_t old = umask(0);
        const auto restore = qScopeGuard([old] { umask(old); });
        const QString top = m_env->path() + "/fresh";
        qputenv("XDG_CONFIG_HOME", (top + "/config").toLocal8Bit());
        SaveSetting("APIKey", "secret");
        const auto folder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QCOMPARE(modeOf(top), folder);
        QCOMPARE(modeOf(top + "/config"), folder);
        QCOMPARE(modeOf(top + "/config/Ravensel.ini"), QFile::ReadOwner | QFile::WriteOwner);
    }

    void typedReadGivesDefaultForWhatIsNoValue_data()
    {
        QTest::addColumn<const SettingKey*>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QVariant>("expected");
        // A null stored text: the key is absent.
        const auto row = [](const char* name, const SettingKey& key, const QString& stored,
                            QVariant expected) { QTest::newRow(name) << &key << stored << expected; };
        const QString tooLong(kMaxTypedText + 1, u'x');
        const QString longest(kMaxTypedText, u'x');
        row("absent: Windows Startup", Setting::WindowsStartup, {}, false);
        row("absent: Minimized", Setting::Minimized, {}, false);
        row("absent: Text1", Setting::Location, {}, "San Diego CA");
        row("absent: Text2", Setting::Target, {}, "70");
        row("absent: Option1", Setting::Rises, {}, true);
        row("absent: Option2", Setting::Falls, {}, false);
        row("absent: Option3", Setting::Both, {}, false);
        row("absent: Option4", Setting::Fahrenheit, {}, true);
        row("absent: Option5", Setting::Celsius, {}, false);
        row("absent: Font Color", Setting::FontColor, {}, rgb(255, 255, 0));
        row("absent: Background Color", Setting::BackgroundColor, {}, rgb(0, 0, 0));
        row("absent: APIKey", Setting::APIKey, {}, "");
        row("on/off: On", Setting::Minimized, "On", true);
        row("on/off: other case", Setting::Minimized, "on", false);
        row("one/zero: 1", Setting::Falls, "1", true);
        row("one/zero: 0", Setting::Rises, "0", false);
        row("one/zero: 2", Setting::Rises, "2", true);
        row("one/zero: yes", Setting::Rises, "yes", true);
        row("one/zero: empty", Setting::Rises, "", true);
        row("one/zero: 1.0", Setting::Falls, "1.0", false);
        row("text: not a number", Setting::Target, "abc", "abc");
        row("text: empty is a value", Setting::Location, "", "");
        row("text: longest typed", Setting::APIKey, longest, longest);
        row("text: longer than typed", Setting::Location, tooLong, "San Diego CA");
        row("colour: bytes", Setting::FontColor, "5649426", rgb(0x12, 0x34, 0x56));
        row("colour: leading zeros", Setting::FontColor, "00255", rgb(255, 0, 0));
        row("colour: white", Setting::BackgroundColor, "16777215", rgb(255, 255, 255));
        row("colour: above white", Setting::FontColor, "16777216", rgb(255, 255, 0));
        row("colour: negative", Setting::FontColor, "-1", rgb(255, 255, 0));
        row("colour: fraction", Setting::FontColor, "255.0", rgb(255, 255, 0));
        row("colour: not a number", Setting::BackgroundColor, "red", rgb(0, 0, 0));
    }
    void typedReadGivesDefaultForWhatIsNoValue()
    {
        QFETCH(const SettingKey*, key);
        QFETCH(QString, stored);
        QFETCH(QVariant, expected);
        storeRaw(key, stored);
        QCOMPARE(typedGet(key), expected);
    }

    void typedSetStoresTheSameTextAsBefore_data()
    {
        QTest::addColumn<const SettingKey*>("key");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("emits");
        const auto row = [](const char* name, const SettingKey& key, const QString& before, QVariant value,
                            const QString& text,
                            int emits) { QTest::newRow(name) << &key << before << value << text << emits; };
        row("on/off: on", Setting::Minimized, {}, true, "On", 1);
        row("on/off: off", Setting::WindowsStartup, "On", false, "Off", 1);
        row("one/zero: one", Setting::Falls, {}, true, "1", 1);
        row("one/zero: zero", Setting::Rises, "1", false, "0", 1);
        row("text as typed", Setting::Location, {}, " Paris, France ", " Paris, France ", 1);
        row("text emptied", Setting::APIKey, "abc", "", "", 1);
        row("colour: bytes", Setting::FontColor, {}, rgb(0x12, 0x34, 0x56), "5649426", 1);
        row("colour: white", Setting::BackgroundColor, {}, rgb(255, 255, 255), "16777215", 1);
        // Written out, but what reads back is what read back before.
        row("default made explicit", Setting::Rises, {}, true, "1", 0);
        row("stray text replaced", Setting::Minimized, "yes", false, "Off", 0);
    }
    void typedSetStoresTheSameTextAsBefore()
    {
        QFETCH(const SettingKey*, key);
        QFETCH(QString, before);
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        QFETCH(int, emits);
        storeRaw(key, before);
        QSignalSpy spy(&Settings::instance(), &Settings::changed);
        typedSet(key, value);
        QCOMPARE(GetSetting(QString::fromLatin1(key->name), "<absent>"), text);
        QCOMPARE(typedGet(key), value);
        typedSet(key, value);
        QCOMPARE(spy.size(), emits);
        if (emits) {
            QCOMPARE(spy.first().first().toString(), QString::fromLatin1(key->name));
        }
    }

    void typedSetRefusesWhatWouldNotReadBack()
    {
        QSignalSpy spy(&Settings::instance(), &Settings::changed);
        QVERIFY_THROWS_EXCEPTION(Failure,
                                 Settings::instance().set(Setting::APIKey, QString(kMaxTypedText + 1, u'k')));
        QVERIFY_THROWS_EXCEPTION(Failure, Settings::instance().set(Setting::FontColor, QColor()));
        QVERIFY(!QFile::exists(m_env->settingsFile()));
        QCOMPARE(spy.size(), 0);
    }

    // A file far larger than any the program writes is not read at every
    // poll, nor written over: defaults, one message, the bytes as they were.
    void oversizedFileIsLeftAlone()
    {
        ScriptedModal modal;
        const QByteArray content = "[Tepora]\nText1=Oslo\nOption4=0\n[Other]\nfiller=" +
                                   QByteArray(SettingsLocation::kMaxStoreBytes, 'x') + '\n';
        QFile file(m_env->settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        for (int read = 0; read < 3; ++read) {
            QCOMPARE(Settings::instance().get(Setting::Location), QStringLiteral("San Diego CA"));
            QCOMPARE(Settings::instance().get(Setting::Fahrenheit), true);
        }
        Settings::instance().set(Setting::Location, QStringLiteral("Paris"));
        Settings::instance().set(Setting::Celsius, true);
        Settings::instance().set(Setting::FontColor, QColor(Qt::red));
        SaveSetting("APIKey", "abc");
        QCOMPARE(readBytes(m_env->settingsFile()), content);
        QCOMPARE(modal.shown.size(), 1);
        QVERIFY(modal.shown.first().text.contains(QStringLiteral("too large")));
    }

    void writeIsSeenByNextRead()
    {
        SaveSetting("Text2", "70");
        QCOMPARE(GetSetting("Text2", 0), QStringLiteral("70"));
        SaveSetting("Text2", "7");
        QCOMPARE(GetSetting("Text2", 0), QStringLiteral("7"));
    }

private:
    std::unique_ptr<TestEnv> m_env;
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
