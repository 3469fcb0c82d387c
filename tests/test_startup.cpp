// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestEnv.h"

#include "base/modStartUp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>

namespace
{

enum class Obstacle { ReadOnlyFolder, FolderIsFile, EntryIsFolder };

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString execValue(const QString& entry)
{
    const QStringList lines = readText(entry).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("Exec="))) {
            return line.mid(5);
        }
    }
    return {};
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_folder = m_env->path() + QStringLiteral("/autostart");
        m_entry = m_folder + QStringLiteral("/tepora.desktop");
    }
    void cleanup() { m_env.reset(); }

    void entryStartsRunningProgram()
    {
        // The folder beside the test holds other programs that a listing
        // returns first; the entry must still name this one.
        const QString self = QCoreApplication::applicationFilePath();
        if (self.contains(QRegularExpression(QStringLiteral("[^\\w/.+,=-]")))) {
            QSKIP("the build path needs quoting; execQuoting covers that");
        }
        const QString entry = m_env->configHome() + QStringLiteral("/autostart/tepora.desktop");
        QVERIFY(AddToStartup());
        QCOMPARE(execValue(entry), self);
        QVERIFY(RemoveFromStartup());
        QVERIFY(!QFile::exists(entry));
        QVERIFY(RemoveFromStartup()); // nothing left to delete is no failure
    }

    void execQuoting_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec"); // as the file holds it: quoted, then string-escaped
        QTest::newRow("plain") << "/opt/tepora/tepora"
                               << "/opt/tepora/tepora";
        QTest::newRow("root folder") << "/tepora"
                                     << "/tepora";
        QTest::newRow("space") << "/opt/my apps/tepora"
                               << "\"/opt/my apps/tepora\"";
        QTest::newRow("double quote") << "/opt/a\"b/tepora"
                                      << "\"/opt/a\\\\\"b/tepora\"";
        QTest::newRow("dollar") << "/opt/$HOME/tepora"
                                << "\"/opt/\\\\$HOME/tepora\"";
        QTest::newRow("backtick") << "/opt/a`b/tepora"
                                  << "\"/opt/a\\\\`b/tepora\"";
        QTest::newRow("backslash") << "/opt/a\\b/tepora"
                                   << "\"/opt/a\\\\\\\\b/tepora\"";
        QTest::newRow("single quote") << "/opt/it's/tepora"
                                      << "\"/opt/it's/tepora\"";
        QTest::newRow("percent") << "/opt/100%/tepora"
                                 << "/opt/100%%/tepora";
        QTest::newRow("percent quoted") << "/opt/50 %/tepora"
                                        << "\"/opt/50 %%/tepora\"";
        QTest::newRow("newline") << "/opt/a\nb/tepora"
                                 << "\"/opt/a\\nb/tepora\"";
        QTest::newRow("equals, non-ASCII")
            << QString::fromUtf8("/opt/a=Zürich/tepora") << QString::fromUtf8("/opt/a=Zürich/tepora");
    }
    void execQuoting()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QVERIFY(AddToStartup({program, m_folder}));
        QCOMPARE(execValue(m_entry), exec);

        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty()) {
            QSKIP("desktop-file-validate is not installed");
        }
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, {m_entry});
        QVERIFY(validate.waitForFinished());
        const QByteArray complaints = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && complaints.isEmpty(), complaints.constData());
    }

    void launcherStartsProgramAtAwkwardPath()
    {
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        if (gio.isEmpty()) {
            QSKIP("gio is not installed");
        }
        // GLib's launcher (as used by GNOME's autostart) must undo the quoting.
        const QString folder = m_env->path() + QStringLiteral("/a b$c\"d`e\\f'g(h)");
        const QString program = folder + QStringLiteral("/tepora");
        const QString started = m_env->path() + QStringLiteral("/started");
        QVERIFY(QDir().mkpath(folder));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s' \"$0\" > '" + started.toUtf8() + "'\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));

        QVERIFY(AddToStartup({program, m_folder}));
        QCOMPARE(QProcess::execute(gio, {QStringLiteral("launch"), m_entry}), 0);
        QTRY_COMPARE(readText(started), program);
    }

    void rewriteReplacesEntry()
    {
        QVERIFY(AddToStartup({QStringLiteral("/opt/old/tepora"), m_folder}));
        QVERIFY(AddToStartup({QStringLiteral("/opt/new/tepora"), m_folder}));
        QCOMPARE(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("tepora.desktop")});
        QCOMPARE(execValue(m_entry), QStringLiteral("/opt/new/tepora"));
    }

    void modesWhateverTheUmask()
    {
        const mode_t old = umask(0);
        const auto restore = qScopeGuard([old] { umask(old); });
        QVERIFY(AddToStartup({QStringLiteral("/opt/tepora/tepora"), m_folder}));
        const auto mode = [](const QString& path) {
            return QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        };
        QCOMPARE(mode(m_folder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(mode(m_entry), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }

    void failureIsReported_data()
    {
        QTest::addColumn<Obstacle>("obstacle");
        QTest::addColumn<bool>("adding");
        QTest::newRow("add, read-only folder") << Obstacle::ReadOnlyFolder << true;
        QTest::newRow("add, folder is a file") << Obstacle::FolderIsFile << true;
        QTest::newRow("add, entry is a folder") << Obstacle::EntryIsFolder << true;
        QTest::newRow("remove, read-only folder") << Obstacle::ReadOnlyFolder << false;
        QTest::newRow("remove, entry is a folder") << Obstacle::EntryIsFolder << false;
    }
    void failureIsReported()
    {
        QFETCH(Obstacle, obstacle);
        QFETCH(bool, adding);
        const RunEntryPlace place{QStringLiteral("/opt/tepora/tepora"), m_folder};
        QVERIFY(QDir().mkpath(m_folder));
        if (!adding && obstacle != Obstacle::EntryIsFolder) {
            QVERIFY(AddToStartup(place));
        }
        const auto restore = qScopeGuard(
            [&] { QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
        switch (obstacle) {
        case Obstacle::ReadOnlyFolder: {
            QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
            QFile probe(m_folder + QStringLiteral("/probe"));
            if (probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QSKIP("permissions do not stop this user (root)");
            }
            break;
        }
        case Obstacle::FolderIsFile: {
            QVERIFY(QDir().rmdir(m_folder));
            QFile file(m_folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
            break;
        }
        case Obstacle::EntryIsFolder:
            QVERIFY(QDir().mkpath(m_entry + QStringLiteral("/inside")));
            break;
        }
        QVERIFY(adding ? !AddToStartup(place) : !RemoveFromStartup(place));
    }

private:
    std::unique_ptr<TestEnv> m_env;
    QString m_folder, m_entry;
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
