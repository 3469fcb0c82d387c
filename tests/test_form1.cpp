// SPDX-License-Identifier: GPL-3.0-or-later

// The main window as the user meets it: what loading restores, the panel's
// buttons, the tray, and closing.

#include "MainWindowHarness.h"
#include "ManualClock.h"

#include "alarm/Form2.h"

#include "base/Paths.h"
#include "base/Settings.h"
#include "base/SettingsText.h"
#include "tray/IconPipeline.h"
#include "tray/PictureBox.h"
#include "tray/cSysTray.h"
#include "weather/Form3.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void firstStartShowsDefaults();
    void storedSettingsAreRestored_data();
    void storedSettingsAreRestored();
    void startupPrimesWithThreeRequests();
    void minimiseHidesToTrayWithOneBalloon();
    void startsInTheTrayWhenAskedTo();
    void changeLocation_data();
    void changeLocation();
    void optionsAndTargetAreSavedAtOnce();
    void helpTexts();
    void colourButtons();
    void keyDialogTakesTheWindowsPlace();
    void startAtLogin();
    void startAtLoginThatCannotBeWrittenIsUndone();
    void closingRemovesConverterAndTrayIcon();
    void statusLineFitsAndTellsAll();
};

void TestForm1::firstStartShowsDefaults()
{
    MainWindowHarness h;
    QVERIFY(h.start());
    QCOMPARE(h.child<QLabel>("Label1")->text(), QStringLiteral("San Diego CA"));
    QCOMPARE(h.child<QLineEdit>("Text2")->text(), QStringLiteral("70"));
    QVERIFY(h.child<QRadioButton>("Option1")->isChecked());
    QVERIFY(h.child<QRadioButton>("Option4")->isChecked());
    QVERIFY(!h.child<QCheckBox>("Check3")->isChecked());
    QVERIFY(!h.child<QCheckBox>("Check8")->isChecked());
    QCOMPARE(h.child<PictureBox>("Picture2")->backColor(), QColor(Qt::yellow));
    QCOMPARE(h.child<PictureBox>("Picture4")->backColor(), QColor(Qt::black));
    QCOMPARE(h.window->windowTitle(), QStringLiteral("Tepora"));
    QCOMPARE(h.window->size(), QSize(536, 520));
    QCOMPARE(h.window->pollTimer()->interval(), h.options.pollIntervalMs);
    QVERIFY(h.window->pollTimer()->isActive());
    // The first activation has shown the reading everywhere.
    QCOMPARE(h.child<QLabel>("Label2")->text(),
             QStringLiteral("The current temperature in San Diego is 65 °F"));
    QCOMPARE(h.window->trayControl()->trayTip(), QStringLiteral("Tepora\r\nSan Diego, 65 °F"));
    QVERIFY(QFile::exists(h.window->iconFilesFolder() + QStringLiteral("/CurTemp.ico")));
    // The converted icon, not the application icon, is what the tray shows.
    QVERIFY(h.tray.count(QStringLiteral("modifyIcon")) >= 1);
    QCOMPARE(h.modal.shown.size(), 0);
}

void TestForm1::storedSettingsAreRestored_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("reportedStep"); // 0: no report

    QTest::newRow("Celsius") << "Option5"
                             << "1"
                             << "Option5" << true << 0;
    QTest::newRow("falls") << "Option2"
                           << "1"
                           << "Option2" << true << 0;
    QTest::newRow("start in tray") << "Minimized"
                                   << "On"
                                   << "Check8" << true << 0;
    QTest::newRow("start at login") << "Windows Startup"
                                    << "On"
                                    << "Check3" << true << 0;
    QTest::newRow("login: anything but On") << "Windows Startup"
                                            << "on"
                                            << "Check3" << false << 0;
    // A value that is none of its kind reads as the default: the alarm keeps
    // a direction and a unit rather than going silently off.
    QTest::newRow("unit no number") << "Option4"
                                    << "abc"
                                    << "Option4" << true << 0;
    QTest::newRow("direction out of range") << "Option1"
                                            << "2"
                                            << "Option1" << true << 0;
}

