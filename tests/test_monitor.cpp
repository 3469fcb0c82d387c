// SPDX-License-Identifier: GPL-3.0-or-later

// The monitor on its own: scripted readings, ticks called by the test, alerts
// answered by the test. No window, no service, no waiting.

#include "ScriptedModal.h"

#include "alarm/AlertPresenter.h"
#include "alarm/Core.h"
#include "alarm/TemperatureMonitor.h"
#include "base/ErrorReport.h"
#include "weather/ReadingSource.h"

#include <QTest>

#include <QCoroTask>
#include <QTimer>

#include <functional>

namespace
{

// Answers every reading with `value` and counts the readings.
class ScriptedReadings : public ReadingSource
{
public:
    double value = 65;
    int reads = 0;

    QCoro::Task<Reading> read(WeatherInputs, bool) override
    {
        ++reads;
        co_return Reading{value, QStringLiteral("San Diego")};
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
