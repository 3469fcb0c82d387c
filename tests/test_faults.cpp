// SPDX-License-Identifier: GPL-3.0-or-later

// A damaged installation or settings file: the program keeps running, keeps
// the tray icon right, and says what is wrong once, not at every poll.

#include "MainWindowHarness.h"

#include "alarm/Form2.h"
#include "alarm/MMControl.h"
#include "app/QtModal.h"
#include "base/ErrorReport.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "base/SettingsText.h"
#include "tray/IconPipeline.h"
#include "tray/PictureBox.h"

#include <QApplication>

#include <QAudioDevice>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <QCoroTask>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <optional>

namespace
{

// "Form1.ListTemp at line 118" and the like, for every report shown.
QStringList reportPlaces(const ScriptedModal& modal)
{
    QStringList places;
    for (const auto& report : modal.errorReports()) {
        const qsizetype at = report.text.indexOf(QStringLiteral("in Tepora2021/08/31."));
        places << report.text.mid(at + 20, report.text.indexOf(QLatin1Char('\r'), at) - at - 20);
    }
    return places;
}

// Lets the poll run a few times.
void runPolls(Form1& window, int count)
{
    QSignalSpy refreshes(&window, &Form1::refreshed);
    QVERIFY(QTest::qWaitFor([&] { return refreshes.count() >= count; }, 20000));
}

QList<QMessageBox*> visibleBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            boxes << box;
        }
    }
    return boxes;
}

void writeFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions = {})
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    if (permissions) {
        file.setPermissions(permissions);
    }
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Form2::setOpenedHook({}); }

    void settingsDamagedInEveryKey();
    void converterCannotBeWritten();
    void converterHangs();
    void iconFilesGoToTheCacheWhenTheProgramFolderIsClosed();
    void soundFileMissingOrBroken_data();
    void soundFileMissingOrBroken();
    void serviceTextIsShownPlainWithoutTheKey();
    void boxesComeOneAtATime();
    void boxesAreSeenWhateverTheMainWindowDoes_data();
    void boxesAreSeenWhateverTheMainWindowDoes();
};

void TestFaults::settingsDamagedInEveryKey()
{
    MainWindowHarness h(291.35, 40);
    QDir().mkpath(h.env.configHome());
    writeFile(h.env.settingsFile(), "[Tepora]\n"
                                    "Text1=\n"
                                    "Text2=warm\n"
                                    "Option1=yes\nOption2=\\x1\nOption3=3\nOption4=F\nOption5=1e999\n"
                                    "Font Color=yellow\nBackground Color=99999999999\n"
                                    "Minimized=maybe\nWindows Startup=\nAPIKey=\"\n");
    QVERIFY(h.start());
    runPolls(*h.window, 5);
    const QStringList places = reportPlaces(h.modal);
    // A damaged setting reads as its default, unreported; the target, which
    // the user typed and sees, is named once although the polls go on.
    QVERIFY2(places.filter(QStringLiteral("Form_Load")).isEmpty() &&
                 places.count(QStringLiteral("Form1.ListTemp at line 100")) == 1,
             qPrintable(places.join(QLatin1Char('|'))));
    QVERIFY(h.child<QRadioButton>("Option1")->isChecked());
    QVERIFY(h.child<QRadioButton>("Option4")->isChecked());
    QCOMPARE(h.child<PictureBox>("Picture2")->backColor(), QColor(Qt::yellow));
    QCOMPARE(h.child<PictureBox>("Picture3")->backColor(), QColor(Qt::black));
    QVERIFY(h.window->pollTimer()->isActive());

    // Once the target is mended, a new fault at the same place is news again.
    h.window->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("70"));
    runPolls(*h.window, 2);
    h.modal.clear();
    h.window->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("cold"));
    runPolls(*h.window, 3);
    QCOMPARE(reportPlaces(h.modal).count(QStringLiteral("Form1.ListTemp at line 100")), 1);
}

void TestFaults::converterCannotBeWritten()
{
    MainWindowHarness h(291.35, 40);
    // Something in the converter's place that cannot be replaced, whoever runs the test.
    QDir().mkpath(IconPipeline::converterPath());
    writeFile(IconPipeline::converterPath() + QStringLiteral("/x"), "not a converter");
    h.modal.holdReports = true;
    QVERIFY(h.start());
    // Polls go on while the user has not answered the box, and the next
    // report waits for this one to close.
    runPolls(*h.window, 4);
    QCOMPARE(reportPlaces(h.modal), QStringList{QStringLiteral("Form1.Form_Load at line 178")});
    QCOMPARE(h.modal.heldReports(), 1);
    h.modal.closeReport();
    QCOMPARE(h.modal.heldReports(), 1);
    h.modal.closeReport();
    runPolls(*h.window, 2);
    QCOMPARE(openErrorReports(), 0);
    QCOMPARE(reportPlaces(h.modal), (QStringList{QStringLiteral("Form1.Form_Load at line 178"),
                                                 QStringLiteral("Form1.ListTemp at line 118")}));
    // The tray still shows every reading, drawn without the converter.
    QVERIFY(h.tray.count(QStringLiteral("modifyIcon")) >= 5);
    QVERIFY(!QFile::exists(h.window->iconFilesFolder() + QStringLiteral("/CurTemp.ico")));
}