void TestForm1::storedSettingsAreRestored()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, control);
    QFETCH(bool, checked);
    QFETCH(int, reportedStep);

    MainWindowHarness h;
    SaveSetting(key, value);
    QVERIFY(h.start(false));
    QCOMPARE(h.window->findChild<QAbstractButton*>(control)->isChecked(), checked);
    const auto reports = h.modal.errorReports();
    if (reportedStep == 0) {
        QCOMPARE(reports.size(), 0);
    } else {
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().text.startsWith(QStringLiteral("Type mismatch\r\n")));
        QVERIFY(
            reports.first().text.contains(QStringLiteral("Form1.Form_Load at line %1").arg(reportedStep)));
    }
    // Loading reads; it never writes back what it read.
    QCOMPARE(GetSetting(key, QStringLiteral("?")), value);
}

void TestForm1::startupPrimesWithThreeRequests()
{
    MainWindowHarness h;
    QVERIFY(h.start(false));
    QCOMPARE(h.sim.requestCount(), 0);
    h.window->show();
    h.window->activateWindow();
    QTRY_VERIFY(!h.window->startingUp());
    // The priming, the display refresh and the decision inside it.
    QCOMPARE(h.sim.requestCount(), 3);
    QCOMPARE(h.window->lastAlarmTemp(), 65.0);
}

void TestForm1::minimiseHidesToTrayWithOneBalloon()
{
    MainWindowHarness h;
    QVERIFY(h.start());
    for (int round = 0; round < 2; ++round) {
        h.window->showMinimized();
        QTRY_VERIFY(!h.window->isVisible());
        QVERIFY(h.window->minimizedToTray());
        h.tray.emitEvent(TrayEvent::LeftButtonUp); // button released on the icon
        QTRY_VERIFY(h.window->isVisible());
        QVERIFY(!h.window->isMinimized());
        QVERIFY(!h.window->minimizedToTray());
    }
    QList<RecordingTrayBackend::Call> balloons;
    for (const auto& call : h.tray.calls) {
        if (call.op == QLatin1String("balloon") && !call.text.isEmpty()) {
            balloons.append(call);
        }
    }
    QCOMPARE(balloons.size(), 1);
    const auto balloon = balloons.first();
    QCOMPARE(balloon.title, QStringLiteral("Tepora"));
    QVERIFY(balloon.text.startsWith(QStringLiteral("has been minimized to the system tray.")));
}

void TestForm1::startsInTheTrayWhenAskedTo()
{
    for (const bool trayThere : {true, false}) {
        ManualClock clock;
        MainWindowHarness h;
        h.tray.setAvailable(trayThere);
        SaveSetting("Minimized", QStringLiteral("On"));
        QVERIFY(h.start(false));
        // The balloon's wait ends when the desktop says it has timed out.
        QTimer::singleShot(50, &h.tray, [&] { h.tray.emitEvent(TrayEvent::BalloonTimedOut); });
        h.window->showAsLoaded();
        if (trayThere) {
            QVERIFY(!h.window->isVisible());
            QVERIFY(h.window->minimizedToTray());
            QVERIFY(h.tray.ops().contains(QStringLiteral("add")));
            h.tray.emitEvent(TrayEvent::LeftButtonUp);
            QTRY_VERIFY(h.window->isVisible());
        } else {
            // Nothing to come back from: an ordinary minimised window.
            QTRY_VERIFY(h.window->isMinimized());
            QVERIFY(h.window->isVisible());
            QVERIFY(!h.window->minimizedToTray());
            // At login the panel may come a moment later: no word yet.
            QCoreApplication::sendPostedEvents();
            QVERIFY(h.modal.messages().isEmpty());
        }
        // Where none has come by then, the user hears why, once.
        clock.advance(15000);
        clock.advance(15000);
        QCOMPARE(h.modal.messages().size(), trayThere ? 0 : 1);
        if (!trayThere) {
            QVERIFY(h.modal.messages().first().text.startsWith(
                QStringLiteral("Tepora found no system tray on this desktop")));
        }
    }
}

