// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
    void secondStartShowsTheFirst();
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

void TestSingleInstance::secondStartShowsTheFirst()
{
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    QCOMPARE(first.claim(), SingleInstance::Start::First);
    QSignalSpy shown(&first, &SingleInstance::showRequested);

    SingleInstance::Start second = SingleInstance::Start::First;
    std::thread other([&] { second = SingleInstance(dir.path()).claim(5000); });
    // The first copy answers from its event loop, as the program's does.
    QTRY_COMPARE(shown.count(), 1);
    other.join();
    QCOMPARE(second, SingleInstance::Start::Forwarded);
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