void TestFaults::converterHangs()
{
    MainWindowHarness h;
    h.options.converterTimeoutMs = 300;
    h.options.converter = "#!/bin/sh\nexec sleep 30\n";
    QElapsedTimer clock;
    clock.start();
    QVERIFY(h.start());
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(reportPlaces(h.modal), QStringList{QStringLiteral("Form1.ListTemp at line 118")});
    QCOMPARE(h.modal.errorReports().first().text.left(14), QStringLiteral("File not found"));
    QVERIFY(h.tray.count(QStringLiteral("modifyIcon")) >= 1);
}

void TestFaults::iconFilesGoToTheCacheWhenTheProgramFolderIsClosed()
{
    MainWindowHarness h;
    writeFile(h.env.path() + QStringLiteral("/program"), "not a folder");
    h.options.programFolder = h.env.path() + QStringLiteral("/program/bin");
    QVERIFY(h.start());
    QVERIFY(h.window->iconFilesFolder().startsWith(h.env.path() + QStringLiteral("/cache/")));
    QVERIFY(QFile::exists(h.window->iconFilesFolder() + QStringLiteral("/CurTemp.ico")));
    QCOMPARE(h.modal.errorReports().size(), 0);
}

void TestFaults::soundFileMissingOrBroken_data()
{
    QTest::addColumn<QByteArray>("sound"); // empty: no file at all
    QTest::addColumn<QString>("problem");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("The alarm sound file is missing: ");
    QTest::newRow("not an MP3") << QByteArray(4096, 'x')
                                << QStringLiteral("The alarm sound could not be played: ");
    // A good file and no sound server (none runs here): silence is told too.
    QFile good(qEnvironmentVariable("TEPORA_TEST_BINARY_DIR") + QStringLiteral("/reveille.mp3"));
    QVERIFY(good.open(QIODevice::ReadOnly));
    QTest::newRow("no sound output") << good.readAll()
                                     << QStringLiteral("The alarm sound could not be played: ");
}

void TestFaults::soundFileMissingOrBroken()
{
    QFETCH(QByteArray, sound);
    QFETCH(QString, problem);
    if (QByteArray(QTest::currentDataTag()) == "no sound output" &&
        !QMediaDevices::defaultAudioOutput().isNull()) {
        QSKIP("a sound server runs here");
    }
    MainWindowHarness h;
    const QString folder = h.env.path() + QStringLiteral("/program");
    QDir().mkpath(folder);
    if (!sound.isEmpty()) {
        writeFile(folder + QStringLiteral("/reveille.mp3"), sound);
    }
    // The player comes with the program, as when installed.
    const QString module = QStringLiteral("/libtepora-sound.so");
    QVERIFY(QFile::copy(qEnvironmentVariable("TEPORA_TEST_BINARY_DIR") + module, folder + module));
    h.options.programFolder = folder;
    QString shown;
    bool listVisible = false;
    Form2::setOpenedHook([&](Form2* alert) {
        (void)QTest::qWaitFor([&] { return alert->SoundProblem->isVisible(); }, 10000);
        shown = alert->SoundProblem->text();
        listVisible = alert->ListView1->geometry().bottom() < alert->SoundProblem->geometry().top();
        alert->reject();
    });
    QVERIFY(h.start());
    h.window->findChild<QPushButton*>(QStringLiteral("PushButton2"))->click();
    QVERIFY(h.settled());
    QVERIFY2(shown.startsWith(problem) && !shown.contains(QStringLiteral("module")), qPrintable(shown));
    QVERIFY(listVisible);
    // No box: the alert itself says it.
    QCOMPARE(h.modal.shown.size(), 0);
}