void TestForm1::changeLocation_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("location"); // empty: nothing changes
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("boxes");

    QTest::newRow("cancelled") << std::optional<QString>() << QString() << QString() << 0;
    QTest::newRow("empty") << std::optional<QString>(QString()) << QString() << QString() << 0;
    QTest::newRow("only spaces") << std::optional<QString>(QStringLiteral("   ")) << QStringLiteral("   ")
                                 << QStringLiteral("q=%20%20%20&") << 0;
    QTest::newRow("city and country")
        << std::optional<QString>(QStringLiteral("Paris, France")) << QStringLiteral("Paris, France")
        << QStringLiteral("q=Paris,%20France&") << 0;
    // Not quiet: an unknown place is explained in a box.
    QTest::newRow("unknown place") << std::optional<QString>(QStringLiteral("Atlantis"))
                                   << QStringLiteral("Atlantis") << QStringLiteral("q=Atlantis&") << 1;
}

void TestForm1::changeLocation()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, location);
    QFETCH(QString, query);
    QFETCH(int, boxes);

    MainWindowHarness h;
    h.sim.setPlace(QStringLiteral("Paris, France"), QStringLiteral("Paris"), 280);
    QVERIFY(h.start());
    QCOMPARE(h.window->alarmShown(), false);
    h.sim.clearRequests();
    h.modal.clear();
    h.modal.queueInput(answer);
    QSignalSpy refreshed(h.window.get(), &Form1::refreshed);
    h.child<QPushButton>("PushButton4")->click();

    QCOMPARE(h.modal.proposedInputs, QList<QString>{QStringLiteral("San Diego CA")});
    QCOMPARE(h.modal.shown.first().text,
             QStringLiteral("Please enter your location: \r\n\r\n"
                            "(For example: Londonderry, US or San Diego or Paris, France"));
    if (location.isEmpty()) {
        QCOMPARE(h.child<QLabel>("Label1")->text(), QStringLiteral("San Diego CA"));
        QCOMPARE(GetSetting("Text1", QStringLiteral("none")), QStringLiteral("none"));
        QCOMPARE(h.sim.requestCount(), 0);
        return;
    }
    QCOMPARE(h.child<QLabel>("Label1")->text(), location);
    QVERIFY(h.child<QLabel>("Label1")->toolTip().contains(location.toHtmlEscaped()));
    QCOMPARE(GetSetting("Text1", QString()), location);
    QTRY_VERIFY(refreshed.count() >= 1);
    QVERIFY(h.sim.requestCount() >= 1);
    QVERIFY2(h.sim.requests().first().contains(query), qPrintable(h.sim.requests().first()));
    QCOMPARE(h.modal.messages().size(), boxes);
}

void TestForm1::optionsAndTargetAreSavedAtOnce()
{
    MainWindowHarness h;
    QVERIFY(h.start());
    h.child<QRadioButton>("Option3")->click();
    QCOMPARE(GetSetting("Option1", QString()), QStringLiteral("0"));
    QCOMPARE(GetSetting("Option2", QString()), QStringLiteral("0"));
    QCOMPARE(GetSetting("Option3", QString()), QStringLiteral("1"));
    QSignalSpy refreshed(h.window.get(), &Form1::refreshed);
    // 18 °C is below 70 and below the 65 the alarm started from: an alert
    // by the rules, closed at once.
    Form2::setOpenedHook([](Form2* alert) { alert->reject(); });
    h.child<QRadioButton>("Option5")->click();
    QCOMPARE(GetSetting("Option4", QString()), QStringLiteral("0"));
    QCOMPARE(GetSetting("Option5", QString()), QStringLiteral("1"));
    // The new unit shows at once, not at the next poll.
    QTRY_COMPARE(refreshed.count(), 1);
    Form2::setOpenedHook({});
    QCOMPARE(h.child<QLabel>("Label2")->text(),
             QStringLiteral("The current temperature in San Diego is 18 °C"));
    // The unit changes nothing in the target.
    QCOMPARE(h.child<QLineEdit>("Text2")->text(), QStringLiteral("70"));

    QLineEdit* target = h.child<QLineEdit>("Text2");
    // The alert had the focus; the main window takes it back.
    h.window->activateWindow();
    QTRY_VERIFY(h.window->isActiveWindow());
    target->setFocus();
    QTRY_COMPARE(target->selectedText(), QStringLiteral("70"));
    QTest::keyClicks(target, QStringLiteral("6"));
    QCOMPARE(GetSetting("Text2", QString()), QStringLiteral("6"));
    QTest::keyClicks(target, QStringLiteral("8.5"));
    QCOMPARE(GetSetting("Text2", QString()), QStringLiteral("68.5"));
    QTest::keyClick(target, Qt::Key_Backspace);
    QTest::keyClick(target, Qt::Key_Backspace);
    QTest::keyClick(target, Qt::Key_Backspace);
    QTest::keyClick(target, Qt::Key_Backspace);
    QCOMPARE(GetSetting("Text2", QStringLiteral("?")), QString());
    QCOMPARE(h.modal.errorReports().size(), 0);
}

