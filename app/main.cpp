// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/CommandLine.h"
#include "app/Form1.h"
#include "app/QtModal.h"
#include "app/SingleInstance.h"
#include "base/Modal.h"
#include "base/SignalRelay.h"
#include "resources/AppIcon.h"
#include "tray/TrayBackend.h"
#include "weather/HttpGet.h"
#include "weather/WeatherText.h"

#include <QApplication>
#include <QTimer>
#include <QUrl>

int main(int argc, char* argv[])
{
    SignalRelay::catchEarly();
    if (const std::optional<int> status = answerCommandLine(argc, argv)) {
        return *status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tepora"));
    QApplication::setOrganizationName(QStringLiteral("Ravensel"));
    QApplication::setWindowIcon(applicationIcon());
    // The window hides in the tray and the alert closes on its own: neither
    // means the program should end.
    QApplication::setQuitOnLastWindowClosed(false);

    // A second start brings the running copy forward instead of running
    // a second monitor on the same settings and icon files.
    SingleInstance instance(SingleInstance::defaultFolder());
    // A launcher's token lets the running copy's window take the focus on Wayland.
    switch (instance.claim(5000, qEnvironmentVariable("XDG_ACTIVATION_TOKEN"))) {
    case SingleInstance::Start::First:
        break;
    case SingleInstance::Start::Forwarded:
        return 0;
    case SingleInstance::Start::NoAnswer:
        qCritical("Tepora is already running but does not answer.");
        return 1;
    }

    if (QUrl(serviceBaseUrl()).scheme() == QLatin1String("https")) {
        prepareTls();
    }
    QtModal modal;
    Modal::setDefault(&modal);

    // The icon before the window: it is what the user looks for, and the
    // window takes longer to build than the icon to show. The window's tray
    // control takes it over; adding it again as it is changes nothing.
    const QIcon icon = applicationIcon();
    const QString title = applicationTitle();
    TrayBackend* tray = TrayBackend::create(icon, &app);
    tray->add(&icon, &title);

    Form1Options options;
    options.trayBackend = tray;
    // Lets end-to-end tests poll faster than once a minute; not a user setting.
    const int testPoll = qEnvironmentVariableIntValue("TEPORA_TEST_POLL_MS");
    if (testPoll > 0) {
        options.pollIntervalMs = testPoll;
    }
    Form1 form(options);
    QObject::connect(&form, &Form1::closed, &app, [&] {
        QtModal::setClosing(true);
        // Every other window goes with the main one, and any wait still open
        // (a reading, the converter, an alert) returns at once.
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    SignalRelay signals_;
    QObject::connect(&signals_, &SignalRelay::terminationRequested, &form, [&form] { form.closeProgram(); });
    QObject::connect(&instance, &SingleInstance::showRequested, &form, &Form1::restoreFromTray);

    form.Form_Load();
    form.showAsLoaded();
    const int result = QApplication::exec();
    Modal::setDefault(nullptr);
    return result;
}