// What a hostile service sends reaches the real box and the status line as
// plain text; the request's address shows without its query, the key.
void TestFaults::serviceTextIsShownPlainWithoutTheKey()
{
    const QString key = QStringLiteral("SECRETKEY0xC0FFEE");
    QTest::failOnWarning(QRegularExpression(key));
    MainWindowHarness h;
    QVERIFY(h.start());
    SaveSetting(QStringLiteral("APIKey"), key);
    QtModal real;
    Modal::install(&real);
    h.sim.setFault(WeatherSim::Fault::BadRequest);
    QCoro::waitFor(h.window->ListTemp(true));
    Modal::install(&h.modal);
    QMessageBox* box = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible()) {
            box = found;
        }
    }
    QVERIFY(box);
    const QString text = box->text();
    const Qt::TextFormat format = box->textFormat();
    box->accept();
    QCOMPARE(format, Qt::PlainText);
    QVERIFY2(text.startsWith(h.sim.baseUrl().prepend("Error transferring ") +
                             "/data/2.5/weather - server replied: Bad <b>Request</b> <font"),
             qPrintable(text));
    QVERIFY2(!text.contains(key), qPrintable(text));

    h.sim.setFault(WeatherSim::Fault::None);
    h.sim.setPlace(QStringLiteral("San Diego CA"), QString(QChar(0x202E)) + "<b>Big</b>" + QString(80, 'x'),
                   290);
    QCoro::waitFor(h.window->ListTemp(true));
    const QString status = h.child<QLabel>("Label2")->text();
    QVERIFY2(status.contains("<b>Big</b>" + QString(53, 'x') + "… is 63 °F"), qPrintable(status));
    QVERIFY(!status.contains(QChar(0x202E)));
}

// A report and a box that come together are shown one after the other:
// neither opens over the other and hides it.
void TestFaults::boxesComeOneAtATime()
{
    forgetReportedFaults();
    QtModal real;
    Modal::install(&real);
    showErrorReport(QStringLiteral("Type mismatch"), QStringLiteral("Form1"), QStringLiteral("ListTemp"),
                    100);
    QCoro::Task<> second = showMessage(QStringLiteral("location is not correct."));
    QTRY_COMPARE(visibleBoxes().size(), 1);
    QVERIFY(visibleBoxes().first()->text().startsWith(QStringLiteral("Type mismatch")));
    visibleBoxes().first()->accept();
    QTRY_COMPARE(visibleBoxes().size(), 1);
    QCOMPARE(visibleBoxes().first()->text(), QStringLiteral("location is not correct."));
    visibleBoxes().first()->accept();
    QCoro::waitFor(second);
    QTRY_COMPARE(visibleBoxes().size(), 0);
    Modal::install(nullptr);
}

void TestFaults::boxesAreSeenWhateverTheMainWindowDoes_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("overWindow");
    QTest::newRow("in front") << "shown" << true;
    QTest::newRow("minimised") << "minimised" << false;
    QTest::newRow("hidden in the tray") << "tray" << false;
    // Wayland: Qt's title bar asks, the compositor never answers.
    QTest::newRow("minimised, unheard") << "asked" << false;
}

// A box or an alert goes over the main window only while the user has it in
// front of them; otherwise it stands on its own, and closing it leaves the
// window as it was.
void TestFaults::boxesAreSeenWhateverTheMainWindowDoes()
{
    QFETCH(QString, state);
    QFETCH(bool, overWindow);
    MainWindowHarness h;
    h.tray.setAvailable(state == "tray");
    QVERIFY(h.start());
    Form1& main = *h.window;
    if (state == "minimised" || state == "tray") {
        main.showMinimized();
        QTRY_VERIFY(state == "tray" ? main.minimizedToTray() : main.isMinimized());
    } else if (state == "asked") {
        emit main.windowHandle()->windowStateChanged(Qt::WindowMinimized);
    }
    const bool visible = main.isVisible();
    const bool minimized = main.isMinimized();

    QtModal real;
    Modal::install(&real);
    QCoro::Task<> message = showMessage(QStringLiteral("location is not correct."));
    QTRY_COMPARE(visibleBoxes().size(), 1);
    QMessageBox* box = visibleBoxes().first();
    const bool boxOverWindow = box->parentWidget() == &main;
    const Qt::WindowModality modality = box->windowModality();
    box->accept();
    QCoro::waitFor(message);
    Modal::install(&h.modal);
    QCOMPARE(boxOverWindow, overWindow);
    QCOMPARE(modality, Qt::ApplicationModal);

    if (overWindow) {
        main.activateWindow();
        QTRY_VERIFY(main.isActiveWindow());
    }
    std::optional<bool> alertOverWindow;
    Form2::setOpenedHook([&](Form2* alert) {
        alertOverWindow = alert->parentWidget() == &main;
        alert->reject();
    });
    h.child<QPushButton>("PushButton2")->click();
    QVERIFY(h.settled());
    QCOMPARE(alertOverWindow, std::optional<bool>(overWindow));
    QCOMPARE(main.isVisible(), visible);
    QCOMPARE(main.isMinimized(), minimized);
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