void TestForm1::helpTexts()
{
    MainWindowHarness h;
    QVERIFY(h.start());
    SaveSetting("Text2", QStringLiteral("12"));
    h.child<QRadioButton>("Option5")->click();
    h.child<QPushButton>("PushButton1")->click();
    h.child<QPushButton>("PushButton3")->click();
    const auto boxes = h.modal.messages();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0).title, QStringLiteral("Tepora"));
    QCOMPARE(boxes.at(0).icon, Modal::Icon::NoIcon);
    QCOMPARE(
        boxes.at(0).text,
        QStringLiteral("Notify me when current temperature rises to target temperature means:\r\n"
                       "If the actual temperature outside rises from 69°F to target temperature of 70°F then "
                       "the alarm will go off.\r\n\r\n"
                       "Notify me when current temperature falls to target temperature means:\r\n"
                       "If the actual temperature outside drops from 69°F to target temperature of 68°F then "
                       "the alarm will go off."));
    QCOMPARE(
        boxes.at(1).text,
        QStringLiteral("This is what the alarm will look like when it goes off in case you are wondering."));
}

void TestForm1::colourButtons()
{
    MainWindowHarness h;
    QVERIFY(h.start());
    const int requestsBefore = h.sim.requestCount();
    h.modal.queueColor(QColor(0, 0, 255));
    QSignalSpy refreshed(h.window.get(), &Form1::refreshed);
    h.child<QPushButton>("PushButton8")->click();
    QCOMPARE(h.modal.initialColors, QList<QColor>{QColor(Qt::black)});
    QCOMPARE(GetSetting("Background Color", QString()), QStringLiteral("16711680"));
    QCOMPARE(h.child<PictureBox>("Picture3")->backColor(), QColor(0, 0, 255));
    QCOMPARE(h.child<PictureBox>("Picture4")->backColor(), QColor(0, 0, 255));
    // A full refresh with a fresh reading redraws the tray icon.
    QTRY_COMPARE(refreshed.count(), 1);
    QCOMPARE(h.sim.requestCount(), requestsBefore + 2);
    const QImage icon = h.child<PictureBox>("Picture1")->image();
    QCOMPARE(icon.pixelColor(icon.width() - 1, icon.height() - 1), QColor(0, 0, 255));

    // A cancel keeps the colour, yet stores, redraws and refreshes all the same.
    QFile::remove(h.env.settingsFile());
    h.child<QPushButton>("PushButton7")->click();
    QCOMPARE(h.modal.initialColors.last(), QColor(Qt::yellow));
    QCOMPARE(GetSetting("Font Color", QString()), QStringLiteral("65535"));
    QCOMPARE(h.child<PictureBox>("Picture4")->foreColor(), QColor(Qt::yellow));
    QTRY_COMPARE(refreshed.count(), 2);
    QCOMPARE(h.sim.requestCount(), requestsBefore + 4);
    QCOMPARE(h.modal.errorReports().size(), 0);

    // A shorter target in a new colour leaves nothing of the old one behind.
    h.child<QLineEdit>("Text2")->setText(QStringLiteral("-5"));
    h.modal.queueColor(QColor(Qt::red));
    h.child<QPushButton>("PushButton7")->click();
    const QImage sample = h.child<PictureBox>("Picture4")->image();
    for (int y = 0; y < sample.height(); ++y) {
        for (int x = 0; x < sample.width(); ++x) {
            QVERIFY(sample.pixelColor(x, y) != QColor(Qt::yellow));
        }
    }
    QTRY_COMPARE(refreshed.count(), 3);
}

