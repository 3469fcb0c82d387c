// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestEnv.h"

#include "base/Failure.h"
#include "base/Settings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
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
