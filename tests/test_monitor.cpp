// SPDX-License-Identifier: GPL-3.0-or-later

// The monitor on its own: scripted readings, ticks called by the test, alerts
// answered by the test. No window, no service, no waiting. Sleep and the
// network come from stand-ins for logind and NetworkManager on a private bus.

#include "ManualClock.h"
#include "ScriptedModal.h"

#include "alarm/AlertPresenter.h"
#include "alarm/Core.h"
#include "alarm/SystemReaction.h"
#include "alarm/TemperatureMonitor.h"
#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/Latch.h"
#include "base/SystemState.h"
#include "weather/ReadingSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <QCoroTask>
#include <QTimer>

#include <atomic>
#include <functional>

namespace
{

// Answers every reading with `value` and counts the readings. With `hold`,
// a reading waits until it is abandoned.
class ScriptedReadings : public ReadingSource
{
public:
    double value = 65;
    int reads = 0;
    bool hold = false;
    int abandoned = 0;

    QCoro::Task<Reading> read(WeatherInputs, bool) override
    {
        ++reads;
        if (hold) {
            Latch given;
            m_held = &given;
            co_await given.wait();
            throw Cancelled();
        }
        co_return Reading{value, QStringLiteral("San Diego")};
    }
    void abandon() override
    {
        ++abandoned;
        if (Latch* held = std::exchange(m_held, nullptr)) {
            held->open();
        }
    }

private:
    Latch* m_held = nullptr;
};

// NetworkManager as Qt's backend reads it: two properties and their changes.
class NetworkManagerStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint State READ state)
    Q_PROPERTY(uint Connectivity READ connectivity)

public:
    std::atomic<uint> nmState{70}; // NM_STATE_CONNECTED_GLOBAL
    uint state() const { return nmState; }
    uint connectivity() const { return nmState == 70 ? 4 : 1; } // full, none
};

// A private bus standing in for the system bus, with logind and
// NetworkManager on a connection of their own. They answer from a thread of
// their own: Qt's backend asks NetworkManager with a call that blocks.
struct SystemBusStandIns {
    QTemporaryDir dir;
    QProcess daemon;
    QString address;
    QThread thread;
    std::unique_ptr<NetworkManagerStandIn> nm = std::make_unique<NetworkManagerStandIn>();
    static constexpr const char* kName = "stand-ins";

    bool start()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                     QStringLiteral("--print-address=1"),
                                                     QStringLiteral("--address=unix:tmpdir=") + dir.path()});
        if (!daemon.waitForReadyRead(10000)) {
            return false;
        }
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        QDBusConnection bus = QDBusConnection::connectToBus(address, QLatin1String(kName));
        if (!bus.registerObject(QStringLiteral("/org/freedesktop/NetworkManager"), nm.get(),
                                QDBusConnection::ExportAllProperties) ||
            !bus.registerService(QStringLiteral("org.freedesktop.NetworkManager")) ||
            !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
            return false;
        }
        nm->moveToThread(&thread);
        thread.start();
        return true;
    }
    ~SystemBusStandIns()
    {
        QDBusConnection(QLatin1String(kName))
            .unregisterObject(QStringLiteral("/org/freedesktop/NetworkManager"));
        QDBusConnection::disconnectFromBus(QLatin1String(kName));
        thread.quit();
        thread.wait();
        daemon.kill();
        daemon.waitForFinished();
    }
    void prepareForSleep(bool going)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << going;
        QDBusConnection(QLatin1String(kName)).send(signal);
    }
    void setNetworkState(uint state)
    {
        nm->nmState = state;
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/NetworkManager"),
                                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.freedesktop.NetworkManager")
               << QVariantMap{{QStringLiteral("State"), state},
                              {QStringLiteral("Connectivity"), nm->connectivity()}}
               << QStringList();
        QDBusConnection(QLatin1String(kName)).send(signal);
    }
};

// Records each alert and runs `duringAlert` while it is "open".
struct Rig : AlertPresenter {
    ScriptedModal modal;
    ScriptedReadings* readings = new ScriptedReadings;
    TemperatureMonitor monitor{std::unique_ptr<ReadingSource>(readings)};
    QList<AlertFigures> alerts;
    std::function<void()> duringAlert;