void TestForm1::keyDialogTakesTheWindowsPlace()
{
    MainWindowHarness h;
    QVERIFY(h.start());
    h.child<QPushButton>("PushButton5")->click();
    QPointer<Form3> dialog = h.window->keyDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!h.window->isVisible());
    // OK keeps it loaded; the next click shows the same dialog.
    QTest::keyClick(dialog, Qt::Key_Return);
    QTRY_VERIFY(h.window->isVisible());
    QVERIFY(!dialog->isVisible());
    h.child<QPushButton>("PushButton5")->click();
    QCOMPARE(h.window->keyDialog(), dialog.data());
    dialog->close();
    QTRY_VERIFY(!dialog);
    QVERIFY(h.window->isVisible());
}

void TestForm1::startAtLogin()
{
    MainWindowHarness h;
    SaveSetting("Windows Startup", QStringLiteral("On"));
    SaveSetting("Minimized", QStringLiteral("On"));
    const QString entry = h.env.configHome() + QStringLiteral("/autostart/tepora.desktop");
    QVERIFY(h.start(false));
    // Set from the store while starting: the entry is neither written nor removed.
    QVERIFY(h.child<QCheckBox>("Check3")->isChecked());
    QVERIFY(!QFile::exists(entry));
    QVERIFY(h.start());

    QCheckBox* login = h.child<QCheckBox>("Check3");
    QCheckBox* inTray = h.child<QCheckBox>("Check8");
    login->click();
    QCOMPARE(GetSetting("Windows Startup", QString()), QStringLiteral("Off"));
    QCOMPARE(GetSetting("Minimized", QString()), QStringLiteral("Off"));
    QVERIFY(!inTray->isChecked());
    QVERIFY(inTray->isHidden());
    QVERIFY(!QFile::exists(entry));

    login->click();
    QCOMPARE(GetSetting("Windows Startup", QString()), QStringLiteral("On"));
    QVERIFY(!inTray->isHidden());
    QVERIFY(!inTray->isChecked());
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("Exec="));
    QCOMPARE(h.modal.shown.size(), 0);
}

void TestForm1::startAtLoginThatCannotBeWrittenIsUndone()
{
    MainWindowHarness h;
    // A file where the autostart folder should be: no entry can go there,
    // whoever runs the test.
    QFile blocker(h.env.configHome() + QStringLiteral("/autostart"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(h.start());
    QCheckBox* login = h.child<QCheckBox>("Check3");
    login->click();
    QVERIFY(!login->isChecked());
    QCOMPARE(GetSetting("Windows Startup", QString()), QStringLiteral("Off"));
    const auto boxes = h.modal.messages();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.first().text.contains(QStringLiteral("could not be set to start when you log in")));
}

void TestForm1::closingRemovesConverterAndTrayIcon()
{
    MainWindowHarness h;
    QVERIFY(h.start());
    QVERIFY(QFile::exists(IconPipeline::converterPath()));
    QVERIFY(QFileInfo(IconPipeline::converterPath()).isExecutable());
    QSignalSpy closed(h.window.get(), &Form1::closed);
    h.window->close();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!QFile::exists(IconPipeline::converterPath()));
    QVERIFY(!h.window->pollTimer()->isActive());
    QCOMPARE(h.tray.ops().last(), QStringLiteral("remove"));
    // Closing twice (window, then the end of the session) runs the steps once.
    h.window->closeProgram();
    QCOMPARE(closed.count(), 1);
}

// Nothing before the first reading; without one the reason fits the fixed
// window, and the whole text is in the tooltip whatever it holds.
void TestForm1::statusLineFitsAndTellsAll()
{
    MainWindowHarness h;
    QVERIFY(h.start(false));
    auto* label = h.child<QLabel>("Label2");
    QCOMPARE(label->text(), QString());
    h.sim.setFault(WeatherSim::Fault::Html);
    h.window->show();
    QTRY_VERIFY(label->text().contains(QStringLiteral("unavailable")));
    QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
             qPrintable(label->text()));
    QVERIFY(label->toolTip().contains(label->text()));
    // A window of fixed size offers no maximise.
    QVERIFY(!(h.window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(h.window->minimumSize(), h.window->maximumSize());
}

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
