// SPDX-License-Identifier: GPL-3.0-or-later

// The converter and the icon files: only ever in folders the user alone can
// write, never someone else's file run, never a half-written picture.

#include "ScriptedModal.h"
#include "TestEnv.h"

#include "base/ErrorReport.h"
#include "tray/IconPipeline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QImage picture(QRgb colour)
{
    QImage image(28, 29, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void plant(const QString& path, QFile::Permissions permissions)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // Leaves a mark when it is run.
    file.write("#!/bin/sh\ntouch \"$0.ran\"\n");
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

constexpr QFile::Permissions kAnyoneWrites = QFile::Permissions(0x7777);
constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

class TestIconFiles : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        forgetReportedFaults();
        m_modal.clear();
        m_env = std::make_unique<TestEnv>();
        m_runtime = m_env->path() + QStringLiteral("/runtime");
        QDir().mkdir(m_runtime, kOwnerOnly);
        qputenv("XDG_RUNTIME_DIR", m_runtime.toLocal8Bit());
    }
    void cleanup()
    {
        qunsetenv("XDG_RUNTIME_DIR");
        m_env.reset();
    }

    void converterGoesWhereOnlyTheUserCanWrite_data()
    {
        QTest::addColumn<QString>("temp"); // "-": unset; "open": writable by anyone
        QTest::addColumn<bool>("runtime");
        QTest::addColumn<QString>("folder");
        QTest::newRow("TEMP of the user's own") << "own" << true << "temp";
        QTest::newRow("TEMP anyone may write") << "open" << true << "runtime/tepora";
        QTest::newRow("no TEMP") << "-" << true << "runtime/tepora";
        QTest::newRow("no TEMP, no runtime folder") << "-" << false << "cache/Ravensel/Tepora";
    }
    void converterGoesWhereOnlyTheUserCanWrite()
    {
        QFETCH(QString, temp);
        QFETCH(bool, runtime);
        QFETCH(QString, folder);
        const QString tempPath = m_env->path() + QStringLiteral("/temp");
        if (temp == QLatin1String("-")) {
            qunsetenv("TEMP");
        } else if (temp == QLatin1String("open")) {
            QFile::setPermissions(tempPath, kAnyoneWrites);
        }
        if (!runtime) {
            qunsetenv("XDG_RUNTIME_DIR");
        }
        QCOMPARE(IconPipeline::converterPath(),
                 m_env->path() + QLatin1Char('/') + folder + QStringLiteral("/nconvert"));
        IconPipeline().deployConverter(IconPipeline::converterBytes());
        const QFileInfo deployed(IconPipeline::converterPath());
        QVERIFY(deployed.isExecutable());
        QVERIFY(isUsersOwn(deployed.path()));
    }

    void foldersArePrivateWhateverTheUmask()
    {
        qunsetenv("XDG_RUNTIME_DIR");
        const mode_t old = umask(0);
        const auto restore = qScopeGuard([old] { umask(old); });
        const QString folder = IconPipeline().folder();
        QCOMPARE(folder, m_env->path() + QStringLiteral("/cache/Ravensel/Tepora"));
        for (const QString& made : {folder, QFileInfo(folder).path()}) {
            QCOMPARE(QFileInfo(made).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                     kOwnerOnly);
        }
        IconPipeline icons;
        icons.deployConverter(IconPipeline::converterBytes());
        Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
        QCoro::waitFor(icons.convert(p, picture(qRgb(255, 0, 0))));
        for (const QString& made : {icons.bitmapPath(), icons.iconPath()}) {
            QCOMPARE(QFileInfo(made).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                     QFile::ReadOwner | QFile::WriteOwner);
        }
    }

    // Whatever has the converter's name is replaced at start, and a file
    // changed after start is never run.
    void plantedConverterIsReplacedNotRun_data()
    {
        QTest::addColumn<bool>("someoneElses");
        QTest::addColumn<bool>("afterStart");
        QTest::newRow("someone else's, before start") << true << false;
        QTest::newRow("the user's own, before start") << false << false;
        QTest::newRow("the user's own, after start") << false << true;
    }
    void plantedConverterIsReplacedNotRun()
    {
        QFETCH(bool, someoneElses);
        QFETCH(bool, afterStart);
        const QString path = IconPipeline::converterPath();
        const auto plantHere = [&] {
            plant(path, someoneElses ? kAnyoneWrites : kOwnerOnly);
            if (someoneElses && ::getuid() == 0) {
                QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0); // nobody's
                QFile::setPermissions(path, kOwnerOnly | QFile::ReadOther | QFile::ExeOther);
            }
        };
        if (!afterStart) {
            plantHere();
        }
        IconPipeline icons;
        icons.deployConverter(IconPipeline::converterBytes());
        QCOMPARE(contentOf(path), IconPipeline::converterBytes());
        if (afterStart) {
            plantHere();
        }
        Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
        const QIcon icon = QCoro::waitFor(icons.convert(p, picture(qRgb(255, 0, 0))));
        QVERIFY(!QFile::exists(path + QStringLiteral(".ran")));
        QCOMPARE(contentOf(path), IconPipeline::converterBytes());
        QVERIFY(QFile::exists(icons.iconPath()));
        QVERIFY(!icon.isNull());
        QCOMPARE(m_modal.errorReports().size(), 0);
    }

    // Icon files go only where nobody else can swap or read them; without
    // such a folder there are none, said once, and the tray goes on.
    void iconFolderMustBeTheUsersAlone_data()
    {
        QTest::addColumn<QString>("changed"); // under the test's folder
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("someoneElses");
        QTest::addColumn<bool>("used");
        QTest::newRow("anyone may write it") << "cache/Ravensel/Tepora" << 0777 << false << false;
        QTest::newRow("anyone may write a folder above") << "cache" << 0777 << false << false;
        QTest::newRow("a folder above like /tmp") << "cache" << 01777 << false << true;
        QTest::newRow("someone else's") << "cache/Ravensel/Tepora" << 0700 << true << false;
    }
    void iconFolderMustBeTheUsersAlone()
    {
        QFETCH(QString, changed);
        QFETCH(int, mode);
        QFETCH(bool, someoneElses);
        QFETCH(bool, used);
        const QString folder = m_env->path() + QStringLiteral("/cache/Ravensel/Tepora");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray target = QFile::encodeName(m_env->path() + QLatin1Char('/') + changed);
        QCOMPARE(::chmod(target.constData(), mode_t(mode)), 0);
        if (someoneElses) {
            if (::getuid() != 0) {
                QSKIP("giving a folder to another user needs root");
            }
            QCOMPARE(::chown(target.constData(), 65534, 65534), 0);
        }
        IconPipeline icons;
        icons.deployConverter(IconPipeline::converterBytes());
        Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
        for (int refresh = 0; refresh < 3; ++refresh) {
            const QIcon icon = QCoro::waitFor(icons.convert(p, picture(qRgb(255, 0, 0))));
            QCOMPARE(icon.pixmap(28, 29).toImage().pixel(5, 5), qRgb(255, 0, 0));
        }
        QCOMPARE(QFile::exists(folder + QStringLiteral("/CurTemp.bmp")), used);
        QCOMPARE(QFile::exists(folder + QStringLiteral("/CurTemp.ico")), used);
        QCOMPARE(m_modal.errorReports().size(), used ? 0 : 1);
    }

    // What the converter leaves in the icon's place is opened without
    // waiting on it or following it, and refused unless it is a file.
    void onlyAFileIsReadAsTheIcon_data()
    {
        QTest::addColumn<QByteArray>("made"); // shell text that makes "$ico"
        QTest::newRow("FIFO") << QByteArray("mkfifo \"$ico\"");
        QTest::newRow("link to another icon") << QByteArray("ln -s \"$0.other.ico\" \"$ico\"");
    }
    void onlyAFileIsReadAsTheIcon()
    {
        QFETCH(QByteArray, made);
        const QString other = IconPipeline::converterPath() + QStringLiteral(".other.ico");
        QVERIFY(picture(qRgb(0, 0, 255)).save(other, "ICO"));
        QVERIFY(QFile::setPermissions(other, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        const auto otherMode = QFileInfo(other).permissions();
        IconPipeline icons;
        icons.deployConverter("#!/bin/sh\nico=\"${3%.bmp}.ico\"\n" + made + "\n");
        Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
        const QIcon icon = QCoro::waitFor(icons.convert(p, picture(qRgb(255, 0, 0))));
        QCOMPARE(icon.pixmap(28, 29).toImage().pixel(5, 5), qRgb(255, 0, 0));
        QCOMPARE(QFileInfo(other).permissions(), otherMode);
        QCOMPARE(m_modal.errorReports().size(), 1);
        QVERIFY(m_modal.errorReports().first().text.contains(QStringLiteral("Form1.ListTemp at line 118")));
    }

    // A full disk: the last good picture stays whole, the tray gets the new one.
    void fullDiskKeepsTheLastGoodPicture()
    {
        IconPipeline icons;
        icons.deployConverter(IconPipeline::converterBytes());
        Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
        QCoro::waitFor(icons.convert(p, picture(qRgb(255, 0, 0))));
        QCOMPARE(QImage(icons.bitmapPath()).pixel(5, 5), qRgb(255, 0, 0));

        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 512;
        setrlimit(RLIMIT_FSIZE, &small);
        const QIcon icon = QCoro::waitFor(icons.convert(p, picture(qRgb(0, 0, 255))));
        setrlimit(RLIMIT_FSIZE, &old);

        QCOMPARE(QImage(icons.bitmapPath()).pixel(5, 5), qRgb(255, 0, 0));
        // Nor is the half-written copy left lying about.
        QCOMPARE(QDir(QFileInfo(icons.bitmapPath()).path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("CurTemp.bmp")}));
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.pixmap(28, 29).toImage().pixel(5, 5), qRgb(0, 0, 255));
        QVERIFY(!m_modal.errorReports().isEmpty());
        QVERIFY(m_modal.errorReports().first().text.contains(QStringLiteral("Form1.ListTemp at line 114")));
    }

    // Quotes and blanks in the folders are only characters.
    void folderNamesAreNotCommandText()
    {
        const QString odd = m_env->path() + QStringLiteral("/a \"b\" 'c'");
        QDir().mkpath(odd + QStringLiteral("/temp"));
        qputenv("TEMP", (odd + QStringLiteral("/temp")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (odd + QStringLiteral("/cache")).toLocal8Bit());
        IconPipeline icons;
        icons.deployConverter(IconPipeline::converterBytes());
        Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
        QCoro::waitFor(icons.convert(p, picture(qRgb(0, 255, 0))));
        QVERIFY(icons.iconPath().startsWith(odd));
        QVERIFY(QFile::exists(icons.iconPath()));
        QCOMPARE(m_modal.errorReports().size(), 0);
    }

private:
    ScriptedModal m_modal;
    std::unique_ptr<TestEnv> m_env;
    QString m_runtime;
};

QTEST_MAIN(TestIconFiles)
#include "test_iconfiles.moc"