    Rig()
    {
        forgetReportedFaults();
        monitor.setLocation(QStringLiteral("San Diego CA"));
        monitor.setUnit(TempUnit::Fahrenheit);
        monitor.setDirection(Direction::Rises);
        monitor.setTargetText(QStringLiteral("70"));
        monitor.setPollInterval(1000);
        monitor.startPolling();
        monitor.setAlertPresenter(this);
    }
    QCoro::Task<> showAlert(AlertFigures figures) override
    {
        alerts << figures;
        if (duringAlert) {
            duringAlert();
        }
        co_return;
    }
    void closeAlert() override {}
    void poll(double value)
    {
        readings->value = value;
        QCoro::waitFor(monitor.Timer1_Timer());
    }
};

} // namespace

class TestMonitor : public QObject
{
    Q_OBJECT

private slots:
    // Target 70, rises: fires at the crossing, once, until a setting changes.
    void alarmFiresOnceUntilASettingChanges()
    {
        Rig rig;
        QCoro::waitFor(rig.monitor.primeAlarm());
        bool timerRanWhileOpen = true;
        rig.duringAlert = [&] { timerRanWhileOpen = rig.monitor.pollTimer()->isActive(); };
        rig.poll(65);
        rig.poll(68);
        QVERIFY(rig.alerts.isEmpty());
        rig.poll(72);
        QCOMPARE(rig.alerts.size(), 1);
        const AlertFigures& alert = rig.alerts.first();
        QCOMPARE(alert.location, QStringLiteral("San Diego"));
        QCOMPARE(alert.target, 70.0);
        QCOMPARE(alert.current, 72.0);
        QCOMPARE(alert.unit, TempUnit::Fahrenheit);
        QVERIFY(!timerRanWhileOpen);
        QVERIFY(rig.monitor.alarmShown());
        QVERIFY(rig.monitor.pollTimer()->isActive());
        QCOMPARE(rig.monitor.pollTimer()->interval(), 1000);

        for (double far : {80, 81, 82}) {
            rig.poll(far);
        }
        QCOMPARE(rig.alerts.size(), 1);

        rig.monitor.setTargetText(QStringLiteral("75"));
        QVERIFY(!rig.monitor.alarmShown());
        rig.poll(83);
        QCOMPARE(rig.alerts.size(), 2);
        QCOMPARE(rig.alerts.last().target, 75.0);
        QCOMPARE(rig.modal.errorReports().size(), 0);
    }

