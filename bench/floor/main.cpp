// SPDX-License-Identifier: GPL-3.0-or-later

// The floor for the benchmarks: the least any Qt program with one fixed
// window, a tray icon and a one-minute timer costs. Nothing else on purpose.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TeporaFloor"));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Tepora floor"));
    window.setFixedSize(536, 520);
    window.show();

    // One plain colour, by default magenta; run.sh gives each launch its own
    // and looks for it in the tray, as it does for the reading's background.
    const QStringList args = QApplication::arguments();
    const QColor colour(args.size() > 1 ? args.at(1) : QStringLiteral("#ff00ff"));
    QPixmap picture(28, 29);
    picture.fill(colour.isValid() ? colour : QColor(255, 0, 255));
    QSystemTrayIcon tray{QIcon(picture)};
    tray.setToolTip(QStringLiteral("Tepora floor"));
    tray.show();

    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &app, [] {});
    timer.start(60000);

    return QApplication::exec();
}
