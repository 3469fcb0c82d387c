// SPDX-License-Identifier: GPL-3.0-or-later

// The alarm: the decision on its own, then the whole loop of polls, alert
// window and sound against the test weather service.

#include "MainWindowHarness.h"

#include "alarm/AlarmDecision.h"
#include "alarm/Form2.h"
#include "alarm/MMControl.h"
#include "weather/WeatherText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace
{
// Kelvin that the service must send for a whole Fahrenheit reading.
double kelvinFor(int fahrenheit)
{
    return 273 + (fahrenheit - 32) * 5.0 / 9.0 + 0.01;
}
} // namespace

Q_DECLARE_METATYPE(Direction)

class TestAlarm : public QObject
{
    Q_OBJECT

private slots:
    void init() { Form2::setOpenedHook({}); }
    void cleanup() { Form2::setOpenedHook({}); }

    void decision_data();
    void decision();
    void exampleSequence();
    void testAlarmOpensTheAlertWithAFreshReading();
    void testAlarmWithRejectedKeyOpensNoAlert();
};

void TestAlarm::decision_data()
{
    QTest::addColumn<double>("cur");
    QTest::addColumn<double>("target");
    QTest::addColumn<Direction>("direction");
    QTest::addColumn<double>("last");
    QTest::addColumn<bool>("reached");

    QTest::newRow("rises: equal to target") << 70.0 << 70.0 << Direction::Rises << 65.0 << true;
    QTest::newRow("falls: equal to target") << 70.0 << 70.0 << Direction::Falls << 75.0 << true;
    QTest::newRow("both: equal to target from below") << 70.0 << 70.0 << Direction::Both << 65.0 << true;
    QTest::newRow("both: equal to target from above") << 70.0 << 70.0 << Direction::Both << 75.0 << true;
    QTest::newRow("rises: below target") << 68.0 << 70.0 << Direction::Rises << 65.0 << false;
    QTest::newRow("falls: above target") << 72.0 << 70.0 << Direction::Falls << 75.0 << false;
    QTest::newRow("unchanged reading, rises") << 72.0 << 70.0 << Direction::Rises << 72.0 << false;
    QTest::newRow("unchanged reading, falls") << 60.0 << 70.0 << Direction::Falls << 60.0 << false;
    QTest::newRow("unchanged reading, both") << 70.0 << 70.0 << Direction::Both << 70.0 << false;
    QTest::newRow("rises: above target while falling") << 72.0 << 70.0 << Direction::Rises << 75.0 << true;
    QTest::newRow("both: above target while falling") << 72.0 << 70.0 << Direction::Both << 75.0 << false;
    QTest::newRow("both: above target while rising") << 72.0 << 70.0 << Direction::Both << 71.0 << true;
    QTest::newRow("both: below target while falling") << 66.0 << 70.0 << Direction::Both << 67.0 << true;
    QTest::newRow("both: below target while rising") << 66.0 << 70.0 << Direction::Both << 60.0 << false;
    QTest::newRow("unrounded target 70.4, reading 70") << 70.0 << 70.4 << Direction::Rises << 65.0 << false;
    QTest::newRow("rejected key, falls") << -5000.0 << 70.0 << Direction::Falls << 65.0 << false;
    QTest::newRow("unknown place, falls") << -5500.0 << 70.0 << Direction::Falls << 65.0 << false;
    QTest::newRow("no reading, falls") << double(NoReadingTemp) << 70.0 << Direction::Falls << 65.0 << false;
    QTest::newRow("no direction") << 80.0 << 70.0 << Direction::None << 65.0 << false;
    QTest::newRow("negative readings, falls") << -12.0 << -10.0 << Direction::Falls << -5.0 << true;
}

void TestAlarm::decision()
{
    QFETCH(double, cur);
    QFETCH(double, target);
    QFETCH(Direction, direction);
    QFETCH(double, last);
    QFETCH(bool, reached);
    QCOMPARE(targetReached(cur, target, direction, last), reached);
}

// The worked example: target 70, rises; readings in the order they arrive.
void TestAlarm::exampleSequence()
{
    struct Row {
        double reading;
        bool reached;
    };
    double last = 65; // the start-up priming
    const Row rows[] = {{65, false}, {68, false}, {70, true}, {72, true}, {72, false}, {73, true}};
    for (const Row& row : rows) {
        const bool reached = targetReached(row.reading, 70, Direction::Rises, last);
        QCOMPARE(reached, row.reached);
        if (reached) {
            last = row.reading;
        }
    }
    QCOMPARE(last, 73.0);
}

void TestAlarm::testAlarmOpensTheAlertWithAFreshReading()
{
    MainWindowHarness h(kelvinFor(20));
    QStringList row;
    bool soundStarted = false;
    Form2::setOpenedHook([&](Form2* alert) {
        QTreeWidgetItem* item = alert->ListView1->topLevelItem(0);
        row = {item->text(0), item->text(1), item->text(2)};
        // The sound starts, or (with no sound output, as here) the alert says it could not.
        soundStarted = QTest::qWaitFor(
            [&] {
                return alert->MMControl1->state() == MMControl::State::Playing ||
                       alert->MMControl1->state() == MMControl::State::Ended ||
                       (alert->MMControl1->state() == MMControl::State::Failed &&
                        alert->SoundProblem->isVisible());
            },
            5000);
        alert->reject();
    });
    QVERIFY(h.start());
    const double lastBefore = h.window->lastAlarmTemp();
    h.child<QLineEdit>("Text2")->setText(QStringLiteral("70.5"));
    h.child<QRadioButton>("Option5")->click();
    h.sim.setPlace(QStringLiteral("San Diego CA"), QStringLiteral("San Diego"), 300.2);
    h.child<QPushButton>("PushButton2")->click();
    QVERIFY(h.settled());
    // Far from the target, and the target rounded halves to even.
    QCOMPARE(row,
             (QStringList{QStringLiteral("San Diego"), QStringLiteral("70 °C"), QStringLiteral("27 °C")}));
    QCOMPARE(h.window->lastAlarmTemp(), lastBefore);
    QVERIFY(!h.window->alarmShown());
    QVERIFY(soundStarted);
}

void TestAlarm::testAlarmWithRejectedKeyOpensNoAlert()
{
    MainWindowHarness h;
    int alerts = 0;
    Form2::setOpenedHook([&](Form2* alert) {
        ++alerts;
        alert->reject();
    });
    QVERIFY(h.start());
    h.sim.setAcceptedKeys({QStringLiteral("the-right-key")});
    h.modal.clear();
    h.child<QPushButton>("PushButton2")->click();
    QVERIFY(h.settled());
    QCOMPARE(alerts, 0);
    const auto boxes = h.modal.messages();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.first().text.startsWith(QStringLiteral("Your API Key is not correct.")));
}

QTEST_MAIN(TestAlarm)
#include "test_alarm.moc"