    // A target that is no number never counts as reached. It is one box
    // however many polls pass, and the status line says so until mended.
    void targetThatIsNoNumberNeverReaches()
    {
        Rig rig;
        rig.monitor.setTargetText(QStringLiteral("abc"));
        QString status;
        connect(&rig.monitor, &TemperatureMonitor::temperatureShown, this,
                [&](const TemperatureTexts& texts) { status = texts.statusLine; });
        for (double value : {72, 73, 74}) {
            rig.poll(value);
        }
        QVERIFY(rig.alerts.isEmpty());
        const auto reports = rig.modal.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().text.startsWith(QStringLiteral("Type mismatch")));
        QVERIFY2(status.endsWith(QStringLiteral("the target \"abc\" is not a number.")), qPrintable(status));
        rig.monitor.setTargetText(QStringLiteral("70"));
        rig.poll(75);
        QVERIFY2(!status.contains(QStringLiteral("not a number")), qPrintable(status));
    }

    // While an alert is open, from the alarm or from "Test Alarm", a tick
    // takes no reading; closing stops the alarm from starting the timer again.
    void ticksWhileAnAlertIsOpenAreSkipped()
    {
        Rig rig;
        QCoro::waitFor(rig.monitor.primeAlarm());
        int readsDuringAlert = -1;
        rig.duringAlert = [&] {
            const int before = rig.readings->reads;
            rig.monitor.Timer1_Timer();
            readsDuringAlert = rig.readings->reads - before;
        };
        rig.poll(72);
        QCOMPARE(rig.alerts.size(), 1);
        QCOMPARE(readsDuringAlert, 0);

        readsDuringAlert = -1;
        QCoro::waitFor(rig.monitor.testAlarm());
        QCOMPARE(rig.alerts.size(), 2);
        QCOMPARE(readsDuringAlert, 0);

        rig.monitor.setTargetText(QStringLiteral("73"));
        rig.duringAlert = [&] { rig.monitor.stop(); };
        rig.poll(74);
        QCOMPARE(rig.alerts.size(), 3);
        QVERIFY(!rig.monitor.pollTimer()->isActive());
        QVERIFY(!rig.monitor.alarmShown());
    }

    // The store may hold any mix of options; the alarm follows the one the
    // panel shows, the last chosen in its order.
    void optionsStandFor_data()
    {
        QTest::addColumn<int>("chosen"); // bits: rises, falls, both, fahrenheit, celsius
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<TempUnit>("unit");
        QTest::newRow("defaults") << 0b01001 << Direction::Rises << TempUnit::Fahrenheit;
        QTest::newRow("none") << 0 << Direction::None << TempUnit::None;
        QTest::newRow("several") << 0b11011 << Direction::Falls << TempUnit::Celsius;
        QTest::newRow("all") << 0b11111 << Direction::Both << TempUnit::Celsius;
    }
    void optionsStandFor()
    {
        QFETCH(int, chosen);
        const Core::Options options{bool(chosen & 1), bool(chosen & 2), bool(chosen & 4), bool(chosen & 8),
                                    bool(chosen & 16)};
        QFETCH(Direction, direction);
        QFETCH(TempUnit, unit);
        QCOMPARE(directionOf(options), direction);
        QCOMPARE(unitOf(options), unit);
    }

    // What the monitor does as the machine sleeps and wakes and the network
    // comes and goes.
    void systemReaction_data()
    {
        QTest::addColumn<bool>("wasAsleep");
        QTest::addColumn<Network>("was");
        QTest::addColumn<bool>("asleep");
        QTest::addColumn<Network>("now");
        QTest::addColumn<QString>("reaction"); // abandon, now, resume: what is done
        QTest::addColumn<bool>("asks");        // whether a tick then asks the service
        QTest::newRow("goes to sleep")
            << false << Network::Online << true << Network::Online << "abandon" << false;
        QTest::newRow("network sleeps too")
            << true << Network::Online << true << Network::Changing << "" << false;
        QTest::newRow("resumes") << true << Network::Online << false << Network::Online << "resume" << true;
        QTest::newRow("resumes, network waking")
            << true << Network::Changing << false << Network::Changing << "resume" << false;
        QTest::newRow("resumes offline")
            << true << Network::Offline << false << Network::Offline << "now" << false;
        QTest::newRow("resumes, no NetworkManager")
            << true << Network::Unknown << false << Network::Unknown << "resume" << true;
        QTest::newRow("goes offline")
            << false << Network::Online << false << Network::Offline << "abandon now" << false;
        QTest::newRow("connecting") << false << Network::Offline << false << Network::Changing << "" << false;
        QTest::newRow("back") << false << Network::Changing << false << Network::Online << "now" << true;
        QTest::newRow("back at once")
            << false << Network::Offline << false << Network::Online << "now" << true;
        QTest::newRow("back, site only")
            << false << Network::Offline << false << Network::Limited << "now" << true;
        QTest::newRow("site to online")
            << false << Network::Limited << false << Network::Online << "" << true;
        QTest::newRow("no NetworkManager")
            << false << Network::Unknown << false << Network::Unknown << "" << true;
    }
    void systemReaction()
    {
        QFETCH(bool, wasAsleep);
        QFETCH(Network, was);
        QFETCH(bool, asleep);
        QFETCH(Network, now);
        QFETCH(QString, reaction);
        QFETCH(bool, asks);
        const SystemReaction r = ::systemReaction(SystemView{wasAsleep, was}, SystemView{asleep, now});
        QStringList done;
        if (r.abandon) {
            done << QStringLiteral("abandon");
        }
        if (r.refreshNow) {
            done << QStringLiteral("now");
        }
        if (r.refreshAfterResume) {
            done << QStringLiteral("resume");
        }
        QCOMPARE(done.join(QLatin1Char(' ')), reaction);
        QCOMPARE(pollAsks(SystemView{asleep, now}, false), asks);
        QVERIFY(!pollAsks(SystemView{asleep, now}, true));
    }

    // Through the real system watch on a private bus: the reading in flight
    // at sleep is given up without a word, the next comes a few seconds after
    // the resume or as soon as the network is back; offline, ticks ask
    // nothing and the status line says the reading waits for the network.
    void sleepAndNetworkFromTheSystemBus()
    {
        SystemBusStandIns bus;
        QVERIFY2(bus.start(), "no private bus");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address.toUtf8());
        ManualClock clock;
        Rig rig;
        rig.monitor.setPollInterval(3600000);
        rig.monitor.startPolling();
        const std::unique_ptr<SystemState> system(SystemState::create(nullptr));
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        QCOMPARE(system->network(), Network::Online);
        rig.monitor.setSystemState(system.get());
        QStringList shown;
        connect(&rig.monitor, &TemperatureMonitor::temperatureShown, this,
                [&](const TemperatureTexts& texts) { shown << texts.statusLine; });

        rig.readings->hold = true;
        rig.monitor.Timer1_Timer();
        QVERIFY(rig.monitor.refreshing());
        bus.prepareForSleep(true);
        QTRY_VERIFY(!rig.monitor.refreshing());
        QCOMPARE(rig.readings->abandoned, 1);
        rig.readings->hold = false;
        int reads = rig.readings->reads;
        rig.monitor.Timer1_Timer();
        QCOMPARE(rig.readings->reads, reads);

        // NetworkManager sleeps as well and is not back when the few seconds
        // are over: the reading waits for it.
        bus.setNetworkState(10); // asleep
        QTRY_COMPARE(system->network(), Network::Changing);
        bus.prepareForSleep(false);
        QTRY_VERIFY(!system->asleep());
        clock.advance(kResumeDelayMs);
        QCOMPARE(rig.readings->reads, reads);
        bus.setNetworkState(70);
        const QString f = QStringLiteral(" \u00B0F");
        QTRY_COMPARE(shown, QStringList{QStringLiteral("The current temperature in San Diego is 65") + f});

        // A network that stays up: the reading comes a few seconds after the
        // resume, and not before.
        bus.prepareForSleep(true);
        QTRY_VERIFY(system->asleep());
        bus.prepareForSleep(false);
        QTRY_VERIFY(!system->asleep());
        reads = rig.readings->reads;
        clock.advance(kResumeDelayMs - 1);
        rig.monitor.Timer1_Timer();
        QCOMPARE(rig.readings->reads, reads);
        rig.readings->value = 66;
        clock.advance(1);
        QTRY_COMPARE(shown.size(), 2);
        QVERIFY(shown.last().endsWith(QStringLiteral(" 66") + f));

        bus.setNetworkState(20); // disconnected
        QTRY_COMPARE(shown.size(), 3);
        QCOMPARE(shown.last(),
                 QStringLiteral("The current temperature in San Diego is unavailable because the "
                                "reading waits for the network."));
        reads = rig.readings->reads;
        rig.monitor.Timer1_Timer();
        QCOMPARE(rig.readings->reads, reads);
        QCOMPARE(shown.size(), 3);
        rig.readings->value = 67;
        bus.setNetworkState(70);
        QTRY_COMPARE(shown.size(), 4);
        QVERIFY(shown.last().endsWith(QStringLiteral(" 67") + f));
        QCOMPARE(rig.modal.errorReports().size(), 0);
    }

    void testAlarmNeedsAReading()
    {
        Rig rig;
        rig.readings->value = InvalidKeyTemp;
        QCoro::waitFor(rig.monitor.testAlarm());
        QVERIFY(rig.alerts.isEmpty());
        rig.readings->value = 20;
        rig.monitor.setTargetText(QStringLiteral("70.5"));
        QCoro::waitFor(rig.monitor.testAlarm());
        QCOMPARE(rig.alerts.size(), 1);
        // Far from the target, and the target rounded halves to even.
        QCOMPARE(rig.alerts.first().target, 70.0);
        QCOMPARE(rig.alerts.first().current, 20.0);
        QVERIFY(!rig.monitor.alarmShown());
    }
};

QTEST_MAIN(TestMonitor)
#include "test_monitor.moc"
