// SPDX-License-Identifier: GPL-3.0-or-later

#include "ManualClock.h"
#include "RecordingTrayBackend.h"

#include "base/Failure.h"
#include "tray/QtTrayBackend.h"
#include "tray/TrayHost.h"
#include "tray/cSysTray.h"
#include "tray/unix/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>
#include <QTimer>

#include <limits>
#include <memory>

namespace
{

QIcon solidIcon(Qt::GlobalColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// A tray host the test brings and takes away.
class FakeTrayHost : public TrayHost
{
public:
    enum Kind { None, XEmbed, StatusNotifier };
    explicit FakeTrayHost(Kind kind = XEmbed) : m_kind(kind) {}
    bool present() const override { return m_kind != None; }
    bool statusNotifier() const override { return m_kind == StatusNotifier; }
    void set(Kind kind)
    {
        m_kind = kind;
        emit changed();
    }

private:
    Kind m_kind;
};

} // namespace

class TestSysTray : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_backend = std::make_unique<RecordingTrayBackend>();
        m_tray = std::make_unique<cSysTray>(m_backend.get());
        m_events.clear();
        connect(m_tray.get(), &cSysTray::MouseMove, this,
                [this](qint32 id) { m_events << QStringLiteral("move %1").arg(id); });
        connect(m_tray.get(), &cSysTray::MouseDown, this,
                [this](qint16 b, qint32 id) { m_events << QStringLiteral("down %1 %2").arg(b).arg(id); });
        connect(m_tray.get(), &cSysTray::MouseUp, this,
                [this](qint16 b, qint32 id) { m_events << QStringLiteral("up %1 %2").arg(b).arg(id); });
        connect(m_tray.get(), &cSysTray::MouseDblClick, this,
                [this](qint16 b, qint32 id) { m_events << QStringLiteral("dblclick %1 %2").arg(b).arg(id); });
    }
    void cleanup()
    {
        m_tray.reset();
        m_backend.reset();
    }

    void startsHiddenAndEmpty()
    {
        QVERIFY(!m_tray->inTray());
        QVERIFY(!m_tray->iconAdded());
        QVERIFY(!m_tray->balloonVisible());
        QCOMPARE(m_tray->balloonCount(), 0);
        QCOMPARE(m_tray->identifier(), 0);
        QVERIFY(m_tray->trayTip().isEmpty());
        QVERIFY(m_tray->trayIcon().isNull());
        QVERIFY(m_backend->calls.isEmpty());
    }

    void showingTwiceAddsOnceHidingTwiceRemovesOnce()
    {
        m_tray->setInTray(true);
        m_tray->setInTray(true);
        QCOMPARE(m_backend->ops(), QStringList{"add"});
        QVERIFY(m_tray->inTray());
        QVERIFY(m_tray->iconAdded());

        m_tray->setInTray(false);
        m_tray->setInTray(false);
        QCOMPARE(m_backend->ops(), (QStringList{"add", "remove"}));
        QVERIFY(!m_tray->inTray());
        QVERIFY(!m_tray->iconAdded());

        m_tray->setInTray(true);
        QCOMPARE(m_backend->ops(), (QStringList{"add", "remove", "add"}));
    }

    void hidingWhenHiddenSendsNothing()
    {
        m_tray->setInTray(false);
        QVERIFY(m_backend->calls.isEmpty());
        QVERIFY(!m_tray->inTray());
    }

    void settingsWhileHiddenAreUsedAtNextAdd_data()
    {
        QTest::addColumn<QString>("tip");
        QTest::addColumn<bool>("withIcon");
        QTest::newRow("tip and icon") << "Tepora 21 °C" << true;
        QTest::newRow("tip, no icon") << "Tepora" << false;
        QTest::newRow("empty tip is no tip") << "" << true;
        QTest::newRow("nothing") << "" << false;
    }
    void settingsWhileHiddenAreUsedAtNextAdd()
    {
        QFETCH(QString, tip);
        QFETCH(bool, withIcon);
        const QIcon icon = solidIcon(Qt::red);
        if (withIcon)
            m_tray->setTrayIcon(icon);
        m_tray->setTrayTip(tip);
        QVERIFY(m_backend->calls.isEmpty()); // nothing goes out while hidden
        QCOMPARE(m_tray->trayTip(), tip);

        m_tray->setInTray(true);
        QCOMPARE(m_backend->ops(), QStringList{"add"});
        const auto& add = m_backend->calls.first();
        QCOMPARE(add.hasTip, !tip.isEmpty());
        QCOMPARE(add.tip, tip);
        QCOMPARE(add.hasIcon, withIcon);
        QCOMPARE(add.iconCacheKey, withIcon ? icon.cacheKey() : 0);
    }

    void changesWhileShownGoOutAtOnce()
    {
        m_tray->setInTray(true);
        const QIcon blue = solidIcon(Qt::blue);
        m_tray->setTrayIcon(blue);
        m_tray->setTrayTip("warm");
        m_tray->setTrayTip(""); // clears the tooltip
        QCOMPARE(m_backend->ops(), (QStringList{"add", "modifyIcon", "modifyTip", "modifyTip"}));
        QCOMPARE(m_backend->calls[1].iconCacheKey, blue.cacheKey());
        QCOMPARE(m_backend->calls[2].tip, QStringLiteral("warm"));
        QVERIFY(m_backend->calls[3].hasTip);
        QCOMPARE(m_backend->calls[3].tip, QString());
        QCOMPARE(m_tray->trayTip(), QString());
        QCOMPARE(m_tray->trayIcon().cacheKey(), blue.cacheKey());
    }

    void nullIconIsIgnored()
    {
        const QIcon red = solidIcon(Qt::red);
        m_tray->setTrayIcon(red);
        m_tray->setInTray(true);
        m_tray->setTrayIcon(QIcon());
        QCOMPARE(m_backend->ops(), QStringList{"add"});
        QCOMPARE(m_tray->trayIcon().cacheKey(), red.cacheKey());
    }

    void textsAreCutToTheShellsBuffers_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        const QString a200(200, QLatin1Char('a'));
        const QString b300(300, QLatin1Char('b'));
        const QString c100(100, QLatin1Char('c'));
        const QString emoji = QString::fromUtf8("\xF0\x9F\x8C\xA1"); // two UTF-16 units
        QTest::newRow("tip at add") << "addTip" << a200 << a200.left(127);
        QTest::newRow("tip when changed") << "modifyTip" << a200 << a200.left(127);
        QTest::newRow("tip of 127 stays") << "modifyTip" << a200.left(127) << a200.left(127);
        QTest::newRow("tip never splits a character")
            << "modifyTip" << QString(126, QLatin1Char('a')) + emoji + "zz" << QString(126, QLatin1Char('a'));
        QTest::newRow("balloon text") << "text" << b300 << b300.left(255);
        QTest::newRow("balloon text of 255 stays") << "text" << b300.left(255) << b300.left(255);
        QTest::newRow("balloon title") << "title" << c100 << c100.left(63);
        QTest::newRow("balloon title of 63 stays") << "title" << c100.left(63) << c100.left(63);
    }
    void textsAreCutToTheShellsBuffers()
    {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        if (field == "addTip") {
            m_tray->setTrayTip(input);
            m_tray->setInTray(true);
            QCOMPARE(m_backend->calls.last().tip, expected);
        } else if (field == "modifyTip") {
            m_tray->setInTray(true);
            m_tray->setTrayTip(input);
            QCOMPARE(m_backend->calls.last().op, QStringLiteral("modifyTip"));
            QCOMPARE(m_backend->calls.last().tip, expected);
        } else if (field == "text") {
            QCoro::waitFor(m_tray->ShowBalloon(input, "t", 0, false));
            QCOMPARE(m_backend->calls.last().text, expected);
        } else {
            QCoro::waitFor(m_tray->ShowBalloon("x", input, 0, false));
            QCOMPARE(m_backend->calls.last().title, expected);
        }
        // The control keeps what it was given; only what goes out is cut.
        if (field.endsWith("Tip"))
            QCOMPARE(m_tray->trayTip(), input);
    }

    void iconFileMustBeIco_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("ico") << "thermo.ico" << QByteArray("ico") << true;
        QTest::newRow("ico without extension") << "thermo" << QByteArray("ico") << true;
        QTest::newRow("png") << "thermo.png" << QByteArray("png") << false;
        QTest::newRow("bmp") << "thermo.bmp" << QByteArray("bmp") << false;
        QTest::newRow("bmp named .ico") << "fake.ico" << QByteArray("bmp") << false;
        QTest::newRow("missing file") << "absent.ico" << QByteArray() << false;
    }
    void iconFileMustBeIco()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, format);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(fileName);
        if (!format.isEmpty()) {
            QImage image(32, 32, QImage::Format_ARGB32);
            image.fill(Qt::green);
            QVERIFY(image.save(path, format.constData()));
        }

        const QIcon before = solidIcon(Qt::red);
        m_tray->setTrayIcon(before);
        m_tray->setInTray(true);
        m_backend->calls.clear();

        QCOMPARE(m_tray->setTrayIconFromFile(path), accepted);
        if (accepted) {
            QVERIFY(!m_tray->trayIcon().isNull());
            QVERIFY(m_tray->trayIcon().cacheKey() != before.cacheKey());
            QCOMPARE(m_backend->ops(), QStringList{"modifyIcon"});
            QCOMPARE(m_backend->calls.first().iconCacheKey, m_tray->trayIcon().cacheKey());
            const QImage shown = m_tray->trayIcon().pixmap(32, 32).toImage();
            QCOMPARE(QColor(shown.pixel(16, 16)), QColor(Qt::green));
        } else {
            QCOMPARE(m_tray->trayIcon().cacheKey(), before.cacheKey());
            QVERIFY(m_backend->calls.isEmpty());
        }
    }

    void codesBecomeMouseEvents_data()
    {
        QTest::addColumn<QList<TrayEvent>>("codes");
        QTest::addColumn<QStringList>("events");
        using E = TrayEvent;
        QTest::newRow("move") << QList<E>{E::MouseMove} << QStringList{"move 0"};
        QTest::newRow("left click") << QList<E>{E::LeftButtonDown, E::LeftButtonUp}
                                    << QStringList{"down 1 0", "up 1 0"};
        QTest::newRow("left double click") << QList<E>{E::LeftDoubleClick} << QStringList{"dblclick 1 0"};
        QTest::newRow("right click") << QList<E>{E::RightButtonDown, E::RightButtonUp}
                                     << QStringList{"down 2 0", "up 2 0"};
        QTest::newRow("right double click") << QList<E>{E::RightDoubleClick} << QStringList{"dblclick 2 0"};
        QTest::newRow("balloon events")
            << QList<E>{E::BalloonShown, E::BalloonHidden, E::BalloonTimedOut, E::BalloonClicked}
            << QStringList{};
    }
    void codesBecomeMouseEvents()
    {
        QFETCH(QList<TrayEvent>, codes);
        QFETCH(QStringList, events);
        for (TrayEvent code : codes)
            m_backend->emitEvent(code);
        QCOMPARE(m_events, events);
        QVERIFY(m_backend->calls.isEmpty());
    }

    void balloonNotificationsClearVisibility_data()
    {
        QTest::addColumn<TrayEvent>("code");
        QTest::addColumn<bool>("stillVisible");
        QTest::newRow("hidden") << TrayEvent::BalloonHidden << false;
        QTest::newRow("timed out") << TrayEvent::BalloonTimedOut << false;
        QTest::newRow("clicked") << TrayEvent::BalloonClicked << false;
        QTest::newRow("shown") << TrayEvent::BalloonShown << true;
        QTest::newRow("mouse move") << TrayEvent::MouseMove << true;
    }
    void balloonNotificationsClearVisibility()
    {
        QFETCH(TrayEvent, code);
        QFETCH(bool, stillVisible);
        QCoro::waitFor(m_tray->ShowBalloon("text", "title", 0, false));
        QVERIFY(m_tray->balloonVisible());
        m_backend->emitEvent(code);
        QCOMPARE(m_tray->balloonVisible(), stillVisible);
    }

    void showOnceShowsOnlyTheFirstTime_data()
    {
        QTest::addColumn<bool>("showOnce");
        QTest::addColumn<int>("balloons");
        QTest::addColumn<int>("count");
        QTest::newRow("once") << true << 1 << 1;
        QTest::newRow("every time") << false << 3 << 0;
    }
    void showOnceShowsOnlyTheFirstTime()
    {
        QFETCH(bool, showOnce);
        QFETCH(int, balloons);
        QFETCH(int, count);
        for (int i = 0; i < 3; ++i) {
            QCoro::waitFor(m_tray->ShowBalloon(QStringLiteral("text %1").arg(i), "title", 0, showOnce));
            m_backend->emitEvent(TrayEvent::BalloonClicked); // the user clicks it away
        }
        QCOMPARE(m_backend->count("balloon"), balloons);
        QCOMPARE(m_backend->calls.first().text, QStringLiteral("text 0"));
        QCOMPARE(m_tray->balloonCount(), count);
        QCOMPARE(m_tray->balloonVisible(), false);

        // A balloon without ShowOnce is not limited by earlier ones.
        QCoro::waitFor(m_tray->ShowBalloon("again", "title", 0, false));
        QCOMPARE(m_backend->count("balloon"), balloons + 1);
        QCOMPARE(m_tray->balloonCount(), count);
    }

    void balloonWithoutTimerReturnsAtOnce_data()
    {
        QTest::addColumn<qint32>("showTimer");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -5;
    }
    void balloonWithoutTimerReturnsAtOnce()
    {
        QFETCH(qint32, showTimer);
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(m_tray->ShowBalloon("Too warm", "Tepora", showTimer, false));
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_backend->ops(), QStringList{"balloon"});
        QCOMPARE(m_backend->calls.first().title, QStringLiteral("Tepora"));
        QCOMPARE(m_backend->calls.first().text, QStringLiteral("Too warm"));
        QCOMPARE(m_backend->calls.first().timeout, 0);
        QVERIFY(m_tray->balloonVisible());
        // No take-down arrives later either.
        QCoreApplication::processEvents();
        QCOMPARE(m_backend->ops(), QStringList{"balloon"});
    }

    void balloonIsSentWhetherIconShownOrNot()
    {
        QVERIFY(!m_tray->iconAdded());
        QCoro::waitFor(m_tray->ShowBalloon("t", "x", 0, false));
        QCOMPARE(m_backend->ops(), QStringList{"balloon"});
    }

    void waitEndsEarlyWhenTheShellClosesTheBalloon_data()
    {
        QTest::addColumn<TrayEvent>("code");
        QTest::newRow("clicked") << TrayEvent::BalloonClicked;
        QTest::newRow("timed out") << TrayEvent::BalloonTimedOut;
        QTest::newRow("hidden") << TrayEvent::BalloonHidden;
    }
    void waitEndsEarlyWhenTheShellClosesTheBalloon()
    {
        QFETCH(TrayEvent, code);
        RecordingTrayBackend* backend = m_backend.get();
        QTimer::singleShot(100, backend, [backend, code] { backend->emitEvent(code); });
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(m_tray->ShowBalloon("Too warm", "Tepora", 1, false));
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= 90 && took < 900, qPrintable(QString::number(took)));
        QCOMPARE(m_backend->ops(), QStringList{"balloon"}); // no take-down
        QCOMPARE(m_backend->calls.first().timeout, 1000);
        QVERIFY(!m_tray->balloonVisible());
    }

    void waitRunsOutAndTakesTheBalloonDown()
    {
        ManualClock clock;
        QCoro::Task<> shown = m_tray->ShowBalloon("Too warm", "Tepora", 1, false);
        // Events flow during the wait.
        m_backend->emitEvent(TrayEvent::LeftButtonDown);
        m_backend->emitEvent(TrayEvent::LeftButtonUp);
        QCOMPARE(m_events, (QStringList{"down 1 0", "up 1 0"}));
        clock.advance(999);
        QVERIFY(!shown.isReady());
        QCOMPARE(m_backend->ops(), QStringList{"balloon"});
        clock.advance(1);
        QVERIFY(shown.isReady());
        QCOMPARE(m_backend->ops(), (QStringList{"balloon", "balloon"}));
        QCOMPARE(m_backend->calls[0].timeout, 1000);
        QCOMPARE(m_backend->calls[1].title, QString());
        QCOMPARE(m_backend->calls[1].text, QString());
        // Only the shell's notification clears it.
        QVERIFY(m_tray->balloonVisible());
        m_backend->emitEvent(TrayEvent::BalloonHidden);
        QVERIFY(!m_tray->balloonVisible());
    }

    void timeoutOverflowThrowsBeforeSending_data()
    {
        QTest::addColumn<qint32>("showTimer");
        QTest::newRow("just too long") << 2147484;
        QTest::newRow("just too negative") << -2147484;
        QTest::newRow("largest") << std::numeric_limits<qint32>::max();
    }
    void timeoutOverflowThrowsBeforeSending()
    {
        QFETCH(qint32, showTimer);
        // QCoro::waitFor never returns from a task that throws: caught inside.
        bool threw = false;
        const auto show = [&]() -> QCoro::Task<> {
            try {
                co_await m_tray->ShowBalloon("t", "x", showTimer, true);
            } catch (const Failure&) {
                threw = true;
            }
        };
        QCoro::waitFor(show());
        QVERIFY(threw);
        QVERIFY(m_backend->calls.isEmpty());
        QVERIFY(!m_tray->balloonVisible());
        QCOMPARE(m_tray->balloonCount(), 0);
    }

    void largestTimeoutThatFitsIsSent()
    {
        // 2147483 s = 2147483000 ms still fits; end the wait through the shell.
        RecordingTrayBackend* backend = m_backend.get();
        QTimer::singleShot(50, backend, [backend] { backend->emitEvent(TrayEvent::BalloonClicked); });
        QCoro::waitFor(m_tray->ShowBalloon("t", "x", 2147483, false));
        QCOMPARE(m_backend->ops(), QStringList{"balloon"});
        QCOMPARE(m_backend->calls.first().timeout, 2147483000);
    }

    void secondBalloonDuringWaitDoesNotNest()
    {
        ManualClock clock;
        QCoro::Task<> first = m_tray->ShowBalloon("first", "A", 1, false);
        clock.advance(100);
        QCoro::Task<> second = m_tray->ShowBalloon("second", "B", 1, false);
        QVERIFY(second.isReady());
        // The take-down follows the newest balloon's time.
        clock.advance(999);
        QVERIFY(!first.isReady());
        clock.advance(1);
        QVERIFY(first.isReady());
        QCOMPARE(m_backend->ops(), (QStringList{"balloon", "balloon", "balloon"}));
        QCOMPARE(m_backend->calls[0].text, QStringLiteral("first"));
        QCOMPARE(m_backend->calls[1].text, QStringLiteral("second"));
        QCOMPARE(m_backend->calls[2].text, QString());
    }

    void destroyedDuringWaitReturnsSafely()
    {
        m_tray->setInTray(true);
        QPointer<cSysTray> tray(m_tray.release());
        QTimer::singleShot(100, m_backend.get(), [tray] { delete tray.data(); });
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(tray->ShowBalloon("t", "x", 5, false));
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(tray.isNull());
        QCOMPARE(m_backend->ops(), (QStringList{"add", "balloon", "remove"}));
    }

    void destructorRemovesShownIcon_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QStringList>("ops");
        QTest::newRow("shown") << true << QStringList{"add", "remove"};
        QTest::newRow("hidden") << false << QStringList{};
    }
    void destructorRemovesShownIcon()
    {
        QFETCH(bool, shown);
        QFETCH(QStringList, ops);
        m_tray->setInTray(shown);
        m_tray.reset();
        QCOMPARE(m_backend->ops(), ops);
    }

    void backendMayGoFirst()
    {
        m_tray->setInTray(true);
        m_backend.reset();
        m_tray->setTrayTip("still fine");
        QCoro::waitFor(m_tray->ShowBalloon("t", "x", 0, false));
        m_tray.reset(); // must not touch the vanished backend
    }

    // QtTrayBackend, with a stand-in for the desktop's tray host.

    void qtBackendMapsActivations_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<QList<TrayEvent>>("codes");
        QTest::addColumn<QStringList>("events");
        using E = TrayEvent;
        QTest::newRow("click") << int(QSystemTrayIcon::Trigger)
                               << QList<E>{E::LeftButtonDown, E::LeftButtonUp}
                               << QStringList{"down 1 0", "up 1 0"};
        QTest::newRow("context") << int(QSystemTrayIcon::Context)
                                 << QList<E>{E::RightButtonDown, E::RightButtonUp}
                                 << QStringList{"down 2 0", "up 2 0"};
        QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << QList<E>{E::LeftDoubleClick}
                                      << QStringList{"dblclick 1 0"};
        QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << QList<E>{} << QStringList{};
        QTest::newRow("unknown") << int(QSystemTrayIcon::Unknown) << QList<E>{} << QStringList{};
    }
    void qtBackendMapsActivations()
    {
        QFETCH(int, reason);
        QFETCH(QList<TrayEvent>, codes);
        QFETCH(QStringList, events);
        QtTrayBackend backend(solidIcon(Qt::yellow), new FakeTrayHost);
        backend.add(nullptr, nullptr);
        cSysTray tray(&backend);
        QStringList seen;
        connect(&tray, &cSysTray::MouseDown, this,
                [&seen](qint16 b, qint32 id) { seen << QStringLiteral("down %1 %2").arg(b).arg(id); });
        connect(&tray, &cSysTray::MouseUp, this,
                [&seen](qint16 b, qint32 id) { seen << QStringLiteral("up %1 %2").arg(b).arg(id); });
        connect(&tray, &cSysTray::MouseDblClick, this,
                [&seen](qint16 b, qint32 id) { seen << QStringLiteral("dblclick %1 %2").arg(b).arg(id); });
        QSignalSpy spy(&backend, &TrayBackend::trayEvent);
        emit backend.trayIcon()->activated(QSystemTrayIcon::ActivationReason(reason));
        QList<TrayEvent> got;
        for (const auto& args : spy)
            got << args.at(0).value<TrayEvent>();
        QCOMPARE(got, codes);
        QCOMPARE(seen, events);
    }

    void qtBackendShowsAndHidesTheIcon()
    {
        const QIcon fallback = solidIcon(Qt::yellow);
        const QIcon own = solidIcon(Qt::cyan);
        QtTrayBackend backend(fallback, new FakeTrayHost);
        backend.add(nullptr, nullptr);
        QSystemTrayIcon* icon = backend.trayIcon();
        QVERIFY(icon);
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->icon().cacheKey(), fallback.cacheKey());
        QCOMPARE(icon->toolTip(), QString());

        const QString tip = QStringLiteral("21 °C");
        backend.remove();
        QVERIFY(!icon->isVisible());
        backend.add(&own, &tip);
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->icon().cacheKey(), own.cacheKey());
        QCOMPARE(icon->toolTip(), tip);

        backend.modifyTip(QString());
        QCOMPARE(icon->toolTip(), QString());
        backend.modifyIcon(fallback);
        QCOMPARE(icon->icon().cacheKey(), fallback.cacheKey());
        backend.remove();
        QVERIFY(!icon->isVisible());
    }

    void qtBackendReportsBalloonEnds()
    {
        QtTrayBackend backend(solidIcon(Qt::yellow), new FakeTrayHost);
        backend.add(nullptr, nullptr);
        QSignalSpy spy(&backend, &TrayBackend::trayEvent);

        // Running out: reported once the balloon's time is over.
        QElapsedTimer clock;
        clock.start();
        backend.balloon("Tepora", "Too warm", 150);
        QVERIFY(spy.wait(2000));
        QVERIFY(clock.elapsed() >= 140);
        QCOMPARE(spy.takeFirst().at(0).value<TrayEvent>(), TrayEvent::BalloonTimedOut);

        // Clicked: reported at once, and no time-out follows.
        backend.balloon("Tepora", "Too warm", 150);
        emit backend.trayIcon()->messageClicked();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.takeFirst().at(0).value<TrayEvent>(), TrayEvent::BalloonClicked);
        QVERIFY(!spy.wait(400));

        // Taken down: reported as hidden, and no time-out follows.
        backend.balloon("Tepora", "Too warm", 150);
        backend.balloon(QString(), QString(), 0);
        QVERIFY(spy.wait(1000));
        QCOMPARE(spy.takeFirst().at(0).value<TrayEvent>(), TrayEvent::BalloonHidden);
        QVERIFY(!spy.wait(400));
    }

    void qtBackendEndsTheControlsWait()
    {
        QtTrayBackend backend(solidIcon(Qt::yellow), new FakeTrayHost);
        cSysTray tray(&backend);
        tray.setInTray(true);
        QTimer::singleShot(100, &backend, [&backend] { emit backend.trayIcon()->messageClicked(); });
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(tray.ShowBalloon("Too warm", "Tepora", 1, false));
        QVERIFY2(clock.elapsed() < 900, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!tray.balloonVisible());
    }

    // No tray call before a host answers (Qt would settle on "no D-Bus
    // tray" for good); the icon made when one comes has the latest picture
    // and tooltip: the program's own item with its menu on StatusNotifierItem
    // hosts, Qt's icon without one on XEmbed trays.
    void qtBackendWaitsForAHost_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("menu");
        QTest::newRow("StatusNotifierItem")
            << int(FakeTrayHost::StatusNotifier) << QStringList{"Restore", "Exit"};
        QTest::newRow("XEmbed") << int(FakeTrayHost::XEmbed) << QStringList{};
    }
    void qtBackendWaitsForAHost()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, menu);
        auto* host = new FakeTrayHost(FakeTrayHost::None);
        QtTrayBackend backend(solidIcon(Qt::yellow), host);
        cSysTray tray(&backend);
        tray.setTrayTip(QStringLiteral("Tepora"));
        tray.setInTray(true);
        const QIcon reading = solidIcon(Qt::cyan);
        tray.setTrayIcon(reading);
        const QString tip = QStringLiteral("Tepora\r\nSan Diego, 72 \u00b0F");
        tray.setTrayTip(tip);
        QVERIFY(!backend.trayIcon());
        QVERIFY(!backend.statusNotifierItem());
        QVERIFY(!backend.available());

        host->set(FakeTrayHost::Kind(kind));
        QVERIFY(backend.available());
        if (kind == FakeTrayHost::StatusNotifier) {
            QVERIFY(!backend.trayIcon());
            StatusNotifierItem* item = backend.statusNotifierItem();
            QVERIFY(item && item->isVisible());
            QCOMPARE(item->icon().cacheKey(), reading.cacheKey());
            QCOMPARE(item->toolTip(), tip);
        } else {
            QVERIFY(!backend.statusNotifierItem());
            QSystemTrayIcon* icon = backend.trayIcon();
            QVERIFY(icon && icon->isVisible());
            QCOMPARE(icon->icon().cacheKey(), reading.cacheKey());
            QCOMPARE(icon->toolTip(), tip);
        }
        QStringList entries;
        if (backend.menu()) {
            for (QAction* action : backend.menu()->actions())
                entries << action->text();
        }
        QCOMPARE(entries, menu);
        if (menu.isEmpty())
            return;

        // "Restore" acts as the mouse-up over the icon; "Exit" is its own.
        QSignalSpy up(&tray, &cSysTray::MouseUp);
        QSignalSpy exit(&tray, &cSysTray::ExitChosen);
        backend.menu()->actions().at(0)->trigger();
        QTRY_COMPARE(up.count(), 1);
        QCOMPARE(up.first(), (QList<QVariant>{qint16(cSysTray::LeftButton), qint32(0)}));
        backend.menu()->actions().at(1)->trigger();
        QTRY_COMPARE(exit.count(), 1);
        QCOMPARE(up.count(), 1);

        // A host that goes leaves no tray to hide a window in.
        host->set(FakeTrayHost::None);
        QVERIFY(!backend.available());
    }

    // Once a StatusNotifierItem host comes, Qt's XEmbed icon goes: one icon only.
    void qtBackendMovesToTheItemWhenAWatcherComes()
    {
        auto* host = new FakeTrayHost(FakeTrayHost::XEmbed);
        QtTrayBackend backend(solidIcon(Qt::yellow), host);
        backend.add(nullptr, nullptr);
        QPointer<QSystemTrayIcon> icon = backend.trayIcon();
        QVERIFY(icon);
        host->set(FakeTrayHost::StatusNotifier);
        QVERIFY(icon.isNull());
        QVERIFY(backend.statusNotifierItem() && backend.statusNotifierItem()->isVisible());
        host->set(FakeTrayHost::XEmbed);
        QVERIFY(!backend.statusNotifierItem()->isVisible());
        QVERIFY(backend.trayIcon() && backend.trayIcon()->isVisible());
    }

    // Plasma hands the item a token before its click; it serves that click
    // only, and text that cannot be a token is not kept.
    void qtBackendKeepsTheHostsTokenForOneClick_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("kept");
        QTest::newRow("Plasma's") << QStringLiteral("kwin-42") << QStringLiteral("kwin-42");
        QTest::newRow("with a line end") << QStringLiteral("kwin-42\n") << QString();
        QTest::newRow("too long") << QString(401, QLatin1Char('k')) << QString();
    }
    void qtBackendKeepsTheHostsTokenForOneClick()
    {
        QFETCH(QString, token);
        QFETCH(QString, kept);
        QtTrayBackend backend(solidIcon(Qt::yellow), new FakeTrayHost(FakeTrayHost::StatusNotifier));
        backend.add(nullptr, nullptr);
        StatusNotifierItem* item = backend.statusNotifierItem();
        QVERIFY(item);
        QSignalSpy events(&backend, &TrayBackend::trayEvent);
        item->provideActivationToken(token);
        item->click(StatusNotifierItem::Click::Primary);
        QCOMPARE(events.count(), 2); // button down, button up
        QCOMPARE(backend.takeActivationToken(), kept);
        QCOMPARE(backend.takeActivationToken(), QString());
    }

    void qtBackendMakesNoIconAfterRemove()
    {
        auto* host = new FakeTrayHost(FakeTrayHost::None);
        QtTrayBackend backend(solidIcon(Qt::yellow), host);
        backend.add(nullptr, nullptr);
        backend.remove();
        host->set(FakeTrayHost::StatusNotifier);
        QVERIFY(!backend.trayIcon());
        QVERIFY(!backend.statusNotifierItem());
    }

private:
    std::unique_ptr<RecordingTrayBackend> m_backend;
    std::unique_ptr<cSysTray> m_tray;
    QStringList m_events;
};

QTEST_MAIN(TestSysTray)
#include "test_systray.moc"
