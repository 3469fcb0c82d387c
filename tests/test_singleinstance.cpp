// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

namespace
{

// A copy of the program in another process: takes the lock and serves until
// it is killed (run as "test_singleinstance --hold DIR").
int holdLock(const QString& folder)
{
    SingleInstance instance(folder);
    if (instance.claim() != SingleInstance::Start::First) {
        return 1;
    }
    std::puts("holding");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondStartShowsTheFirst_data();
    void secondStartShowsTheFirst();
    void runningCopyTakesOnlyATokenLine_data();
    void runningCopyTakesOnlyATokenLine();
    void crashedCopyDoesNotBlock();
    void silentCopyIsNotReportedAsAnswered();

private:
    QProcess* startHolder(const QString& folder);
};

QProcess* TestSingleInstance::startHolder(const QString& folder)
{
    auto* holder = new QProcess(this);
    holder->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), folder});
    if (!holder->waitForReadyRead(10000) || holder->readLine() != "holding\n") {
        qWarning("the holder did not take the lock: %s", holder->readAllStandardError().constData());
        return nullptr;
    }
    return holder;
}

// The second start's activation token reaches the first copy; text that
// cannot be a token stays behind, and the window is still asked for.
void TestSingleInstance::secondStartShowsTheFirst_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("received");
    QTest::newRow("no token") << QString() << QString();
    QTest::newRow("GNOME's") << QStringLiteral("gnome-shell/Tepora/2511-3-host_TIME81946")
                             << QStringLiteral("gnome-shell/Tepora/2511-3-host_TIME81946");
    QTest::newRow("a second line") << QStringLiteral("kwin-1\nshow") << QString();
}

void TestSingleInstance::secondStartShowsTheFirst()
{
    QFETCH(QString, token);
    QFETCH(QString, received);
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    QCOMPARE(first.claim(), SingleInstance::Start::First);
    QSignalSpy shown(&first, &SingleInstance::showRequested);

    SingleInstance::Start second = SingleInstance::Start::First;
    std::thread other([&] { second = SingleInstance(dir.path()).claim(5000, token); });
    // The first copy answers from its event loop, as the program's does.
    QTRY_COMPARE(shown.count(), 1);
    other.join();
    QCOMPARE(second, SingleInstance::Start::Forwarded);
    QCOMPARE(shown.first().first().toString(), received);
}

// What another program of this user may send: a token is a short line of
// printable ASCII, anything else is dropped.
void TestSingleInstance::runningCopyTakesOnlyATokenLine_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("received");
    const QByteArray longest(400, 'k');
    QTest::newRow("longest") << "activate " + longest + "\n" << true << QString::fromLatin1(longest);
    QTest::newRow("too long") << "activate " + longest + "k\n" << false << QString();
    QTest::newRow("a space") << QByteArray("activate kwin 1\n") << true << QString();
    QTest::newRow("not ASCII") << QByteArray("activate kwin-\xc3\xa9\n") << true << QString();
    QTest::newRow("a control") << QByteArray("activate kwin\x1b[1\n") << true << QString();
}

void TestSingleInstance::runningCopyTakesOnlyATokenLine()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, answered);
    QFETCH(QString, received);
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    QCOMPARE(first.claim(), SingleInstance::Start::First);
    QSignalSpy shown(&first, &SingleInstance::showRequested);

    QByteArray answer;
    std::atomic<bool> done{false};
    std::thread other([&] {
        QLocalSocket socket;
        socket.connectToServer(dir.filePath(QStringLiteral("tepora.socket")));
        if (!socket.waitForConnected(5000)) {
            done = true;
            return;
        }
        socket.write(request);
        socket.waitForBytesWritten(5000);
        // Until the copy answers and hangs up, or hangs up without a word.
        while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(5000)) {
            answer += socket.readAll();
        }
        answer += socket.readAll();
        done = true;
    });
    // The first copy answers from its event loop.
    QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
    other.join();
    QCOMPARE(answer == "shown\n", answered);
    QCOMPARE(shown.count(), answered ? 1 : 0);
    if (answered) {
        QCOMPARE(shown.first().first().toString(), received);
    }
}

void TestSingleInstance::crashedCopyDoesNotBlock()
{
    QTemporaryDir dir;
    QProcess* holder = startHolder(dir.path());
    QVERIFY(holder);
    holder->kill(); // SIGKILL: lock file and socket stay behind
    QVERIFY(holder->waitForFinished());
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("tepora.lock"))));

    SingleInstance next(dir.path());
    QCOMPARE(next.claim(1000), SingleInstance::Start::First);
    // And it is reachable on the socket the dead copy left.
    QSignalSpy shown(&next, &SingleInstance::showRequested);
    SingleInstance::Start second = SingleInstance::Start::First;
    std::thread other([&] { second = SingleInstance(dir.path()).claim(5000); });
    QTRY_COMPARE(shown.count(), 1);
    other.join();
    QCOMPARE(second, SingleInstance::Start::Forwarded);
}

void TestSingleInstance::silentCopyIsNotReportedAsAnswered()
{
    QTemporaryDir dir;
    QProcess* holder = startHolder(dir.path());
    QVERIFY(holder);
    ::kill(pid_t(holder->processId()), SIGSTOP); // alive and holding, but deaf
    QElapsedTimer clock;
    clock.start();
    const SingleInstance::Start result = SingleInstance(dir.path()).claim(300);
    ::kill(pid_t(holder->processId()), SIGCONT);
    holder->kill();
    holder->waitForFinished();
    QCOMPARE(result, SingleInstance::Start::NoAnswer);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0) {
        return holdLock(QString::fromLocal8Bit(argv[2]));
    }
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_singleinstance.moc"
